#pragma once

#include <X11/Xlib.h>

#include <vector>

#include "IncrementalCairoPlatform.h"

namespace duskmere {

// The saver platform on X11: the cairo drawing of a redraw goes to an off-screen image the size
// of the window, and present() copies what changed to the window in one go, so the window never
// shows a half-drawn frame. The view's bounds are the window's size in points.
class X11SaverPlatform : public IncrementalCairoPlatform {
public:
    X11SaverPlatform(Display* display, Window window, Visual* visual, double backingScale);

    // The window's size in device pixels, from its creation or a ConfigureNotify.
    void setWindowSize(int width, int height);
    int windowWidth() const { return windowWidth_; }
    int windowHeight() const { return windowHeight_; }

    // Copies the boxes of the last redraw's picture to the window.
    void present(const std::vector<cairo_rectangle_int_t>& boxes);
    // Copies a picture of its own to the window at x, y (something laid over the last redraw).
    void presentPatch(cairo_surface_t* patch, int x, int y);

private:
    cairo_t* windowContext();

    Display* display_;
    Window window_;
    Visual* visual_;
    int windowWidth_ = 0;
    int windowHeight_ = 0;
    CairoSurface windowSurface_;
    CairoContext windowContext_;
};

}  // namespace duskmere
