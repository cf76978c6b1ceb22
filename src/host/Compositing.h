#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace duskmere::compositing {

// The arithmetic the presenter must share with the reference rasteriser, bit for bit: fixed-point
// boxes, the 8-bit compositor's two roundings, coverage of partly covered pixels and the sampling
// of an image by a fixed-point transform.

constexpr int maxExtent = 32767;  // the reference's limit for a surface or an image side
constexpr uint32_t opaque = 0xFF000000u;

// Device pixels for `points` at `scale`, as the reference sizes a surface; 0 for nothing.
int deviceExtent(double points, double scale);

// Round to nearest, ties to even, as the reference's fixed-point conversions do.
inline int64_t toFixed(double d, int bits) {
    // Scaling by a power of two is exact, as ldexp is, without its call (270 strips a frame).
    const double v = std::nearbyint(d * static_cast<double>(int64_t{1} << bits));
    constexpr double limit = 1099511627776.0;  // 2^40, far beyond any surface
    if (!(v > -limit)) return static_cast<int64_t>(-limit);
    if (!(v < limit)) return static_cast<int64_t>(limit);
    return static_cast<int64_t>(v);
}

// Places a drawing operation's box, in device pixels with 8 fraction bits, from a rectangle at
// (x, y) of w x h device pixels; false when it covers nothing.
template <class Box>
bool placeBox(Box& op, double x, double y, double w, double h) {
    op.x0 = toFixed(x, 8);
    op.y0 = toFixed(y, 8);
    op.x1 = op.x0 + toFixed(w, 8);
    op.y1 = op.y0 + toFixed(h, 8);
    if (op.x0 > op.x1) std::swap(op.x0, op.x1);
    if (op.y0 > op.y1) std::swap(op.y0, op.y1);
    return op.x0 != op.x1 && op.y0 != op.y1;
}

inline int64_t floorDiv256(int64_t v) { return v >> 8; }
inline int64_t ceilDiv256(int64_t v) { return (v + 255) >> 8; }

// a * b / 255 with the two roundings of the 8-bit compositor: the one of its blends...
inline unsigned mul(unsigned a, unsigned b) {
    const unsigned t = a * b + 0x80u;
    return ((t >> 8) + t) >> 8;
}
// ...and the one of its interpolation between source and destination.
inline unsigned mulLerp(unsigned a, unsigned b) {
    const unsigned t = a * b + 0x7Fu;
    return (t + (t >> 8)) >> 8;
}

// One channel of a solid colour (premultiplied grey, alpha) at coverage m over d.
inline unsigned fillChannel(unsigned d, unsigned gray, unsigned alpha, unsigned m) {
    unsigned r;
    if (alpha == 255)
        r = mulLerp(gray, m) + mulLerp(d, 255 - m);
    else
        r = mul(gray, m) + mul(d, 255 - mul(alpha, m));
    return r > 255 ? 255 : r;
}

inline uint32_t fillPixel(uint32_t d, unsigned gray, unsigned alpha, unsigned m) {
    uint32_t out = opaque;
    for (int shift = 0; shift < 24; shift += 8)
        out |= fillChannel((d >> shift) & 0xFFu, gray, alpha, m) << shift;
    return out;
}

// An image pixel at coverage m over d. An image only moved, not scaled, is blended by
// interpolation; a scaled one goes through the general compositor with its other rounding.
inline uint32_t imagePixel(uint32_t d, uint32_t s, unsigned m, bool scaled) {
    if (m == 255) return s | opaque;
    uint32_t out = opaque;
    for (int shift = 0; shift < 24; shift += 8) {
        const unsigned sc = (s >> shift) & 0xFFu, dc = (d >> shift) & 0xFFu;
        const unsigned r = scaled ? mul(sc, m) + mul(dc, 255 - m) : mulLerp(sc, m) + mulLerp(dc, 255 - m);
        out |= (r > 255 ? 255u : r) << shift;
    }
    return out;
}

// Overlap of [a0, a1) with pixel p, in 1/256 of a pixel.
inline int64_t overlap(int64_t a0, int64_t a1, int64_t p) {
    const int64_t lo = std::max(a0, p * 256);
    const int64_t hi = std::min(a1, p * 256 + 256);
    return hi > lo ? hi - lo : 0;
}

inline unsigned coverage(int64_t cx, int64_t cy) {
    const int64_t m = (cx * cy) >> 8;
    return m > 255 ? 255u : static_cast<unsigned>(m);
}

// The fixed-point transform of one axis, as the compositor samples with it: the image coordinate
// of device pixel d is (m0 * (d + offset + 1/2) + m2) / 2^16, taken just below its exact value.
struct AxisTransform {
    int64_t m0 = 65536, m2 = 0, offset = 0;
    bool translation = false;
};

// The transform of device-to-image scale a and offset b on each axis, fixed to agree with the
// exact one at (xc, yc), the centre of the drawn area.
void fixedTransform(double ax, double bx, double ay, double by, double xc, double yc, AxisTransform& tx,
                    AxisTransform& ty);

// The image index (clamped to [0, length)) that each of `count` device pixels shows.
void sampleAxis(const AxisTransform& t, int count, int length, std::vector<int>& out);

}  // namespace duskmere::compositing
