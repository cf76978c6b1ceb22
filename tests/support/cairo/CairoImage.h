#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>

namespace duskmere {

struct CairoSurfaceRelease {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoContextRelease {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using CairoSurface = std::unique_ptr<cairo_surface_t, CairoSurfaceRelease>;
using CairoContext = std::unique_ptr<cairo_t, CairoContextRelease>;

// One canvas pixel (0xAABBGGRR, fourth byte ignored) as cairo's opaque 0xFFRRGGBB.
inline uint32_t toCairoPixel(uint32_t p) {
    return 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
}

// A new opaque image surface holding a copy of canvas pixels (0xAABBGGRR, fourth byte ignored),
// converted to cairo's native 0x00RRGGBB. Empty when cairo cannot allocate it.
CairoSurface makeCairoImage(const uint32_t* pixels, int64_t width, int64_t height);

}  // namespace duskmere
