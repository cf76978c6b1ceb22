#include "WaylandSaver.h"

#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "KeymapNames.h"
#include "MonotonicClock.h"
#include "PngFile.h"
#include "StopSignals.h"
#include "StopWatchdog.h"
#include "catalog/SceneCatalog.h"
#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace duskmere {

namespace {

// Pointer motion of more than this many points from where the pointer came in ends the saver;
// less is the jitter of a mouse on a table.
constexpr double motionAllowance = 8.0;
// Keys by their evdev codes, where the keymap does not name them.
constexpr uint32_t keyEscape = 1, keyQ = 16, keyF = 33;
// The largest keymap read; real ones are some 60 KB.
constexpr uint32_t maxKeymapSize = 1 << 20;

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
    [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*, int32_t) {},
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

const wl_seat_listener seatListener = {
    [](void* data, wl_seat*, uint32_t capabilities) { self(data)->seatCapabilities(capabilities); },
    [](void*, wl_seat*, const char*) {},
};

const wl_keyboard_listener keyboardListener = {
    [](void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) { self(data)->keymap(fd, format, size); },
    [](void* data, wl_keyboard*, uint32_t, wl_surface*, wl_array* keys) {
        self(data)->keyboardEntered(keys->size > 0);
    },
    [](void*, wl_keyboard*, uint32_t, wl_surface*) {},
    [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
        self(data)->key(key, state == WL_KEYBOARD_KEY_STATE_PRESSED);
    },
    [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void*, wl_keyboard*, int32_t, int32_t) {},
};

const wl_pointer_listener pointerListener = {
    [](void* data, wl_pointer*, uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
        self(data)->pointerEntered(surface, serial, wl_fixed_to_double(x), wl_fixed_to_double(y));
    },
    [](void*, wl_pointer*, uint32_t, wl_surface*) {},
    [](void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
        self(data)->pointerMoved(wl_fixed_to_double(x), wl_fixed_to_double(y));
    },
    [](void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
        if (state == WL_POINTER_BUTTON_STATE_PRESSED) self(data)->buttonPressed();
    },
    [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {},
    [](void*, wl_pointer*) {},
    [](void*, wl_pointer*, uint32_t) {},
    [](void*, wl_pointer*, uint32_t, uint32_t) {},
    [](void*, wl_pointer*, uint32_t, int32_t) {},
    [](void*, wl_pointer*, uint32_t, int32_t) {},
};

int64_t processCpuNanos() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

WaylandSaver::WaylandSaver(wl_display* display, const WaylandOptions& options, const SceneEntry& scene)
    : display_(display), options_(options), scene_(scene), clock_(1000000000, 30) {
    outputOwner = this;
}

WaylandSaver::~WaylandSaver() {
    StopWatchdog::setFinisher(nullptr, nullptr);
    const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
    window_.reset();
    for (auto& o : outputs_) {
        o->surface.reset();
        wl_output_destroy(o->output);
    }
    outputs_.clear();
    if (keyboard_) wl_keyboard_destroy(keyboard_);
    if (pointer_) wl_pointer_destroy(pointer_);
    if (seat_) wl_seat_destroy(seat_);
    if (layerShell_) zwlr_layer_shell_v1_destroy(layerShell_);
    if (wmBase_) xdg_wm_base_destroy(wmBase_);
    if (viewporter_) wp_viewporter_destroy(viewporter_);
    if (fractionalManager_) wp_fractional_scale_manager_v1_destroy(fractionalManager_);
    if (shm_) wl_shm_destroy(shm_);
    if (compositor_) wl_compositor_destroy(compositor_);
    if (registry_) wl_registry_destroy(registry_);
    if (outputOwner == this) outputOwner = nullptr;
}

void WaylandSaver::global(wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    const std::string_view is(interface);
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
        const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());  // the watchdog reads the list
        outputs_.push_back(std::move(output));
    } else if (is == wl_seat_interface.name) {
        // The wallpaper takes no input; the others follow the first seat.
        if (seat_ || options_.mode == WaylandOptions::Mode::wallpaper) return;
        seat_ = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
        seatName_ = name;
        wl_seat_add_listener(seat_, &seatListener, this);
    } else if (is == zwlr_layer_shell_v1_interface.name) {
        layerShell_ = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 3));
    } else if (is == xdg_wm_base_interface.name) {
        wmBase_ = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(wmBase_, &wmBaseListener, this);
    } else if (is == wp_viewporter_interface.name) {
        viewporter_ = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
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
        wl_output_destroy((*it)->output);
        outputs_.erase(it);
        return;
    }
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
    const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
    started_ = true;
    if (options_.mode == WaylandOptions::Mode::window) {
        window_ = std::make_unique<SaverSurface>(*this, SaverSurface::Role::window, nullptr, scene_, options_.seed);
    } else {
        for (auto& o : outputs_)
            if (o->described && !o->surface) makeSurface(*o);
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
    } else if (started_ && options_.mode != WaylandOptions::Mode::window) {
        // An output that appeared while we run gets its own surface and scene.
        const std::lock_guard<std::mutex> held(StopWatchdog::pictureLock());
        makeSurface(output);
    }
    if (window_) window_->outputScaleChanged();
}

void WaylandSaver::seatCapabilities(uint32_t capabilities) {
    // A device added or removed (a virtual keyboard, a mouse plugged in) can change them: take the
    // keyboard and the pointer afresh whenever they come and go.
    const bool hasKeyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    const bool hasPointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
    if (keyboard_ && !hasKeyboard) {
        if (wl_keyboard_get_version(keyboard_) >= WL_KEYBOARD_RELEASE_SINCE_VERSION) wl_keyboard_release(keyboard_);
        else wl_keyboard_destroy(keyboard_);
        keyboard_ = nullptr;
    } else if (!keyboard_ && hasKeyboard) {
        keyboard_ = wl_seat_get_keyboard(seat_);
        wl_keyboard_add_listener(keyboard_, &keyboardListener, this);
        keyboardIsNew_ = shown_;
    }
    if (pointer_ && !hasPointer) {
        if (wl_pointer_get_version(pointer_) >= WL_POINTER_RELEASE_SINCE_VERSION) wl_pointer_release(pointer_);
        else wl_pointer_destroy(pointer_);
        pointer_ = nullptr;
        pointerInside_ = false;
    } else if (!pointer_ && hasPointer) {
        pointer_ = wl_seat_get_pointer(seat_);
        wl_pointer_add_listener(pointer_, &pointerListener, this);
    }
}

void WaylandSaver::keyboardEntered(bool keysHeld) {
    // Keys already down when the focus came: from a keyboard that appeared while the saver was
    // showing, that is someone typing (its first key arrives this way); from one the saver found,
    // the tail of whatever started it (the Enter that ran the command), which must not end it.
    if (keysHeld && keyboardIsNew_ && options_.mode != WaylandOptions::Mode::window) stop(0);
    keyboardIsNew_ = false;
}

void WaylandSaver::keymap(int fd, uint32_t format, uint32_t size) {
    // Only the window reads keys by name; the saver ends on any.
    if (options_.mode == WaylandOptions::Mode::window && format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 &&
        size > 0 && size <= maxKeymapSize) {
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            const char* text = static_cast<const char*>(mapped);
            keyNames_ = readKeymapNames(std::string_view(text, strnlen(text, size)));
            munmap(mapped, size);
        }
    }
    close(fd);
}

void WaylandSaver::key(uint32_t key, bool pressed) {
    if (!pressed) return;
    if (options_.mode != WaylandOptions::Mode::window) {
        stop(0);
        return;
    }
    // XKB codes are evdev codes plus 8.
    const auto named = keyNames_.find(key + 8);
    const std::string name = named != keyNames_.end() ? named->second
                             : key == keyEscape        ? "Escape"
                             : key == keyQ             ? "q"
                             : key == keyF             ? "f"
                                                       : "";
    if (name == "Escape" || name == "q" || name == "Q") stop(0);
    else if ((name == "f" || name == "F") && window_) window_->toggleFullScreen();
}

void WaylandSaver::pointerEntered(wl_surface*, uint32_t serial, double x, double y) {
    wl_pointer_set_cursor(pointer_, serial, nullptr, 0, 0);  // no pointer over the picture
    enterX_ = x;
    enterY_ = y;
    pointerInside_ = true;
}

void WaylandSaver::pointerMoved(double x, double y) {
    if (options_.mode == WaylandOptions::Mode::window || !pointerInside_) return;
    if (std::fabs(x - enterX_) > motionAllowance || std::fabs(y - enterY_) > motionAllowance) stop(0);
}

void WaylandSaver::buttonPressed() {
    if (options_.mode != WaylandOptions::Mode::window) stop(0);
}

void WaylandSaver::stop(int status) {
    if (!stopStatus_) stopStatus_ = status;
}

void WaylandSaver::fail(const std::string& message) {
    if (stopStatus_) return;
    std::fprintf(stderr, "duskmere-wayland: %s\n", message.c_str());
    stopStatus_ = 1;
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
            fpsStart_ = -1;
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
    if (firstShown && options_.fps) reportFps(monotonicNanos());
    if (options_.frames && first && first->drawn() && first->ticks() >= *options_.frames) stop(0);
}

void WaylandSaver::reportFps(int64_t now) {
    if (fpsStart_ < 0) {
        fpsStart_ = now;
        fpsCpuStart_ = processCpuNanos();
        fpsFrames_ = 0;
        return;
    }
    ++fpsFrames_;
    const int64_t elapsed = now - fpsStart_;
    if (elapsed < 1000000000) return;
    const int64_t cpu = processCpuNanos() - fpsCpuStart_;
    std::fprintf(stderr, "duskmere-wayland: %.1f fps, %.2f ms CPU per frame, %.1f%% of one core\n",
                 static_cast<double>(fpsFrames_) * 1e9 / static_cast<double>(elapsed),
                 static_cast<double>(cpu) / 1e6 / static_cast<double>(fpsFrames_),
                 100.0 * static_cast<double>(cpu) / static_cast<double>(elapsed));
    fpsStart_ = now;
    fpsCpuStart_ = processCpuNanos();
    fpsFrames_ = 0;
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
    pollfd fds[2] = {{wl_display_get_fd(display_), static_cast<short>(POLLIN | (unsent ? POLLOUT : 0)), 0},
                     {StopSignals::wakeFd(), POLLIN, 0}};
    const int n = ppoll(fds, StopSignals::wakeFd() >= 0 ? 2 : 1, wait, nullptr);
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
    if (options_.capture.empty() || captureDone_) return true;
    captureDone_ = true;
    SaverSurface* first = firstSurface();
    const PixelRows picture = first ? first->picture() : PixelRows{};
    std::string error;
    if (!picture.pixels || picture.width <= 0) error = "no output has a picture yet; no capture written";
    else if (writePngFile(picture, options_.capture, error)) return true;
    std::fprintf(stderr, "duskmere-wayland: %s\n", error.c_str());
    return false;
}

void WaylandSaver::finishFromWatchdog(void* self) {
    // The main thread is stuck inside libwayland with the stop unhandled; the picture lock is ours.
    if (!static_cast<WaylandSaver*>(self)->writeCapture()) StopWatchdog::noteStatus(1);
}

int WaylandSaver::run() {
    StopWatchdog::setFinisher(finishFromWatchdog, this);
    while (!stopStatus_) {
        if (StopSignals::requested()) {
            stop(0);
            break;
        }
        if (wl_display_dispatch_pending(display_) < 0) {
            lost();
            break;
        }
        if (stopStatus_) break;
        frame();
        if (stopStatus_) break;
        if (!waitForWork()) lost();
    }
    stopStatus_ = StopWatchdog::finishRun(*stopStatus_, [this] { return writeCapture(); });
    return *stopStatus_;
}

}  // namespace duskmere
