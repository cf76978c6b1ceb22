#include "WindowCapture.h"

#include <X11/Xutil.h>

#include <cstdint>

#include "XErrorTrap.h"

namespace duskmere {

namespace {

// Where a colour mask sits and how wide it is, to scale its value to 8 bits.
struct Channel {
    int shift = 0;
    int bits = 0;
    explicit Channel(unsigned long mask) {
        if (!mask) return;
        while (!(mask & 1)) mask >>= 1, ++shift;
        while (mask & 1) mask >>= 1, ++bits;
    }
    uint32_t value(unsigned long pixel) const {
        if (bits == 0) return 0;
        const unsigned long v = (pixel >> shift) & ((1ul << bits) - 1);
        return bits >= 8 ? static_cast<uint32_t>(v >> (bits - 8))
                         : static_cast<uint32_t>(v * 255 / ((1ul << bits) - 1));
    }
};

}  // namespace

CairoSurface captureWindow(Display* display, Window window, int width, int height) {
    if (width < 1 || height < 1) return nullptr;
    XSync(display, False);
    XErrorTrap::clear();
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    XSync(display, False);
    XErrorTrap::clear();
    if (!image) return nullptr;
    CairoSurface out(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(out.get()) != CAIRO_STATUS_SUCCESS) {
        XDestroyImage(image);
        return nullptr;
    }
    const Channel red(image->red_mask), green(image->green_mask), blue(image->blue_mask);
    cairo_surface_flush(out.get());
    unsigned char* data = cairo_image_surface_get_data(out.get());
    const int stride = cairo_image_surface_get_stride(out.get());
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            row[x] = 0xFF000000u | red.value(p) << 16 | green.value(p) << 8 | blue.value(p);
        }
    }
    cairo_surface_mark_dirty(out.get());
    XDestroyImage(image);
    return out;
}

}  // namespace duskmere
