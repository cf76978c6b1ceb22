#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "host/DevicePicture.h"
#include "host/PresentedImage.h"

namespace duskmere {

// How the changes of one redraw are compared with the image presented before: image column i of
// a row in [rows0, rows1) against column i + dx before where columnKind[i] is Moved, against the
// same column where it is Kept, and always changed where it is Straddles. dx 0: every row in place.
struct ScrollComparison {
    enum ColumnKind : uint8_t { Moved, Kept, Straddles };
    int dx = 0, rows0 = 0, rows1 = 0;
    std::vector<uint8_t> columnKind;
    int moved0 = 0, moved1 = 0;         // the Moved columns, one run of them
    std::vector<uint8_t> movedDiffers;  // per image row: whether any moved column differs
};

// Decides whether the image scrolled sideways since the one presented last (as the forest does):
// then a band of rows, moved by one image column, differs in far fewer pixels than it does in
// place, and at a whole enlargement the picture can be shifted by the plan's step.
class ScrollFinder {
public:
    // The shift of the picture, with `comparison` set for finding what still differs after it; or
    // nothing (and comparison.dx as it was). `now` is the image of iw x ih pixels the plan shows.
    std::optional<DeviceShift> find(const PaintPlan& plan, const std::vector<uint32_t>& now, int iw, int ih,
                                    const RowsAsShown& before, ScrollComparison& comparison);

private:
    std::vector<int64_t> inPlace_;  // per image row, the pixels that differ where they stand
};

}  // namespace duskmere
