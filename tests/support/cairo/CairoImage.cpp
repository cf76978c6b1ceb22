#include "cairo/CairoImage.h"

#include <climits>

namespace duskmere {

CairoSurface makeCairoImage(const uint32_t* pixels, int64_t width, int64_t height) {
    if (width < 1 || height < 1 || width > INT_MAX || height > INT_MAX) return nullptr;
    CairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width), static_cast<int>(height)));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_surface_flush(surface.get());
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int64_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        const uint32_t* src = pixels + y * width;
        for (int64_t x = 0; x < width; ++x) row[x] = toCairoPixel(src[x]);
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

}  // namespace duskmere
