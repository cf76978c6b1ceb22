#include "WinRenderHost.h"

#include "OutputFile.h"
#include "WicPng.h"
#include "WinSaverPlatform.h"

namespace duskmere {

namespace {

class SoftwareRenderTarget : public RenderTarget {
public:
    explicit SoftwareRenderTarget(double backingScale) : platform_(backingScale) {}

    SaverPlatform& platform() override { return platform_; }
    PixelRows picture() override {
        platform_.finishRedraw();  // the software platform paints a redraw when it ends
        if (platform_.deviceWidth() <= 0 || platform_.deviceHeight() <= 0) return {};
        return {platform_.devicePixels(), platform_.deviceWidth(), platform_.deviceHeight()};
    }

    WinSaverPlatform platform_;
};

}  // namespace

std::unique_ptr<RenderTarget> WinRenderHost::makeTarget(ViewSize bounds, double backingScale, uint64_t seed) {
    auto target = std::make_unique<SoftwareRenderTarget>(backingScale);
    target->platform_.setBounds(bounds);
    target->platform_.fixSeed(seed);
    return target;
}

bool WinRenderHost::writePng(const PixelRows& picture, OutputFile& file, std::string& error) {
    return encodePng(picture.pixels, picture.width, picture.height, file, error);
}

uint64_t WinRenderHost::secureRandomSeed() { return systemRandomSeed(); }

}  // namespace duskmere
