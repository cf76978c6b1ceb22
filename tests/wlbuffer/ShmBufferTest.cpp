// ShmBuffer against a model picture: two buffers filled in turn, as a compositor that holds one
// makes them, through scrolls (slid and moved) and changed boxes; each must equal the picture,
// bytes swapped, when it is filled. The wl_shm comes from an in-process server.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <wayland-client.h>
#include <wayland-server.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <random>
#include <thread>

#include "ShmBuffer.h"

namespace duskmere {
namespace {

class ShmServer {
public:
    ShmServer() {
        server_ = wl_display_create();
        wl_display_init_shm(server_);
        int fds[2];
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
        wl_client_create(server_, fds[1]);
        client_ = wl_display_connect_to_fd(fds[0]);
        thread_ = std::thread([this] {
            while (!done_) {
                wl_event_loop_dispatch(wl_display_get_event_loop(server_), 10);
                wl_display_flush_clients(server_);
            }
        });
        wl_registry* registry = wl_display_get_registry(client_);
        static const wl_registry_listener listener = {
            [](void* data, wl_registry* r, uint32_t name, const char* interface, uint32_t) {
                if (std::strcmp(interface, wl_shm_interface.name) == 0)
                    *static_cast<wl_shm**>(data) = static_cast<wl_shm*>(wl_registry_bind(r, name, &wl_shm_interface, 1));
            },
            [](void*, wl_registry*, uint32_t) {}};
        wl_registry_add_listener(registry, &listener, &shm_);
        wl_display_roundtrip(client_);
        wl_registry_destroy(registry);
    }
    ~ShmServer() {
        if (shm_) wl_shm_destroy(shm_);
        wl_display_roundtrip(client_);
        done_ = true;
        thread_.join();
        wl_display_disconnect(client_);
        wl_display_destroy(server_);
    }
    wl_shm* shm() const { return shm_; }
    // Lets the server take what was sent (new buffers at new offsets must be valid to it).
    bool roundtrip() { return wl_display_roundtrip(client_) >= 0; }

private:
    wl_display* server_ = nullptr;
    wl_display* client_ = nullptr;
    wl_shm* shm_ = nullptr;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST(ShmBuffer, EveryBufferEqualsThePictureThroughScrollsAndChanges) {
    ShmServer server;
    ASSERT_NE(server.shm(), nullptr);
    constexpr int w = 40, h = 24;
    std::string error;
    std::unique_ptr<ShmBuffer> buffers[2] = {std::unique_ptr<ShmBuffer>(ShmBuffer::create(server.shm(), w, h, error)),
                                             std::unique_ptr<ShmBuffer>(ShmBuffer::create(server.shm(), w, h, error))};
    ASSERT_TRUE(buffers[0] && buffers[1]) << error;
    std::mt19937 random(7);
    std::vector<uint32_t> picture(w * h);
    for (uint32_t& p : picture) p = random() | 0xFF000000u;
    const auto check = [&](const ShmBuffer& b, int frame) {
        for (int i = 0; i < w * h; ++i) {
            const uint32_t p = picture[static_cast<size_t>(i)];
            const uint32_t swapped = (p & 0xFF00FF00u) | ((p & 0xFFu) << 16) | ((p >> 16) & 0xFFu);
            ASSERT_EQ(b.pixels()[i], swapped) << "frame " << frame << ", pixel " << i % w << ", " << i / w;
        }
    };
    buffers[0]->update(picture.data());
    buffers[1]->update(picture.data());
    // Long enough to use up the slack on one side (8 rows of 40 pixels, 2 a scroll) several times.
    for (int frame = 0; frame < 900; ++frame) {
        std::optional<DeviceShift> shift;
        if (frame % 3 != 2) {
            // Mostly the whole width less the column the scroll reads past, in one direction for
            // long stretches; now and then a band too small to slide.
            const int dx = (frame / 300) % 2 ? -2 : 2;
            const bool band = frame % 7 == 0;
            const int y0 = band ? 5 : static_cast<int>(random() % 3), y1 = band ? 9 : h - static_cast<int>(random() % 3);
            shift = DeviceShift{{dx > 0 ? 0 : -dx, y0, dx > 0 ? w - dx : w, y1}, dx};
            const DeviceBox& a = shift->area;
            for (int y = a.y0; y < a.y1; ++y) {
                uint32_t* row = picture.data() + y * w + a.x0;
                std::memmove(row, row + dx, static_cast<size_t>(a.x1 - a.x0) * 4);
            }
        }
        std::vector<DeviceBox> boxes;
        for (int n = static_cast<int>(random() % 4); n > 0; --n) {
            const int x0 = static_cast<int>(random() % w), y0 = static_cast<int>(random() % h);
            const DeviceBox b{x0, y0, std::min(w, x0 + 1 + static_cast<int>(random() % 6)),
                              std::min(h, y0 + 1 + static_cast<int>(random() % 3))};
            for (int y = b.y0; y < b.y1; ++y)
                for (int x = b.x0; x < b.x1; ++x) picture[static_cast<size_t>(y * w + x)] = random() | 0xFF000000u;
            boxes.push_back(b);
        }
        for (auto& b : buffers) b->noteRedraw(shift, boxes);
        ShmBuffer& target = *buffers[frame % 2];
        target.update(picture.data());
        check(target, frame);
        if (HasFatalFailure()) return;
    }
    EXPECT_TRUE(server.roundtrip());  // every buffer it was sent lay inside its pool
}

}  // namespace
}  // namespace duskmere
