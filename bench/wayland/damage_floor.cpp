// The least a saver-shaped client can ask of a compositor: one overlay layer surface per output,
// the size of the output, whose buffer changes one pixel 30 times a second, with damage for that
// pixel alone. What the compositor spends on it is the floor against which our own damage is
// judged (bench/wayland_cpu.py). Runs until SIGTERM or SIGINT.
//
// usage: wayland_damage_floor [--whole]   (--whole damages every pixel each frame: the ceiling)
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace {

volatile sig_atomic_t stopped = 0;

struct Client {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    zwlr_layer_shell_v1* layers = nullptr;
    std::vector<wl_output*> outputs;
    bool whole = false;
    uint32_t format = WL_SHM_FORMAT_XRGB8888;
};

// Two buffers, each one pixel ahead of the other's last change.
struct Surface {
    Client* client = nullptr;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    int width = 0, height = 0;
    wl_buffer* buffers[2] = {nullptr, nullptr};
    uint32_t* pixels[2] = {nullptr, nullptr};
    bool busy[2] = {false, false};
    bool configured = false, waiting = false;
    uint64_t frame = 0;
};

void makeBuffers(Surface& s) {
    const size_t stride = static_cast<size_t>(s.width) * 4, bytes = stride * static_cast<size_t>(s.height);
    for (int i = 0; i < 2; ++i) {
        const int fd = memfd_create("damage-floor", MFD_CLOEXEC);
        if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
            std::perror("wayland_damage_floor: shared memory");
            std::exit(1);
        }
        s.pixels[i] = static_cast<uint32_t*>(mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        wl_shm_pool* pool = wl_shm_create_pool(s.client->shm, fd, static_cast<int32_t>(bytes));
        s.buffers[i] = wl_shm_pool_create_buffer(pool, 0, s.width, s.height, static_cast<int32_t>(stride),
                                                 s.client->format);
        wl_shm_pool_destroy(pool);
        close(fd);
        static const wl_buffer_listener released = {[](void* data, wl_buffer*) { *static_cast<bool*>(data) = false; }};
        wl_buffer_add_listener(s.buffers[i], &released, &s.busy[i]);
    }
}

const wl_callback_listener frameDone = {[](void* data, wl_callback* callback, uint32_t) {
    static_cast<Surface*>(data)->waiting = false;
    wl_callback_destroy(callback);
}};

void draw(Surface& s) {
    const int i = static_cast<int>(s.frame % 2);
    if (s.busy[i] || s.waiting) return;
    // The pixel that changes walks along the top row, as a meteor's head would.
    const int x = static_cast<int>(s.frame % static_cast<uint64_t>(s.width));
    if (s.client->whole)
        for (size_t p = 0; p < static_cast<size_t>(s.width) * static_cast<size_t>(s.height); ++p)
            s.pixels[i][p] = 0x00101020u;
    s.pixels[i][x] = 0x00ffffffu;
    if (x > 0) s.pixels[i][x - 1] = 0;
    if (x > 1) s.pixels[i][x - 2] = 0;  // this buffer last showed the pixel two frames ago
    wl_surface_attach(s.surface, s.buffers[i], 0, 0);
    if (s.client->whole) wl_surface_damage_buffer(s.surface, 0, 0, s.width, s.height);
    else wl_surface_damage_buffer(s.surface, x > 1 ? x - 2 : 0, 0, x > 1 ? 3 : x + 1, 1);
    wl_callback_add_listener(wl_surface_frame(s.surface), &frameDone, &s);
    s.waiting = true;
    s.busy[i] = true;
    wl_surface_commit(s.surface);
    ++s.frame;
}

const zwlr_layer_surface_v1_listener layerListener = {
    [](void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t w, uint32_t h) {
        auto& s = *static_cast<Surface*>(data);
        zwlr_layer_surface_v1_ack_configure(layer, serial);
        if (s.configured) return;
        s.width = static_cast<int>(w);
        s.height = static_cast<int>(h);
        makeBuffers(s);
        s.configured = true;
    },
    [](void*, zwlr_layer_surface_v1*) { stopped = 1; },
};

const wl_registry_listener registryListener = {
    [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        auto& c = *static_cast<Client*>(data);
        const std::string_view is(interface);
        if (is == wl_compositor_interface.name)
            c.compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
        else if (is == wl_shm_interface.name)
            c.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
        else if (is == zwlr_layer_shell_v1_interface.name)
            c.layers = static_cast<zwlr_layer_shell_v1*>(
                wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, 1));
        else if (is == wl_output_interface.name)
            c.outputs.push_back(static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1)));
    },
    [](void*, wl_registry*, uint32_t) {},
};

int64_t nowNanos() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

int main(int argc, char** argv) {
    Client client;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--whole") == 0) client.whole = true;
        else if (std::strcmp(argv[i], "--xbgr") == 0) client.format = WL_SHM_FORMAT_XBGR8888;
    }
    signal(SIGTERM, [](int) { stopped = 1; });
    signal(SIGINT, [](int) { stopped = 1; });
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fputs("wayland_damage_floor: no Wayland display\n", stderr);
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &registryListener, &client);
    wl_display_roundtrip(display);
    if (!client.compositor || !client.shm || !client.layers) {
        std::fputs("wayland_damage_floor: the compositor has no layer shell\n", stderr);
        return 1;
    }
    std::vector<std::unique_ptr<Surface>> surfaces;
    for (wl_output* output : client.outputs) {
        auto s = std::make_unique<Surface>();
        s->client = &client;
        s->surface = wl_compositor_create_surface(client.compositor);
        s->layer = zwlr_layer_shell_v1_get_layer_surface(client.layers, s->surface, output,
                                                         ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "damage-floor");
        zwlr_layer_surface_v1_add_listener(s->layer, &layerListener, s.get());
        zwlr_layer_surface_v1_set_anchor(s->layer, 15);
        zwlr_layer_surface_v1_set_exclusive_zone(s->layer, -1);
        wl_surface_commit(s->surface);
        surfaces.push_back(std::move(s));
    }
    const int64_t period = 1000000000 / 30;
    int64_t next = nowNanos();
    while (!stopped) {
        if (nowNanos() >= next) {
            for (auto& s : surfaces)
                if (s->configured) draw(*s);
            next += period;
        }
        wl_display_flush(display);
        while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
        const int64_t left = next - nowNanos();
        pollfd fd = {wl_display_get_fd(display), POLLIN, 0};
        const int n = poll(&fd, 1, left > 0 ? static_cast<int>(left / 1000000) + 1 : 0);
        if (n > 0) {
            if (wl_display_read_events(display) < 0) return 1;
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0) return 1;
    }
    wl_display_disconnect(display);
    return 0;
}
