#include "X11Saver.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "StopSignals.h"
#include "StopWatchdog.h"
#include "XErrorTrap.h"
#include "cairo/PngFile.h"
#include "catalog/SceneCatalog.h"

namespace duskmere {

namespace {

bool intersects(const cairo_rectangle_int_t& a, const cairo_rectangle_int_t& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

}  // namespace

X11Saver::X11Saver(Display* display, const TargetWindow& window, const HackOptions& options, const SceneEntry& scene)
    : display_(display),
      window_(window),
      options_(options),
      platform_(display, window.id, window.visual, options.backingScale),
      view_(scene.makeView(platform_)),
      clock_(1000000000, 30),
      fps_(stderr),
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
    while (!stopStatus_ && XPending(display_) > 0) {
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

CairoSurface X11Saver::overlayPatch(const std::vector<cairo_rectangle_int_t>& boxes, bool figuresChanged) {
    cairo_surface_t* shown = platform_.surface();
    const int w = platform_.windowWidth(), h = platform_.windowHeight();
    const cairo_rectangle_int_t box = overlay_.box(w, h);
    if (!shown || box.width <= 0) return nullptr;
    // The figures need drawing again where the frame just painted over them, or when they change.
    const bool covered = std::any_of(boxes.begin(), boxes.end(), [&](const auto& b) { return intersects(b, box); });
    if (!covered && !figuresChanged) return nullptr;
    CairoSurface patch(cairo_image_surface_create(CAIRO_FORMAT_RGB24, box.width, box.height));
    if (cairo_surface_status(patch.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    CairoContext cr(cairo_create(patch.get()));
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr.get(), shown, -box.x, -box.y);
    cairo_paint(cr.get());
    cr.reset();
    overlay_.draw(patch.get(), w, h, box.x, box.y);
    return patch;
}

void X11Saver::redrawIfNeeded() {
    const bool asked = platform_.takeNeedsDisplay();
    if (!visible() || stopStatus_ || (!asked && !repaint_)) return;
    std::vector<cairo_rectangle_int_t> boxes;
    CairoSurface patch;
    {
        const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
        const bool whole = repaint_;
        if (repaint_) platform_.repaint();
        repaint_ = false;
        view_->drawRect();
        boxes = platform_.finishRedraw();
        drawn_ = true;
        if (options_.fps) {
            const bool changed = fps_.frameShown(monotonicNanos());
            if (changed) overlay_.setFigures(fps_.framesPerSecond(), fps_.loadPercent());
            patch = overlayPatch(boxes, changed || whole);
        }
    }
    platform_.present(boxes);
    if (patch) {
        const cairo_rectangle_int_t box = overlay_.box(platform_.windowWidth(), platform_.windowHeight());
        platform_.presentPatch(patch.get(), box.x, box.y);
    }
    sendFence();
}

void X11Saver::sendFence() {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = fenceWindow_;
    event.xclient.message_type = fenceAtom_;
    event.xclient.format = 32;
    // No event mask: the server hands the event to the window's creator, after all we sent before.
    XSendEvent(display_, fenceWindow_, False, NoEventMask, &event);
    XFlush(display_);
    fencePending_ = true;
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
    if (options_.frames && drawn_ && ticks_ >= *options_.frames) stop(0);
}

CairoSurface X11Saver::picture() {
    if (!platform_.surface()) {
        // Stopped before the first frame was shown: the picture is the frame it would have been.
        view_->drawRect();
        platform_.finishRedraw();
    }
    cairo_surface_t* shown = platform_.surface();
    if (!shown) return nullptr;
    const int w = cairo_image_surface_get_width(shown), h = cairo_image_surface_get_height(shown);
    CairoSurface copy(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h));
    if (cairo_surface_status(copy.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    // A copy of the bytes, without cairo touching the shown picture, which the main thread may be
    // sending to the server while the watchdog writes it.
    cairo_surface_flush(copy.get());
    const int from = cairo_image_surface_get_stride(shown), to = cairo_image_surface_get_stride(copy.get());
    for (int y = 0; y < h; ++y)
        std::memcpy(cairo_image_surface_get_data(copy.get()) + static_cast<ptrdiff_t>(y) * to,
                    cairo_image_surface_get_data(shown) + static_cast<ptrdiff_t>(y) * from, static_cast<size_t>(w) * 4);
    cairo_surface_mark_dirty(copy.get());
    if (options_.fps) overlay_.draw(copy.get(), w, h);
    return copy;
}

bool X11Saver::writeCapture() {
    if (options_.capture.empty() || captureDone_) return true;
    captureDone_ = true;
    const CairoSurface shot = picture();
    std::string error;
    if (!shot) error = "the window has no pixels to capture";
    else if (writePngAtomically(shot.get(), options_.capture, error)) return true;
    std::fprintf(stderr, "duskmere: %s\n", error.c_str());
    return false;
}

void X11Saver::finishFromWatchdog(void* self) {
    // The main thread is stuck in Xlib with the stop unhandled; the picture lock is ours.
    auto* saver = static_cast<X11Saver*>(self);
    if (!saver->writeCapture()) StopWatchdog::noteStatus(1);
}

void X11Saver::waitForWork() {
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
    // Every orderly stop leaves the capture; a failed run leaves its error alone.
    if (*stopStatus_ == 0) {
        const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
        if (!writeCapture()) stopStatus_ = 1;
    }
    StopWatchdog::noteStatus(*stopStatus_);
    return *stopStatus_;
}

}  // namespace duskmere
