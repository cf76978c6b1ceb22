#pragma once

#include <cstdint>
#include <vector>

#include "cairo/CairoImage.h"

namespace duskmere {

// The canvas as last shown, kept as a cairo image and brought up to date only where its pixels
// changed. Most frames of a night scene change a few hundred pixels of half a million; finding
// them costs one compare of the canvas, and converting and redrawing only them saves the rest.
class ShownCanvas {
public:
    // A rectangle of canvas pixels, [x0, x1) x [y0, y1).
    struct Box {
        int64_t x0, y0, x1, y1;
    };

    // Brings the image up to date with `pixels` (width x height, 0xAABBGGRR) and returns the
    // boxes around the pixels that changed; all of the canvas after a change of size or
    // forget(). Empty image (and no boxes) when cairo cannot allocate one.
    const std::vector<Box>& update(const uint32_t* pixels, int64_t width, int64_t height);
    // The next update reports the whole canvas as changed.
    void forget() { last_.clear(); }
    // Whether the last update found the picture moved one canvas pixel to the left, as scrolling
    // scenes do. Its boxes then hold what differs from the moved picture, and the right column.
    bool scrolledLeft() const { return scrolled_; }

    cairo_surface_t* image() const { return image_.get(); }

private:
    // Rows are grouped in bands of this many; each band with changes gives one box.
    static constexpr int64_t bandRows = 8;

    void convertRow(const uint32_t* pixels, int64_t y, int64_t x0, int64_t x1);
    bool looksScrolledLeft(const uint32_t* pixels) const;
    void shiftLeft(const uint32_t* pixels);

    std::vector<uint32_t> last_;  // empty when nothing is known
    CairoSurface image_;
    int64_t width_ = 0;
    int64_t height_ = 0;
    std::vector<Box> boxes_;
    bool scrolled_ = false;
};

}  // namespace duskmere
