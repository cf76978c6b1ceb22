// duskmere-wayland --idle: the showings of the saver between idle periods, on the same loop,
// outputs and seat as the saver itself.

#include <mutex>

#include "StopWatchdog.h"
#include "WaylandSaver.h"

namespace duskmere {

bool WaylandSaver::idleStep() {
    std::string error;
    if (!idle_->process(error)) {
        if (!options_.capture.empty()) error += "; no capture written";
        fail(error);
        return false;
    }
    // An idle period that began while a showing was on (a jitter of the mouse counts as input to
    // the compositor) changes nothing.
    const bool idled = idle_->takeIdle();
    // A showing whose surfaces the compositor all closed (its outputs went away) is over too, or
    // the idle periods to come would find it still on.
    if (endAsked_ || (showing_ && surfaces().empty())) {
        endAsked_ = false;
        endShowing();
    } else if (idled && !showing_) {
        beginShowing();
    }
    return true;
}

void WaylandSaver::beginShowing() {
    const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
    showing_ = true;
    clockRunning_ = false;  // frames count from this showing's first
    pointerSurface_ = nullptr;
    pointerOrigin_.reset();  // each showing measures from where the pointer is first seen in it
    pointerHasLeft_ = false;
    pointerEnteredAt_ = 0;
    keyboardIsNew_ = false;
    // New surfaces, so new scenes: new seeds unless --seed fixed them.
    for (auto& o : outputs_)
        if (o->described && !o->surface) makeSurface(*o);
}

void WaylandSaver::endShowing() {
    const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
    if (!options_.capture.empty()) {
        // Kept for the capture at the final stop, which writes what was last shown.
        if (SaverSurface* first = firstSurface(); first && first->drawn()) {
            const PixelRows p = first->picture();
            lastPicture_.assign(p.pixels, p.pixels + p.width * p.height);
            lastWidth_ = p.width;
            lastHeight_ = p.height;
        }
    }
    for (auto& o : outputs_) o->surface.reset();
    showing_ = false;
    clockRunning_ = false;
    pointerSurface_ = nullptr;
    pointerOrigin_.reset();  // each showing measures from where the pointer is first seen in it
    pointerHasLeft_ = false;
    pointerEnteredAt_ = 0;
}

PixelRows WaylandSaver::lastShown() const {
    if (lastPicture_.empty()) return {};
    return {lastPicture_.data(), lastWidth_, lastHeight_};
}

}  // namespace duskmere
