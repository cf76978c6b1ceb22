#include "X11Saver.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <cstdio>
#include <string>

#include "StopSignals.h"
#include "WindowCapture.h"
#include "XErrorTrap.h"
#include "cairo/PngFile.h"
#include "catalog/SceneCatalog.h"

namespace duskmere {

X11Saver::X11Saver(Display* display, const TargetWindow& window, const HackOptions& options, const SceneEntry& scene)
    : display_(display),
      window_(window),
      options_(options),
      platform_(display, window.id, window.visual, options.backingScale),
      view_(scene.makeView(platform_)),
      clock_(platform_.animationInterval()),
      fps_(stderr),
      mapped_(window.viewable) {
    if (options.seed) platform_.fixSeed(*options.seed);
    platform_.setWindowSize(window.width, window.height);
}

X11Saver::~X11Saver() = default;

void X11Saver::stop(int status) {
    if (!stopStatus_) stopStatus_ = status;
}

void X11Saver::handlePendingEvents() {
    while (!stopStatus_ && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        handle(event);
    }
}

void X11Saver::handle(XEvent& event) {
    switch (event.type) {
    case Expose:
        repaint_ = true;
        break;
    case ConfigureNotify:
        if (event.xconfigure.window != window_.id) break;
        platform_.setWindowSize(event.xconfigure.width, event.xconfigure.height);
        repaint_ = true;
        break;
    case MapNotify:
        if (event.xmap.window != window_.id) break;
        mapped_ = true;
        repaint_ = true;
        break;
    case UnmapNotify:
        if (event.xunmap.window == window_.id) mapped_ = false;
        break;
    case VisibilityNotify:
        if (event.xvisibility.window != window_.id) break;
        obscured_ = event.xvisibility.state == VisibilityFullyObscured;
        if (!obscured_) repaint_ = true;
        break;
    case DestroyNotify:
        // The owner of the window took it away: the saver's work is over.
        if (event.xdestroywindow.window == window_.id) stop(0);
        break;
    case KeyPress:
        if (window_.own) handleKey(event.xkey);
        break;
    case ClientMessage:
        if (window_.own && isCloseRequest(display_, event)) stop(0);
        break;
    default:
        break;
    }
}

void X11Saver::handleKey(XKeyEvent& event) {
    char text[8];
    KeySym key = NoSymbol;
    XLookupString(&event, text, sizeof text, &key, nullptr);
    if (key == XK_q || key == XK_Q || key == XK_Escape) stop(0);
    if (key == XK_f || key == XK_F) toggleFullScreen(display_, window_.id);
}

void X11Saver::tick() {
    view_->animateOneFrame();
    ++ticks_;
}

void X11Saver::redrawIfNeeded() {
    const bool asked = platform_.takeNeedsDisplay();
    if (!visible() || stopStatus_ || (!asked && !repaint_)) return;
    if (repaint_) platform_.repaint();
    repaint_ = false;
    view_->drawRect();
    platform_.present(platform_.finishRedraw());
    // One round trip per frame: the server has the frame before the next is made, and any
    // error it caused is known now.
    XSync(display_, False);
    checkErrors();
    drawn_ = true;
    if (options_.fps) fps_.frameShown(monotonicNanos());
}

void X11Saver::checkErrors() {
    if (!XErrorTrap::caught()) return;
    const std::string what = XErrorTrap::describe(display_);
    XErrorTrap::clear();
    XWindowAttributes attributes;
    const bool exists = XGetWindowAttributes(display_, window_.id, &attributes) != 0;
    XSync(display_, False);
    if (!exists || XErrorTrap::caught()) {
        // The window went away under us (its DestroyNotify may still be on its way).
        XErrorTrap::clear();
        stop(0);
        return;
    }
    std::fprintf(stderr, "duskmere: %s\n", what.c_str());
    stop(1);
}

void X11Saver::finishFrames() {
    if (!options_.frames || !drawn_ || ticks_ < *options_.frames || stopStatus_) return;
    if (options_.capture.empty()) {
        stop(0);
        return;
    }
    const CairoSurface picture = captureWindow(display_, window_.id, platform_.windowWidth(), platform_.windowHeight());
    if (!picture) {
        std::fputs("duskmere: cannot read the window back from the X server\n", stderr);
        stop(1);
        return;
    }
    std::string error;
    if (!writePngAtomically(picture.get(), options_.capture, error)) {
        std::fprintf(stderr, "duskmere: %s\n", error.c_str());
        stop(1);
        return;
    }
    stop(0);
}

void X11Saver::waitForWork() {
    if (XPending(display_) > 0) return;  // also sends what is buffered
    timespec timeout{};
    timespec* wait = nullptr;  // while nothing can be seen, sleep until something happens
    if (visible() && clockRunning_) {
        const int64_t left = clock_.deadline() - monotonicNanos();
        if (left <= 0) return;
        timeout.tv_sec = left / 1000000000;
        timeout.tv_nsec = left % 1000000000;
        wait = &timeout;
    }
    pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {StopSignals::wakeFd(), POLLIN, 0}};
    ppoll(fds, StopSignals::wakeFd() >= 0 ? 2 : 1, wait, nullptr);
}

int X11Saver::run() {
    while (!stopStatus_) {
        if (StopSignals::requested()) {
            stop(0);
            break;
        }
        handlePendingEvents();
        if (stopStatus_) break;
        if (visible()) {
            const int64_t now = monotonicNanos();
            if (!clockRunning_) {
                // Starting, or back from hiding: a fresh grid, and no ticks owed for the pause.
                clock_.restart(now);
                clockRunning_ = true;
                if (options_.fps) fps_.restart(now);
            } else if (clock_.due(now)) {
                tick();
                clock_.advance(monotonicNanos());
            }
            redrawIfNeeded();
            finishFrames();
        } else {
            clockRunning_ = false;
        }
        if (!stopStatus_) waitForWork();
    }
    return *stopStatus_;
}

}  // namespace duskmere
