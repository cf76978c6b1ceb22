#include "host/PresentedImage.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "host/Compositing.h"

namespace duskmere {

PresentedImage::Pixels PresentedImage::make(const uint32_t* pixels, int64_t width, int64_t height, ImageSource source,
                                            std::span<const RowSpan> hint) {
    // Whether the image presented last holds these very pixels as the image made before saw them.
    const bool upToLast = source == lastSource_ && presented_ && lastMade_ == presented_.get();
    lastSource_ = source;
    lastMade_ = nullptr;
    if (width < 1 || height < 1 || width > compositing::maxExtent || height > compositing::maxExtent) return nullptr;
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (presented_ && presented_.use_count() == 1 && width == width_ && height == height_ &&
        before_.size() == n && rowChanged_.size() == static_cast<size_t>(height) &&
        changedColumns_.size() == rowChanged_.size()) {
        // Nobody else sees the image presented last: bring it up to date row by row, so that a
        // row that did not change costs one read of each side and the redraw knows which did,
        // and between which columns.
        // When it holds the pixels as they were at the image made before, only the columns the
        // caller says may have changed are read.
        const bool trusted = upToLast && hint.size() == static_cast<size_t>(height);
        const size_t w = static_cast<size_t>(width);
        uint32_t* kept = presented_->data();
        uint32_t* shown = before_.data();
        const auto keep = [&](int32_t from, int32_t to) {  // columns as presented, into before_
            if (from < to) std::memcpy(shown + from, kept + from, static_cast<size_t>(to - from) * sizeof(uint32_t));
        };
        const RowSpan whole{0, static_cast<int32_t>(width)};
        for (size_t y = 0; y < static_cast<size_t>(height); ++y, pixels += w, kept += w, shown += w) {
            RowSpan s = whole;
            if (trusted) {
                s.x0 = std::max(hint[y].x0, 0);
                s.x1 = std::min(hint[y].x1, whole.x1);
                if (s.empty()) continue;
            }
            if (std::memcmp(kept + s.x0, pixels + s.x0, static_cast<size_t>(s.x1 - s.x0) * sizeof(uint32_t)) == 0)
                continue;
            // Narrowed to the first and last pixel that differ, so that only those columns are
            // copied and searched: equal blocks are passed over a block at a time.
            constexpr int32_t block = 32;
            while (s.x1 - s.x0 > block && std::memcmp(kept + s.x0, pixels + s.x0, block * sizeof(uint32_t)) == 0)
                s.x0 += block;
            while (kept[s.x0] == pixels[s.x0]) ++s.x0;
            while (s.x1 - s.x0 > block &&
                   std::memcmp(kept + s.x1 - block, pixels + s.x1 - block, block * sizeof(uint32_t)) == 0)
                s.x1 -= block;
            while (kept[s.x1 - 1] == pixels[s.x1 - 1]) --s.x1;
            const size_t from = static_cast<size_t>(s.x0), count = static_cast<size_t>(s.x1 - s.x0);
            // before_ keeps the row as presented within changedColumns_ (elsewhere kept still is):
            // what that span gains is copied there before it changes.
            RowSpan& c = changedColumns_[y];
            if (!rowChanged_[y]) {
                keep(s.x0, s.x1);
                c = s;
            } else {
                keep(std::min(s.x0, c.x0), c.x0);
                keep(c.x1, std::max(s.x1, c.x1));
                c.add(s.x0, s.x1);
            }
            rowChanged_[y] = 1;
            std::memcpy(kept + from, pixels + from, count * sizeof(uint32_t));
        }
        lastMade_ = presented_.get();
        return presented_;
    }
    std::shared_ptr<std::vector<uint32_t>> buffer;
    try {
        // Reuse the buffer of the frame before last when nothing else holds it.
        if (spare_ && spare_.use_count() == 1) {
            buffer = std::move(spare_);
            spare_.reset();
        } else {
            buffer = std::make_shared<std::vector<uint32_t>>();
        }
        buffer->resize(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    std::memcpy(buffer->data(), pixels, n * sizeof(uint32_t));
    lastMade_ = buffer.get();
    return buffer;
}


// Finds, for each image row, the row as presented last and whether `now` may differ from it: known
// already when make() updated the presented image in place, compared here otherwise.
const RowsAsShown& PresentedImage::compare(const std::vector<uint32_t>& now, int width, bool wholeRows) {
    const size_t iw = static_cast<size_t>(width), ih = now.size() / iw;
    const bool inPlace = &now == presented_.get();
    if (!inPlace || wholeRows) {
        // The rows as presented are read whole: complete them outside the spans that changed.
        for (size_t y = 0; y < ih; ++y) {
            RowSpan& c = changedColumns_[y];
            if (!rowChanged_[y] || (c.x0 == 0 && static_cast<size_t>(c.x1) == iw)) continue;
            uint32_t* row = before_.data() + y * iw;
            const uint32_t* kept = presented_->data() + y * iw;
            std::memcpy(row, kept, static_cast<size_t>(c.x0) * sizeof(uint32_t));
            std::memcpy(row + c.x1, kept + c.x1, (iw - static_cast<size_t>(c.x1)) * sizeof(uint32_t));
            c = {0, static_cast<int32_t>(iw)};
        }
    }
    shown_.rows.resize(ih);
    shown_.differs.resize(ih);
    for (size_t y = 0; y < ih; ++y) {
        const uint32_t* before = rowChanged_[y] ? before_.data() + y * iw : presented_->data() + y * iw;
        shown_.rows[y] = before;
        shown_.differs[y] = inPlace ? rowChanged_[y]
                                 : std::memcmp(now.data() + y * iw, before, iw * sizeof(uint32_t)) != 0;
    }
    return shown_;
}

void PresentedImage::present(Pixels pixels, int width, int height) {
    auto shown = std::const_pointer_cast<std::vector<uint32_t>>(std::move(pixels));
    if (shown != presented_) {
        spare_ = std::move(presented_);
        presented_ = std::move(shown);
    }
    width_ = width;
    height_ = height;
    // The image is now what was presented: no row differs from it.
    rowChanged_.assign(static_cast<size_t>(height), 0);
    changedColumns_.resize(rowChanged_.size());
    try {
        before_.resize(presented_->size());
    } catch (const std::bad_alloc&) {
        before_.clear();  // the next image is copied whole instead
    }
}

}  // namespace duskmere
