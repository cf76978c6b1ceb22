#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cairo/CairoImage.h"
#include "host/SaverPlatform.h"

namespace duskmere {

// The saver platform on Linux, drawing with cairo into an image surface of the view's size in
// device pixels. The view's points map to backingScale device pixels each, with the origin at the
// bottom-left and y up, as the host logic expects. Hosts set the bounds and read the surface back
// after each redraw (the headless renderer writes it to PNG; the X11 host copies it to a window).
class CairoSaverPlatform : public SaverPlatform {
public:
    explicit CairoSaverPlatform(double backingScale = 1.0);

    void setBounds(ViewSize points) { bounds_ = points; }
    double backingScale() const { return backingScale_; }
    // Every later scene gets this seed instead of one from the secure random source.
    void fixSeed(uint64_t seed) { fixedSeed_ = seed; }

    // The picture of the last redraw, deviceWidth() x deviceHeight() pixels; empty before it.
    cairo_surface_t* surface() const;
    int deviceWidth() const { return deviceWidth_; }
    int deviceHeight() const { return deviceHeight_; }

    // True once after the view asked to be redrawn.
    bool takeNeedsDisplay();
    double animationInterval() const { return interval_; }
    const std::vector<std::string>& observedNotifications() const { return notifications_; }

    ViewSize bounds() const override { return bounds_; }
    void setNeedsDisplay() override { needsDisplay_ = true; }
    void setAnimationInterval(double seconds) override { interval_ = seconds; }
    // Linux has no counterpart of the distributed notification: it is recorded and nothing more.
    void observeDistributedNotification(const std::string& name, std::function<void()> handler) override;
    std::string processName() const override;
    void exitProcess(int status) override;
    uint64_t secureRandomSeed() override;

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
    std::optional<uint64_t> fixedSeed_;
    bool needsDisplay_ = false;
    double interval_ = 0;
    std::vector<std::string> notifications_;

    CairoSurface surface_;
    CairoContext context_;
    int deviceWidth_ = 0;
    int deviceHeight_ = 0;
    bool nearest_ = false;
};

}  // namespace duskmere
