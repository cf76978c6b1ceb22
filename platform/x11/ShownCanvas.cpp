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

const std::vector<ShownCanvas::Box>& ShownCanvas::update(const uint32_t* pixels, int64_t width, int64_t height) {
    boxes_.clear();
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
    if (!boxes_.empty()) cairo_surface_mark_dirty(image_.get());
    return boxes_;
}

}  // namespace duskmere
