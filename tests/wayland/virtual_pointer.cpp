// A pointer (and, on KWin, a keyboard) for the Wayland tests: headless compositors have none, and
// a seat without one delivers no motion. Uses wlroots' virtual pointer where offered, else KWin's
// fake input. Says "ready" on stdout, then reads commands on stdin, one a line: "move DX DY"
// (relative, in points), "click" or "key CODE" (an evdev key code, pressed and released; fake
// input only); answers "done" after each, once the compositor has taken it. Ends at the end of
// input.
#include <wayland-client.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "TestClient.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#ifdef DUSKMERE_FAKE_INPUT
#include "fake-input-client-protocol.h"
#endif

namespace {

constexpr uint32_t leftButton = 0x110;

wl_seat* seat = nullptr;
zwlr_virtual_pointer_manager_v1* manager = nullptr;
#ifdef DUSKMERE_FAKE_INPUT
org_kde_kwin_fake_input* fake = nullptr;
#endif

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
#ifdef DUSKMERE_FAKE_INPUT
    else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fake = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
#endif
    (void)version;
}

// One line of input.
struct Command {
    enum { Move, Click, Key, Unknown } what = Unknown;
    double dx = 0, dy = 0;
    uint32_t code = 0;
};

Command parse(const char* line) {
    Command c;
    unsigned code = 0;
    if (std::sscanf(line, "move %lf %lf", &c.dx, &c.dy) == 2)
        c.what = Command::Move;
    else if (std::strncmp(line, "click", 5) == 0)
        c.what = Command::Click;
    else if (std::sscanf(line, "key %u", &code) == 1)
        c.what = Command::Key, c.code = code;
    return c;
}

// wlroots' virtual pointer; keys come from wtype there.
bool byVirtualPointer(zwlr_virtual_pointer_v1* pointer, const Command& c) {
    static uint32_t time = 0;
    if (c.what == Command::Move) {
        zwlr_virtual_pointer_v1_motion(pointer, time += 10, wl_fixed_from_double(c.dx), wl_fixed_from_double(c.dy));
    } else if (c.what == Command::Click) {
        zwlr_virtual_pointer_v1_button(pointer, time += 10, leftButton, WL_POINTER_BUTTON_STATE_PRESSED);
        zwlr_virtual_pointer_v1_frame(pointer);
        zwlr_virtual_pointer_v1_button(pointer, time += 1, leftButton, WL_POINTER_BUTTON_STATE_RELEASED);
    } else {
        return false;
    }
    zwlr_virtual_pointer_v1_frame(pointer);
    return true;
}

#ifdef DUSKMERE_FAKE_INPUT
// KWin's fake input.
bool byFakeInput(const Command& c) {
    if (c.what == Command::Move) {
        org_kde_kwin_fake_input_pointer_motion(fake, wl_fixed_from_double(c.dx), wl_fixed_from_double(c.dy));
    } else if (c.what == Command::Click) {
        org_kde_kwin_fake_input_button(fake, leftButton, WL_POINTER_BUTTON_STATE_PRESSED);
        org_kde_kwin_fake_input_button(fake, leftButton, WL_POINTER_BUTTON_STATE_RELEASED);
    } else if (c.what == Command::Key) {
        org_kde_kwin_fake_input_keyboard_key(fake, c.code, WL_KEYBOARD_KEY_STATE_PRESSED);
        org_kde_kwin_fake_input_keyboard_key(fake, c.code, WL_KEYBOARD_KEY_STATE_RELEASED);
    } else {
        return false;
    }
    return true;
}
#endif

// By whichever device the compositor offers.
bool perform(zwlr_virtual_pointer_v1* pointer, const Command& c) {
#ifdef DUSKMERE_FAKE_INPUT
    if (fake) return byFakeInput(c);
#endif
    return pointer && byVirtualPointer(pointer, c);
}

}  // namespace

int main() {
    wl_display* display = connectWithGlobals<global>("virtual_pointer");
    if (!display) return 1;
    zwlr_virtual_pointer_v1* pointer = nullptr;
#ifdef DUSKMERE_FAKE_INPUT
    if (fake) org_kde_kwin_fake_input_authenticate(fake, "duskmere tests", "input for the saver's tests");
    const bool fakeInput = fake != nullptr;
#else
    const bool fakeInput = false;
#endif
    if (manager) {
        pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    } else if (!fakeInput) {
        std::fputs("virtual_pointer: the compositor has no virtual pointers\n", stderr);
        return 1;
    }
    wl_display_roundtrip(display);
    std::puts("ready");
    std::fflush(stdout);
    char line[128];
    while (std::fgets(line, sizeof line, stdin)) {
        if (!perform(pointer, parse(line))) {
            std::fprintf(stderr, "virtual_pointer: cannot do %s", line);
            return 2;
        }
        if (wl_display_roundtrip(display) < 0) return 1;
        std::puts("done");
        std::fflush(stdout);
    }
    if (pointer) zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
