#include "ShownCanvas.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace duskmere {

void ShownCanvas::convertRow(const uint32_t* pixels, int64_t y, int64_t x0, int64_t x1) {
    unsigned char* data = cairo_image_surface_get_data(image_.get());
    const int64_t stride = cairo_image_surface_get_stride(image_.get());
    auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
    const uint32_t* src = pixels + y * width_;
    uint32_t* keep = last_.data() + y * width_;
    for (int64_t x = x0; x < x1; ++x) {
        row[x] = toCairoPixel(src[x]);
        keep[x] = src[x];
    }
}

bool ShownCanvas::looksScrolledLeft(const uint32_t* pixels) const {
    // Rows that changed, and of those the ones equal to their old selves moved left by one
    // pixel. A scroll moves most changed rows; a few things (moon, fires, animals) are drawn
    // over it in place. A sample of rows rules out the usual frames cheaply.
    const size_t shiftedBytes = static_cast<size_t>(width_ - 1) * sizeof(uint32_t);
    auto count = [&](int64_t step, int64_t& moved, int64_t& other) {
        for (int64_t y = 0; y < height_; y += step) {
            const uint32_t* now = pixels + y * width_;
            const uint32_t* was = last_.data() + y * width_;
            if (std::memcmp(now, was, shiftedBytes + sizeof(uint32_t)) == 0) continue;
            if (std::memcmp(now, was + 1, shiftedBytes) == 0) ++moved;
            else ++other;
        }
    };
    int64_t moved = 0, other = 0;
    count(std::max<int64_t>(1, height_ / 16), moved, other);
    if (moved < 2 || moved <= 2 * other) return false;
    moved = other = 0;
    count(1, moved, other);
    return moved > 2 * other;
}

void ShownCanvas::shiftLeft(const uint32_t* pixels) {
    unsigned char* data = cairo_image_surface_get_data(image_.get());
    const int64_t stride = cairo_image_surface_get_stride(image_.get());
    for (int64_t y = 0; y < height_; ++y) {
        uint32_t* was = last_.data() + y * width_;
        std::memmove(was, was + 1, static_cast<size_t>(width_ - 1) * sizeof(uint32_t));
        // The column that came in is unknown: make it differ, so that it is converted and redrawn.
        was[width_ - 1] = ~pixels[y * width_ + width_ - 1];
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        std::memmove(row, row + 1, static_cast<size_t>(width_ - 1) * sizeof(uint32_t));
    }
}

const std::vector<ShownCanvas::Box>& ShownCanvas::update(const uint32_t* pixels, int64_t width, int64_t height) {
    boxes_.clear();
    scrolled_ = false;
    if (width < 1 || height < 1 || width > INT_MAX || height > INT_MAX) {
        image_.reset();
        last_.clear();
        return boxes_;
    }
    const bool everything = last_.empty() || width != width_ || height != height_ || !image_;
    if (width != width_ || height != height_ || !image_) {
        image_.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width), static_cast<int>(height)));
        if (cairo_surface_status(image_.get()) != CAIRO_STATUS_SUCCESS) {
            image_.reset();
            last_.clear();
            return boxes_;
        }
        width_ = width;
        height_ = height;
    }
    cairo_surface_flush(image_.get());
    if (everything) {
        last_.assign(static_cast<size_t>(width * height), 0);
        for (int64_t y = 0; y < height; ++y) convertRow(pixels, y, 0, width);
        boxes_.push_back({0, 0, width, height});
        cairo_surface_mark_dirty(image_.get());
        return boxes_;
    }

    if (width > 2 && looksScrolledLeft(pixels)) {
        shiftLeft(pixels);
        scrolled_ = true;
    }
    const size_t rowBytes = static_cast<size_t>(width) * sizeof(uint32_t);
    for (int64_t band = 0; band < height; band += bandRows) {
        Box box{width, height, 0, 0};
        const int64_t end = std::min(height, band + bandRows);
        for (int64_t y = band; y < end; ++y) {
            const uint32_t* now = pixels + y * width;
            const uint32_t* was = last_.data() + y * width;
            if (std::memcmp(now, was, rowBytes) == 0) continue;
            int64_t x0 = 0;
            while (now[x0] == was[x0]) ++x0;
            int64_t x1 = width;
            while (now[x1 - 1] == was[x1 - 1]) --x1;
            convertRow(pixels, y, x0, x1);
            box.x0 = std::min(box.x0, x0);
            box.x1 = std::max(box.x1, x1);
            box.y0 = std::min(box.y0, y);
            box.y1 = y + 1;
        }
        if (box.x0 < box.x1) boxes_.push_back(box);
    }
    if (!boxes_.empty() || scrolled_) cairo_surface_mark_dirty(image_.get());
    return boxes_;
}

}  // namespace duskmere
