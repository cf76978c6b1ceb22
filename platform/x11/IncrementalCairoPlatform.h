#pragma once

#include <vector>

#include "ShownCanvas.h"
#include "cairo/CairoSaverPlatform.h"

namespace duskmere {

// The cairo platform for a host that keeps its picture between redraws, as a window does: each
// redraw paints only the device pixels under canvas pixels that changed since the last one, and
// says which those were, so that only they need to reach the screen. The picture is the same,
// pixel for pixel, as a full redraw of CairoSaverPlatform.
//
// How: the host's redraw fills the view black, then draws the canvas image, then the scanlines.
// The fills before the image are held back until the image arrives; by then the changed canvas
// pixels are known, and everything is drawn clipped to the device boxes under them. Anything
// else (a new size, a new image rectangle, repaint()) draws the whole view.
class IncrementalCairoPlatform : public CairoSaverPlatform {
public:
    using CairoSaverPlatform::CairoSaverPlatform;

    // The next redraw paints the whole view (after an expose, for example).
    void repaint() { repaintAll_ = true; }
    // Ends a redraw the host logic ran; returns the device boxes it painted.
    const std::vector<cairo_rectangle_int_t>& finishRedraw();

    bool hasGraphicsContext() override;
    void setFillGray(double gray, double alpha) override;
    void fillRect(const ViewRect& rect) override;
    std::unique_ptr<SaverImage> makeImage(const uint32_t* pixels, int64_t width, int64_t height) override;
    void drawImage(const SaverImage& image, const ViewRect& rect) override;

private:
    struct HeldFill {
        double gray, alpha;
        ViewRect rect;
    };
    enum class Phase { idle, beforeImage, afterImage };

    void releaseHeldFills();
    void clipToChanges(const ViewRect& rect);
    void damageEverything();
    bool onDeviceGrid(const ViewRect& rect) const;
    bool coversView(const ViewRect& rect) const;

    Phase phase_ = Phase::idle;
    bool repaintAll_ = true;
    double gray_ = 0, alpha_ = 1;
    std::vector<HeldFill> held_;
    ShownCanvas shown_;
    const std::vector<ShownCanvas::Box>* changed_ = nullptr;
    bool haveLastRect_ = false;
    ViewRect lastRect_;
    int lastDeviceWidth_ = -1, lastDeviceHeight_ = -1;
    std::vector<cairo_rectangle_int_t> damage_;
};

}  // namespace duskmere
