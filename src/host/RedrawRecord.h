#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace duskmere {

// One drawing operation of a redraw, kept until the redraw ends and is painted. Boxes are in
// device pixels with 8 fraction bits, as the reference rasterises paths.
struct DrawOp {
    bool image = false;
    int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    // Fills: premultiplied grey and alpha, 8 bits each.
    unsigned gray = 0, alpha = 255;
    // Images: the pixels (held by the record at index `held` until the redraw ends), their size,
    // and device-to-image scale and offset on each axis. Plain data, as a redraw records
    // hundreds of fills.
    int held = -1;
    int width = 0, height = 0;
    double ax = 1, bx = 0, ay = 1, by = 0;
    // Everything but the image's pixels is the same.
    bool sameShape(const DrawOp& o) const;
};

// The operations of one redraw, and of the redraw before. A redraw usually repeats the one
// before, hundreds of strips and all: while it does, its operations are only checked against the
// last ones, call by call, and not stored again.
class RedrawRecord {
public:
    using Pixels = std::shared_ptr<const std::vector<uint32_t>>;

    // A redraw starts: nothing recorded, matching the last redraw from its first operation.
    void start();
    // The image's pixels, held until the redraw ends; the index an image operation names them by.
    int hold(Pixels pixels);
    void record(const DrawOp& op);
    // The redraw's calls are over: ops() holds them. True when they repeat the last redraw's, one
    // by one and as many.
    bool finish();
    // The last redraw becomes this one; the pixels of its images are let go.
    void keep();

    const std::vector<DrawOp>& ops() const { return ops_; }
    const Pixels& pixels(const DrawOp& image) const { return images_[static_cast<size_t>(image.held)]; }
    const uint32_t* pixelsOf(const DrawOp& image) const { return pixels(image)->data(); }

private:
    std::vector<DrawOp> ops_, lastOps_;
    // While the operations match lastOps_ one by one, matched_ of them so far; ops_ holds them
    // once one differs, or when the redraw ends.
    size_t matched_ = 0;
    bool matching_ = false;
    std::vector<Pixels> images_;  // the images of ops_
};

}  // namespace duskmere
