#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/SoftwareSaverPlatform.h"

struct wl_buffer;
struct wl_shm;

namespace duskmere {

// One wl_shm buffer of a surface's picture, in shared memory the compositor reads, always in
// XRGB8888: the one format every compositor takes, and the one a software compositor (pixman)
// blends fastest; the picture's R, G, B bytes are swapped on the way in. It remembers what
// happened to the picture since it was last filled (scrolls, and boxes that changed), so that a
// buffer the compositor hands back two or three frames later is brought up to date by moving its
// pixels as the picture moved and copying only the boxes that still differ.
class ShmBuffer {
public:
    ~ShmBuffer();
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    // A buffer of width x height pixels. Null with a one-line reason in `error` when the memory
    // cannot be had.
    static ShmBuffer* create(wl_shm* shm, int width, int height, std::string& error);

    wl_buffer* buffer() const { return buffer_; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool busy() const { return busy_; }
    void markBusy() { busy_ = true; }

    // One redraw of the picture after this buffer was last filled: its shift, if any, then the
    // boxes that changed.
    void noteRedraw(const std::optional<DeviceShift>& shift, const std::vector<DeviceBox>& boxes);
    // Brings the buffer to the picture (same size): the shifts noted since the last fill, then a
    // copy of what still differs.
    void update(const uint32_t* picture);

private:
    ShmBuffer() = default;
    void copyBox(const uint32_t* picture, const DeviceBox& box);
    void applyShift(const DeviceShift& shift);

    wl_buffer* buffer_ = nullptr;
    uint32_t* pixels_ = nullptr;
    size_t bytes_ = 0;
    int width_ = 0, height_ = 0;
    bool busy_ = false;
    bool allStale_ = true;
    std::vector<DeviceShift> shifts_;  // in order, to apply before stale_ is copied
    std::vector<DeviceBox> stale_;
};

}  // namespace duskmere
