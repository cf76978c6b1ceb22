#include "ShmBuffer.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace duskmere {

namespace {

// Beyond this many boxes (a frame of the city changes a few dozen, the campfire's firelight up to
// several hundred), copying their one bounding box is as cheap and simpler.
constexpr size_t maxStaleBoxes = 2048;
// Rows of slack on either side of the picture in its pool: a scroll by a few pixels at a time
// slides that far thousands of times before the picture is moved back to the middle.
constexpr size_t slackRows = 8;

}  // namespace

ShmBuffer::~ShmBuffer() {
    if (buffer_) wl_buffer_destroy(buffer_);
    if (pool_) wl_shm_pool_destroy(pool_);
    if (memory_) munmap(memory_, bytes_);
}

ShmBuffer* ShmBuffer::create(wl_shm* shm, int width, int height, std::string& error) {
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t slack = static_cast<size_t>(width) * slackRows;
    const size_t bytes = (pixels + 2 * slack) * 4;
    if (width <= 0 || height <= 0 || bytes > INT32_MAX) {
        error = "a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is too large";
        return nullptr;
    }
    const int fd = memfd_create("duskmere-wayland", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
        error = std::string("cannot make shared memory for the picture: ") + std::strerror(errno);
        if (fd >= 0) close(fd);
        return nullptr;
    }
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED) {
        error = std::string("cannot map shared memory for the picture: ") + std::strerror(errno);
        close(fd);
        return nullptr;
    }
    auto* b = new ShmBuffer;
    b->pool_ = wl_shm_create_pool(shm, fd, static_cast<int32_t>(bytes));
    close(fd);  // the compositor has its own descriptor once the request is sent
    b->memory_ = static_cast<uint32_t*>(memory);
    b->bytes_ = bytes;
    b->width_ = width;
    b->height_ = height;
    b->slack_ = static_cast<ptrdiff_t>(slack);
    b->offset_ = -1;
    b->placeAt(b->slack_);
    b->notedOffset_ = b->offset_;
    return b;
}

void ShmBuffer::placeAt(ptrdiff_t offset) {
    if (offset == offset_) return;
    offset_ = offset;
    pixels_ = memory_ + offset;
    if (buffer_) wl_buffer_destroy(buffer_);  // not busy: only a released buffer is updated
    buffer_ = wl_shm_pool_create_buffer(pool_, static_cast<int32_t>(offset * 4), width_, height_, width_ * 4,
                                        WL_SHM_FORMAT_XRGB8888);
    static const wl_buffer_listener listener = {
        [](void* data, wl_buffer*) { static_cast<ShmBuffer*>(data)->busy_ = false; }};
    wl_buffer_add_listener(buffer_, &listener, this);
}

void ShmBuffer::noteStale(const DeviceBox& box) {
    if (box.x0 < box.x1 && box.y0 < box.y1) stale_.push_back(box);
}

void ShmBuffer::noteRedraw(const std::optional<DeviceShift>& shift, const std::vector<DeviceBox>& boxes) {
    if (allStale_) return;
    std::array<DeviceBox, 2> ends{};  // the row ends a slide leaves wrong; empty without one
    if (shift) {
        // Within the area the buffer will take its pixels from dx to the side, wrong ones
        // included: a stale box is also stale where it lands. Outside, it stays where it is.
        const DeviceBox& a = shift->area;
        const size_t count = stale_.size();
        for (size_t i = 0; i < count; ++i) {
            const DeviceBox b = stale_[i];
            const DeviceBox moved{std::max(b.x0 - shift->dx, a.x0), std::max(b.y0, a.y0),
                                  std::min(b.x1 - shift->dx, a.x1), std::min(b.y1, a.y1)};
            const bool inside = contains(a, b);
            if (moved.x0 >= moved.x1 || moved.y0 >= moved.y1) continue;
            if (inside) stale_[i] = moved;  // nothing of it stays where it was
            else stale_.push_back(moved);
        }
        // Sliding moves the rest of the picture too: worth it when that rest is small.
        const int64_t area = int64_t{a.x1 - a.x0} * (a.y1 - a.y0);
        Scroll scroll{*shift, area * 4 >= int64_t{width_} * height_ * 3, false};
        if (scroll.slide) {
            if (notedOffset_ + shift->dx < 0 || notedOffset_ + shift->dx > 2 * slack_) {
                scroll.recentre = true;
                notedOffset_ = slack_;
            }
            notedOffset_ += shift->dx;
            // The rows above and below the area are moved back (see apply); the ends of the
            // area's rows are wrong and copied again.
            ends = {DeviceBox{0, a.y0, a.x0, a.y1}, DeviceBox{a.x1, a.y0, width_, a.y1}};
            for (const DeviceBox& end : ends) noteStale(end);
        }
        scrolls_.push_back(scroll);
    }
    // A scene that scrolls draws the column it brings in, which lies in a row end already noted:
    // a copy row by row costs a cache miss a row, so those rows are not copied twice.
    for (const DeviceBox& b : boxes)
        if (!contains(ends[0], b) && !contains(ends[1], b)) stale_.push_back(b);
    limitBoxes(stale_, maxStaleBoxes);
}

void ShmBuffer::update(const uint32_t* picture) {
    if (allStale_) {
        placeAt(slack_);
        copyBox(picture, {0, 0, width_, height_});
    } else {
        for (const Scroll& s : scrolls_) apply(s);
        for (const DeviceBox& b : stale_) copyBox(picture, b);
    }
    notedOffset_ = offset_;
    allStale_ = false;
    scrolls_.clear();
    stale_.clear();
}

void ShmBuffer::apply(const Scroll& scroll) {
    // As the picture moved: new(x, y) = old(x + dx, y) within the area (the presenter keeps
    // x + dx inside the picture).
    const DeviceBox& a = scroll.shift.area;
    const int dx = scroll.shift.dx;
    if (scroll.slide) {
        const size_t all = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4;
        if (scroll.recentre) {
            std::memmove(memory_ + slack_, pixels_, all);
            placeAt(slack_ + dx);
        } else {
            placeAt(offset_ + dx);
        }
        // Rows outside the area did not move: each band back to where it was, in one move.
        const auto restore = [&](int y0, int y1) {
            if (y0 >= y1) return;
            uint32_t* band = pixels_ + static_cast<ptrdiff_t>(y0) * width_;
            std::memmove(band, band - dx, static_cast<size_t>(y1 - y0) * static_cast<size_t>(width_) * 4);
        };
        restore(0, a.y0);
        restore(a.y1, height_);
        return;
    }
    const size_t w = static_cast<size_t>(width_), n = static_cast<size_t>(a.x1 - a.x0) * 4;
    for (int y = a.y0; y < a.y1; ++y) {
        uint32_t* row = pixels_ + static_cast<size_t>(y) * w + static_cast<size_t>(a.x0);
        std::memmove(row, row + dx, n);
    }
}

void ShmBuffer::copyBox(const uint32_t* picture, const DeviceBox& box) {
    const int x0 = std::max(box.x0, 0), x1 = std::min(box.x1, width_);
    const int y0 = std::max(box.y0, 0), y1 = std::min(box.y1, height_);
    if (x0 >= x1 || y0 >= y1) return;
    const size_t w = static_cast<size_t>(width_);
    for (int y = y0; y < y1; ++y) {
        const uint32_t* from = picture + static_cast<size_t>(y) * w + static_cast<size_t>(x0);
        uint32_t* to = pixels_ + static_cast<size_t>(y) * w + static_cast<size_t>(x0);
        const size_t n = static_cast<size_t>(x1 - x0);
        // The picture holds R, G, B, X in memory; XRGB8888 holds B, G, R, X.
        for (size_t i = 0; i < n; ++i) {
            const uint32_t p = from[i];
            to[i] = (p & 0xFF00FF00u) | ((p & 0xFFu) << 16) | ((p >> 16) & 0xFFu);
        }
    }
}

}  // namespace duskmere
