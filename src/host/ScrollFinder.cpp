#include "host/ScrollFinder.h"

#include <algorithm>

namespace duskmere {

std::optional<DeviceShift> ScrollFinder::find(const PaintPlan& p, const std::vector<uint32_t>& now, int iw, int ih,
                                               const RowsAsShown& before, ScrollComparison& comparison) {
    const auto nowRow = [&](int y) { return now.data() + static_cast<size_t>(y) * static_cast<size_t>(iw); };
    // Pixels that differ in place, per row; only a large change can be a scroll.
    std::vector<int64_t>& inPlace = inPlace_;
    inPlace.assign(static_cast<size_t>(ih), 0);
    int64_t changed = 0;
    for (int y = 0; y < ih; ++y) {
        if (!before.differs[static_cast<size_t>(y)]) continue;
        const uint32_t *a = nowRow(y), *b = before.rows[static_cast<size_t>(y)];
        int64_t n = 0;
        for (int x = 0; x < iw; ++x) n += ((a[x] ^ b[x]) & 0xFFFFFFu) != 0;
        inPlace[static_cast<size_t>(y)] = n;
        changed += n;
    }
    if (changed * 16 < static_cast<int64_t>(iw) * ih || iw < 2) return std::nullopt;

    // Per row, the pixels a move by dx spares; the band runs from the first row it helps to the last.
    int bestDx = 0, bestRow0 = 0, bestRow1 = 0;
    int64_t bestGain = 0;
    std::vector<int64_t> gain(static_cast<size_t>(ih));
    std::vector<uint8_t> differs(static_cast<size_t>(ih));
    for (const int dx : {1, -1}) {
        int row0 = -1, row1 = -1;
        for (int y = 0; y < ih; ++y) {
            const uint32_t *a = nowRow(y), *b = before.rows[static_cast<size_t>(y)];
            int64_t moved = 0;
            for (int x = std::max(0, -dx), end = iw - std::max(0, dx); x < end; ++x) moved += ((a[x] ^ b[x + dx]) & 0xFFFFFFu) != 0;
            differs[static_cast<size_t>(y)] = moved != 0;
            gain[static_cast<size_t>(y)] = inPlace[static_cast<size_t>(y)] - (moved + 1);  // and the column that comes in
            if (gain[static_cast<size_t>(y)] > 0) {
                if (row0 < 0) row0 = y;
                row1 = y + 1;
            }
        }
        int64_t total = 0;
        for (int y = row0; y >= 0 && y < row1; ++y) total += gain[static_cast<size_t>(y)];
        if (total > bestGain) {
            bestGain = total, bestDx = dx, bestRow0 = row0, bestRow1 = row1;
            comparison.movedDiffers.swap(differs);
            differs.resize(static_cast<size_t>(ih));
        }
        if (bestGain * 4 > changed * 3) break;  // it spares most of the change: look no further
    }
    if (bestGain * 2 < changed) return std::nullopt;

    const int dk = bestDx * p.shiftStep;
    const int ax0 = p.cleanX0 + std::max(0, -dk), ax1 = p.cleanX1 - std::max(0, dk);
    const int ay0 = std::max(p.firstRow[static_cast<size_t>(bestRow0)], p.cleanY0);
    const int ay1 = std::min(p.firstRow[static_cast<size_t>(bestRow1)], p.cleanY1);
    if (ax0 >= ax1 || ay0 >= ay1) return std::nullopt;
    ScrollComparison& c = comparison;
    c.dx = bestDx;
    c.rows0 = bestRow0;
    c.rows1 = bestRow1;
    c.columnKind.resize(static_cast<size_t>(iw));
    c.moved0 = iw;
    c.moved1 = 0;
    for (int i = 0; i < iw; ++i) {
        const int c0 = std::max(p.firstColumn[static_cast<size_t>(i)], p.cleanX0);
        const int c1 = std::min(p.firstColumn[static_cast<size_t>(i) + 1], p.cleanX1);
        ScrollComparison::ColumnKind kind = ScrollComparison::Straddles;
        if (c0 >= c1 || c1 <= ax0 || c0 >= ax1)
            kind = ScrollComparison::Kept;
        else if (c0 >= ax0 && c1 <= ax1)
            kind = ScrollComparison::Moved;
        c.columnKind[static_cast<size_t>(i)] = kind;
        if (kind == ScrollComparison::Moved) c.moved0 = std::min(c.moved0, i), c.moved1 = i + 1;
    }
    return DeviceShift{{ax0, ay0, ax1, ay1}, dk};
}

}  // namespace duskmere
