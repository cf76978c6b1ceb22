#include "host/SoftwareSaverPlatform.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "host/Compositing.h"

namespace duskmere {

using namespace compositing;

struct SoftwareImage : SaverImage {
    PresentedImage::Pixels pixels;
    int width = 0, height = 0;
};

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

bool SoftwareSaverPlatform::hasGraphicsContext() {
    const int w = deviceExtent(bounds_.width, backingScale_);
    const int h = deviceExtent(bounds_.height, backingScale_);
    if (!picture_.holds(w, h)) {
        try {
            picture_.start(w, h);
            repaintAll_ = true;
        } catch (const std::bad_alloc&) {
            picture_.release();
            drawing_ = false;
            return false;
        }
    }
    redraw_.start();
    drawing_ = true;
    return true;
}

void SoftwareSaverPlatform::setFillGray(double gray, double alpha) {
    fillGray_ = std::isnan(gray) ? 0.0 : std::clamp(gray, 0.0, 1.0);
    fillAlpha_ = std::isnan(alpha) ? 0.0 : std::clamp(alpha, 0.0, 1.0);
}

// Smoothing is not reproduced: the views always ask for hard pixel edges first.
void SoftwareSaverPlatform::setInterpolationNone() {}

void SoftwareSaverPlatform::fillRect(const ViewRect& r) {
    if (!drawing_) return;
    const double s = backingScale_;
    const double x = r.x * s, y = (bounds_.height - (r.y + r.height)) * s, w = r.width * s, h = r.height * s;
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h)) return;
    DrawOp op;
    if (!placeBox(op, x, y, w, h)) return;
    // Colours become 16-bit, then the compositor keeps the top 8 bits.
    const auto toShort = [](double v) { return static_cast<unsigned>(v * 65535.0 + 0.5); };
    op.gray = toShort(fillGray_ * fillAlpha_) >> 8;
    op.alpha = toShort(fillAlpha_) >> 8;
    if (op.alpha == 0) return;  // a clear colour over the picture changes nothing
    redraw_.record(op);
}

std::unique_ptr<SaverImage> SoftwareSaverPlatform::makeImage(const uint32_t* pixels, int64_t width, int64_t height) {
    const std::span<const RowSpan> hint = changedSpans_;
    changedSpans_ = {};
    return makeImageOf(pixels, width, height, {pixels, 0}, hint);
}

std::unique_ptr<SaverImage> SoftwareSaverPlatform::makeCanvasImage(const Canvas& canvas, std::span<const RowSpan> changed) {
    changedSpans_ = {};
    return makeImageOf(canvas.px.data(), canvas.width, canvas.height, {canvas.px.data(), canvas.generation()}, changed);
}

std::unique_ptr<SaverImage> SoftwareSaverPlatform::makeImageOf(const uint32_t* pixels, int64_t width, int64_t height,
                                                               ImageSource source, std::span<const RowSpan> changed) {
    PresentedImage::Pixels made = presented_.make(pixels, width, height, source, changed);
    if (!made) return nullptr;
    auto image = std::make_unique<SoftwareImage>();
    image->pixels = std::move(made);
    image->width = static_cast<int>(width);
    image->height = static_cast<int>(height);
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
    DrawOp op;
    op.image = true;
    if (!placeBox(op, tx, ty, w, h)) return;
    op.held = redraw_.hold(source.pixels);
    op.width = source.width;
    op.height = source.height;
    op.ax = 1 / kx;
    op.ay = 1 / ky;
    op.bx = ((-tx) * op.ax + (-ty) * 0.0) + 0.0;
    op.by = ((-tx) * 0.0 + (-ty) * op.ay) + 0.0;
    redraw_.record(op);
}

void SoftwareSaverPlatform::watchForScrolls(const std::vector<DeviceBox>& boxes) {
    constexpr int64_t patience = 90;
    if (shift_) {
        framesWithoutShift_ = 0;
        return;
    }
    if (acceptShifts_) {
        if (++framesWithoutShift_ > patience) acceptShifts_ = false;
        return;
    }
    int64_t changed = 0;
    for (const DeviceBox& b : boxes) changed += int64_t{b.x1 - b.x0} * (b.y1 - b.y0);
    if (changed * 2 >= int64_t{deviceWidth()} * deviceHeight()) {
        acceptShifts_ = true;
        framesWithoutShift_ = 0;
    }
}

const std::vector<DeviceBox>& SoftwareSaverPlatform::finishRedraw() {
    boxes_.clear();
    shift_.reset();
    if (!drawing_) return boxes_;
    drawing_ = false;

    const bool repeated = redraw_.finish();
    const bool sameShape = picture_.plan().valid && repeated;
    const std::vector<DrawOp>& ops = redraw_.ops();
    PresentedImage::Pixels shown;
    if (sameShape && !repaintAll_ && presented_.has()) {
        // Only what changed since the image presented last is painted and reported.
        shown = redraw_.pixels(ops[1]);
        const int iw = ops[1].width, ih = ops[1].height;
        const PaintPlan& plan = picture_.plan();
        comparison_.dx = 0;
        const bool mayShift = acceptShifts_ && plan.shiftStep > 0;
        const RowsAsShown& before = presented_.compare(*shown, iw, mayShift);
        if (mayShift) {
            shift_ = scrolls_.find(plan, *shown, iw, ih, before, comparison_);
            if (shift_) picture_.applyShift(*shift_);
        }
        changes_.find(plan, *shown, iw, ih, presented_, before, comparison_, boxes_);
        for (const DeviceBox& b : boxes_) picture_.paintClean(redraw_, b.x0, b.y0, b.x1, b.y1);
        picture_.paintEdges(redraw_, true, boxes_);
    } else {
        if (sameShape || picture_.makePlan(redraw_)) {
            shown = redraw_.pixels(ops[1]);
            picture_.paintClean(redraw_, 0, 0, picture_.width(), picture_.height());
            picture_.paintEdges(redraw_, false, boxes_);
        } else {
            picture_.applyOps(redraw_, 0, 0, picture_.width(), picture_.height());
        }
        if (picture_.width() > 0 && picture_.height() > 0) boxes_.push_back({0, 0, picture_.width(), picture_.height()});
    }

    picture_.noteDrawn(redraw_);
    // Keep the shape of this redraw and the image it showed; free the pixels of the rest.
    if (shown) {
        presented_.present(std::move(shown), ops[1].width, ops[1].height);
    } else {
        presented_.clear();
        picture_.dropPlan();
    }
    redraw_.keep();
    repaintAll_ = false;
    return boxes_;
}

}  // namespace duskmere
