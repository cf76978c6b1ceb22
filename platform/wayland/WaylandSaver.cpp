#include "WaylandSaver.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "MonotonicClock.h"
#include "PngFile.h"
#include "StopSignals.h"
#include "StopWatchdog.h"
#include "catalog/SceneCatalog.h"
#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace duskmere {

namespace {

WaylandSaver* self(void* data) { return static_cast<WaylandSaver*>(data); }

const wl_registry_listener registryListener = {
    [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
        self(data)->global(registry, name, interface, version);
    },
    [](void* data, wl_registry*, uint32_t name) { self(data)->globalRemoved(name); },
};

const xdg_wm_base_listener wmBaseListener = {
    [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

WaylandOutput* outputOf(void* data) { return static_cast<WaylandOutput*>(data); }
// The saver that owns every output; outputs carry no back pointer of their own.
WaylandSaver* outputOwner = nullptr;

const wl_output_listener outputListener = {
    [](void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*, int32_t) {
        // The position until xdg-output gives the logical one (the same on most compositors).
        if (!outputOf(data)->xdgOutput) {
            outputOf(data)->x = x;
            outputOf(data)->y = y;
        }
    },
    [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
        if (flags & WL_OUTPUT_MODE_CURRENT) {
            outputOf(data)->modeWidth = width;
            outputOf(data)->modeHeight = height;
        }
    },
    [](void* data, wl_output*) { outputOwner->outputDone(*outputOf(data)); },
    [](void* data, wl_output*, int32_t scale) { outputOf(data)->scale = scale; },
    nullptr,  // name and description: bound at version 3, which has neither
    nullptr,
};

const zxdg_output_v1_listener xdgOutputListener = {
    [](void* data, zxdg_output_v1*, int32_t x, int32_t y) {
        outputOf(data)->x = x;
        outputOf(data)->y = y;
    },
    [](void* data, zxdg_output_v1*, int32_t width, int32_t height) {
        outputOf(data)->logicalWidth = width;
        outputOf(data)->logicalHeight = height;
    },
    // From version 3 on, wl_output.done ends the description instead.
    [](void* data, zxdg_output_v1* xdg) {
        if (zxdg_output_v1_get_version(xdg) < 3 && outputOf(data)->described) outputOwner->outputDone(*outputOf(data));
    },
    [](void*, zxdg_output_v1*, const char*) {},
    [](void*, zxdg_output_v1*, const char*) {},
};

void releaseOutput(WaylandOutput& output) {
    if (output.xdgOutput) zxdg_output_v1_destroy(output.xdgOutput);
    // Destroying only the proxy would leave the compositor's object behind on every unplug.
    if (wl_output_get_version(output.output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) wl_output_release(output.output);
    else wl_output_destroy(output.output);
}

}  // namespace

WaylandSaver::WaylandSaver(wl_display* display, const WaylandOptions& options, const SceneEntry& scene)
    : display_(display), options_(options), scene_(scene), clock_(1000000000, 30) {
    outputOwner = this;
    if (options.idleSeconds) idle_ = std::make_unique<IdleWatch>(*options.idleSeconds);
}

WaylandSaver::~WaylandSaver() {
    StopWatchdog::setFinisher(nullptr, nullptr);
    const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
    window_.reset();
    for (auto& o : outputs_) {
        o->surface.reset();
        releaseOutput(*o);
    }
    outputs_.clear();
    if (xdgOutputManager_) zxdg_output_manager_v1_destroy(xdgOutputManager_);
    if (keyboard_) wl_keyboard_destroy(keyboard_);
    if (pointer_) wl_pointer_destroy(pointer_);
    if (touch_) wl_touch_destroy(touch_);
    if (seat_) wl_seat_destroy(seat_);
    if (layerShell_) zwlr_layer_shell_v1_destroy(layerShell_);
    if (wmBase_) xdg_wm_base_destroy(wmBase_);
    if (viewporter_) wp_viewporter_destroy(viewporter_);
    if (fractionalManager_) wp_fractional_scale_manager_v1_destroy(fractionalManager_);
    idle_.reset();
    if (shm_) wl_shm_destroy(shm_);
    if (compositor_) wl_compositor_destroy(compositor_);
    if (registry_) wl_registry_destroy(registry_);
    if (outputOwner == this) outputOwner = nullptr;
}

void WaylandSaver::global(wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    const std::string_view is(interface);
    if (idle_ && idle_->global(registry, name, is, version)) return;
    auto bind = [&](const wl_interface* type, uint32_t highest) {
        return wl_registry_bind(registry, name, type, std::min(version, highest));
    };
    if (is == wl_compositor_interface.name) {
        compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (is == wl_shm_interface.name) {
        shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (is == wl_output_interface.name) {
        if (version < 2) return;  // no scale and no `done`: too old to describe an output
        auto output = std::make_unique<WaylandOutput>();
        output->globalName = name;
        output->output = static_cast<wl_output*>(bind(&wl_output_interface, 3));
        wl_output_add_listener(output->output, &outputListener, output.get());
        describeOutput(*output);
        const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());  // the watchdog reads the list
        outputs_.push_back(std::move(output));
    } else if (is == wl_seat_interface.name) {
        // The wallpaper takes no input; the others follow the first seat.
        if (seat_ || options_.mode == WaylandOptions::Mode::wallpaper) return;
        seat_ = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
        seatName_ = name;
        listenToSeat();
    } else if (is == zwlr_layer_shell_v1_interface.name) {
        layerShell_ = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 3));
    } else if (is == xdg_wm_base_interface.name) {
        wmBase_ = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(wmBase_, &wmBaseListener, this);
    } else if (is == wp_viewporter_interface.name) {
        viewporter_ = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
    } else if (is == zxdg_output_manager_v1_interface.name) {
        xdgOutputManager_ = static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 3));
        for (auto& o : outputs_) describeOutput(*o);
    } else if (is == "gtk_shell1") {
        // GNOME's compositor: it has no layer shell, and full-screen windows are the way there.
        fallbackExpected_ = true;
    } else if (is == wp_fractional_scale_manager_v1_interface.name) {
        fractionalManager_ =
            static_cast<wp_fractional_scale_manager_v1*>(bind(&wp_fractional_scale_manager_v1_interface, 1));
    }
}

void WaylandSaver::globalRemoved(uint32_t name) {
    if (seat_ && name == seatName_) {
        seatCapabilities(0);
        wl_seat_destroy(seat_);
        seat_ = nullptr;
        return;
    }
    const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
    for (auto it = outputs_.begin(); it != outputs_.end(); ++it) {
        if ((*it)->globalName != name) continue;
        // The output went away, and its surface with it.
        (*it)->surface.reset();
        releaseOutput(**it);
        outputs_.erase(it);
        return;
    }
}

void WaylandSaver::describeOutput(WaylandOutput& output) {
    if (!xdgOutputManager_ || output.xdgOutput) return;
    output.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputManager_, output.output);
    zxdg_output_v1_add_listener(output.xdgOutput, &xdgOutputListener, &output);
}

WaylandOutput* WaylandSaver::findOutput(wl_output* output) const {
    for (const auto& o : outputs_)
        if (o->output == output) return o.get();
    return nullptr;
}

bool WaylandSaver::connect(std::string& error, int& status) {
    status = 1;
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &registryListener, this);
    // The globals, then what they describe (formats, outputs, the seat's devices).
    if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0) {
        error = "the Wayland compositor closed the connection";
        return false;
    }
    if (!compositor_ || !shm_) {
        error = "the Wayland compositor offers no wl_compositor or wl_shm";
        return false;
    }
    switch (options_.mode) {
    case WaylandOptions::Mode::wallpaper:
        if (!layerShell_) {
            error = "the Wayland compositor has no layer shell (zwlr_layer_shell_v1), which --wallpaper needs";
            return false;
        }
        break;
    case WaylandOptions::Mode::saver:
        if (layerShell_) break;
        if (!wmBase_) {
            error = "the Wayland compositor offers neither the layer shell nor xdg-shell windows";
            return false;
        }
        // Not news where the fallback is the usual path (GNOME), nor for --idle, which is meant for it.
        if (!fallbackExpected_ && !idle_)
            std::fputs("duskmere-wayland: the compositor has no layer shell; covering each output with a full-screen "
                       "window instead\n",
                       stderr);
        break;
    case WaylandOptions::Mode::window:
        if (!wmBase_) {
            error = "the Wayland compositor offers no xdg-shell windows";
            return false;
        }
        break;
    }
    const std::optional<double> scale = options_.backingScale;
    if (scale && *scale != std::floor(*scale) && !viewporter_) {
        // A buffer scale is whole; only a viewport shows a picture at any other.
        char given[32];
        std::snprintf(given, sizeof given, "%g", *scale);
        error = std::string("--backing-scale ") + given +
                " needs wp_viewporter, which the Wayland compositor does not offer; give a whole number";
        return false;
    }
    if (idle_ && !idle_->start(seat_, error)) return false;
    const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
    started_ = true;
    if (options_.mode == WaylandOptions::Mode::window) {
        window_ = std::make_unique<SaverSurface>(*this, SaverSurface::Role::window, nullptr, scene_, options_.seed);
    } else {
        for (auto& o : outputs_)
            if (o->described && !o->surface && covering()) makeSurface(*o);
    }
    status = 0;
    return true;
}

void WaylandSaver::makeSurface(WaylandOutput& output) {
    SaverSurface::Role role = SaverSurface::Role::overlay;
    if (options_.mode == WaylandOptions::Mode::wallpaper) role = SaverSurface::Role::background;
    else if (!layerShell_) role = SaverSurface::Role::fullScreenWindow;
    output.surface = std::make_unique<SaverSurface>(*this, role, &output, scene_, options_.seed);
}

void WaylandSaver::outputDone(WaylandOutput& output) {
    output.described = true;
    if (output.surface) {
        output.surface->outputScaleChanged();
    } else if (started_ && options_.mode != WaylandOptions::Mode::window && covering()) {
        // An output that appeared while we run gets its own surface and scene.
        const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
        makeSurface(output);
    }
    if (window_) window_->outputScaleChanged();
}

void WaylandSaver::stop(int status) {
    if (idle_ && status == 0) endAsked_ = showing_;
    else if (!stopStatus_) stopStatus_ = status;
}

void WaylandSaver::fail(const std::string& message, int status) {
    if (stopStatus_) return;
    std::fprintf(stderr, "duskmere-wayland: %s\n", message.c_str());
    stopStatus_ = status;
}

std::vector<SaverSurface*> WaylandSaver::surfaces() const {
    std::vector<SaverSurface*> all;
    if (window_) all.push_back(window_.get());
    for (const auto& o : outputs_)
        if (o->surface && !o->surface->closed()) all.push_back(o->surface.get());
    return all;
}

SaverSurface* WaylandSaver::firstSurface() const {
    const std::vector<SaverSurface*> all = surfaces();
    return all.empty() ? nullptr : all.front();
}

void WaylandSaver::dropClosedSurfaces() {
    for (auto& o : outputs_)
        if (o->surface && o->surface->closed()) o->surface.reset();
}

void WaylandSaver::frame() {
    const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
    dropClosedSurfaces();
    std::string error;
    const SaverSurface* first = firstSurface();
    bool firstShown = false;
    // A new size or scale is shown at once, without waiting for the tick.
    for (SaverSurface* s : surfaces()) {
        if (!s->needsDraw() || !s->canDraw()) continue;
        if (!s->present(error)) return fail(error);
        firstShown |= s == first;
    }
    std::vector<SaverSurface*> ready;
    for (SaverSurface* s : surfaces())
        if (s->canDraw()) ready.push_back(s);
    const int64_t now = monotonicNanos();
    if (!ready.empty()) {
        if (!clockRunning_) {
            clock_.restart(now);
            clockRunning_ = true;
            if (options_.fps) fps_.restart(now);
        } else if (clock_.due(now)) {
            // Surfaces still waiting for the compositor skip this tick: a hidden output does no work.
            for (SaverSurface* s : ready) {
                s->tick();
                if (!s->present(error)) return fail(error);
                firstShown |= s == first;
            }
            clock_.advance(monotonicNanos());
        }
    }
    for (SaverSurface* s : surfaces()) shown_ |= s->drawn();
    if (firstShown && options_.fps) fps_.frameShown(monotonicNanos());
    if (options_.frames && first && first->drawn() && first->ticks() >= *options_.frames) stop(0);
}

bool WaylandSaver::waitForWork() {
    if (clockRunning_) {
        // Until the next tick only a stop wakes us: the compositor's answers to the last frame
        // (its frame callback, the buffer's release) and any input are read at the tick, as the
        // X11 host reads its events: one wake-up a frame. Past the tick with no surface ready
        // (one nobody sees), the wait below is for the compositor alone.
        bool active = false;
        for (SaverSurface* s : surfaces()) active |= s->canDraw() || s->awaitsFrame();
        const int64_t left = clock_.deadline() - monotonicNanos();
        if (active && left > 0 && wl_display_flush(display_) >= 0) {
            const timespec until{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
            pollfd stop = {StopSignals::wakeFd(), POLLIN, 0};
            ppoll(&stop, stop.fd >= 0 ? 1 : 0, &until, nullptr);
        }
    }
    while (wl_display_prepare_read(display_) != 0)
        if (wl_display_dispatch_pending(display_) < 0) return false;
    // Sends what is queued; a compositor that does not read leaves the rest for POLLOUT.
    bool unsent = false;
    if (wl_display_flush(display_) < 0) {
        if (errno != EAGAIN) {
            wl_display_cancel_read(display_);
            return false;
        }
        unsent = true;
    }
    timespec timeout{};
    timespec* wait = nullptr;  // with no surface to draw, sleep until the compositor says something
    bool anyReady = false;
    for (SaverSurface* s : surfaces()) anyReady |= s->canDraw();
    if (anyReady && clockRunning_) {
        const int64_t left = std::max<int64_t>(0, clock_.deadline() - monotonicNanos());
        timeout.tv_sec = left / 1000000000;
        timeout.tv_nsec = left % 1000000000;
        wait = &timeout;
    }
    if (const int64_t busDeadline = idle_ ? idle_->deadline() : -1; busDeadline >= 0) {
        const int64_t left = std::max<int64_t>(0, busDeadline - monotonicNanos());
        if (!wait || left < timeout.tv_sec * 1000000000 + timeout.tv_nsec) {
            timeout.tv_sec = left / 1000000000;
            timeout.tv_nsec = left % 1000000000;
            wait = &timeout;
        }
    }
    pollfd fds[3] = {{wl_display_get_fd(display_), static_cast<short>(POLLIN | (unsent ? POLLOUT : 0)), 0},
                     {StopSignals::wakeFd(), POLLIN, 0},
                     {idle_ ? idle_->fd() : -1, idle_ ? idle_->events() : static_cast<short>(0), 0}};
    const int n = ppoll(fds, 3, wait, nullptr);
    if (n > 0 && (fds[0].revents & (POLLIN | POLLERR | POLLHUP))) return wl_display_read_events(display_) >= 0;
    wl_display_cancel_read(display_);
    return true;
}

void WaylandSaver::lost() {
    if (stopStatus_) return;
    const int error = wl_display_get_error(display_);
    std::string what;
    if (error == EPROTO) {
        const wl_interface* interface = nullptr;
        uint32_t id = 0;
        const uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
        what = "the Wayland compositor ended the connection: protocol error " + std::to_string(code) + " on " +
               (interface ? interface->name : "an unknown object");
    } else {
        what = std::string("lost the connection to the Wayland compositor (") +
               std::strerror(error ? error : EPIPE) + ")";
    }
    if (!options_.capture.empty()) what += "; no capture written";
    fail(what);
}

bool WaylandSaver::writeCapture() {
    if (options_.capture.empty()) return true;
    // Written once, by the main thread or the watchdog, whichever comes first; the other gets the
    // same answer, so a failed write is never taken for a written one.
    if (captureWritten_) return *captureWritten_;
    SaverSurface* first = firstSurface();
    // With --idle, what was last shown: this showing's picture once it has one, else the last.
    const PixelRows picture = !idle_ || (first && first->drawn()) ? (first ? first->picture() : PixelRows{})
                                                                   : lastShown();
    std::string error;
    if (idle_ && !picture.pixels) {
        std::fputs("duskmere-wayland: the saver was never shown; no capture written\n", stderr);
        return *(captureWritten_ = true);
    }
    if (!picture.pixels || picture.width <= 0) error = "no output has a picture yet; no capture written";
    else if (writePngFile(picture, options_.capture, error)) return *(captureWritten_ = true);
    std::fprintf(stderr, "duskmere-wayland: %s\n", error.c_str());
    return *(captureWritten_ = false);
}

void WaylandSaver::finishFromWatchdog(void* self) {
    // The main thread is stuck inside libwayland with the stop unhandled; the picture lock is ours.
    if (!static_cast<WaylandSaver*>(self)->writeCapture()) StopWatchdog::noteStatus(1);
}

int WaylandSaver::run() {
    StopWatchdog::setFinisher(finishFromWatchdog, this);
    while (!stopStatus_) {
        if (StopSignals::requested()) {
            stopStatus_ = 0;
            break;
        }
        if (wl_display_dispatch_pending(display_) < 0) {
            lost();
            break;
        }
        if (stopStatus_ || (idle_ && !idleStep())) break;
        frame();
        if (stopStatus_) break;
        if (!waitForWork()) lost();
    }
    stopStatus_ = StopWatchdog::finishRun(*stopStatus_, [this] { return writeCapture(); });
    return *stopStatus_;
}

}  // namespace duskmere
