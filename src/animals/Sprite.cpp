#include "animals/Sprite.h"

#include <cmath>

namespace duskmere {

namespace {

// Pixels needed to cover `units` at `scale`, rounded up and at least one. Products that are not
// numbers or far beyond any screen are clamped so the conversion to an integer stays defined.
int64_t pixelsFor(double units, double scale) {
    const double product = std::ceil(units * scale);
    if (!(product >= 1.0)) return 1;
    constexpr double largest = 2147483647.0;
    if (product > largest) return static_cast<int64_t>(largest);
    return static_cast<int64_t>(product);
}

}  // namespace

Sprite::Sprite(double unitsWide, double unitsHigh, double scale)
    : width_(pixelsFor(unitsWide, scale)),
      height_(pixelsFor(unitsHigh, scale)),
      bits_(static_cast<std::size_t>(width_ * height_), 0),
      scale_(scale) {}

template <class F>
void Sprite::forEachPixel(F&& f) {
    std::size_t index = 0;
    for (int64_t i = 0; i < height_; ++i) {
        const double uy = (static_cast<double>(height_ - i) - 0.5) / scale_;
        for (int64_t j = 0; j < width_; ++j, ++index) {
            const double ux = (static_cast<double>(j) + 0.5) / scale_;
            f(index, ux, uy);
        }
    }
}

void Sprite::ellipse(double cx, double cy, double rx, double ry) {
    forEachPixel([&](std::size_t index, double ux, double uy) {
        const double ny = (uy - cy) / ry;
        const double fy = ny * ny;
        const double fx = (ux - cx) / rx;
        if (fx * fx + fy <= 1.0) bits_[index] = 1;
    });
}

void Sprite::limb(double x0, double y0, double x1, double y1, double thickness) {
    // No stroke thinner than about one pixel.
    const double thinnest = 0.55 / scale_;
    double r = thickness * 0.5;
    if (!(r > thinnest)) r = thinnest;
    const double r2 = r * r;
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    double length2 = dx * dx + dy * dy;
    if (length2 < 1e-9) length2 = 1e-9;  // a zero-length limb becomes a dot
    forEachPixel([&](std::size_t index, double ux, double uy) {
        double t = ((ux - x0) * dx + (uy - y0) * dy) / length2;
        if (t < 0.0) t = 0.0;
        if (t >= 1.0) t = 1.0;
        const double ex = ux - (t * dx + x0);
        const double ey = uy - (t * dy + y0);
        if (r2 >= ex * ex + ey * ey) bits_[index] = 1;
    });
}

void Sprite::leg(double hipX, double hipY, double theta, double stride, double lift, double thickness) {
    const double s = std::sin(theta);
    const double c = std::cos(theta);
    const double footX = stride * s + hipX;
    const double raised = lift * c;
    const double footY = raised >= 0.0 ? raised : 0.0;
    limb(hipX, hipY, footX, footY, thickness);
}

}  // namespace duskmere
