#include "LinuxRenderHost.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "OutputFile.h"
#include "PngFile.h"
#include "host/SoftwareSaverPlatform.h"

namespace duskmere {

namespace {

// The presenter with a fixed seed and no process to speak of: the renderer runs the view itself.
class RenderPlatform : public SoftwareSaverPlatform {
public:
    RenderPlatform(double backingScale, uint64_t seed) : SoftwareSaverPlatform(backingScale), seed_(seed) {}

    void setNeedsDisplay() override {}
    void setAnimationInterval(double) override {}
    void observeDistributedNotification(const std::string&, std::function<void()>) override {}
    std::string processName() const override { return program_invocation_short_name; }
    void exitProcess(int status) override { std::exit(status); }
    uint64_t secureRandomSeed() override { return seed_; }

private:
    uint64_t seed_;
};

class PresenterTarget : public RenderTarget {
public:
    PresenterTarget(double backingScale, uint64_t seed) : platform_(backingScale, seed) {}

    SaverPlatform& platform() override { return platform_; }
    PixelRows picture() override {
        platform_.finishRedraw();  // the presenter paints a redraw when it ends
        if (platform_.deviceWidth() <= 0 || platform_.deviceHeight() <= 0) return {};
        return {platform_.devicePixels(), platform_.deviceWidth(), platform_.deviceHeight()};
    }

    RenderPlatform platform_;
};

bool readUrandom(unsigned char* out, size_t n) {
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    size_t got = 0;
    while (got < n) {
        const ssize_t r = read(fd, out + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    close(fd);
    return got == n;
}

}  // namespace

std::unique_ptr<RenderTarget> LinuxRenderHost::makeTarget(ViewSize bounds, double backingScale, uint64_t seed) {
    auto target = std::make_unique<PresenterTarget>(backingScale, seed);
    target->platform_.setBounds(bounds);
    return target;
}

bool LinuxRenderHost::writePng(const PixelRows& picture, OutputFile& file, std::string& error) {
    return duskmere::writePng(picture, file, error);
}

uint64_t LinuxRenderHost::secureRandomSeed() {
    unsigned char bytes[8];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t r = getrandom(bytes + got, sizeof bytes - got, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    if (got < sizeof bytes && !readUrandom(bytes, sizeof bytes)) {
        std::fputs("duskmere-render: no secure random source available\n", stderr);
        std::exit(1);
    }
    uint64_t seed;
    std::memcpy(&seed, bytes, sizeof seed);
    return seed;
}

}  // namespace duskmere
