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
// How: the host's redraw fills the view black, draws the canvas image, then the scanlines. The
// drawing is recorded instead of done; at the end, once the changed canvas pixels are known, it
// is replayed once per device box under them, clipped to that one box (cairo blends the partly
// covered scanline rows differently under a clip of several boxes, so one box at a time). A
// new size, a new image rectangle, a fractional enlargement or repaint() draws the whole view.
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
    struct Fill {
        double gray, alpha;
        ViewRect rect;
    };
    // beforeImage and recording hold the drawing back; direct passes it straight to cairo.
    enum class Phase { idle, beforeImage, recording, direct };

    void drawDirectly();
    void replayInBox(const cairo_rectangle_int_t& box);
    void findDeviceBoxes();
    void damageEverything();
    bool onDeviceGrid(const ViewRect& rect) const;
    bool coversView(const ViewRect& rect) const;
    void shiftDeviceLeft(int pixels);

    Phase phase_ = Phase::idle;
    bool repaintAll_ = true;
    double gray_ = 0, alpha_ = 1;
    std::vector<Fill> under_;  // fills before the image
    std::vector<Fill> over_;   // fills after it
    ShownCanvas shown_;
    const std::vector<ShownCanvas::Box>* changed_ = nullptr;
    ViewRect imageRect_;
    bool haveLastRect_ = false;
    ViewRect lastRect_;
    int lastDeviceWidth_ = -1, lastDeviceHeight_ = -1;
    std::vector<cairo_rectangle_int_t> boxes_;
    std::vector<cairo_rectangle_int_t> damage_;
};

}  // namespace duskmere
