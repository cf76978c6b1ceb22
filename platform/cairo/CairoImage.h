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

// A new opaque image surface holding a copy of canvas pixels (0xAABBGGRR, fourth byte ignored),
// converted to cairo's native 0x00RRGGBB. Empty when cairo cannot allocate it.
CairoSurface makeCairoImage(const uint32_t* pixels, int64_t width, int64_t height);

}  // namespace duskmere
