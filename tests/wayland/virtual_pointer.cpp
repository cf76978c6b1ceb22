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

bool hasFakeInput() {
#ifdef DUSKMERE_FAKE_INPUT
    return fake != nullptr;
#else
    return false;
#endif
}

// One device, whichever protocol it speaks.
struct Device {
    zwlr_virtual_pointer_v1* pointer = nullptr;
    uint32_t time = 0;

    bool move(double dx, double dy) {
#ifdef DUSKMERE_FAKE_INPUT
        if (fake) {
            org_kde_kwin_fake_input_pointer_motion(fake, wl_fixed_from_double(dx), wl_fixed_from_double(dy));
            return true;
        }
#endif
        zwlr_virtual_pointer_v1_motion(pointer, time += 10, wl_fixed_from_double(dx), wl_fixed_from_double(dy));
        zwlr_virtual_pointer_v1_frame(pointer);
        return true;
    }

    bool click() {
#ifdef DUSKMERE_FAKE_INPUT
        if (fake) {
            org_kde_kwin_fake_input_button(fake, leftButton, WL_POINTER_BUTTON_STATE_PRESSED);
            org_kde_kwin_fake_input_button(fake, leftButton, WL_POINTER_BUTTON_STATE_RELEASED);
            return true;
        }
#endif
        zwlr_virtual_pointer_v1_button(pointer, time += 10, leftButton, WL_POINTER_BUTTON_STATE_PRESSED);
        zwlr_virtual_pointer_v1_frame(pointer);
        zwlr_virtual_pointer_v1_button(pointer, time += 1, leftButton, WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(pointer);
        return true;
    }

    bool key([[maybe_unused]] uint32_t code) {
#ifdef DUSKMERE_FAKE_INPUT
        if (fake) {
            org_kde_kwin_fake_input_keyboard_key(fake, code, WL_KEYBOARD_KEY_STATE_PRESSED);
            org_kde_kwin_fake_input_keyboard_key(fake, code, WL_KEYBOARD_KEY_STATE_RELEASED);
            return true;
        }
#endif
        return false;  // wlroots compositors take keys from wtype
    }
};

}  // namespace

int main() {
    wl_display* display = connectWithGlobals<global>("virtual_pointer");
    if (!display) return 1;
    Device device;
#ifdef DUSKMERE_FAKE_INPUT
    if (fake) org_kde_kwin_fake_input_authenticate(fake, "duskmere tests", "input for the saver's tests");
#endif
    if (manager) {
        device.pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    } else if (!hasFakeInput()) {
        std::fputs("virtual_pointer: the compositor has no virtual pointers\n", stderr);
        return 1;
    }
    wl_display_roundtrip(display);
    std::puts("ready");
    std::fflush(stdout);
    char line[128];
    while (std::fgets(line, sizeof line, stdin)) {
        double dx = 0, dy = 0;
        unsigned code = 0;
        bool taken = false;
        if (std::sscanf(line, "move %lf %lf", &dx, &dy) == 2)
            taken = device.move(dx, dy);
        else if (std::strncmp(line, "click", 5) == 0)
            taken = device.click();
        else if (std::sscanf(line, "key %u", &code) == 1)
            taken = device.key(code);
        if (!taken) {
            std::fprintf(stderr, "virtual_pointer: cannot do %s", line);
            return 2;
        }
        if (wl_display_roundtrip(display) < 0) return 1;
        std::puts("done");
        std::fflush(stdout);
    }
    if (device.pointer) zwlr_virtual_pointer_v1_destroy(device.pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
