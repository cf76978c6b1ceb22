// What a video player does for the Wayland tests: a small visible window that holds an idle
// inhibitor (compositors honour one only while its surface can be seen). Says "ready" on stdout
// once the window is up and the inhibitor made, and holds it until its input ends.
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstring>

#include "TestClient.h"
#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {

constexpr int side = 64;

wl_compositor* compositor = nullptr;
wl_shm* shm = nullptr;
xdg_wm_base* shell = nullptr;
zwp_idle_inhibit_manager_v1* inhibitors = nullptr;
bool configured = false;

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (std::strcmp(interface, wl_compositor_interface.name) == 0)
        compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 1));
    else if (std::strcmp(interface, wl_shm_interface.name) == 0)
        shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0)
        shell = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    else if (std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) == 0)
        inhibitors = static_cast<zwp_idle_inhibit_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
}

void ping(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }

void surfaceConfigure(void*, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    configured = true;
}

void toplevelConfigure(void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {}
void toplevelClose(void*, xdg_toplevel*) {}

wl_buffer* greyBuffer() {
    const int stride = side * 4, size = stride * side;
    const int fd = memfd_create("idle-inhibitor", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) return nullptr;
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) return nullptr;
    std::memset(pixels, 0x80, size);
    munmap(pixels, size);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, side, side, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

}  // namespace

int main() {
    wl_display* display = connectWithGlobals<global>("idle_inhibitor");
    if (!display) return 1;
    if (!compositor || !shm || !shell || !inhibitors) {
        std::fputs("idle_inhibitor: the compositor has no idle inhibitors\n", stderr);
        return 1;
    }
    const xdg_wm_base_listener baseListener = {ping};
    xdg_wm_base_add_listener(shell, &baseListener, nullptr);
    wl_surface* surface = wl_compositor_create_surface(compositor);
    xdg_surface* window = xdg_wm_base_get_xdg_surface(shell, surface);
    const xdg_surface_listener surfaceListener = {surfaceConfigure};
    xdg_surface_add_listener(window, &surfaceListener, nullptr);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(window);
    const xdg_toplevel_listener toplevelListener = {toplevelConfigure, toplevelClose, nullptr, nullptr};
    xdg_toplevel_add_listener(toplevel, &toplevelListener, nullptr);
    xdg_toplevel_set_app_id(toplevel, "duskmere-idle-inhibitor");
    wl_surface_commit(surface);
    while (!configured)
        if (wl_display_dispatch(display) < 0) return 1;
    wl_buffer* buffer = greyBuffer();
    if (!buffer) {
        std::perror("idle_inhibitor: buffer");
        return 1;
    }
    wl_surface_attach(surface, buffer, 0, 0);
    wl_surface_commit(surface);
    zwp_idle_inhibit_manager_v1_create_inhibitor(inhibitors, surface);
    wl_display_roundtrip(display);
    std::puts("ready");
    std::fflush(stdout);
    // Answer the compositor's pings until the test closes our input.
    pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    while (true) {
        wl_display_flush(display);
        if (poll(fds, 2, -1) < 0) return 1;
        if (fds[1].revents) {
            char byte;
            if (read(STDIN_FILENO, &byte, 1) <= 0) break;
        }
        if (fds[0].revents && wl_display_dispatch(display) < 0) return 1;
    }
    wl_display_disconnect(display);
    return 0;
}
