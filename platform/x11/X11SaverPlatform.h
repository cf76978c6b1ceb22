#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

#include "TargetWindow.h"
#include "WindowImage.h"
#include "host/SoftwareSaverPlatform.h"

namespace duskmere {

// The saver platform on X11: the presenter's picture of each redraw, of which only the boxes that
// changed are sent to the window (a frame is complete in memory before any of it is sent, so the
// window never shows a half-drawn one). The view's bounds are the window's size in points.
class X11SaverPlatform : public SoftwareSaverPlatform {
public:
    X11SaverPlatform(Display* display, const TargetWindow& window, double backingScale);

    // The window's size in device pixels, from its creation or a ConfigureNotify.
    void setWindowSize(int width, int height);

    // Sends the last redraw's changes to the window: its shift, then its boxes. False, with the
    // reason, when the picture or the image the window is sent from could not be allocated.
    bool present(const std::vector<DeviceBox>& boxes, std::string& error);
    // Sends pixels of its own (something laid over the picture), `at.x1 - at.x0` to a row.
    void presentPatch(const uint32_t* pixels, const DeviceBox& at);
    WindowImage& windowImage() { return image_; }

    std::string processName() const override;
    void exitProcess(int status) override;

private:
    uint64_t systemSeed() override;

    WindowImage image_;
    int windowWidth_ = 0;
    int windowHeight_ = 0;
};

}  // namespace duskmere
