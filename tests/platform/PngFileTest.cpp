#include "PngFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cairo/CairoImage.h"

namespace duskmere {
namespace {

namespace fs = std::filesystem;

class PngFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("duskmere-png-test-" + std::to_string(getpid()));
        fs::create_directories(dir);
        // Noise does not compress, so the file is large enough to hit a small size limit.
        px.resize(256 * 256);
        uint32_t v = 1;
        for (uint32_t& p : px) p = (v = v * 1664525u + 1013904223u);
    }
    void TearDown() override { fs::remove_all(dir); }
    size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }

    fs::path dir;
    std::vector<uint32_t> px;
    PixelRows image() const { return {px.data(), 256, 256}; }
};

TEST_F(PngFile, WritesTheWholeImageUnderItsName) {
    std::string error;
    ASSERT_TRUE(writePngFile(image(), (dir / "a.png").string(), error)) << error;
    EXPECT_EQ(entries(), 1u);
    // Read back by another decoder: every pixel's R, G and B.
    CairoSurface back(cairo_image_surface_create_from_png((dir / "a.png").c_str()));
    ASSERT_EQ(cairo_surface_status(back.get()), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(back.get()), 256);
    ASSERT_EQ(cairo_image_surface_get_height(back.get()), 256);
    const unsigned char* data = cairo_image_surface_get_data(back.get());
    const int stride = cairo_image_surface_get_stride(back.get());
    int differing = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            differing += (reinterpret_cast<const uint32_t*>(data + y * stride)[x] & 0xFFFFFFu) !=
                         (toCairoPixel(px[static_cast<size_t>(y * 256 + x)]) & 0xFFFFFFu);
    EXPECT_EQ(differing, 0);
}

TEST_F(PngFile, AWriteErrorLeavesNothingAndKeepsTheOldFile) {
    std::string error;
    const fs::path path = dir / "a.png";
    ASSERT_TRUE(writePngFile(image(), path.string(), error));
    const auto before = fs::file_size(path);
    // A file size limit makes writes fail as a full disk would, even for root.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string childError;
        const bool ok = writePngFile(image(), path.string(), childError);
        _exit(!ok && childError.find("File too large") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(entries(), 1u);
    EXPECT_EQ(fs::file_size(path), before);
}

TEST_F(PngFile, AMissingFolderIsReportedInOneLine) {
    std::string error;
    EXPECT_FALSE(checkOutputPath((dir / "no" / "x.png").string(), error));
    EXPECT_NE(error.find("No such file"), std::string::npos);
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_TRUE(checkOutputPath((dir / "x.png").string(), error));
    EXPECT_TRUE(checkOutputPath("relative.png", error));
    EXPECT_EQ(entries(), 0u);
}

}  // namespace
}  // namespace duskmere
