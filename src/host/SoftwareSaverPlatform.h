#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "host/SaverPlatform.h"

namespace duskmere {

// A rectangle of device pixels, [x0, x1) x [y0, y1), row 0 at the top: what a presenter reports
// as changed, and what hosts copy to the screen.
struct DeviceBox {
    int x0, y0, x1, y1;
};

// A scroll a host with a retained picture can pass on: within `area`, the new picture is the old
// one moved so that new(x, y) = old(x + dx, y). Applied before the boxes of the same redraw.
struct DeviceShift {
    DeviceBox area;
    int dx;
};

// The presenter of every program but the macOS bundles: the drawing half of SaverPlatform done
// in software, into a picture of device pixels that equals, pixel for pixel, what cairo paints
// for the same bounds and backing scale (the tests hold it to that). Hosts subclass it for the
// view and process operations, run the view's redraw, then copy to the screen only the boxes
// that changed, after moving their copy by the shift when they take shifts.
class SoftwareSaverPlatform : public SaverPlatform {
public:
    explicit SoftwareSaverPlatform(double backingScale = 1.0);

    // Device pixels per point; a change repaints everything at the next redraw.
    void setBackingScale(double scale);
    double backingScale() const { return backingScale_; }
    // The view's size in points, as bounds() reports it.
    void setBounds(ViewSize points);
    ViewSize bounds() const override { return bounds_; }

    // The picture of the last redraw: deviceWidth() x deviceHeight() pixels, row-major, top row
    // first, in the canvas's format (bytes R, G, B, then 0xFF). Empty before the first redraw.
    const uint32_t* devicePixels() const { return pixels_.data(); }
    int deviceWidth() const { return deviceWidth_; }
    int deviceHeight() const { return deviceHeight_; }

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

    bool hasGraphicsContext() override;
    void setFillGray(double gray, double alpha) override;
    void fillRect(const ViewRect& rect) override;
    void setInterpolationNone() override;
    std::unique_ptr<SaverImage> makeImage(const uint32_t* pixels, int64_t width, int64_t height) override;
    void noteChangedSpans(std::span<const RowSpan> spans) override { changedSpans_ = spans; }
    void drawImage(const SaverImage& image, const ViewRect& rect) override;

private:
    double backingScale_;
    ViewSize bounds_{0, 0};
    std::vector<uint32_t> pixels_;
    int deviceWidth_ = 0;
    int deviceHeight_ = 0;
    std::vector<DeviceBox> boxes_;
    bool acceptShifts_ = false;
    std::optional<DeviceShift> shift_;

    // One drawing operation of a redraw, kept until finishRedraw() paints them all. Boxes are in
    // device pixels with 8 fraction bits, as the reference rasterises paths.
    struct Op {
        bool image = false;
        int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        // Fills: premultiplied grey and alpha, 8 bits each.
        unsigned gray = 0, alpha = 255;
        // Images: the pixels (held in images_ at index `held` until the redraw ends), their size,
        // and device-to-image scale and offset on each axis. Plain data, as a redraw records
        // hundreds of fills.
        int held = -1;
        int width = 0, height = 0;
        double ax = 1, bx = 0, ay = 1, by = 0;
        bool sameShape(const Op& o) const;
    };
    // The image column (row) that each device column (row) shows, for one image operation.
    struct ImageMaps {
        std::vector<int> x, y;
    };
    // How the usual redraw (opaque fill, image, translucent strips) is painted quickly; valid
    // while the shape of the operations stays the same.
    struct Plan {
        bool valid = false;
        ImageMaps maps;
        int cleanX0 = 0, cleanX1 = 0, cleanY0 = 0, cleanY1 = 0;  // pixels the image covers whole
        std::vector<int> rowEffect;                              // per device row, -1: none
        struct Effect {
            std::array<uint8_t, 256> table;  // the strips' effect on one channel value
            std::vector<unsigned> factors;   // when they only darken: the factor of each
        };
        std::vector<Effect> effects;
        std::vector<int> firstColumn, firstRow;                  // device start of each image pixel
        std::vector<std::pair<int, int>> runs;  // the clean columns as (image column, count) runs
        int evenRuns = 0;                        // 1..4 when every run is that long, else 0
        bool shortRuns = false;                  // every run at most 4 long
        // Device columns per image column when the clean columns enlarge them all alike (the
        // ends may be cut), so that a scroll of the image is a shift of the picture; else 0.
        int shiftStep = 0;
    };
    // How the changes of one redraw are compared with the picture before: image column i of a
    // row in [rows0, rows1) against column i + dx before where columnKind[i] is Moved, against
    // the same column where it is Kept, and always changed where it is Straddles.
    enum ColumnKind : uint8_t { Moved, Kept, Straddles };
    struct Comparison {
        int dx = 0, rows0 = 0, rows1 = 0;
        std::vector<uint8_t> columnKind;
        int moved0 = 0, moved1 = 0;          // the Moved columns, one run of them
        std::vector<uint8_t> movedDiffers;   // per image row: whether any moved column differs
    };

    void startPicture(int width, int height);
    void record(const Op& op);
    const uint32_t* pixelsOf(const Op& image) const { return images_[static_cast<size_t>(image.held)]->data(); }
    ImageMaps mapImage(const Op& op) const;
    bool makePlan();
    bool touchesPicture(const Op& op) const;
    void applyOps(int x0, int y0, int x1, int y1);
    void paintClean(int x0, int y0, int x1, int y1);
    void paintEdges(bool reportChanges);
    void compareRows(const std::vector<uint32_t>& now, bool wholeRows);
    void reportChangedPixels(const std::vector<uint32_t>& now);
    bool findShift(const std::vector<uint32_t>& now);
    void applyShift();

    double fillGray_ = 0, fillAlpha_ = 1;
    bool nearest_ = false;
    bool drawing_ = false;
    bool repaintAll_ = true;
    bool fresh_ = true;  // nothing drawn on the picture since it was made
    std::vector<Op> ops_, lastOps_;
    // While the operations of a redraw match lastOps_ one by one, they are not stored: matched_
    // of them so far. ops_ holds them once one differs, or when the redraw ends.
    size_t matched_ = 0;
    bool matching_ = false;
    std::vector<std::shared_ptr<const std::vector<uint32_t>>> images_;  // the images of ops_
    Plan plan_;
    Comparison comparison_;
    std::vector<int64_t> inPlaceChanges_;  // per image row, the pixels that differ where they stand
    // The image presented last. makeImage() updates it in place when nobody else holds it, copying
    // only what changed and keeping the presented pixels of those columns in before_ (rowChanged_
    // set, changedColumns_ their span); so "what was presented" is before_ within the span of a
    // changed row, presented_ everywhere else.
    std::shared_ptr<std::vector<uint32_t>> presented_, spare_;
    int presentedWidth_ = 0, presentedHeight_ = 0;
    std::vector<uint32_t> before_;
    std::vector<uint8_t> rowChanged_;
    std::vector<RowSpan> changedColumns_;
    // What noteChangedSpans() says may differ, for the next makeImage() alone; trusted only when
    // that image comes from the same pixels as the one made last, and that one was presented.
    std::span<const RowSpan> changedSpans_;
    const uint32_t* lastSource_ = nullptr;
    const std::vector<uint32_t>* lastMade_ = nullptr;
    // For one redraw's comparison, per image row: the row as presented, and whether it may differ.
    std::vector<const uint32_t*> beforeRows_;
    std::vector<uint8_t> rowDiffers_;
    std::vector<uint32_t> edgeBefore_;
    std::vector<uint32_t> darkRow_;  // one image row with a row's strips applied
};

}  // namespace duskmere
