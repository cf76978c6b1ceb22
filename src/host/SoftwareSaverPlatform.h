#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "host/ChangedBoxes.h"
#include "host/DevicePicture.h"
#include "host/PresentedImage.h"
#include "host/RedrawRecord.h"
#include "host/SaverPlatform.h"
#include "host/ScrollFinder.h"

namespace duskmere {

// The presenter of every program but the macOS bundles: the drawing half of SaverPlatform done
// in software, into a picture of device pixels that equals, pixel for pixel, what cairo paints
// for the same bounds and backing scale (the tests hold it to that). Hosts subclass it for what
// differs between them (the process's name, its exit, the secure source of seeds), run the view's
// redraw, then copy to the screen only the boxes that changed, after moving their copy by the
// shift when they take shifts.
//
// It joins the pieces that do the work: RedrawRecord (a redraw's operations, matched against the
// last), PresentedImage (the image shown last, brought up to date in place), DevicePicture (the
// plan and the painting, with Compositing's arithmetic), ScrollFinder and ChangedBoxes.
class SoftwareSaverPlatform : public SaverPlatform {
public:
    explicit SoftwareSaverPlatform(double backingScale = 1.0);

    // Device pixels per point; a change repaints everything at the next redraw.
    void setBackingScale(double scale);
    double backingScale() const { return backingScale_; }
    // The view's size in points, as bounds() reports it.
    void setBounds(ViewSize points);
    ViewSize bounds() const override { return bounds_; }

    // Every later scene gets this seed instead of one from the host's secure source; none: the
    // secure source's again.
    void fixSeed(std::optional<uint64_t> seed) { fixedSeed_ = seed; }
    uint64_t secureRandomSeed() override { return fixedSeed_ ? *fixedSeed_ : systemSeed(); }
    // True once after the view asked to be redrawn (a host that redraws every tick never asks).
    bool takeNeedsDisplay() { return std::exchange(needsDisplay_, false); }
    void setNeedsDisplay() override { needsDisplay_ = true; }
    // Every host ticks on its own 30 Hz schedule, and none has the distributed notification.
    void setAnimationInterval(double) override {}
    void observeDistributedNotification(const std::string&, std::function<void()>) override {}

    // The picture of the last redraw: deviceWidth() x deviceHeight() pixels, row-major, top row
    // first, in the canvas's format (bytes R, G, B, then 0xFF). Empty before the first redraw.
    const uint32_t* devicePixels() const { return picture_.pixels(); }
    int deviceWidth() const { return picture_.width(); }
    int deviceHeight() const { return picture_.height(); }

    // Ends a redraw the view ran: the device boxes whose pixels may differ from the picture
    // before it (the whole picture after a change of size or scale, or after repaintAll()).
    const std::vector<DeviceBox>& finishRedraw();
    // The next finishRedraw() reports the whole picture (after the screen lost it).
    void repaintAll();
    // Whether the host can move its copy of the picture (see DeviceShift). Off by default: then
    // the boxes alone carry every change.
    void acceptShifts(bool accept) { acceptShifts_ = accept; }
    // The shift of the last finishRedraw(), to apply before its boxes; empty when there is none.
    const std::optional<DeviceShift>& shift() const { return shift_; }
    // For a host that takes shifts only while the picture scrolls, after each finishRedraw():
    // looking for a shift costs a comparison of whole rows every frame, which a picture that does
    // not scroll never repays. A frame that changed half the picture starts the search; three
    // seconds without a scroll end it.
    void watchForScrolls(const std::vector<DeviceBox>& boxes);

    bool hasGraphicsContext() override;
    void setFillGray(double gray, double alpha) override;
    void fillRect(const ViewRect& rect) override;
    void setInterpolationNone() override;
    std::unique_ptr<SaverImage> makeImage(const uint32_t* pixels, int64_t width, int64_t height) override;
    std::unique_ptr<SaverImage> makeCanvasImage(const Canvas& canvas, std::span<const RowSpan> changed) override;
    void noteChangedSpans(std::span<const RowSpan> spans) override { changedSpans_ = spans; }
    void drawImage(const SaverImage& image, const ViewRect& rect) override;

protected:
    // 8 bytes from the host's secure source, for a scene when no seed is fixed.
    virtual uint64_t systemSeed() = 0;

private:
    std::unique_ptr<SaverImage> makeImageOf(const uint32_t* pixels, int64_t width, int64_t height, ImageSource source,
                                            std::span<const RowSpan> changed);

    double backingScale_;
    ViewSize bounds_{0, 0};
    std::optional<uint64_t> fixedSeed_;
    bool needsDisplay_ = false;
    bool acceptShifts_ = false;
    int64_t framesWithoutShift_ = 0;  // while shifts are taken
    double fillGray_ = 0, fillAlpha_ = 1;
    bool drawing_ = false;
    bool repaintAll_ = true;

    RedrawRecord redraw_;
    PresentedImage presented_;
    DevicePicture picture_;
    ScrollFinder scrolls_;
    ScrollComparison comparison_;
    ChangedBoxes changes_;
    std::vector<DeviceBox> boxes_;
    std::optional<DeviceShift> shift_;
    // What noteChangedSpans() says may differ, for the next makeImage() alone: its caller's word
    // that the pixels at that address are the ones the image before was made of.
    std::span<const RowSpan> changedSpans_;
};

}  // namespace duskmere
