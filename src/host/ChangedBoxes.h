#pragma once

#include <cstddef>
#include <vector>

#include "host/DevicePicture.h"
#include "host/PresentedImage.h"
#include "host/ScrollFinder.h"

namespace duskmere {

// Turns the image pixels that differ from the ones presented last (after the scroll, when there
// is one) into device boxes: runs of changed pixels in a row, joined across small gaps, and a run
// with the same columns in the rows below extended downward; each box cut to the clean area.
class ChangedBoxes {
public:
    // Appends to `boxes` the device boxes of what differs between `now` (iw x ih) and the image
    // as presented.
    void find(const PaintPlan& plan, const std::vector<uint32_t>& now, int iw, int ih, const PresentedImage& presented,
              const RowsAsShown& before, const ScrollComparison& comparison, std::vector<DeviceBox>& boxes);

private:
    struct Run {
        int x0, x1, y0;
    };
    std::vector<Run> open_, next_;
};

// A host's limit on the boxes it copies one by one: past `most` of them, `boxes` becomes the one
// box round them all, since each copy has a cost of its own and, that many boxes on, one larger
// copy costs less.
void limitBoxes(std::vector<DeviceBox>& boxes, size_t most);

}  // namespace duskmere
