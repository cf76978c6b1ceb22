#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "pixels/RowSpan.h"

namespace duskmere {

// Where the pixels of an image come from, for telling whether an image of the same source can
// be compared with the one made before it by the columns its caller names: the pixels' address,
// and the generation of the canvas that holds them (0: known by address alone).
struct ImageSource {
    const uint32_t* pixels = nullptr;
    uint64_t generation = 0;
    bool operator==(const ImageSource&) const = default;
};

// For one redraw's comparison, per image row: the row as presented, and whether the new image's
// row may differ from it.
struct RowsAsShown {
    std::vector<const uint32_t*> rows;
    std::vector<uint8_t> differs;
};

// The image presented last, and what changed since. A new image is made by bringing the presented
// one up to date in place when nobody else holds it, copying only what changed and keeping the
// presented pixels of those columns aside; so "what was presented" is the side copy within the
// span of a changed row, the image everywhere else. Otherwise the pixels are copied whole.
class PresentedImage {
public:
    using Pixels = std::shared_ptr<const std::vector<uint32_t>>;

    // The image of `pixels` (width x height), or null when it cannot be made. `changed`, when it
    // has a span for every row, names the only columns that can differ from what `source` held at
    // the image made before; it is trusted only when that image was of the same source and was
    // presented.
    Pixels make(const uint32_t* pixels, int64_t width, int64_t height, ImageSource source,
                std::span<const RowSpan> changed);

    // For the redraw that shows `now` (width x height): each row as presented, and whether it may
    // differ; with `wholeRows`, every row as presented is complete, not only its changed span.
    const RowsAsShown& compare(const std::vector<uint32_t>& now, int width, bool wholeRows);
    // The columns of row y to search for changes after compare(): the span that changed when the
    // image was updated in place, else the whole row.
    RowSpan searchSpan(int y, int width) const {
        const size_t at = static_cast<size_t>(y);
        return rowChanged_[at] ? changedColumns_[at] : RowSpan{0, width};
    }

    bool has() const { return presented_ != nullptr; }
    // After a redraw: `shown` (width x height) is now the image presented, or nothing.
    void present(Pixels shown, int width, int height);
    void clear() { presented_.reset(); }

private:
    std::shared_ptr<std::vector<uint32_t>> presented_, spare_;
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> before_;
    std::vector<uint8_t> rowChanged_;
    std::vector<RowSpan> changedColumns_;
    ImageSource lastSource_;
    const std::vector<uint32_t>* lastMade_ = nullptr;
    RowsAsShown shown_;
};

}  // namespace duskmere
