#include "LinuxRenderHost.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "OutputFile.h"
#include "PngFile.h"
#include "SecureRandom.h"
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

}  // namespace

std::unique_ptr<RenderTarget> LinuxRenderHost::makeTarget(ViewSize bounds, double backingScale, uint64_t seed) {
    auto target = std::make_unique<PresenterTarget>(backingScale, seed);
    target->platform_.setBounds(bounds);
    return target;
}

bool LinuxRenderHost::writePng(const PixelRows& picture, OutputFile& file, std::string& error) {
    return duskmere::writePng(picture, file, error);
}

uint64_t LinuxRenderHost::secureRandomSeed() { return newSeed(); }

}  // namespace duskmere
