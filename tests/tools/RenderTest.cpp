#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "LinuxRenderHost.h"
#include "RenderOptions.h"
#include "RenderRun.h"

namespace duskmere {
namespace {

namespace fs = std::filesystem;

std::string parseError(std::vector<std::string> args) { return parseRenderOptions(args).error; }

TEST(RenderOptions, EveryBadArgumentIsNamed) {
    EXPECT_NE(parseError({"--bogus"}).find("--bogus"), std::string::npos);
    EXPECT_NE(parseError({"--frames"}).find("needs a value"), std::string::npos);
    EXPECT_NE(parseError({"--scene", "harbour"}).find("harbour"), std::string::npos);
    EXPECT_NE(parseError({"--seed", "0xZZ"}).find("seed"), std::string::npos);
    EXPECT_NE(parseError({"--canvas", "0x5"}).find("0x5"), std::string::npos);
    EXPECT_NE(parseError({"--canvas", "100000x10"}).find("16384"), std::string::npos);
    EXPECT_NE(parseError({"--bounds", "100x100@0"}).find("scale"), std::string::npos);
    EXPECT_NE(parseError({"--bounds", "16000x100@4"}).find("too large"), std::string::npos);
    EXPECT_NE(parseError({"--bounds", "1920x1080@16"}).find("in all"), std::string::npos);
    EXPECT_NE(parseError({"--bounds", "100x100@16.5"}).find("at most 16"), std::string::npos);
    EXPECT_NE(parseError({"--out", "-", "--hash-every", "1"}).find("standard output"), std::string::npos);
    EXPECT_NE(parseError({"--canvas", "10x10", "--bounds", "10x10"}).find("only one"), std::string::npos);
    EXPECT_NE(parseError({"--hash-every", "0"}).find("--hash-every"), std::string::npos);
    EXPECT_NE(parseError({"--out", "a.png", "--every", "5"}).find("integer field"), std::string::npos);
    EXPECT_NE(parseError({"--every", "5"}).find("--out"), std::string::npos);
    EXPECT_NE(parseError({"--frames", "-3"}).find("-3"), std::string::npos);
    EXPECT_NE(parseError({"-seed=0xZZ"}).find("malformed seed"), std::string::npos);
}

TEST(RenderOptions, GoodArgumentsAreTakenAsGiven) {
    const auto p = parseRenderOptions({"--scene", "city", "--seed", "0x10", "--bounds", "296x184@2", "--frames", "9",
                                       "--out", "f%03d.png", "--every", "3", "--hash-every", "2"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(*p.options.seed, 16u);
    EXPECT_TRUE(p.options.throughView);
    EXPECT_EQ(p.options.width, 296);
    EXPECT_EQ(p.options.backingScale, 2.0);
    EXPECT_EQ(p.options.every, 3);
    EXPECT_EQ(p.options.hashEvery, 2);
    EXPECT_TRUE(parseRenderOptions({"--help"}).options.help);
    // Every program's option syntax: one dash or two, the value after a space or '='.
    const auto q = parseRenderOptions({"-seed", "7", "--canvas=8x9", "-frames=2"});
    ASSERT_EQ(q.error, "");
    EXPECT_EQ(*q.options.seed, 7u);
    EXPECT_FALSE(q.options.throughView);
    EXPECT_EQ(q.options.height, 9);
    EXPECT_EQ(q.options.frames, 2);
    // The same backing scales as the screen saver, so that any capture can be reproduced.
    EXPECT_EQ(parseRenderOptions({"--bounds", "100x100@16"}).options.backingScale, 16.0);
}

// Runs the renderer in-process and returns what it printed on stdout.
std::string render(std::vector<std::string> args, int* status = nullptr) {
    const auto parsed = parseRenderOptions(args);
    EXPECT_EQ(parsed.error, "");
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    std::FILE* err = std::fopen("/dev/null", "w");
    LinuxRenderHost host;
    const int code = runRender(parsed.options, host, {out, err});
    std::fclose(out);
    std::fclose(err);
    if (status) *status = code;
    std::string result(text, size);
    std::free(text);
    return result;
}

class RenderFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("duskmere-render-test-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        chmod(dir.c_str(), 0755);
        fs::remove_all(dir);
    }
    size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }
    fs::path dir;
};

TEST(Render, SameSeedSameHashesAndTheViewShowsTheSameScene) {
    const std::string a = render({"--canvas", "160x100", "--seed", "5", "--frames", "30", "--hash-every", "10"});
    const std::string b = render({"--canvas", "160x100", "--seed", "5", "--frames", "30", "--hash-every", "10"});
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::count(a.begin(), a.end(), '\n'), 4);
    EXPECT_NE(a.find("frame 30 "), std::string::npos);
    EXPECT_NE(a, render({"--canvas", "160x100", "--seed", "6", "--frames", "30", "--hash-every", "10"}));
    // 320 x 200 points at 450 rows is scale 1: the view draws the same canvas from the same seed.
    EXPECT_EQ(render({"--canvas", "320x200", "--seed", "5", "--frames", "30", "--hash-every", "10"}),
              render({"--bounds", "320x200", "--seed", "5", "--frames", "30", "--hash-every", "10"}));
}

TEST(Render, HashingExtraFramesChangesNothingLater) {
    const std::string sparse = render({"--canvas", "64x48", "--seed", "3", "--frames", "300", "--hash-every", "300"});
    const std::string dense = render({"--canvas", "64x48", "--seed", "3", "--frames", "300", "--hash-every", "1"});
    EXPECT_NE(dense.find(sparse.substr(sparse.find("frame 300"))), std::string::npos);
}

TEST_F(RenderFiles, EveryKthFrameIsWritten) {
    int status = -1;
    render({"--canvas", "32x20", "--seed", "1", "--frames", "10", "--every", "5", "--out", (dir / "f-%03d.png").string()},
           &status);
    EXPECT_EQ(status, 0);
    for (const char* name : {"f-000.png", "f-005.png", "f-010.png"}) EXPECT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_EQ(entries(), 3u);  // no temporary files left over
    EXPECT_GT(fs::file_size(dir / "f-010.png"), 50u);
}

TEST_F(RenderFiles, ViewImagesHaveDeviceSize) {
    int status = -1;
    const fs::path out = dir / "view.png";
    render({"--bounds", "90x58@2", "--seed", "1", "--out", out.string()}, &status);
    ASSERT_EQ(status, 0);
    std::FILE* f = std::fopen(out.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    unsigned char header[24];
    ASSERT_EQ(std::fread(header, 1, 24, f), 24u);
    std::fclose(f);
    EXPECT_EQ((header[16] << 24 | header[17] << 16 | header[18] << 8 | header[19]), 180);  // PNG IHDR width
    EXPECT_EQ((header[20] << 24 | header[21] << 16 | header[22] << 8 | header[23]), 116);
}

TEST_F(RenderFiles, UnwritableFolderFailsBeforeWorkAndLeavesNothing) {
    int status = -1;
    // A read-only folder stops everyone but root; sysfs refuses new files even to root.
    if (geteuid() != 0) {
        chmod(dir.c_str(), 0555);
        render({"--canvas", "32x20", "--out", (dir / "x.png").string()}, &status);
        EXPECT_EQ(status, 2);
        chmod(dir.c_str(), 0755);
        EXPECT_EQ(entries(), 0u);
    }
    if (fs::is_directory("/sys/kernel")) {
        render({"--canvas", "32x20", "--out", "/sys/kernel/duskmere-x.png"}, &status);
        EXPECT_EQ(status, 2);
        EXPECT_FALSE(fs::exists("/sys/kernel/duskmere-x.png"));
    }
    render({"--canvas", "32x20", "--out", "/nonexistent-folder/x.png"}, &status);
    EXPECT_EQ(status, 2);
    EXPECT_FALSE(fs::exists("/nonexistent-folder/x.png"));
}

TEST_F(RenderFiles, TheFirstFramesNameIsCheckedBeforeWork) {
    int status = -1;
    fs::create_directory(dir / "pct%dir");
    render({"--canvas", "32x20", "--frames", "2", "--every", "1", "--out", (dir / "pct%%dir/f-%02d.png").string()},
           &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(fs::exists(dir / "pct%dir/f-02.png"));
    // A folder that does not exist, and a name too long for the file system: refused up front.
    for (const char* pattern : {"pct%%nodir/f-%02d.png", "m%999d.png"}) {
        render({"--canvas", "32x20", "--frames", "100000", "--every", "1", "--out", (dir / pattern).string()}, &status);
        EXPECT_EQ(status, 2) << pattern;
    }
}

TEST_F(RenderFiles, AWriteErrorMidRunIsStatusOneAndLeavesNoPartialFile) {
    // A file size limit fails the write as a full disk would, even for root.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{2048, 2048};
        setrlimit(RLIMIT_FSIZE, &limit);
        int status = -1;
        render({"--canvas", "400x300", "--seed", "2", "--frames", "3000", "--out", (dir / "big.png").string()}, &status);
        _exit(status);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(entries(), 0u);
}

}  // namespace
}  // namespace duskmere
