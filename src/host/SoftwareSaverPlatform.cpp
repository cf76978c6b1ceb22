#include "host/SoftwareSaverPlatform.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>

namespace duskmere {

namespace {

constexpr int maxExtent = 32767;  // the reference's limit for a surface or an image side
constexpr uint32_t opaque = 0xFF000000u;

int deviceExtent(double points, double scale) {
    const double d = std::ceil(points * scale);
    if (!(d > 0)) return 0;
    return d > maxExtent ? maxExtent : static_cast<int>(d);
}

// Round to nearest, ties to even, as the reference's fixed-point conversions do.
int64_t toFixed(double d, int bits) {
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

int64_t floorDiv256(int64_t v) { return v >> 8; }
int64_t ceilDiv256(int64_t v) { return (v + 255) >> 8; }

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

void fixedTransform(double ax, double bx, double ay, double by, double xc, double yc, AxisTransform& tx,
                    AxisTransform& ty) {
    if (ax == 1.0 && ay == 1.0) {
        // A plain translation: each device pixel takes the image pixel nearest its centre.
        tx.translation = ty.translation = true;
        tx.offset = static_cast<int64_t>(std::floor(std::ceil(bx - 0.5) + 0.5));
        ty.offset = static_cast<int64_t>(std::floor(std::ceil(by - 0.5) + 0.5));
        return;
    }
    double x0 = bx, y0 = by;
    if (x0 != 0.0 || y0 != 0.0) {
        // Move the integer part of the translation into offsets, spreading it over both axes.
        double tX = x0, tY = y0;
        double norm = std::max(std::fabs(tX), std::fabs(tY));
        for (int i = -1; i < 2; i += 2) {
            for (int j = -1; j < 2; j += 2) {
                double den = (ax + i) * (ay + j) - 0.0 * 0.0;
                if (std::fabs(den) < DBL_EPSILON) continue;
                double x = y0 * 0.0 - x0 * (ay + j);
                double y = x0 * 0.0 - y0 * (ax + i);
                den = 1 / den;
                x *= den;
                y *= den;
                const double n = std::max(std::fabs(x), std::fabs(y));
                if (norm > n) {
                    norm = n;
                    tX = x;
                    tY = y;
                }
            }
        }
        tX = std::floor(tX);
        tY = std::floor(tY);
        tx.offset = static_cast<int64_t>(-tX);
        ty.offset = static_cast<int64_t>(-tY);
        x0 = (tX * ax + tY * 0.0) + x0;
        y0 = (tX * 0.0 + tY * ay) + y0;
    }
    tx.m0 = toFixed(ax, 16);
    tx.m2 = toFixed(x0, 16);
    ty.m0 = toFixed(ay, 16);
    ty.m2 = toFixed(y0, 16);
    // Fix the rounded transform to agree with the exact one at the centre of the drawn area.
    const double iax = 1.0 / ax, iay = 1.0 / ay;
    const double ix0 = -x0 * iax, iy0 = -y0 * iay;
    for (int iteration = 0; iteration < 5; ++iteration) {
        const int64_t vx = toFixed(xc, 16), vy = toFixed(yc, 16);
        const int64_t rx = tx.m0 * (vx >> 16) + tx.m2 + ((tx.m0 * (vx & 0xFFFF) + 0x8000) >> 16);
        const int64_t ry = ty.m0 * (vy >> 16) + ty.m2 + ((ty.m0 * (vy & 0xFFFF) + 0x8000) >> 16);
        double x = static_cast<double>(rx) / 65536.0, y = static_cast<double>(ry) / 65536.0;
        const double px = (iax * x + 0.0 * y) + ix0;
        const double py = (0.0 * x + iay * y) + iy0;
        x = px - xc;
        y = py - yc;
        const int64_t dx = toFixed(ax * x + 0.0 * y, 16);
        const int64_t dy = toFixed(0.0 * x + ay * y, 16);
        tx.m2 -= dx;
        ty.m2 -= dy;
        if (dx == 0 && dy == 0) break;
    }
}

void sampleAxis(const AxisTransform& t, int count, int length, std::vector<int>& out) {
    out.resize(static_cast<size_t>(count));
    for (int d = 0; d < count; ++d) {
        int64_t i;
        if (t.translation) {
            i = d + t.offset;
        } else {
            const int64_t u = d + t.offset;
            const int64_t v = t.m0 * u + t.m2 + ((t.m0 * 0x8000 + 0x8000) >> 16);
            i = (v - 1) >> 16;
        }
        out[static_cast<size_t>(d)] = static_cast<int>(std::clamp<int64_t>(i, 0, length - 1));
    }
}

}  // namespace

struct SoftwareImage : SaverImage {
    std::shared_ptr<const std::vector<uint32_t>> pixels;
    int width = 0, height = 0;
};

bool SoftwareSaverPlatform::Op::sameShape(const Op& o) const {
    return image == o.image && x0 == o.x0 && y0 == o.y0 && x1 == o.x1 && y1 == o.y1 && gray == o.gray &&
           alpha == o.alpha && width == o.width && height == o.height && ax == o.ax && bx == o.bx &&
           ay == o.ay && by == o.by;
}

SoftwareSaverPlatform::SoftwareSaverPlatform(double backingScale)
    : backingScale_(backingScale > 0 && std::isfinite(backingScale) ? backingScale : 1.0) {}

void SoftwareSaverPlatform::setBackingScale(double scale) {
    if (!(scale > 0) || !std::isfinite(scale)) scale = 1.0;
    if (scale != backingScale_) repaintAll_ = true;
    backingScale_ = scale;
}

void SoftwareSaverPlatform::setBounds(ViewSize points) {
    if (points.width != bounds_.width || points.height != bounds_.height) repaintAll_ = true;
    bounds_ = points;
}

void SoftwareSaverPlatform::repaintAll() { repaintAll_ = true; }

void SoftwareSaverPlatform::startPicture(int width, int height) {
    // A new picture starts black, as a freshly made surface does.
    pixels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), opaque);
    deviceWidth_ = width;
    deviceHeight_ = height;
    repaintAll_ = true;
    fresh_ = true;
    plan_.valid = false;
}

bool SoftwareSaverPlatform::hasGraphicsContext() {
    const int w = deviceExtent(bounds_.width, backingScale_);
    const int h = deviceExtent(bounds_.height, backingScale_);
    if (w != deviceWidth_ || h != deviceHeight_ || pixels_.size() != static_cast<size_t>(w) * static_cast<size_t>(h)) {
        try {
            startPicture(w, h);
        } catch (const std::bad_alloc&) {
            pixels_.clear();
            pixels_.shrink_to_fit();
            deviceWidth_ = deviceHeight_ = 0;
            drawing_ = false;
            return false;
        }
    }
    ops_.clear();
    images_.clear();
    matched_ = 0;
    matching_ = true;
    nearest_ = false;
    drawing_ = true;
    return true;
}

void SoftwareSaverPlatform::setFillGray(double gray, double alpha) {
    fillGray_ = std::isnan(gray) ? 0.0 : std::clamp(gray, 0.0, 1.0);
    fillAlpha_ = std::isnan(alpha) ? 0.0 : std::clamp(alpha, 0.0, 1.0);
}

void SoftwareSaverPlatform::setInterpolationNone() { nearest_ = true; }

void SoftwareSaverPlatform::fillRect(const ViewRect& r) {
    if (!drawing_) return;
    const double s = backingScale_;
    const double x = r.x * s, y = (bounds_.height - (r.y + r.height)) * s, w = r.width * s, h = r.height * s;
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h)) return;
    Op op;
    if (!placeBox(op, x, y, w, h)) return;
    // Colours become 16-bit, then the compositor keeps the top 8 bits.
    const auto toShort = [](double v) { return static_cast<unsigned>(v * 65535.0 + 0.5); };
    op.gray = toShort(fillGray_ * fillAlpha_) >> 8;
    op.alpha = toShort(fillAlpha_) >> 8;
    if (op.alpha == 0) return;  // a clear colour over the picture changes nothing
    record(op);
}

void SoftwareSaverPlatform::record(const Op& op) {
    // A redraw usually repeats the one before, hundreds of strips and all: while it does, the
    // operations are only checked against the last ones, not stored again.
    if (matching_) {
        if (matched_ < lastOps_.size() && op.sameShape(lastOps_[matched_])) {
            Op& last = lastOps_[matched_++];
            last.held = op.held;
            return;
        }
        ops_.assign(lastOps_.begin(), lastOps_.begin() + static_cast<std::ptrdiff_t>(matched_));
        matching_ = false;
    }
    ops_.push_back(op);
}

std::unique_ptr<SaverImage> SoftwareSaverPlatform::makeImage(const uint32_t* pixels, int64_t width, int64_t height) {
    const std::span<const RowSpan> hint = changedSpans_;
    changedSpans_ = {};
    // Whether the image presented last holds these very pixels as the makeImage() before saw them.
    const bool upToLast = pixels == lastSource_ && presented_ && lastMade_ == presented_.get();
    lastSource_ = pixels;
    lastMade_ = nullptr;
    if (width < 1 || height < 1 || width > maxExtent || height > maxExtent) return nullptr;
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    auto image = std::make_unique<SoftwareImage>();
    image->width = static_cast<int>(width);
    image->height = static_cast<int>(height);
    if (presented_ && presented_.use_count() == 1 && width == presentedWidth_ && height == presentedHeight_ &&
        before_.size() == n && rowChanged_.size() == static_cast<size_t>(height) &&
        changedColumns_.size() == rowChanged_.size()) {
        // Nobody else sees the image presented last: bring it up to date row by row, so that a
        // row that did not change costs one read of each side and the redraw knows which did,
        // and between which columns.
        // When it holds the pixels as they were at the last makeImage(), only the columns the
        // caller says may have changed are read.
        const bool trusted = upToLast && hint.size() == static_cast<size_t>(height);
        const size_t w = static_cast<size_t>(width);
        uint32_t* kept = presented_->data();
        uint32_t* shown = before_.data();
        const auto keep = [&](int32_t from, int32_t to) {  // columns as presented, into before_
            if (from < to) std::memcpy(shown + from, kept + from, static_cast<size_t>(to - from) * sizeof(uint32_t));
        };
        const RowSpan whole{0, static_cast<int32_t>(width)};
        for (size_t y = 0; y < static_cast<size_t>(height); ++y, pixels += w, kept += w, shown += w) {
            RowSpan s = whole;
            if (trusted) {
                s.x0 = std::max(hint[y].x0, 0);
                s.x1 = std::min(hint[y].x1, whole.x1);
                if (s.empty()) continue;
            }
            if (std::memcmp(kept + s.x0, pixels + s.x0, static_cast<size_t>(s.x1 - s.x0) * sizeof(uint32_t)) == 0)
                continue;
            // Narrowed to the first and last pixel that differ, so that only those columns are
            // copied and searched: equal blocks are passed over a block at a time.
            constexpr int32_t block = 32;
            while (s.x1 - s.x0 > block && std::memcmp(kept + s.x0, pixels + s.x0, block * sizeof(uint32_t)) == 0)
                s.x0 += block;
            while (kept[s.x0] == pixels[s.x0]) ++s.x0;
            while (s.x1 - s.x0 > block &&
                   std::memcmp(kept + s.x1 - block, pixels + s.x1 - block, block * sizeof(uint32_t)) == 0)
                s.x1 -= block;
            while (kept[s.x1 - 1] == pixels[s.x1 - 1]) --s.x1;
            const size_t from = static_cast<size_t>(s.x0), count = static_cast<size_t>(s.x1 - s.x0);
            // before_ keeps the row as presented within changedColumns_ (elsewhere kept still is):
            // what that span gains is copied there before it changes.
            RowSpan& c = changedColumns_[y];
            if (!rowChanged_[y]) {
                keep(s.x0, s.x1);
                c = s;
            } else {
                keep(std::min(s.x0, c.x0), c.x0);
                keep(c.x1, std::max(s.x1, c.x1));
                c.add(s.x0, s.x1);
            }
            rowChanged_[y] = 1;
            std::memcpy(kept + from, pixels + from, count * sizeof(uint32_t));
        }
        image->pixels = presented_;
        lastMade_ = presented_.get();
        return image;
    }
    std::shared_ptr<std::vector<uint32_t>> buffer;
    try {
        // Reuse the buffer of the frame before last when nothing else holds it.
        if (spare_ && spare_.use_count() == 1) {
            buffer = std::move(spare_);
            spare_.reset();
        } else {
            buffer = std::make_shared<std::vector<uint32_t>>();
        }
        buffer->resize(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    std::memcpy(buffer->data(), pixels, n * sizeof(uint32_t));
    lastMade_ = buffer.get();
    image->pixels = std::move(buffer);
    return image;
}

void SoftwareSaverPlatform::drawImage(const SaverImage& image, const ViewRect& r) {
    if (!drawing_) return;
    const auto& source = static_cast<const SoftwareImage&>(image);
    const double s = backingScale_;
    // The image stands upright in the rectangle: its first row at the rectangle's top edge.
    const double tx = r.x * s, ty = (bounds_.height - (r.y + r.height)) * s;
    const double kx = r.width * s / source.width, ky = r.height * s / source.height;
    const double w = kx * source.width + 0.0 * 0.0, h = 0.0 * 0.0 + ky * source.height;
    if (!std::isfinite(tx) || !std::isfinite(ty) || !std::isfinite(w) || !std::isfinite(h) || kx == 0 || ky == 0)
        return;
    Op op;
    op.image = true;
    if (!placeBox(op, tx, ty, w, h)) return;
    op.held = static_cast<int>(images_.size());
    images_.push_back(source.pixels);
    op.width = source.width;
    op.height = source.height;
    op.ax = 1 / kx;
    op.ay = 1 / ky;
    op.bx = ((-tx) * op.ax + (-ty) * 0.0) + 0.0;
    op.by = ((-tx) * 0.0 + (-ty) * op.ay) + 0.0;
    // Smoothing is not reproduced: the views always ask for hard pixel edges first.
    record(op);
}

SoftwareSaverPlatform::ImageMaps SoftwareSaverPlatform::mapImage(const Op& op) const {
    const int64_t ex0 = std::max<int64_t>(0, floorDiv256(op.x0)), ex1 = std::min<int64_t>(deviceWidth_, ceilDiv256(op.x1));
    const int64_t ey0 = std::max<int64_t>(0, floorDiv256(op.y0)), ey1 = std::min<int64_t>(deviceHeight_, ceilDiv256(op.y1));
    const double xc = static_cast<double>(ex0) + static_cast<double>(ex1 - ex0) / 2.;
    const double yc = static_cast<double>(ey0) + static_cast<double>(ey1 - ey0) / 2.;
    AxisTransform tx, ty;
    fixedTransform(op.ax, op.bx, op.ay, op.by, xc, yc, tx, ty);
    ImageMaps maps;
    sampleAxis(tx, deviceWidth_, op.width, maps.x);
    sampleAxis(ty, deviceHeight_, op.height, maps.y);
    return maps;
}

bool SoftwareSaverPlatform::touchesPicture(const Op& op) const {
    return ceilDiv256(op.x1) > 0 && floorDiv256(op.x0) < deviceWidth_ && ceilDiv256(op.y1) > 0 &&
           floorDiv256(op.y0) < deviceHeight_;
}

// Every operation of the redraw, pixel by pixel, inside [x0, x1) x [y0, y1).
void SoftwareSaverPlatform::applyOps(int x0, int y0, int x1, int y1) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, deviceWidth_);
    y1 = std::min(y1, deviceHeight_);
    if (x0 >= x1 || y0 >= y1) return;
    const size_t stride = static_cast<size_t>(deviceWidth_);
    bool fresh = fresh_;
    for (size_t i = 0; i < ops_.size(); ++i) {
        const Op& op = ops_[i];
        // A fill on a picture never drawn on replaces instead of blending, as the reference's
        // shortcut for that case does.
        const bool replace = fresh && !op.image;
        if (fresh && touchesPicture(op)) fresh = false;
        const int px0 = static_cast<int>(std::max<int64_t>(x0, floorDiv256(op.x0)));
        const int px1 = static_cast<int>(std::min<int64_t>(x1, ceilDiv256(op.x1)));
        const int py0 = static_cast<int>(std::max<int64_t>(y0, floorDiv256(op.y0)));
        const int py1 = static_cast<int>(std::min<int64_t>(y1, ceilDiv256(op.y1)));
        if (px0 >= px1 || py0 >= py1) continue;
        ImageMaps own;
        const ImageMaps* maps = nullptr;
        if (op.image) {
            if (plan_.valid && i == 1) {
                maps = &plan_.maps;
            } else {
                own = mapImage(op);
                maps = &own;
            }
        }
        const bool scaled = op.ax != 1.0 || op.ay != 1.0;
        for (int y = py0; y < py1; ++y) {
            const int64_t cy = overlap(op.y0, op.y1, y);
            uint32_t* row = pixels_.data() + static_cast<size_t>(y) * stride;
            const uint32_t* src =
                op.image ? pixelsOf(op) + static_cast<size_t>(maps->y[static_cast<size_t>(y)]) * static_cast<size_t>(op.width) : nullptr;
            for (int x = px0; x < px1; ++x) {
                const unsigned m = coverage(overlap(op.x0, op.x1, x), cy);
                if (m == 0) continue;
                row[x] = op.image ? imagePixel(row[x], src[maps->x[static_cast<size_t>(x)]], m, scaled)
                                  : fillPixel(row[x], op.gray, replace ? 255 : op.alpha, m);
            }
        }
    }
}

// Recognises the usual redraw: an opaque fill, then an image, then fills. Inside the pixels the
// image covers whole, the result depends only on the image pixel and the strips of the row.
bool SoftwareSaverPlatform::makePlan() {
    plan_.valid = false;
    if (ops_.size() < 2 || ops_[0].image || ops_[0].alpha != 255 || !ops_[1].image) return false;
    for (size_t i = 2; i < ops_.size(); ++i)
        if (ops_[i].image) return false;
    const Op& image = ops_[1];
    Plan& p = plan_;
    p.maps = mapImage(image);
    int64_t cx0 = 0, cx1 = deviceWidth_;
    for (size_t i = 1; i < ops_.size(); ++i) {
        cx0 = std::max(cx0, ceilDiv256(ops_[i].x0));
        cx1 = std::min(cx1, floorDiv256(ops_[i].x1));
    }
    p.cleanX0 = static_cast<int>(std::clamp<int64_t>(cx0, 0, deviceWidth_));
    p.cleanX1 = static_cast<int>(std::clamp<int64_t>(cx1, p.cleanX0, deviceWidth_));
    p.cleanY0 = static_cast<int>(std::clamp<int64_t>(ceilDiv256(image.y0), 0, deviceHeight_));
    p.cleanY1 = static_cast<int>(std::clamp<int64_t>(floorDiv256(image.y1), p.cleanY0, deviceHeight_));

    // Each row's strips, composed into one table per channel value.
    std::vector<std::vector<std::pair<size_t, unsigned>>> chains(static_cast<size_t>(deviceHeight_));
    for (size_t i = 2; i < ops_.size(); ++i) {
        const Op& op = ops_[i];
        const int64_t y0 = std::max<int64_t>(p.cleanY0, floorDiv256(op.y0));
        const int64_t y1 = std::min<int64_t>(p.cleanY1, ceilDiv256(op.y1));
        for (int64_t y = y0; y < y1; ++y) {
            const unsigned m = coverage(256, overlap(op.y0, op.y1, y));
            if (m) chains[static_cast<size_t>(y)].push_back({i, m});
        }
    }
    p.rowEffect.assign(static_cast<size_t>(deviceHeight_), -1);
    p.effects.clear();
    Plan::Effect effect;
    for (size_t y = 0; y < chains.size(); ++y) {
        if (chains[y].empty()) continue;
        effect.factors.clear();
        for (const auto& [i, m] : chains[y]) {
            if (ops_[i].gray != 0 || ops_[i].alpha == 255) {
                effect.factors.clear();
                break;
            }
            effect.factors.push_back(255 - mul(ops_[i].alpha, m));
        }
        for (unsigned v = 0; v < 256; ++v) {
            unsigned c = v;
            for (const auto& [i, m] : chains[y]) c = fillChannel(c, ops_[i].gray, ops_[i].alpha, m);
            effect.table[v] = static_cast<uint8_t>(c);
        }
        auto found = std::find_if(p.effects.begin(), p.effects.end(),
                                  [&](const Plan::Effect& e) { return e.table == effect.table; });
        p.rowEffect[y] = static_cast<int>(found - p.effects.begin());
        if (found == p.effects.end()) p.effects.push_back(effect);
    }

    // Where each image column and row starts on the device (the maps never decrease).
    p.firstColumn.assign(static_cast<size_t>(image.width) + 1, deviceWidth_);
    for (int x = deviceWidth_ - 1; x >= 0; --x) p.firstColumn[static_cast<size_t>(p.maps.x[static_cast<size_t>(x)])] = x;
    for (int i = image.width - 1; i >= 0; --i)
        p.firstColumn[static_cast<size_t>(i)] = std::min(p.firstColumn[static_cast<size_t>(i)], p.firstColumn[static_cast<size_t>(i) + 1]);
    p.firstRow.assign(static_cast<size_t>(image.height) + 1, deviceHeight_);
    for (int y = deviceHeight_ - 1; y >= 0; --y) p.firstRow[static_cast<size_t>(p.maps.y[static_cast<size_t>(y)])] = y;
    for (int i = image.height - 1; i >= 0; --i)
        p.firstRow[static_cast<size_t>(i)] = std::min(p.firstRow[static_cast<size_t>(i)], p.firstRow[static_cast<size_t>(i) + 1]);
    p.runs.clear();
    for (int x = p.cleanX0; x < p.cleanX1; ++x) {
        const int i = p.maps.x[static_cast<size_t>(x)];
        if (!p.runs.empty() && p.runs.back().first == i)
            ++p.runs.back().second;
        else
            p.runs.push_back({i, 1});
    }
    p.evenRuns = p.runs.empty() ? 0 : p.runs.front().second;
    for (size_t k = 0; k < p.runs.size(); ++k)
        if (p.runs[k].second != p.evenRuns || p.runs[k].first != p.runs.front().first + static_cast<int>(k)) p.evenRuns = 0;
    if (p.evenRuns > 4) p.evenRuns = 0;
    p.shortRuns = std::all_of(p.runs.begin(), p.runs.end(), [](const auto& r) { return r.second <= 4; });
    // A whole enlargement: every clean device column k columns on shows the next image column.
    const int k = p.runs.size() > 2 ? p.runs[1].second : 0;
    p.shiftStep = k;
    for (int x = p.cleanX0; k > 0 && x + k < p.cleanX1; ++x)
        if (p.maps.x[static_cast<size_t>(x) + static_cast<size_t>(k)] != p.maps.x[static_cast<size_t>(x)] + 1) p.shiftStep = 0;
    p.valid = true;
    return true;
}

// The pixels inside the clean area of the plan, within [x0, x1) x [y0, y1).
void SoftwareSaverPlatform::paintClean(int x0, int y0, int x1, int y1) {
    const Plan& p = plan_;
    x0 = std::max(x0, p.cleanX0);
    x1 = std::min(x1, p.cleanX1);
    y0 = std::max(y0, p.cleanY0);
    y1 = std::min(y1, p.cleanY1);
    if (x0 >= x1 || y0 >= y1) return;
    const Op& image = ops_[1];
    const uint32_t* source = pixelsOf(image);
    const size_t stride = static_cast<size_t>(deviceWidth_);
    const int* mapX = p.maps.x.data();
    const size_t n = static_cast<size_t>(x1 - x0);
    const size_t iw = static_cast<size_t>(image.width);
    darkRow_.resize(iw);
    int darkFor = -1, darkEffect = -1;  // the image row and effect in darkRow_
    // Only the image columns the device columns show are darkened.
    const size_t c0 = static_cast<size_t>(mapX[x0]), c1 = static_cast<size_t>(mapX[x1 - 1]) + 1;
    // Whole rows repeat each image pixel over its run of device pixels; parts of rows look each up.
    const bool whole = x0 == p.cleanX0 && x1 == p.cleanX1;
    const auto enlarge = [&](const uint32_t* in, uint32_t* out, int from, int to) {
        if (whole && p.evenRuns > 0) {
            // Every image pixel of the row spans the same number of device pixels.
            in += p.runs.front().first;
            const size_t count = p.runs.size();
            switch (p.evenRuns) {
                case 1: for (size_t j = 0; j < count; ++j) out[j] = in[j] | opaque; return;
                case 2: for (size_t j = 0; j < count; ++j) out[2 * j] = out[2 * j + 1] = in[j] | opaque; return;
                case 3:
                    for (size_t j = 0; j < count; ++j) out[3 * j] = out[3 * j + 1] = out[3 * j + 2] = in[j] | opaque;
                    return;
                default:
                    for (size_t j = 0; j < count; ++j)
                        out[4 * j] = out[4 * j + 1] = out[4 * j + 2] = out[4 * j + 3] = in[j] | opaque;
                    return;
            }
        }
        if (whole) {
            // Short runs of unequal length (fractional scales): four stores for each, the
            // extra ones overwritten by the runs that follow, while the row has room for them.
            const uint32_t* end = out + (to - from);
            auto run = p.runs.begin();
            if (p.shortRuns)
                for (; run != p.runs.end() && end - out >= 4; ++run) {
                    const uint32_t v = in[run->first] | opaque;
                    out[0] = out[1] = out[2] = out[3] = v;
                    out += run->second;
                }
            for (; run != p.runs.end(); ++run) {
                const uint32_t v = in[run->first] | opaque;
                for (int k = 0; k < run->second; ++k) *out++ = v;
            }
        } else {
            for (int x = from; x < to; ++x) out[x - from] = in[mapX[x]] | opaque;
        }
    };
    for (int y = y0; y < y1; ++y) {
        uint32_t* row = pixels_.data() + static_cast<size_t>(y) * stride + x0;
        const int sy = p.maps.y[static_cast<size_t>(y)];
        const int e = p.rowEffect[static_cast<size_t>(y)];
        if (y > y0 && p.maps.y[static_cast<size_t>(y) - 1] == sy && p.rowEffect[static_cast<size_t>(y) - 1] == e) {
            std::memcpy(row, row - stride, n * sizeof(uint32_t));  // the same image row, the same strips
            continue;
        }
        const uint32_t* src = source + static_cast<size_t>(sy) * iw;
        if (e >= 0) {
            // Darken the image row once, at image resolution, then enlarge it.
            if (darkFor != sy || darkEffect != e) {
                const Plan::Effect& effect = p.effects[static_cast<size_t>(e)];
                if (!effect.factors.empty()) {
                    // The blend's rounded c * f / 255 on every byte; a loop the compiler widens.
                    const auto* in = reinterpret_cast<const uint8_t*>(src);
                    auto* out = reinterpret_cast<uint8_t*>(darkRow_.data());
                    for (unsigned f : effect.factors) {
                        for (size_t i = 4 * c0; i < 4 * c1; ++i) {
                            const unsigned t = in[i] * f + 0x80u;
                            out[i] = static_cast<uint8_t>((t + (t >> 8)) >> 8);
                        }
                        in = out;
                    }
                } else {
                    const uint8_t* lut = effect.table.data();
                    for (size_t i = c0; i < c1; ++i) {
                        const uint32_t v = src[i];
                        darkRow_[i] = opaque | static_cast<uint32_t>(lut[(v >> 16) & 0xFFu]) << 16 |
                                      static_cast<uint32_t>(lut[(v >> 8) & 0xFFu]) << 8 | lut[v & 0xFFu];
                    }
                }
                darkFor = sy;
                darkEffect = e;
            }
            enlarge(darkRow_.data(), row, x0, x1);
        } else {
            enlarge(src, row, x0, x1);
        }
    }
}

// The pixels outside the clean area: partly covered edges whose result also depends on what
// was there before, so they are painted in full every time.
void SoftwareSaverPlatform::paintEdges(bool reportChanges) {
    const Plan& p = plan_;
    const int w = deviceWidth_, h = deviceHeight_;
    const DeviceBox edges[4] = {
        {0, 0, w, p.cleanY0},                  // above
        {0, p.cleanY1, w, h},                  // below
        {0, p.cleanY0, p.cleanX0, p.cleanY1},  // left
        {p.cleanX1, p.cleanY0, w, p.cleanY1},  // right
    };
    for (const DeviceBox& e : edges) {
        if (e.x0 >= e.x1 || e.y0 >= e.y1) continue;
        const size_t stride = static_cast<size_t>(w);
        if (reportChanges) {
            edgeBefore_.clear();
            for (int y = e.y0; y < e.y1; ++y)
                edgeBefore_.insert(edgeBefore_.end(), pixels_.begin() + static_cast<std::ptrdiff_t>(y * stride + e.x0),
                                   pixels_.begin() + static_cast<std::ptrdiff_t>(y * stride + e.x1));
        }
        applyOps(e.x0, e.y0, e.x1, e.y1);
        if (!reportChanges) continue;
        bool changed = false;
        size_t k = 0;
        for (int y = e.y0; y < e.y1 && !changed; ++y)
            for (int x = e.x0; x < e.x1; ++x, ++k)
                if (pixels_[static_cast<size_t>(y) * stride + static_cast<size_t>(x)] != edgeBefore_[k]) {
                    changed = true;
                    break;
                }
        if (changed) boxes_.push_back(e);
    }
}

// Decides whether the image scrolled sideways since the one presented last (as the forest does):
// then a band of rows, moved by one image column, differs in far fewer pixels than it does in
// place. Sets shift_ and the comparison the boxes are then found with.
bool SoftwareSaverPlatform::findShift(const std::vector<uint32_t>& now) {
    const Plan& p = plan_;
    const int iw = ops_[1].width, ih = ops_[1].height;
    const auto nowRow = [&](int y) { return now.data() + static_cast<size_t>(y) * static_cast<size_t>(iw); };
    // Pixels that differ in place, per row; only a large change can be a scroll.
    std::vector<int64_t>& inPlace = inPlaceChanges_;
    inPlace.assign(static_cast<size_t>(ih), 0);
    int64_t changed = 0;
    for (int y = 0; y < ih; ++y) {
        if (!rowDiffers_[static_cast<size_t>(y)]) continue;
        const uint32_t *a = nowRow(y), *b = beforeRows_[static_cast<size_t>(y)];
        int64_t n = 0;
        for (int x = 0; x < iw; ++x) n += ((a[x] ^ b[x]) & 0xFFFFFFu) != 0;
        inPlace[static_cast<size_t>(y)] = n;
        changed += n;
    }
    if (changed * 16 < static_cast<int64_t>(iw) * ih || iw < 2) return false;

    // Per row, the pixels a move by dx spares; the band runs from the first row it helps to the last.
    int bestDx = 0, bestRow0 = 0, bestRow1 = 0;
    int64_t bestGain = 0;
    std::vector<int64_t> gain(static_cast<size_t>(ih));
    std::vector<uint8_t> differs(static_cast<size_t>(ih));
    for (const int dx : {1, -1}) {
        int row0 = -1, row1 = -1;
        for (int y = 0; y < ih; ++y) {
            const uint32_t *a = nowRow(y), *b = beforeRows_[static_cast<size_t>(y)];
            int64_t moved = 0;
            for (int x = std::max(0, -dx), end = iw - std::max(0, dx); x < end; ++x) moved += ((a[x] ^ b[x + dx]) & 0xFFFFFFu) != 0;
            differs[static_cast<size_t>(y)] = moved != 0;
            gain[static_cast<size_t>(y)] = inPlace[static_cast<size_t>(y)] - (moved + 1);  // and the column that comes in
            if (gain[static_cast<size_t>(y)] > 0) {
                if (row0 < 0) row0 = y;
                row1 = y + 1;
            }
        }
        int64_t total = 0;
        for (int y = row0; y >= 0 && y < row1; ++y) total += gain[static_cast<size_t>(y)];
        if (total > bestGain) {
            bestGain = total, bestDx = dx, bestRow0 = row0, bestRow1 = row1;
            comparison_.movedDiffers.swap(differs);
            differs.resize(static_cast<size_t>(ih));
        }
        if (bestGain * 4 > changed * 3) break;  // it spares most of the change: look no further
    }
    if (bestGain * 2 < changed) return false;

    const int dk = bestDx * p.shiftStep;
    const int ax0 = p.cleanX0 + std::max(0, -dk), ax1 = p.cleanX1 - std::max(0, dk);
    const int ay0 = std::max(p.firstRow[static_cast<size_t>(bestRow0)], p.cleanY0);
    const int ay1 = std::min(p.firstRow[static_cast<size_t>(bestRow1)], p.cleanY1);
    if (ax0 >= ax1 || ay0 >= ay1) return false;
    Comparison& c = comparison_;
    c.dx = bestDx;
    c.rows0 = bestRow0;
    c.rows1 = bestRow1;
    c.columnKind.resize(static_cast<size_t>(iw));
    c.moved0 = iw;
    c.moved1 = 0;
    for (int i = 0; i < iw; ++i) {
        const int c0 = std::max(p.firstColumn[static_cast<size_t>(i)], p.cleanX0);
        const int c1 = std::min(p.firstColumn[static_cast<size_t>(i) + 1], p.cleanX1);
        ColumnKind kind = Straddles;
        if (c0 >= c1 || c1 <= ax0 || c0 >= ax1)
            kind = Kept;
        else if (c0 >= ax0 && c1 <= ax1)
            kind = Moved;
        c.columnKind[static_cast<size_t>(i)] = kind;
        if (kind == Moved) c.moved0 = std::min(c.moved0, i), c.moved1 = i + 1;
    }
    shift_ = DeviceShift{{ax0, ay0, ax1, ay1}, dk};
    return true;
}

// Moves the picture as the host moves its copy, so that the boxes then repaint what changed.
void SoftwareSaverPlatform::applyShift() {
    const DeviceBox& a = shift_->area;
    const int dk = shift_->dx;
    const size_t stride = static_cast<size_t>(deviceWidth_), n = static_cast<size_t>(a.x1 - a.x0) * sizeof(uint32_t);
    const Plan& p = plan_;
    for (int y = a.y0; y < a.y1; ++y) {
        uint32_t* row = pixels_.data() + static_cast<size_t>(y) * stride + a.x0;
        const size_t at = static_cast<size_t>(y);
        if (y > a.y0 && p.maps.y[at] == p.maps.y[at - 1] && p.rowEffect[at] == p.rowEffect[at - 1])
            std::memcpy(row, row - stride, n);  // the same row before and after: copy the one above
        else
            std::memmove(row, row + dk, n);
    }
}

// Repaints, and reports, the device pixels under the image pixels that differ from the ones
// presented last (after the shift, when there is one).
void SoftwareSaverPlatform::reportChangedPixels(const std::vector<uint32_t>& now) {
    const Op& image = ops_[1];
    const int iw = image.width, ih = image.height;
    constexpr int joinGap = 8;  // unchanged pixels between two changes that still make one box
    struct Run {
        int x0, x1, y0;
    };
    std::vector<Run> open, next;
    const auto emit = [&](const Run& r, int y1) {
        const Plan& p = plan_;
        DeviceBox b{p.firstColumn[static_cast<size_t>(r.x0)], p.firstRow[static_cast<size_t>(r.y0)],
                    p.firstColumn[static_cast<size_t>(r.x1)], p.firstRow[static_cast<size_t>(y1)]};
        b.x0 = std::max(b.x0, p.cleanX0);
        b.x1 = std::min(b.x1, p.cleanX1);
        b.y0 = std::max(b.y0, p.cleanY0);
        b.y1 = std::min(b.y1, p.cleanY1);
        if (b.x0 >= b.x1 || b.y0 >= b.y1) return;
        paintClean(b.x0, b.y0, b.x1, b.y1);
        boxes_.push_back(b);
    };
    for (int y = 0; y <= ih; ++y) {
        next.clear();
        if (y < ih) {
            const uint32_t* a = now.data() + static_cast<size_t>(y) * static_cast<size_t>(iw);
            const uint32_t* b = beforeRows_[static_cast<size_t>(y)];
            const auto findRuns = [&](int from, int to, auto differs) {
                int x = from;
                while (x < to) {
                    while (x < to && !differs(x)) ++x;
                    if (x == to) break;
                    const int start = x;
                    int last = x;
                    while (x < to && x - last <= joinGap) {
                        if (differs(x)) last = x;
                        ++x;
                    }
                    x = last + 1;
                    next.push_back({start, last + 1, y});
                }
            };
            const Comparison& c = comparison_;
            if (c.dx != 0 && y >= c.rows0 && y < c.rows1) {
                const uint8_t* kind = c.columnKind.data();
                const auto differs = [&](int x) {
                    return kind[x] == Moved ? ((a[x] ^ b[x + c.dx]) & 0xFFFFFFu) != 0
                                            : kind[x] == Straddles || ((a[x] ^ b[x]) & 0xFFFFFFu) != 0;
                };
                if (c.movedDiffers[static_cast<size_t>(y)]) {
                    findRuns(0, iw, differs);
                } else {
                    // The moved columns all match: only those around them can differ.
                    findRuns(0, c.moved0, differs);
                    findRuns(c.moved1, iw, differs);
                }
            } else if (rowDiffers_[static_cast<size_t>(y)]) {
                // Most rows are unchanged to the byte; only where rows may differ is searched
                // (a row compared here whole was completed to the whole row).
                const RowSpan s = rowChanged_[static_cast<size_t>(y)] ? changedColumns_[static_cast<size_t>(y)]
                                                                      : RowSpan{0, iw};
                findRuns(s.x0, s.x1, [&](int x) { return ((a[x] ^ b[x]) & 0xFFFFFFu) != 0; });
            }
        }
        // A run with the same columns as one in the row above extends it.
        size_t j = 0;
        for (Run& r : next) {
            while (j < open.size() && open[j].x0 < r.x0) emit(open[j], y), ++j;
            if (j < open.size() && open[j].x0 == r.x0 && open[j].x1 == r.x1) r.y0 = open[j].y0, ++j;
        }
        while (j < open.size()) emit(open[j], y), ++j;
        open.swap(next);
    }
}

// Finds, for each image row, the row as presented last and whether `now` may differ from it: known
// already when makeImage() updated the presented image in place, compared here otherwise.
void SoftwareSaverPlatform::compareRows(const std::vector<uint32_t>& now, bool wholeRows) {
    const size_t iw = static_cast<size_t>(ops_[1].width), ih = static_cast<size_t>(ops_[1].height);
    const bool inPlace = &now == presented_.get();
    if (!inPlace || wholeRows) {
        // The rows as presented are read whole: complete them outside the spans that changed.
        for (size_t y = 0; y < ih; ++y) {
            RowSpan& c = changedColumns_[y];
            if (!rowChanged_[y] || (c.x0 == 0 && static_cast<size_t>(c.x1) == iw)) continue;
            uint32_t* row = before_.data() + y * iw;
            const uint32_t* kept = presented_->data() + y * iw;
            std::memcpy(row, kept, static_cast<size_t>(c.x0) * sizeof(uint32_t));
            std::memcpy(row + c.x1, kept + c.x1, (iw - static_cast<size_t>(c.x1)) * sizeof(uint32_t));
            c = {0, static_cast<int32_t>(iw)};
        }
    }
    beforeRows_.resize(ih);
    rowDiffers_.resize(ih);
    for (size_t y = 0; y < ih; ++y) {
        const uint32_t* before = rowChanged_[y] ? before_.data() + y * iw : presented_->data() + y * iw;
        beforeRows_[y] = before;
        rowDiffers_[y] = inPlace ? rowChanged_[y]
                                 : std::memcmp(now.data() + y * iw, before, iw * sizeof(uint32_t)) != 0;
    }
}

const std::vector<DeviceBox>& SoftwareSaverPlatform::finishRedraw() {
    boxes_.clear();
    shift_.reset();
    if (!drawing_) return boxes_;
    drawing_ = false;

    const bool sameShape = plan_.valid && matching_ && matched_ == lastOps_.size();
    if (matching_) {
        // Every operation matched one of the last redraw, in order: they are the last ones.
        if (matched_ == lastOps_.size()) ops_.swap(lastOps_);
        else ops_.assign(lastOps_.begin(), lastOps_.begin() + static_cast<std::ptrdiff_t>(matched_));
        matching_ = false;
    }

    std::shared_ptr<std::vector<uint32_t>> shown;
    if (sameShape && !repaintAll_ && presented_) {
        shown = std::const_pointer_cast<std::vector<uint32_t>>(images_[static_cast<size_t>(ops_[1].held)]);
        comparison_.dx = 0;
        const bool mayShift = acceptShifts_ && plan_.shiftStep > 0;
        compareRows(*shown, mayShift);
        if (mayShift && findShift(*shown)) applyShift();
        reportChangedPixels(*shown);
        paintEdges(true);
    } else {
        if (sameShape || makePlan()) {
            shown = std::const_pointer_cast<std::vector<uint32_t>>(images_[static_cast<size_t>(ops_[1].held)]);
            paintClean(0, 0, deviceWidth_, deviceHeight_);
            paintEdges(false);
        } else {
            applyOps(0, 0, deviceWidth_, deviceHeight_);
        }
        if (deviceWidth_ > 0 && deviceHeight_ > 0) boxes_.push_back({0, 0, deviceWidth_, deviceHeight_});
    }

    for (size_t i = 0; fresh_ && i < ops_.size(); ++i)
        if (touchesPicture(ops_[i])) fresh_ = false;
    const int shownWidth = shown ? ops_[1].width : 0, shownHeight = shown ? ops_[1].height : 0;
    // Keep the shape of this redraw and the image it showed; free the pixels of the rest (each
    // image operation is given its index into images_ again before it is read).
    lastOps_.swap(ops_);
    images_.clear();
    ops_.clear();
    if (shown) {
        if (shown != presented_) {
            spare_ = std::move(presented_);
            presented_ = std::move(shown);
        }
        presentedWidth_ = shownWidth;
        presentedHeight_ = shownHeight;
        // The image is now what was presented: no row differs from it.
        rowChanged_.assign(static_cast<size_t>(shownHeight), 0);
        changedColumns_.resize(rowChanged_.size());
        try {
            before_.resize(presented_->size());
        } catch (const std::bad_alloc&) {
            before_.clear();  // the next image is copied whole instead
        }
    } else {
        presented_.reset();
        plan_.valid = false;
    }
    repaintAll_ = false;
    return boxes_;
}

}  // namespace duskmere
