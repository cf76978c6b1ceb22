#include "IncrementalCairoPlatform.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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
    under_.clear();
    over_.clear();
    changed_ = nullptr;
    phase_ = ok ? Phase::beforeImage : Phase::idle;
    return ok;
}

void IncrementalCairoPlatform::setFillGray(double gray, double alpha) {
    gray_ = gray;
    alpha_ = alpha;
    if (phase_ == Phase::direct) CairoSaverPlatform::setFillGray(gray, alpha);
}

void IncrementalCairoPlatform::fillRect(const ViewRect& rect) {
    if (phase_ == Phase::beforeImage) under_.push_back({gray_, alpha_, rect});
    else if (phase_ == Phase::recording) over_.push_back({gray_, alpha_, rect});
    else CairoSaverPlatform::fillRect(rect);
}

std::unique_ptr<SaverImage> IncrementalCairoPlatform::makeImage(const uint32_t* pixels, int64_t width, int64_t height) {
    changed_ = &shown_.update(pixels, width, height);
    if (!shown_.image()) return nullptr;
    return std::make_unique<ShownImage>();
}

void IncrementalCairoPlatform::drawDirectly() {
    for (const Fill& f : under_) {
        CairoSaverPlatform::setFillGray(f.gray, f.alpha);
        CairoSaverPlatform::fillRect(f.rect);
    }
    under_.clear();
    CairoSaverPlatform::setFillGray(gray_, alpha_);
    phase_ = Phase::direct;
    damageEverything();
}

void IncrementalCairoPlatform::drawImage(const SaverImage& image, const ViewRect& rect) {
    const bool shown = dynamic_cast<const ShownImage*>(&image) != nullptr;
    if (!shown || phase_ != Phase::beforeImage || !changed_) {
        // Not the one image of an ordinary redraw: draw it whole, and everything next time.
        drawDirectly();
        repaintAll_ = true;
        if (shown) drawSurface(shown_.image(), rect);
        else CairoSaverPlatform::drawImage(image, rect);
        return;
    }
    // Only where canvas pixels fall on whole device pixels and the opaque image covers the view
    // is a part of the picture the same as the whole; elsewhere every frame is drawn whole.
    const bool partial = onDeviceGrid(rect) && coversView(rect);
    if (!haveLastRect_ || !sameRect(rect, lastRect_) || !partial) repaintAll_ = true;
    haveLastRect_ = true;
    lastRect_ = rect;
    if (repaintAll_) {
        repaintAll_ = false;
        // The fills under an opaque image that covers the view cannot show.
        if (partial) under_.clear();
        drawDirectly();
        drawSurface(shown_.image(), rect);
        return;
    }
    imageRect_ = rect;
    under_.clear();  // covered, as above
    phase_ = Phase::recording;
}

void IncrementalCairoPlatform::replayInBox(const cairo_rectangle_int_t& box) {
    cairo_t* cr = context();
    cairo_save(cr);
    cairo_rectangle(cr, box.x, box.y, box.width, box.height);
    cairo_clip(cr);
    drawSurface(shown_.image(), imageRect_);
    const double s = backingScale();
    for (const Fill& f : over_) {
        // Only fills that reach the box can change it.
        const double top = deviceY(f.rect.y + f.rect.height), bottom = deviceY(f.rect.y);
        if (bottom <= box.y || top >= box.y + box.height) continue;
        if ((f.rect.x + f.rect.width) * s <= box.x || f.rect.x * s >= box.x + box.width) continue;
        CairoSaverPlatform::setFillGray(f.gray, f.alpha);
        CairoSaverPlatform::fillRect(f.rect);
    }
    cairo_restore(cr);
}

void IncrementalCairoPlatform::findDeviceBoxes() {
    const ViewRect& r = imageRect_;
    const double s = backingScale();
    const double sx = r.width * s / cairo_image_surface_get_width(shown_.image());
    const double sy = r.height * s / cairo_image_surface_get_height(shown_.image());
    const double ox = r.x * s, oy = deviceY(r.y + r.height);
    const double dw = deviceWidth(), dh = deviceHeight();
    boxes_.clear();
    // A device pixel of margin on each side covers any rounding at the edges of the enlargement.
    for (const ShownCanvas::Box& b : *changed_) {
        const double x0 = std::clamp(std::floor(ox + static_cast<double>(b.x0) * sx) - 1, 0.0, dw);
        const double x1 = std::clamp(std::ceil(ox + static_cast<double>(b.x1) * sx) + 1, 0.0, dw);
        const double y0 = std::clamp(std::floor(oy + static_cast<double>(b.y0) * sy) - 1, 0.0, dh);
        const double y1 = std::clamp(std::ceil(oy + static_cast<double>(b.y1) * sy) + 1, 0.0, dh);
        if (x0 >= x1 || y0 >= y1) continue;
        boxes_.push_back({static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)});
    }
}

bool IncrementalCairoPlatform::onDeviceGrid(const ViewRect& r) const {
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

void IncrementalCairoPlatform::shiftDeviceLeft(int pixels) {
    cairo_surface_t* picture = surface();  // flushed
    const int w = deviceWidth(), h = deviceHeight();
    if (!picture || pixels <= 0 || pixels >= w) return;
    unsigned char* data = cairo_image_surface_get_data(picture);
    const int stride = cairo_image_surface_get_stride(picture);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        std::memmove(row, row + pixels, static_cast<size_t>(w - pixels) * sizeof(uint32_t));
    }
    cairo_surface_mark_dirty(picture);
}

void IncrementalCairoPlatform::damageEverything() {
    damage_.assign(1, {0, 0, deviceWidth(), deviceHeight()});
}

const std::vector<cairo_rectangle_int_t>& IncrementalCairoPlatform::finishRedraw() {
    if (phase_ == Phase::beforeImage) {
        // No image this time (a view too small for a canvas): what was filled is the picture.
        drawDirectly();
        repaintAll_ = true;
        haveLastRect_ = false;
    } else if (phase_ == Phase::recording) {
        findDeviceBoxes();
        if (shown_.scrolledLeft()) {
            // The canvas moved one pixel left: move the picture alike and touch up the rest,
            // including the strip at the right edge that nothing was moved into.
            const int step = static_cast<int>(imageRect_.width * backingScale() /
                                              cairo_image_surface_get_width(shown_.image()));
            shiftDeviceLeft(step);
            const int x = std::max(0, deviceWidth() - step - 1);
            boxes_.push_back({x, 0, deviceWidth() - x, deviceHeight()});
        }
        for (const cairo_rectangle_int_t& box : boxes_) replayInBox(box);
        if (shown_.scrolledLeft()) damageEverything();
        else damage_ = boxes_;
    }
    if (phase_ != Phase::idle && context()) cairo_reset_clip(context());
    phase_ = Phase::idle;
    return damage_;
}

}  // namespace duskmere
