#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/SoftwareSaverPlatform.h"

struct wl_buffer;
struct wl_shm;

namespace duskmere {

// One wl_shm buffer of a surface's picture, in shared memory the compositor reads. It remembers
// which boxes of the picture changed since it was last filled, so that a buffer the compositor
// hands back two or three frames later is brought up to date by copying only those.
class ShmBuffer {
public:
    ~ShmBuffer();
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    // A buffer of width x height pixels in `format` (a wl_shm format code). Null with a one-line
    // reason in `error` when the memory cannot be had.
    static ShmBuffer* create(wl_shm* shm, int width, int height, uint32_t format, std::string& error);

    wl_buffer* buffer() const { return buffer_; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool busy() const { return busy_; }
    void markBusy() { busy_ = true; }

    // Boxes of the picture that changed after this buffer was last filled.
    void noteChanged(const std::vector<DeviceBox>& boxes);
    // Copies what changed since the last fill from the picture (same size) into the buffer.
    void update(const uint32_t* picture);

private:
    ShmBuffer() = default;
    void copyBox(const uint32_t* picture, const DeviceBox& box);

    wl_buffer* buffer_ = nullptr;
    uint32_t* pixels_ = nullptr;
    size_t bytes_ = 0;
    int width_ = 0, height_ = 0;
    bool swapRedBlue_ = false;
    bool busy_ = false;
    bool allStale_ = true;
    std::vector<DeviceBox> stale_;
};

}  // namespace duskmere
