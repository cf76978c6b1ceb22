// duskmere-wayland's seat: the keyboard, pointer and touch of the saver and the window, and the
// rules by which input ends the saver.

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cmath>
#include <cstring>

#include "KeymapNames.h"
#include "MonotonicClock.h"
#include "WaylandSaver.h"

namespace duskmere {

namespace {

// Pointer motion of more than this many points from where the pointer was first seen moving ends
// the saver; less is the jitter of a mouse on a table.
constexpr double motionAllowance = 8.0;
// Keys by their evdev codes, where the keymap does not name them.
constexpr uint32_t keyEscape = 1, keyQ = 16, keyF = 33;
// GNOME animates a window open for about a quarter of a second; while it does, the places it
// reports for a pointer that has not moved drift with the window. Until this long after the first
// entry, no place there is a measure, nor does the pointer leaving count.
constexpr int64_t openingNanos = 500'000'000;
// The largest keymap read; real ones are some 60 KB.
constexpr uint32_t maxKeymapSize = 1 << 20;

WaylandSaver* self(void* data) { return static_cast<WaylandSaver*>(data); }

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
    [](void* data, wl_pointer*, uint32_t, wl_surface*) { self(data)->pointerLeft(); },
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

const wl_touch_listener touchListener = {
    [](void* data, wl_touch*, uint32_t, uint32_t, wl_surface*, int32_t, wl_fixed_t, wl_fixed_t) {
        self(data)->touched();
    },
    [](void*, wl_touch*, uint32_t, uint32_t, int32_t) {},
    [](void*, wl_touch*, uint32_t, int32_t, wl_fixed_t, wl_fixed_t) {},
    [](void*, wl_touch*) {},
    [](void*, wl_touch*) {},
    [](void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {},
    [](void*, wl_touch*, int32_t, wl_fixed_t) {},
};

// Lets go of a device the seat lost: by the release request where the compositor knows it, so
// that it frees its side too, else by destroying our proxy alone.
template <class Device>
void letGo(Device*& device, uint32_t releaseSince, void (*release)(Device*), void (*destroy)(Device*)) {
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(device)) >= releaseSince) release(device);
    else destroy(device);
    device = nullptr;
}

}  // namespace

void WaylandSaver::listenToSeat() { wl_seat_add_listener(seat_, &seatListener, this); }

void WaylandSaver::seatCapabilities(uint32_t capabilities) {
    // A device added or removed (a virtual keyboard, a mouse plugged in) can change them: take the
    // keyboard and the pointer afresh whenever they come and go.
    const bool hasKeyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    const bool hasPointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
    if (keyboard_ && !hasKeyboard) {
        letGo(keyboard_, WL_KEYBOARD_RELEASE_SINCE_VERSION, wl_keyboard_release, wl_keyboard_destroy);
    } else if (!keyboard_ && hasKeyboard) {
        keyboard_ = wl_seat_get_keyboard(seat_);
        wl_keyboard_add_listener(keyboard_, &keyboardListener, this);
        keyboardIsNew_ = shown_;
    }
    if (pointer_ && !hasPointer) {
        letGo(pointer_, WL_POINTER_RELEASE_SINCE_VERSION, wl_pointer_release, wl_pointer_destroy);
        pointerSurface_ = nullptr;
        pointerOver_ = false;
    } else if (!pointer_ && hasPointer) {
        pointer_ = wl_seat_get_pointer(seat_);
        wl_pointer_add_listener(pointer_, &pointerListener, this);
    }
    const bool hasTouch = capabilities & WL_SEAT_CAPABILITY_TOUCH;
    if (touch_ && !hasTouch) {
        letGo(touch_, WL_TOUCH_RELEASE_SINCE_VERSION, wl_touch_release, wl_touch_destroy);
    } else if (!touch_ && hasTouch) {
        touch_ = wl_seat_get_touch(seat_);
        wl_touch_add_listener(touch_, &touchListener, this);
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
        // A file shorter than declared would fault on the pages past its end.
        struct stat file{};
        if (fstat(fd, &file) != 0 || file.st_size < static_cast<off_t>(size)) {
            close(fd);
            return;
        }
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

void WaylandSaver::pointerEntered(wl_surface* surface, uint32_t serial, double x, double y) {
    wl_pointer_set_cursor(pointer_, serial, nullptr, 0, 0);  // no pointer over the picture
    pointerSurface_ = surface;
    pointerArrived(x, y);
}

void WaylandSaver::pointerArrived(double x, double y) {
    pointerOver_ = true;
    // The first entry is no measure: a compositor may compute it while it still animates the
    // window open (GNOME). Later ones come from moves (onto another output, or showing a cursor
    // the compositor hid, as sway's hide_cursor does, often with no motion event at all).
    if (pointerOrigin_ || pointerHasLeft_) {
        pointerAt(x, y);
    } else {
        pointerEntry_ = {x, y};
        if (!pointerEnteredAt_) pointerEnteredAt_ = monotonicNanos();
    }
}

bool WaylandSaver::windowOpening() const {
    return fallbackExpected_ && pointerEnteredAt_ && monotonicNanos() - pointerEnteredAt_ < openingNanos;
}

void WaylandSaver::pointerLeft() {
    pointerSurface_ = nullptr;
    pointerOver_ = false;
    // A window that animates open can leave a pointer that did not move, and come back under it.
    if (!windowOpening()) pointerHasLeft_ = true;
}

void WaylandSaver::pointerMoved(double x, double y) {
    if (!pointerOver_) {
        // Motion with no entry: GNOME gives a pointer made while it was already over our window
        // (its device came after the window) motions alone. Only a surface of ours has the focus,
        // so this is the entry: on our one surface, or on one of several that cannot be named,
        // whose places are then compared among themselves.
        const std::vector<SaverSurface*> ours = surfaces();
        pointerSurface_ = ours.size() == 1 ? ours.front()->surface() : nullptr;
        pointerArrived(x, y);
        return;
    }
    // GNOME follows its stale entry with a motion to the same place, and sends places that drift
    // while the window opens: no measure either.
    if (!pointerOrigin_ && !pointerHasLeft_ && (std::pair{x, y} == pointerEntry_ || windowOpening())) return;
    pointerAt(x, y);
}

void WaylandSaver::pointerAt(double x, double y) {
    if (options_.mode == WaylandOptions::Mode::window) return;
    // In the compositor's space, so that places on different outputs compare. A compositor that
    // lays outputs out in device pixels (GNOME's default) states their places and sizes in them:
    // `unit` is that space's units per point of the surface.
    double unit = 1;
    for (const SaverSurface* s : surfaces())
        if (s->surface() == pointerSurface_ && s->output()) {
            const WaylandOutput& o = *s->output();
            if (o.logicalWidth > 0 && s->width() > 0) unit = static_cast<double>(o.logicalWidth) / s->width();
            x = o.x + x * unit;
            y = o.y + y * unit;
        }
    // The origin stays while the pointer leaves and enters our surfaces: gentle moves add up.
    if (!pointerOrigin_) pointerOrigin_ = {x, y};
    if (std::hypot(x - pointerOrigin_->first, y - pointerOrigin_->second) > motionAllowance * unit) stop(0);
}

void WaylandSaver::touched() {
    if (options_.mode != WaylandOptions::Mode::window) stop(0);
}

void WaylandSaver::buttonPressed() {
    if (options_.mode != WaylandOptions::Mode::window) stop(0);
}

}  // namespace duskmere
