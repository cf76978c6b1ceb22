#include "host/RedrawRecord.h"

namespace duskmere {

bool DrawOp::sameShape(const DrawOp& o) const {
    return image == o.image && x0 == o.x0 && y0 == o.y0 && x1 == o.x1 && y1 == o.y1 && gray == o.gray &&
           alpha == o.alpha && width == o.width && height == o.height && ax == o.ax && bx == o.bx &&
           ay == o.ay && by == o.by;
}

void RedrawRecord::start() {
    ops_.clear();
    images_.clear();
    matched_ = 0;
    matching_ = true;
}

int RedrawRecord::hold(Pixels pixels) {
    images_.push_back(std::move(pixels));
    return static_cast<int>(images_.size()) - 1;
}

void RedrawRecord::record(const DrawOp& op) {
    if (matching_) {
        if (matched_ < lastOps_.size() && op.sameShape(lastOps_[matched_])) {
            DrawOp& last = lastOps_[matched_++];
            last.held = op.held;
            return;
        }
        ops_.assign(lastOps_.begin(), lastOps_.begin() + static_cast<std::ptrdiff_t>(matched_));
        matching_ = false;
    }
    ops_.push_back(op);
}

bool RedrawRecord::finish() {
    const bool same = matching_ && matched_ == lastOps_.size();
    if (matching_) {
        // Every operation matched one of the last redraw, in order: they are the last ones.
        if (same) ops_.swap(lastOps_);
        else ops_.assign(lastOps_.begin(), lastOps_.begin() + static_cast<std::ptrdiff_t>(matched_));
        matching_ = false;
    }
    return same;
}

void RedrawRecord::keep() {
    // Each image operation is given its index into images_ again before it is read.
    lastOps_.swap(ops_);
    images_.clear();
    ops_.clear();
}

}  // namespace duskmere
