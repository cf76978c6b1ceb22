#pragma once

#include <X11/Xlib.h>

#include <memory>
#include <optional>

#include "FpsMeter.h"
#include "HackOptions.h"
#include "TargetWindow.h"
#include "TickClock.h"
#include "X11SaverPlatform.h"
#include "host/PixelSaverView.h"

namespace duskmere {

struct SceneEntry;

// The saver running in one X window: events in, a 30 Hz tick, redraws when the view asks for
// display or the window was exposed, and nothing at all while the window cannot be seen.
class X11Saver {
public:
    X11Saver(Display* display, const TargetWindow& window, const HackOptions& options, const SceneEntry& scene);
    ~X11Saver();

    // Runs until a stop: returns the exit status.
    int run();

    // The steps of run(), for hosts that drive the loop themselves (tests).
    void handlePendingEvents();
    void tick();
    // Redraws and presents if the view asked for display or the window needs repainting.
    void redrawIfNeeded();

    bool visible() const { return mapped_ && !obscured_; }
    std::optional<int> stopStatus() const { return stopStatus_; }
    int64_t ticks() const { return ticks_; }
    const PixelSaverView& view() const { return *view_; }
    X11SaverPlatform& platform() { return platform_; }

private:
    void handle(XEvent& event);
    void handleKey(XKeyEvent& event);
    void stop(int status);
    void checkErrors();
    void waitForWork();
    void finishFrames();

    Display* display_;
    TargetWindow window_;
    const HackOptions& options_;
    X11SaverPlatform platform_;
    std::unique_ptr<PixelSaverView> view_;
    TickClock clock_;
    FpsMeter fps_;
    bool clockRunning_ = false;
    bool mapped_ = false;
    bool obscured_ = false;
    bool repaint_ = true;
    bool drawn_ = false;
    int64_t ticks_ = 0;
    std::optional<int> stopStatus_;
};

}  // namespace duskmere
