#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "host/RedrawRecord.h"

namespace duskmere {

// A rectangle of device pixels, [x0, x1) x [y0, y1), row 0 at the top: what a presenter reports
// as changed, and what hosts copy to the screen.
struct DeviceBox {
    int x0, y0, x1, y1;
};

// The one box round both.
inline DeviceBox around(const DeviceBox& a, const DeviceBox& b) {
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}
// Whether `inner` lies wholly within `outer`.
inline bool contains(const DeviceBox& outer, const DeviceBox& inner) {
    return inner.x0 >= outer.x0 && inner.x1 <= outer.x1 && inner.y0 >= outer.y0 && inner.y1 <= outer.y1;
}

// A scroll a host with a retained picture can pass on: within `area`, the new picture is the old
// one moved so that new(x, y) = old(x + dx, y). Applied before the boxes of the same redraw.
struct DeviceShift {
    DeviceBox area;
    int dx;
};

// The image column (row) that each device column (row) shows, for one image operation.
struct ImageMaps {
    std::vector<int> x, y;
};

// How the usual redraw (opaque fill, image, translucent strips) is painted quickly; valid while
// the shape of the operations stays the same.
struct PaintPlan {
    bool valid = false;
    ImageMaps maps;
    int cleanX0 = 0, cleanX1 = 0, cleanY0 = 0, cleanY1 = 0;  // pixels the image covers whole
    std::vector<int> rowEffect;                              // per device row, -1: none
    struct Effect {
        std::array<uint8_t, 256> table;  // the strips' effect on one channel value
        std::vector<unsigned> factors;   // when they only darken: the factor of each
    };
    std::vector<Effect> effects;
    std::vector<int> firstColumn, firstRow;  // device start of each image pixel
    std::vector<std::pair<int, int>> runs;   // the clean columns as (image column, count) runs
    int evenRuns = 0;                        // 1..4 when every run is that long, else 0
    bool shortRuns = false;                  // every run at most 4 long
    // Device columns per image column when the clean columns enlarge them all alike (the ends
    // may be cut), so that a scroll of the image is a shift of the picture; else 0.
    int shiftStep = 0;

    // The device box under image columns [x0, x1) and rows [y0, y1), within the clean area.
    DeviceBox cleanBox(int x0, int y0, int x1, int y1) const;
};

// The picture of device pixels and its painting: a redraw's operations pixel by pixel, as the
// reference composes them, or, for the usual redraw, by its plan (the image enlarged row by row,
// each row's strips as one table).
class DevicePicture {
public:
    // A new picture of w x h pixels, black, as a freshly made surface is (may throw bad_alloc).
    void start(int width, int height);
    // Nothing: after an allocation failed.
    void release();

    int width() const { return width_; }
    int height() const { return height_; }
    bool holds(int width, int height) const {
        return width == width_ && height == height_ && pixels_.size() == static_cast<size_t>(width) * static_cast<size_t>(height);
    }
    const uint32_t* pixels() const { return pixels_.data(); }
    const PaintPlan& plan() const { return plan_; }
    void dropPlan() { plan_.valid = false; }

    // Recognises the usual redraw: an opaque fill, then an image, then fills; plans it when so.
    bool makePlan(const RedrawRecord& redraw);
    // Every operation of the redraw, pixel by pixel, inside [x0, x1) x [y0, y1).
    void applyOps(const RedrawRecord& redraw, int x0, int y0, int x1, int y1);
    // The pixels inside the plan's clean area, within [x0, x1) x [y0, y1).
    void paintClean(const RedrawRecord& redraw, int x0, int y0, int x1, int y1);
    // The pixels outside the clean area; with `report`, the edges that changed go to `boxes`.
    void paintEdges(const RedrawRecord& redraw, bool report, std::vector<DeviceBox>& boxes);
    // Moves the picture as a host moves its copy.
    void applyShift(const DeviceShift& shift);
    // After a redraw: whether anything has been drawn on the picture since it was made.
    void noteDrawn(const RedrawRecord& redraw);

private:
    ImageMaps mapImage(const DrawOp& op) const;
    bool touches(const DrawOp& op) const;

    std::vector<uint32_t> pixels_;
    int width_ = 0, height_ = 0;
    bool fresh_ = true;  // nothing drawn on the picture since it was made
    PaintPlan plan_;
    std::vector<uint32_t> edgeBefore_;
    std::vector<uint32_t> darkRow_;  // one image row with a row's strips applied
};

}  // namespace duskmere
