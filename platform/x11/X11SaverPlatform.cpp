#include "X11SaverPlatform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SecureRandom.h"

namespace duskmere {

X11SaverPlatform::X11SaverPlatform(Display* display, const TargetWindow& window, double backingScale)
    : SoftwareSaverPlatform(backingScale),
      image_(display, window.id, window.visual, window.depth, window.colormap) {
    acceptShifts(true);
}

void X11SaverPlatform::setWindowSize(int width, int height) {
    windowWidth_ = std::max(width, 0);
    windowHeight_ = std::max(height, 0);
    setBounds({windowWidth_ / backingScale(), windowHeight_ / backingScale()});
    repaintAll();
}

bool X11SaverPlatform::present(const std::vector<DeviceBox>& boxes, std::string& error) {
    if (windowWidth_ < 1 || windowHeight_ < 1) return true;
    const auto size = [](int w, int h) { return std::to_string(w) + " x " + std::to_string(h) + " pixels"; };
    // The presenter drops a picture it cannot allocate: the window would stay black.
    if (bounds().width >= 1 && bounds().height >= 1 && (deviceWidth() < 1 || deviceHeight() < 1)) {
        error = "cannot allocate a picture of " + size(windowWidth_, windowHeight_);
        return false;
    }
    // The server moves a scroll within the window; only what really changed is sent.
    if (shift()) image_.shift(shift()->area, shift()->dx);
    if (!image_.put(devicePixels(), deviceWidth(), deviceHeight(), boxes)) {
        error = "cannot allocate the window's image of " + size(deviceWidth(), deviceHeight());
        return false;
    }
    watchForScrolls(boxes);
    return true;
}

void X11SaverPlatform::presentPatch(const uint32_t* pixels, const DeviceBox& at) {
    if (windowWidth_ < 1 || windowHeight_ < 1) return;
    image_.putPatch(pixels, at);
}

std::string X11SaverPlatform::processName() const { return program_invocation_short_name; }

void X11SaverPlatform::exitProcess(int status) { std::exit(status); }

uint64_t X11SaverPlatform::systemSeed() { return newSeed(); }

}  // namespace duskmere
