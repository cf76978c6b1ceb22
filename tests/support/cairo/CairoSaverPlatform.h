#pragma once

#include <string>

#include "cairo/CairoImage.h"
#include "host/SaverPlatform.h"

namespace duskmere {

// The saver platform drawing with cairo into an image surface of the view's size in device
// pixels: the independent rasteriser the tests hold the presenter against. The view's points map
// to backingScale device pixels each, with the origin at the bottom-left and y up, as the host
// logic expects. Tests set the bounds and read the surface back after each redraw.
class CairoSaverPlatform : public SaverPlatform {
public:
    explicit CairoSaverPlatform(double backingScale = 1.0);

    void setBounds(ViewSize points) { bounds_ = points; }
    double backingScale() const { return backingScale_; }
    // The seed every later scene gets.
    void fixSeed(uint64_t seed) { seed_ = seed; }

    // The picture of the last redraw, deviceWidth() x deviceHeight() pixels; empty before it.
    cairo_surface_t* surface() const;
    int deviceWidth() const { return deviceWidth_; }
    int deviceHeight() const { return deviceHeight_; }

    // True once after the view asked to be redrawn.
    bool takeNeedsDisplay();

    ViewSize bounds() const override { return bounds_; }
    void setNeedsDisplay() override { needsDisplay_ = true; }
    void setAnimationInterval(double) override {}
    // Linux has no counterpart of the distributed notification.
    void observeDistributedNotification(const std::string&, std::function<void()>) override {}
    std::string processName() const override { return "duskmere-test"; }
    void exitProcess(int) override {}
    uint64_t secureRandomSeed() override { return seed_; }

    bool hasGraphicsContext() override;
    void setFillGray(double gray, double alpha) override;
    void fillRect(const ViewRect& rect) override;
    void setInterpolationNone() override { nearest_ = true; }
    std::unique_ptr<SaverImage> makeImage(const uint32_t* pixels, int64_t width, int64_t height) override;
    void drawImage(const SaverImage& image, const ViewRect& rect) override;

protected:
    // Device-space y of a point-space y measured upward from the bottom edge.
    double deviceY(double y) const;
    // For subclasses that clip or redirect the drawing of a redraw.
    cairo_t* context() const { return context_.get(); }
    // Draws an image surface upright into a rectangle in points, as drawImage does.
    void drawSurface(cairo_surface_t* source, const ViewRect& rect);

private:
    double backingScale_;
    ViewSize bounds_{0, 0};
    uint64_t seed_ = 0;
    bool needsDisplay_ = false;

    CairoSurface surface_;
    CairoContext context_;
    int deviceWidth_ = 0;
    int deviceHeight_ = 0;
    bool nearest_ = false;
};

}  // namespace duskmere
