#include "X11Saver.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "CommandLine.h"
#include "SendBuffered.h"
#include "StopSignals.h"
#include "StopWatchdog.h"
#include "XErrorTrap.h"
#include "PngFile.h"
#include "catalog/SceneCatalog.h"

namespace duskmere {

namespace {

bool intersects(const DeviceBox& a, const DeviceBox& b) {
    return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

// The pixels of `box` in a picture `width` pixels wide, tightly packed.
void copyBox(const uint32_t* picture, int width, const DeviceBox& box, std::vector<uint32_t>& out) {
    const size_t w = static_cast<size_t>(box.x1 - box.x0);
    out.resize(w * static_cast<size_t>(box.y1 - box.y0));
    for (int y = box.y0; y < box.y1; ++y)
        std::memcpy(out.data() + static_cast<size_t>(y - box.y0) * w,
                    picture + static_cast<ptrdiff_t>(y) * width + box.x0, w * sizeof(uint32_t));
}

}  // namespace

X11Saver::X11Saver(Display* display, const TargetWindow& window, const HackOptions& options, const SceneEntry& scene)
    : display_(display),
      window_(window),
      options_(options),
      platform_(display, window, options.backingScale.value_or(1.0)),
      view_(scene.makeView(platform_)),
      clock_(1000000000, 30),
      fps_(stderr, "duskmere"),
      viewable_(window.viewable) {
    if (options.seed) platform_.fixSeed(*options.seed);
    platform_.setWindowSize(window.width, window.height);
    // From here on a capture can be made, before anything below waits for the server.
    StopWatchdog::setFinisher(finishFromWatchdog, this);
    // The fence: an input-only window nobody sees, whose events come back to us alone.
    fenceWindow_ = XCreateWindow(display, DefaultRootWindow(display), -1, -1, 1, 1, 0, CopyFromParent, InputOnly,
                                 CopyFromParent, 0, nullptr);
    fenceAtom_ = XInternAtom(display, "DUSKMERE_FENCE", False);
    if (!window_.own) watchAncestors();
}

X11Saver::~X11Saver() {
    StopWatchdog::setFinisher(nullptr, nullptr);
    XErrorTrap::noteCaptureAsked(false);  // written by now, or its failure reported
    XDestroyWindow(display_, fenceWindow_);
}

void X11Saver::stop(int status) {
    if (!stopStatus_) stopStatus_ = status;
}

bool X11Saver::isWatched(Window w) const {
    return w == window_.id || std::find(ancestors_.begin(), ancestors_.end(), w) != ancestors_.end();
}

void X11Saver::watchAncestors() {
    // A window someone else made is viewable only while it and every ancestor are mapped, and
    // only the ancestors' own structure events tell us when that changes.
    XSync(display_, False);
    checkErrors();  // what earlier requests caused is theirs, before ours are cleared below
    if (stopStatus_) return;
    for (const Window w : ancestors_) XSelectInput(display_, w, NoEventMask);
    ancestors_.clear();
    Window at = window_.id;
    for (int depth = 0; depth < 64; ++depth) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display_, at, &root, &parent, &children, &count)) break;
        if (children) XFree(children);
        if (!parent || parent == root) break;
        XSelectInput(display_, parent, StructureNotifyMask);
        ancestors_.push_back(parent);
        at = parent;
    }
    XSync(display_, False);
    XErrorTrap::clear();  // an ancestor that vanished meanwhile: its DestroyNotify follows
    rewatch_ = false;
    checkViewable();
}

void X11Saver::checkViewable() {
    // Asked after selecting the events, so no change can fall between the answer and them.
    recheck_ = false;
    XSync(display_, False);
    checkErrors();
    if (stopStatus_) return;
    XWindowAttributes attributes{};
    const bool known = XGetWindowAttributes(display_, window_.id, &attributes) != 0;
    XSync(display_, False);
    const bool failed = !known || XErrorTrap::caught();
    XErrorTrap::clear();
    if (failed) return;  // gone: the DestroyNotify ends the run
    const bool now = attributes.map_state == IsViewable;
    if (now && !viewable_) repaint_ = true;
    viewable_ = now;
}

void X11Saver::handlePendingEvents() {
    // The events queued, then one read of the connection (after sending what is buffered) and
    // the events it brought: a read after those would find the socket empty, every frame.
    bool read = false;
    while (!stopStatus_) {
        if (XEventsQueued(display_, QueuedAlready) == 0) {
            if (read) break;
            read = true;
            if (XEventsQueued(display_, QueuedAfterFlush) == 0) break;
        }
        XEvent event;
        XNextEvent(display_, &event);
        handle(event);
    }
    checkErrors();
    if (stopStatus_) return;
    if (rewatch_) watchAncestors();
    else if (recheck_) checkViewable();
}

void X11Saver::handle(XEvent& event) {
    switch (event.type) {
    case Expose:
    case GraphicsExpose:  // a part of the window that a shift could not move
        repaint_ = true;
        break;
    case ConfigureNotify:
        if (event.xconfigure.window != window_.id) break;
        platform_.setWindowSize(event.xconfigure.width, event.xconfigure.height);
        repaint_ = true;
        break;
    case MapNotify:
        if (!isWatched(event.xmap.window)) break;
        if (window_.own) {
            viewable_ = true;
            repaint_ = true;
        } else {
            recheck_ = true;
        }
        break;
    case UnmapNotify:
        if (!isWatched(event.xunmap.window)) break;
        if (window_.own) viewable_ = false;
        else recheck_ = true;
        break;
    case ReparentNotify:
        if (!window_.own && isWatched(event.xreparent.window)) rewatch_ = true;
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
        if (event.xclient.window == fenceWindow_ && event.xclient.message_type == fenceAtom_) fencePending_ = false;
        else if (window_.own && isCloseRequest(display_, event)) stop(0);
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
    const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
    view_->animateOneFrame();
    ++ticks_;
}

bool X11Saver::overlayPatch(const std::vector<DeviceBox>& boxes, bool figuresChanged) {
    const int w = platform_.deviceWidth(), h = platform_.deviceHeight();
    const DeviceBox figures = overlay_.box(w, h);
    if (figures.x1 <= figures.x0) return false;
    // The box follows the text: when the text gets shorter, the patch also covers what the longer
    // one showed, so that none of its glyphs stays on the window.
    DeviceBox box = figures;
    if (overlayShown_.x0 < overlayShown_.x1) {
        box.x0 = std::min(box.x0, overlayShown_.x0);
        box.y0 = std::min(box.y0, overlayShown_.y0);
        box.x1 = std::min(std::max(box.x1, overlayShown_.x1), w);
        box.y1 = std::min(std::max(box.y1, overlayShown_.y1), h);
    }
    // The figures need drawing again where the frame just painted over or moved them, or when they
    // change.
    const bool covered = std::any_of(boxes.begin(), boxes.end(), [&](const DeviceBox& b) { return intersects(b, box); }) ||
                         (platform_.shift() && intersects(platform_.shift()->area, box));
    if (!covered && !figuresChanged) return false;
    copyBox(platform_.devicePixels(), w, box, patch_);
    overlay_.draw(patch_.data(), box, w, h);
    patchBox_ = box;
    overlayShown_ = figures;
    return true;
}

std::string X11Saver::beyondBudget() const {
    const ViewSize points = platform_.bounds();
    return deviceBudgetError(points.width, points.height, platform_.backingScale());
}

void X11Saver::redrawIfNeeded() {
    const bool asked = platform_.takeNeedsDisplay();
    if (!visible() || stopStatus_ || (!asked && !repaint_)) return;
    // Before any picture is made for it: nothing large is allocated.
    if (const std::string tooLarge = beyondBudget(); !tooLarge.empty()) {
        std::fprintf(stderr, "duskmere: the window is too large to draw: %s\n", tooLarge.c_str());
        stop(1);
        return;
    }
    bool patch = false;
    {
        const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
        const bool whole = repaint_;
        if (repaint_) platform_.repaintAll();
        repaint_ = false;
        view_->drawRect();
        boxes_ = platform_.finishRedraw();
        drawn_ = true;
        if (options_.fps) {
            if (fps_.frameShown(monotonicNanos())) setFigures(fps_.framesPerSecond(), fps_.loadPercent());
            patch = overlayPatch(boxes_, figuresChanged_ || whole);
            figuresChanged_ = false;
        }
    }
    std::string error;
    if (!platform_.present(boxes_, error)) {
        std::fprintf(stderr, "duskmere: %s\n", error.c_str());
        stop(1);
        return;
    }
    if (patch) platform_.presentPatch(patch_.data(), patchBox_);
    sendFence();
}

void X11Saver::setFigures(double framesPerSecond, double loadPercent) {
    overlay_.setFigures(framesPerSecond, loadPercent);
    figuresChanged_ = true;
}

void X11Saver::sendFence() {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = fenceWindow_;
    event.xclient.message_type = fenceAtom_;
    event.xclient.format = 32;
    // No event mask: the server hands the event to the window's creator, after all we sent before.
    XSendEvent(display_, fenceWindow_, False, NoEventMask, &event);
    sendBuffered(display_);
    fencePending_ = true;
}

void X11Saver::checkErrors() {
    if (!XErrorTrap::caught()) return;
    if (platform_.windowImage().dropSharedMemoryAfter(XErrorTrap::error())) {
        // Shared memory failed after all: the pixels go through the connection from now on.
        XErrorTrap::clear();
        repaint_ = true;
        return;
    }
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
    if (options_.frames && drawn_ && ticks_ >= *options_.frames) stop(0);
}

std::vector<uint32_t> X11Saver::picture(int& width, int& height) {
    if (!drawn_) {
        // Stopped before the first frame was shown: the picture is the frame it would have been.
        if (!beyondBudget().empty()) return {};
        view_->drawRect();
        platform_.finishRedraw();
    }
    width = platform_.deviceWidth();
    height = platform_.deviceHeight();
    std::vector<uint32_t> copy;
    if (width < 1 || height < 1) return copy;
    // A copy, as the main thread may be sending the picture to the server while the watchdog
    // writes it.
    copyBox(platform_.devicePixels(), width, {0, 0, width, height}, copy);
    if (options_.fps) overlay_.draw(copy.data(), {0, 0, width, height}, width, height);
    return copy;
}

bool X11Saver::writeCapture() {
    if (options_.capture.empty()) return true;
    // Written once, by the main thread or the watchdog, whichever comes first; the other gets
    // the same answer.
    if (captureWritten_) return *captureWritten_;
    int width = 0, height = 0;
    const std::vector<uint32_t> shot = picture(width, height);
    std::string error;
    if (shot.empty()) error = "the window has no pixels to capture";
    else if (writePngFile({shot.data(), width, height}, options_.capture, error)) return *(captureWritten_ = true);
    std::fprintf(stderr, "duskmere: %s\n", error.c_str());
    return *(captureWritten_ = false);
}

void X11Saver::finishFromWatchdog(void* self) {
    // The main thread is stuck in Xlib with the stop unhandled; the picture lock is ours.
    auto* saver = static_cast<X11Saver*>(self);
    if (!saver->writeCapture()) StopWatchdog::noteStatus(1);
}

void X11Saver::waitForWork() {
    if (visible() && clockRunning_ && fencePending_) {
        // A frame is out and its fence will be back long before the next tick is due: sleep until
        // then without watching the connection, so that the fence and the tick wake us once, not
        // twice. Events wait at most that one frame; a stop still wakes us at once.
        const int64_t left = clock_.deadline() - monotonicNanos();
        if (left > 0) {
            sendBuffered(display_);
            const timespec timeout{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
            pollfd stop = {StopSignals::wakeFd(), POLLIN, 0};
            ppoll(&stop, StopSignals::wakeFd() >= 0 ? 1 : 0, &timeout, nullptr);
            return;
        }
        // Due, and the fence still out: wait for it, however long the server takes (below).
    }
    if (XPending(display_) > 0) return;  // also sends what is buffered
    timespec timeout{};
    timespec* wait = nullptr;  // while nothing can be seen, sleep until something happens
    if (visible() && clockRunning_ && !fencePending_) {
        // (With a fence out, the next frame waits for the server, however long it takes.)
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
            } else if (!fencePending_ && clock_.due(now)) {
                tick();
                clock_.advance(monotonicNanos());
            }
            if (!fencePending_) redrawIfNeeded();
            finishFrames();
        } else {
            clockRunning_ = false;
        }
        if (!stopStatus_) waitForWork();
    }
    stopStatus_ = StopWatchdog::finishRun(*stopStatus_, [this] { return writeCapture(); });
    return *stopStatus_;
}

}  // namespace duskmere
