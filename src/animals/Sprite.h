#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace duskmere {

// A one-bit bitmap rasterised from shapes given in abstract units. Unit space has x to the right
// from the left edge and y upward from the bottom edge, so y = 0 is the line an animal stands on.
// Shapes only ever set bits, so the order in which they are applied does not matter.
class Sprite {
public:
    // The bitmap covers unitsWide x unitsHigh units at `scale` pixels per unit, rounded up, and
    // is at least one pixel each way.
    Sprite(double unitsWide, double unitsHigh, double scale);

    // Filled ellipse; its boundary is inside.
    void ellipse(double cx, double cy, double rx, double ry);
    // Thick segment with round ends. Never thinner than about one pixel; a zero-length limb is a dot.
    void limb(double x0, double y0, double x1, double y1, double thickness);
    // A limb from the hip to a foot that swings by `stride` over a turn of theta, is lifted by up
    // to `lift` while cos(theta) > 0 and rests on the ground line for the other half of the turn.
    void leg(double hipX, double hipY, double theta, double stride, double lift, double thickness);

    int64_t width() const { return width_; }
    int64_t height() const { return height_; }
    double scale() const { return scale_; }
    // Column x, row y (row 0 at the top). Both must lie inside the bitmap.
    bool bit(int64_t x, int64_t y) const { return bits_[static_cast<std::size_t>(y * width_ + x)] != 0; }

private:
    int64_t width_;
    int64_t height_;
    std::vector<uint8_t> bits_;  // row-major, width_ * height_ entries, nonzero = set
    double scale_;

    // Calls f(index, ux, uy) with the centre of every pixel in unit space.
    template <class F>
    void forEachPixel(F&& f);
};

}  // namespace duskmere
