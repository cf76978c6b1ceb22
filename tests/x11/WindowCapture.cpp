#include "WindowCapture.h"

#include <X11/Xutil.h>

#include <cstdint>
#include <vector>

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

testing::Picture captureWindow(Display* display, Window window, int width, int height) {
    testing::Picture out;
    if (width < 1 || height < 1) return out;
    XSync(display, False);
    XErrorTrap::clear();
    XWindowAttributes attributes{};
    const bool known = XGetWindowAttributes(display, window, &attributes);
    XImage* image = known ? XGetImage(display, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                      AllPlanes, ZPixmap)
                          : nullptr;
    XSync(display, False);
    XErrorTrap::clear();
    if (!image) return out;
    const int cls = attributes.visual->c_class;
    std::vector<XColor> map;
    if (cls != TrueColor && cls != DirectColor) {
        map.resize(static_cast<size_t>(attributes.visual->map_entries));
        for (size_t i = 0; i < map.size(); ++i) map[i].pixel = i;
        XQueryColors(display, attributes.colormap, map.data(), static_cast<int>(map.size()));
    }
    const Channel red(image->red_mask), green(image->green_mask), blue(image->blue_mask);
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            uint32_t& to = out.pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
            if (!map.empty()) {
                const XColor& c = map[p % map.size()];
                to = 0xFF000000u | uint32_t(c.blue >> 8) << 16 | uint32_t(c.green >> 8) << 8 | uint32_t(c.red >> 8);
            } else {
                to = 0xFF000000u | blue.value(p) << 16 | green.value(p) << 8 | red.value(p);
            }
        }
    }
    XDestroyImage(image);
    return out;
}

}  // namespace duskmere
