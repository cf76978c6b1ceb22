#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/SoftwareSaverPlatform.h"

struct wl_buffer;
struct wl_shm;
struct wl_shm_pool;

namespace duskmere {

// One wl_shm buffer of a surface's picture, in shared memory the compositor reads, always in
// XRGB8888: the one format every compositor takes, and the one a software compositor (pixman)
// blends fastest; the picture's R, G, B bytes are swapped on the way in. It remembers what
// happened to the picture since it was last filled (scrolls, and boxes that changed), so that a
// buffer the compositor hands back two or three frames later is brought up to date by moving its
// pixels as the picture moved and copying only the boxes that still differ.
//
// A scroll of most of the picture costs no copy at all: the buffer lies in a pool with slack on
// either side, and moving every pixel dx to the side is moving the buffer's start in the pool by
// dx pixels (a new wl_buffer at the new offset); only what lies outside the scrolled area, and the
// row ends that wrap, are copied again.
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
    // The pixels as the compositor reads them.
    const uint32_t* pixels() const { return pixels_; }
    void markBusy() { busy_ = true; }

    // One redraw of the picture after this buffer was last filled: its shift, if any, then the
    // boxes that changed.
    void noteRedraw(const std::optional<DeviceShift>& shift, const std::vector<DeviceBox>& boxes);
    // Brings the buffer to the picture (same size): the shifts noted since the last fill, then a
    // copy of what still differs.
    void update(const uint32_t* picture);

private:
    ShmBuffer() = default;
    // A noted scroll: by sliding the buffer in its pool (after moving the picture back to the
    // middle of the pool when the slack on that side is used up), or by moving rows.
    struct Scroll {
        DeviceShift shift;
        bool slide;
        bool recentre;
    };
    void copyBox(const uint32_t* picture, const DeviceBox& box);
    void apply(const Scroll& scroll);
    void placeAt(ptrdiff_t offset);
    void noteStale(const DeviceBox& box);

    wl_shm_pool* pool_ = nullptr;
    wl_buffer* buffer_ = nullptr;
    uint32_t* memory_ = nullptr;  // the whole pool
    size_t bytes_ = 0;
    ptrdiff_t slack_ = 0;         // pixels of pool before and after the picture when centred
    ptrdiff_t offset_ = 0;        // where the picture starts in the pool, in pixels
    ptrdiff_t notedOffset_ = 0;   // where it will start once the noted scrolls are applied
    uint32_t* pixels_ = nullptr;  // memory_ + offset_
    int width_ = 0, height_ = 0;
    bool busy_ = false;
    bool allStale_ = true;
    std::vector<Scroll> scrolls_;  // in order, to apply before stale_ is copied
    std::vector<DeviceBox> stale_;
};

}  // namespace duskmere
