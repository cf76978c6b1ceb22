#include "X11SaverPlatform.h"

#include <cairo-xlib.h>

#include <algorithm>

namespace duskmere {

X11SaverPlatform::X11SaverPlatform(Display* display, Window window, Visual* visual, double backingScale)
    : IncrementalCairoPlatform(backingScale), display_(display), window_(window), visual_(visual) {}

void X11SaverPlatform::setWindowSize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == windowWidth_ && height == windowHeight_ && windowSurface_) return;
    windowWidth_ = width;
    windowHeight_ = height;
    setBounds({width / backingScale(), height / backingScale()});
    repaint();
    if (windowSurface_ && width > 0 && height > 0) cairo_xlib_surface_set_size(windowSurface_.get(), width, height);
}

void X11SaverPlatform::present(const std::vector<cairo_rectangle_int_t>& boxes) {
    cairo_surface_t* picture = surface();
    if (!picture || boxes.empty() || windowWidth_ < 1 || windowHeight_ < 1) return;
    cairo_t* cr = windowContext();
    cairo_set_source_surface(cr, picture, 0, 0);
    for (const cairo_rectangle_int_t& b : boxes) cairo_rectangle(cr, b.x, b.y, b.width, b.height);
    cairo_fill(cr);
    cairo_surface_flush(windowSurface_.get());
}

void X11SaverPlatform::presentPatch(cairo_surface_t* patch, int x, int y) {
    if (!patch || windowWidth_ < 1 || windowHeight_ < 1) return;
    cairo_t* cr = windowContext();
    cairo_set_source_surface(cr, patch, x, y);
    cairo_rectangle(cr, x, y, cairo_image_surface_get_width(patch), cairo_image_surface_get_height(patch));
    cairo_fill(cr);
    cairo_surface_flush(windowSurface_.get());
}

cairo_t* X11SaverPlatform::windowContext() {
    if (!windowSurface_) {
        windowSurface_.reset(cairo_xlib_surface_create(display_, window_, visual_, windowWidth_, windowHeight_));
        windowContext_.reset(cairo_create(windowSurface_.get()));
        cairo_set_operator(windowContext_.get(), CAIRO_OPERATOR_SOURCE);
    }
    return windowContext_.get();
}

}  // namespace duskmere
