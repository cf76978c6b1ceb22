#include "IncrementalCairoPlatform.h"

#include <algorithm>
#include <cmath>

namespace duskmere {

namespace {

// Stands for the shown canvas, which the platform keeps itself.
struct ShownImage : SaverImage {};

bool sameRect(const ViewRect& a, const ViewRect& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

}  // namespace

bool IncrementalCairoPlatform::hasGraphicsContext() {
    const bool ok = CairoSaverPlatform::hasGraphicsContext();
    if (ok) cairo_reset_clip(context());
    if (deviceWidth() != lastDeviceWidth_ || deviceHeight() != lastDeviceHeight_) {
        repaintAll_ = true;
        lastDeviceWidth_ = deviceWidth();
        lastDeviceHeight_ = deviceHeight();
    }
    damage_.clear();
    held_.clear();
    changed_ = nullptr;
    phase_ = ok ? Phase::beforeImage : Phase::idle;
    return ok;
}

void IncrementalCairoPlatform::setFillGray(double gray, double alpha) {
    if (phase_ == Phase::beforeImage) {
        gray_ = gray;
        alpha_ = alpha;
        return;
    }
    CairoSaverPlatform::setFillGray(gray, alpha);
}

void IncrementalCairoPlatform::fillRect(const ViewRect& rect) {
    if (phase_ == Phase::beforeImage) {
        held_.push_back({gray_, alpha_, rect});
        return;
    }
    CairoSaverPlatform::fillRect(rect);
}

void IncrementalCairoPlatform::releaseHeldFills() {
    for (const HeldFill& f : held_) {
        CairoSaverPlatform::setFillGray(f.gray, f.alpha);
        CairoSaverPlatform::fillRect(f.rect);
    }
    if (!held_.empty()) CairoSaverPlatform::setFillGray(gray_, alpha_);
    held_.clear();
}

std::unique_ptr<SaverImage> IncrementalCairoPlatform::makeImage(const uint32_t* pixels, int64_t width, int64_t height) {
    changed_ = &shown_.update(pixels, width, height);
    if (!shown_.image()) return nullptr;
    return std::make_unique<ShownImage>();
}

bool IncrementalCairoPlatform::onDeviceGrid(const ViewRect& r) const {
    // Only where canvas pixels fall on whole device pixels is a clipped redraw the same, pixel
    // for pixel, as a full one; elsewhere edges are blended and every frame is drawn whole.
    const double s = backingScale();
    const double iw = cairo_image_surface_get_width(shown_.image());
    const double ih = cairo_image_surface_get_height(shown_.image());
    auto whole = [](double v) { return std::floor(v) == v; };
    return whole(r.x * s) && whole(deviceY(r.y + r.height)) && whole(r.width * s / iw) && whole(r.height * s / ih);
}

bool IncrementalCairoPlatform::coversView(const ViewRect& r) const {
    const double s = backingScale();
    const double top = deviceY(r.y + r.height), bottom = deviceY(r.y);
    return r.x * s <= 0 && (r.x + r.width) * s >= deviceWidth() && top <= 0 && bottom >= deviceHeight();
}

void IncrementalCairoPlatform::damageEverything() {
    damage_.assign(1, {0, 0, deviceWidth(), deviceHeight()});
}

void IncrementalCairoPlatform::clipToChanges(const ViewRect& r) {
    const double s = backingScale();
    const double iw = cairo_image_surface_get_width(shown_.image());
    const double ih = cairo_image_surface_get_height(shown_.image());
    const double sx = r.width * s / iw, sy = r.height * s / ih;
    const double ox = r.x * s, oy = deviceY(r.y + r.height);
    const int dw = deviceWidth(), dh = deviceHeight();
    cairo_t* cr = context();
    damage_.clear();
    // A device pixel of margin on each side covers any rounding at the edges of the enlargement.
    for (const ShownCanvas::Box& b : *changed_) {
        const double x0 = std::floor(ox + static_cast<double>(b.x0) * sx) - 1;
        const double x1 = std::ceil(ox + static_cast<double>(b.x1) * sx) + 1;
        const double y0 = std::floor(oy + static_cast<double>(b.y0) * sy) - 1;
        const double y1 = std::ceil(oy + static_cast<double>(b.y1) * sy) + 1;
        const int ix0 = static_cast<int>(std::clamp(x0, 0.0, static_cast<double>(dw)));
        const int ix1 = static_cast<int>(std::clamp(x1, 0.0, static_cast<double>(dw)));
        const int iy0 = static_cast<int>(std::clamp(y0, 0.0, static_cast<double>(dh)));
        const int iy1 = static_cast<int>(std::clamp(y1, 0.0, static_cast<double>(dh)));
        if (ix0 >= ix1 || iy0 >= iy1) continue;
        damage_.push_back({ix0, iy0, ix1 - ix0, iy1 - iy0});
        cairo_rectangle(cr, ix0, iy0, ix1 - ix0, iy1 - iy0);
    }
    if (damage_.empty()) cairo_rectangle(cr, 0, 0, 0, 0);
    cairo_clip(cr);
}

void IncrementalCairoPlatform::drawImage(const SaverImage& image, const ViewRect& rect) {
    const bool shown = dynamic_cast<const ShownImage*>(&image) != nullptr;
    if (!shown || phase_ != Phase::beforeImage || !changed_) {
        // Not the one image of an ordinary redraw: draw it whole, and everything next time.
        releaseHeldFills();
        phase_ = Phase::afterImage;
        damageEverything();
        repaintAll_ = true;
        if (shown) drawSurface(shown_.image(), rect);
        else CairoSaverPlatform::drawImage(image, rect);
        return;
    }
    const bool onGrid = onDeviceGrid(rect);
    if (!haveLastRect_ || !sameRect(rect, lastRect_) || !onGrid) repaintAll_ = true;
    haveLastRect_ = true;
    lastRect_ = rect;
    if (repaintAll_) {
        damageEverything();
        repaintAll_ = false;
    } else {
        clipToChanges(rect);
    }
    // The image is opaque: where it covers the whole view on whole pixels, what was filled
    // under it cannot show, and filling it would only cost time.
    if (onGrid && coversView(rect)) {
        held_.clear();
        CairoSaverPlatform::setFillGray(gray_, alpha_);
    }
    releaseHeldFills();
    phase_ = Phase::afterImage;
    drawSurface(shown_.image(), rect);
}

const std::vector<cairo_rectangle_int_t>& IncrementalCairoPlatform::finishRedraw() {
    if (phase_ == Phase::beforeImage) {
        // No image this time (a view too small for a canvas): what was filled is the picture.
        releaseHeldFills();
        damageEverything();
        repaintAll_ = true;
        haveLastRect_ = false;
    }
    if (phase_ != Phase::idle && context()) cairo_reset_clip(context());
    phase_ = Phase::idle;
    return damage_;
}

}  // namespace duskmere
