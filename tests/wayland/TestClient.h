#pragma once
// The start both test clients share: the connection and the compositor's globals.
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>

// Connects to the compositor of the environment and has Global bind what it wants of its globals
// before returning; null, with a line on stderr, when there is no compositor.
template <void (*Global)(void*, wl_registry*, uint32_t, const char*, uint32_t)>
wl_display* connectWithGlobals(const char* program) {
    static constexpr wl_registry_listener listener = {Global, [](void*, wl_registry*, uint32_t) {}};
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "%s: no compositor\n", program);
        return nullptr;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &listener, nullptr);
    wl_display_roundtrip(display);
    return display;
}
