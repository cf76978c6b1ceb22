#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "host/PixelScene.h"
#include "host/SaverPlatform.h"
#include "pixels/Canvas.h"

namespace duskmere {

// The scene-independent saver: sizes a canvas from the view's bounds so that the scene gets about
// targetRows() rows, steps the scene on every tick and presents the canvas enlarged by a whole
// number with a scanline under each canvas row. Concrete views choose only the rows and the scene.
class PixelSaverView {
public:
    static constexpr double animationInterval = 0.03333333333333333;
    static constexpr const char* willStopNotification = "com.apple.screensaver.willstop";
    // How long the legacy host is left running after the will-stop notification: a host killed
    // at once is restarted by the system and then never hears the next will-stop.
    static constexpr double willStopExitDelay = 2.0;

    struct FromFrame {};  // created by the host with a frame: reacts to the will-stop notification
    struct FromCoder {};  // restored from an archive: does not

    PixelSaverView(SaverPlatform& platform, FromFrame);
    PixelSaverView(SaverPlatform& platform, FromCoder);
    virtual ~PixelSaverView() = default;
    PixelSaverView(const PixelSaverView&) = delete;
    PixelSaverView& operator=(const PixelSaverView&) = delete;

    virtual double targetRows() const;
    virtual std::unique_ptr<PixelScene> makeScene(int64_t width, int64_t height, uint64_t seed);

    void saverWillStop();
    // The host starts (or restarts) this view's animation: a pending exit is called off, since
    // the saver is back on screen, as after a quick return through a hot corner.
    void startAnimation();
    void animateOneFrame();
    void drawRect();
    bool hasConfigureSheet() const { return false; }
    std::nullptr_t configureSheet() const { return nullptr; }

    // Read-only views of the state, for hosts and tests.
    const PixelScene* scene() const { return scene_.get(); }
    const Canvas* canvas() const { return canvas_.get(); }
    double pixelScale() const { return pixelScale_; }

protected:
    SaverPlatform& platform() { return platform_; }

private:
    void prepare();
    void presentCanvas();

    SaverPlatform& platform_;
    std::unique_ptr<PixelScene> scene_;
    std::unique_ptr<Canvas> canvas_;
    double pixelScale_ = 1.0;
};

}  // namespace duskmere
