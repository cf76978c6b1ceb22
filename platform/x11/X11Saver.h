#pragma once

#include <X11/Xlib.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FpsMeter.h"
#include "FpsOverlay.h"
#include "HackOptions.h"
#include "MonotonicClock.h"
#include "TargetWindow.h"
#include "X11SaverPlatform.h"
#include "host/PixelSaverView.h"
#include "host/TickSchedule.h"

namespace duskmere {

struct SceneEntry;

// The saver running in one X window: events in, a 30 Hz tick, redraws when the view asks for
// display or the window was exposed, and nothing at all while the window cannot be seen.
//
// The loop never waits inside Xlib for the server: a frame is sent with a fence behind it (an
// event the server returns to us once it has taken everything before it), and the next frame
// waits for the fence in our own poll, together with the stop-signal pipe. So a server that stops
// answering leaves at most one frame in flight, and a stop still ends the program at once.
class X11Saver {
public:
    X11Saver(Display* display, const TargetWindow& window, const HackOptions& options, const SceneEntry& scene);
    ~X11Saver();

    // Runs until a stop, writes the capture if one was asked for, and returns the exit status.
    int run();

    // The steps of run(), for hosts that drive the loop themselves (tests).
    void handlePendingEvents();
    void tick();
    // Redraws and presents if the view asked for display or the window needs repainting.
    void redrawIfNeeded();
    // The -fps figures from the next redraw on, as the meter sets them once a second.
    void setFigures(double framesPerSecond, double loadPercent);

    bool visible() const { return viewable_ && !obscured_; }
    std::optional<int> stopStatus() const { return stopStatus_; }
    int64_t ticks() const { return ticks_; }
    const PixelSaverView& view() const { return *view_; }
    X11SaverPlatform& platform() { return platform_; }

    // The picture the window shows (with the -fps figures when they are on), from what the
    // program holds, never read back from the server. Empty when the window has no pixels.
    std::vector<uint32_t> picture(int& width, int& height);

private:
    void handle(XEvent& event);
    void handleKey(XKeyEvent& event);
    void stop(int status);
    void checkErrors();
    void waitForWork();
    void finishFrames();
    // Empty while the window's picture fits the device budget; else why it does not.
    std::string beyondBudget() const;
    void sendFence();
    bool isWatched(Window w) const;
    void watchAncestors();
    void checkViewable();
    // The corner under the -fps figures with them drawn on, when it must be sent again.
    bool overlayPatch(const std::vector<DeviceBox>& boxes, bool figuresChanged);
    // Writes the capture (once); false after a failure it reported.
    bool writeCapture();
    static void finishFromWatchdog(void* self);

    Display* display_;
    TargetWindow window_;
    const HackOptions& options_;
    X11SaverPlatform platform_;
    std::unique_ptr<PixelSaverView> view_;
    TickSchedule clock_;
    FpsMeter fps_;
    FpsOverlay overlay_;
    std::vector<uint32_t> patch_;
    DeviceBox patchBox_{};
    DeviceBox overlayShown_{};
    bool figuresChanged_ = false;  // the figures' box on the window, as last sent
    std::vector<DeviceBox> boxes_;
    Window fenceWindow_ = 0;
    Atom fenceAtom_ = 0;
    bool fencePending_ = false;
    std::vector<Window> ancestors_;  // of an adopted window, up to (not including) the root
    bool rewatch_ = false;
    bool recheck_ = false;
    bool clockRunning_ = false;
    bool viewable_ = false;
    bool obscured_ = false;
    bool repaint_ = true;
    bool drawn_ = false;
    std::optional<bool> captureWritten_;  // the capture's result, once written
    int64_t ticks_ = 0;
    std::optional<int> stopStatus_;
};

}  // namespace duskmere
