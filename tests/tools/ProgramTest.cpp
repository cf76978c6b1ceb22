// duskmere-render and duskmere-soak run as users run them: real processes, real paths, real pipes.
#include <cairo.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ToolPrograms.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;  // exit status, or 128 + signal
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a program in `cwd` with stdout on `outFd` (or /dev/null); captures stderr.
Outcome run(const char* program, const std::vector<std::string>& args, const fs::path& cwd, int outFd = -1,
        std::function<void()> inChild = {}) {
    const fs::path errFile = cwd / ".stderr";
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(126);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int out = outFd >= 0 ? outFd : open("/dev/null", O_WRONLY);
        dup2(err, 2);
        dup2(out, 1);
        if (inChild) inChild();
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    Outcome r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.err = slurp(errFile);
    fs::remove(errFile);
    return r;
}

int pngWidth(const std::string& bytes) {
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return -1;
    const auto b = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    return b(16) << 24 | b(17) << 16 | b(18) << 8 | b(19);
}

class Programs : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("duskmere-program-test-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    // The folder's entries other than the captured stderr, hidden ones included.
    std::vector<std::string> entries(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    Outcome render(std::vector<std::string> args, int outFd = -1) { return run(DUSKMERE_RENDER, args, dir, outFd); }
    fs::path dir;
};

TEST_F(Programs, WhatTheOutputPathNamesDecidesHowItIsWritten) {
    struct Row {
        const char* name;
        std::function<std::string(const fs::path&)> setup;  // makes the path, returns --out
        int status;
        const char* says;  // a piece of the one error line
        std::function<void(const fs::path&)> check;  // what must hold afterwards
    };
    const std::vector<Row> rows = {
        {"symlink",
         [](const fs::path& d) {
             fs::create_directory(d / "real");
             fs::create_symlink("real/t.png", d / "link.png");
             return "link.png";
         },
         0, "",
         [](const fs::path& d) {
             EXPECT_TRUE(fs::is_symlink(d / "link.png"));
             EXPECT_EQ(pngWidth(slurp(d / "real/t.png")), 64);
             EXPECT_EQ(std::distance(fs::directory_iterator(d / "real"), {}), 1);  // nothing else
         }},
        {"dangling symlink",
         [](const fs::path& d) {
             fs::create_directory(d / "real");
             fs::create_symlink("real/new.png", d / "link.png");
             return "link.png";
         },
         0, "",
         [](const fs::path& d) {
             EXPECT_TRUE(fs::is_symlink(d / "link.png"));
             EXPECT_EQ(pngWidth(slurp(d / "real/new.png")), 64);
         }},
        {"symlink loop",
         [](const fs::path& d) {
             fs::create_symlink("b.png", d / "a.png");
             fs::create_symlink("a.png", d / "b.png");
             return "a.png";
         },
         2, "symbolic links", [](const fs::path& d) { EXPECT_TRUE(fs::is_symlink(d / "a.png")); }},
        {"existing file, mode 0600",
         [](const fs::path& d) {
             std::ofstream(d / "old.png") << "old";
             fs::permissions(d / "old.png", fs::perms::owner_read | fs::perms::owner_write);
             return "old.png";
         },
         0, "",
         [](const fs::path& d) {
             EXPECT_EQ(pngWidth(slurp(d / "old.png")), 64);
             EXPECT_EQ(fs::status(d / "old.png").permissions() & fs::perms::all,
                       fs::perms::owner_read | fs::perms::owner_write);
         }},
        {"folder",
         [](const fs::path& d) {
             fs::create_directory(d / "frames");
             return "frames";
         },
         2, "is a folder", [](const fs::path& d) { EXPECT_TRUE(fs::is_empty(d / "frames")); }},
        {"trailing slash", [](const fs::path&) { return "frames/"; }, 2, "is a folder",
         [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "frames")); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path d = dir / "row";
        fs::create_directories(d);
        const std::string out = row.setup(d);
        // Enough frames that rendering them before a late refusal would show in the status.
        const Outcome r = run(DUSKMERE_RENDER, {"--canvas", "64x36", "--seed", "1", "--frames", "300", "--out", out}, d);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), row.status ? 1 : 0) << r.err;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
        row.check(d);
        for (const std::string& name : entries(d)) EXPECT_NE(name.rfind(".duskmere-", 0), 0u) << name;
        fs::remove_all(d);
    }
}

TEST_F(Programs, AFifoReaderReceivesTheImage) {
    const fs::path fifo = dir / "pipe.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Holding a writer of our own lets the reader open at once and see the end only after the run.
    const int held = open(fifo.c_str(), O_RDWR);
    std::string received;
    std::thread reader([&] { received = slurp(fifo); });
    const Outcome r = render({"--canvas", "64x36", "--seed", "1", "--out", fifo.string()});
    close(held);
    reader.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_fifo(fifo));
    // The whole image: its header, and the chunk that ends every PNG.
    EXPECT_EQ(pngWidth(received), 64);
    EXPECT_EQ(received.size() > 12 ? received.substr(received.size() - 8, 4) : "", "IEND");
}

TEST_F(Programs, AFullDeviceFailsAndStaysADevice) {
    // Our own node of the full device where we may make one, so that a fault replaces only that.
    fs::path device = dir / "full";
    if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        if (geteuid() == 0 || !fs::is_character_file("/dev/full")) GTEST_SKIP() << "no full device to write to";
        device = "/dev/full";
    }
    const Outcome r = render({"--canvas", "64x36", "--seed", "1", "--out", device.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_character_file(device));
}

TEST_F(Programs, AStopSignalDuringALargeWriteLeavesNoTemporaryFile) {
    const fs::path out = dir / "out";
    fs::create_directory(out);
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(DUSKMERE_RENDER, DUSKMERE_RENDER, "--canvas", "4000x4000", "--seed", "1", "--out",
              (out / "big.png").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    bool writing = false;
    for (int i = 0; i < 600 && !writing; ++i) {
        for (const std::string& name : entries(out)) writing |= name.rfind(".duskmere-", 0) == 0;
        if (!writing) usleep(10000);
    }
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(writing) << "the write was never seen";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(Programs, StandardOutputTakesRawFramesAndReportsFailures) {
    // --out - streams frames 0 to N - 1 (those kept by --every) as RGBA: the byte count, and the
    // last one (frame 6 of 0, 3, 6) equals the PNG of a run of 6 frames.
    const fs::path raw = dir / "frames.rgba";
    int fd = open(raw.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_EQ(render({"--bounds", "64x36@2", "--seed", "4", "--frames", "9", "--out", "-"}, fd).status, 0);
    close(fd);
    EXPECT_EQ(fs::file_size(raw), 9u * 128 * 72 * 4);
    fd = open(raw.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_EQ(render({"--bounds", "64x36@2", "--seed", "4", "--frames", "9", "--every", "3", "--out", "-"}, fd).status, 0);
    close(fd);
    ASSERT_EQ(fs::file_size(raw), 3u * 128 * 72 * 4);
    ASSERT_EQ(render({"--bounds", "64x36@2", "--seed", "4", "--frames", "6", "--out", "last.png"}).status, 0);
    cairo_surface_t* png = cairo_image_surface_create_from_png((dir / "last.png").c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    const std::string bytes = slurp(raw);
    const unsigned char* last = reinterpret_cast<const unsigned char*>(bytes.data()) + 2 * 128 * 72 * 4;
    const unsigned char* data = cairo_image_surface_get_data(png);
    int differing = 0;
    for (int y = 0; y < 72; ++y)
        for (int x = 0; x < 128; ++x) {
            uint32_t p;
            std::memcpy(&p, data + y * cairo_image_surface_get_stride(png) + x * 4, 4);
            const unsigned char* q = last + (y * 128 + x) * 4;
            differing += q[0] != ((p >> 16) & 0xFF) || q[1] != ((p >> 8) & 0xFF) || q[2] != (p & 0xFF) || q[3] != 0xFF;
        }
    cairo_surface_destroy(png);
    EXPECT_EQ(differing, 0);

    // A reader that went away ends a long run at once and quietly.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    Outcome r = render({"--canvas", "64x36", "--seed", "1", "--frames", "100000000", "--out", "-"}, ends[1]);
    close(ends[1]);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(fs::exists(dir / "-"));

    // A full disk is one line and status 1, for both programs.
    fd = open("/dev/full", O_WRONLY);
    if (fd >= 0) {
        r = render({"--canvas", "64x36", "--seed", "1", "--frames", "20000", "--hash-every", "1"}, fd);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        r = run(DUSKMERE_SOAK, {"--canvas", "8x8", "--hours", "1"}, dir, fd);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
        close(fd);
    }

    // Binary never goes to a terminal.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    r = render({"--canvas", "64x36", "--out", "-"}, terminal);
    close(terminal);
    close(master);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("terminal"), std::string::npos) << r.err;
}

TEST_F(Programs, TheSoakTakesItsOptionsAsTheRenderersDo) {
    struct Row {
        const char* program;
        std::vector<std::string> args;
        int status;
        const char* out;  // a piece of stdout, or of stderr when the status is not 0
    };
    const std::vector<Row> rows = {
        // The same option syntax in both: one dash or two, the value after a space or '='.
        {DUSKMERE_SOAK, {"--canvas=8x8", "-hours", "1", "-max-growth=0"}, 0, "growth after the first hour"},
        {DUSKMERE_RENDER, {"--canvas=8x8", "-seed=1", "-hash-every", "1", "--frames=1"}, 0, "frame 1 "},
        {DUSKMERE_SOAK, {"-h"}, 0, "(default 296x184)"},
        {DUSKMERE_SOAK, {"--help"}, 0, "(default 24)"},
        {DUSKMERE_SOAK, {"--version"}, 0, "duskmere-soak 1.0.0\n"},
        {DUSKMERE_SOAK, {"--hours=0"}, 2, "--hours"},
        {DUSKMERE_SOAK, {"--max-growth", "-1"}, 2, "--max-growth"},
        {DUSKMERE_SOAK, {"--hours"}, 2, "needs a value"},
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's own reservations do not fit a memory limit
        {DUSKMERE_SOAK, {"--canvas", "16384x16384", "--hours", "1"}, 1, "out of memory for a 16384x16384 canvas"},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.program) + " " + row.args[0]);
        const fs::path out = dir / "stdout";
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        // A memory limit makes the large canvas fail on any machine.
        const Outcome r = run(row.program, row.args, dir, fd, [] {
#ifndef __SANITIZE_ADDRESS__
            rlimit limit{1u << 30, 1u << 30};
            setrlimit(RLIMIT_AS, &limit);
#endif
        });
        close(fd);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_NE((row.status ? r.err : slurp(out)).find(row.out), std::string::npos) << r.err << slurp(out);
    }
    // The renderer names its version the same way.
    const fs::path out = dir / "stdout";
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_EQ(render({"--version"}, fd).status, 0);
    close(fd);
    EXPECT_EQ(slurp(out), "duskmere-render 1.0.0\n");
}

}  // namespace
