#include "cairo/CairoSaverPlatform.h"

#include <cmath>

namespace duskmere {

namespace {

struct CairoImageHandle : SaverImage {
    explicit CairoImageHandle(CairoSurface s) : surface(std::move(s)) {}
    CairoSurface surface;
};

int deviceExtent(double points, double scale) {
    const double d = std::ceil(points * scale);
    if (!(d > 0)) return 0;
    return d > 32767 ? 32767 : static_cast<int>(d);  // cairo's own limit for image surfaces
}

}  // namespace

CairoSaverPlatform::CairoSaverPlatform(double backingScale)
    : backingScale_(backingScale > 0 && std::isfinite(backingScale) ? backingScale : 1.0) {}

bool CairoSaverPlatform::takeNeedsDisplay() {
    const bool wanted = needsDisplay_;
    needsDisplay_ = false;
    return wanted;
}

bool CairoSaverPlatform::hasGraphicsContext() {
    const int w = deviceExtent(bounds_.width, backingScale_);
    const int h = deviceExtent(bounds_.height, backingScale_);
    if (!surface_ || w != deviceWidth_ || h != deviceHeight_) {
        context_.reset();
        surface_.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h));
        if (cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS) {
            surface_.reset();
            deviceWidth_ = deviceHeight_ = 0;
            return false;
        }
        context_.reset(cairo_create(surface_.get()));
        deviceWidth_ = w;
        deviceHeight_ = h;
    }
    // Each redraw starts from a fresh graphics state, as a platform context would.
    cairo_identity_matrix(context_.get());
    nearest_ = false;
    return cairo_status(context_.get()) == CAIRO_STATUS_SUCCESS;
}

double CairoSaverPlatform::deviceY(double y) const { return (bounds_.height - y) * backingScale_; }

void CairoSaverPlatform::setFillGray(double gray, double alpha) {
    cairo_set_source_rgba(context_.get(), gray, gray, gray, alpha);
}

void CairoSaverPlatform::fillRect(const ViewRect& r) {
    const double s = backingScale_;
    cairo_rectangle(context_.get(), r.x * s, deviceY(r.y + r.height), r.width * s, r.height * s);
    cairo_fill(context_.get());
}

std::unique_ptr<SaverImage> CairoSaverPlatform::makeImage(const uint32_t* pixels, int64_t width, int64_t height) {
    CairoSurface image = makeCairoImage(pixels, width, height);
    if (!image) return nullptr;
    return std::make_unique<CairoImageHandle>(std::move(image));
}

void CairoSaverPlatform::drawImage(const SaverImage& image, const ViewRect& r) {
    drawSurface(static_cast<const CairoImageHandle&>(image).surface.get(), r);
}

void CairoSaverPlatform::drawSurface(cairo_surface_t* source, const ViewRect& r) {
    const int iw = cairo_image_surface_get_width(source);
    const int ih = cairo_image_surface_get_height(source);
    const double s = backingScale_;
    cairo_t* cr = context_.get();
    cairo_save(cr);
    // The image stands upright in the rectangle: its first row at the rectangle's top edge.
    cairo_translate(cr, r.x * s, deviceY(r.y + r.height));
    cairo_scale(cr, r.width * s / iw, r.height * s / ih);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), nearest_ ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, 0, 0, iw, ih);
    cairo_fill(cr);
    cairo_restore(cr);
}

cairo_surface_t* CairoSaverPlatform::surface() const {
    if (surface_) cairo_surface_flush(surface_.get());
    return surface_.get();
}

}  // namespace duskmere
