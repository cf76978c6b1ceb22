#include "host/ChangedBoxes.h"

namespace duskmere {

void ChangedBoxes::find(const PaintPlan& p, const std::vector<uint32_t>& now, int iw, int ih, const PresentedImage& presented,
                        const RowsAsShown& before, const ScrollComparison& c, std::vector<DeviceBox>& boxes) {
    constexpr int joinGap = 8;  // unchanged pixels between two changes that still make one box
    std::vector<Run>& open = open_;
    std::vector<Run>& next = next_;
    open.clear();
    const auto emit = [&](const Run& r, int y1) {
        const DeviceBox b = p.cleanBox(r.x0, r.y0, r.x1, y1);
        if (b.x0 < b.x1 && b.y0 < b.y1) boxes.push_back(b);
    };
    for (int y = 0; y <= ih; ++y) {
        next.clear();
        if (y < ih) {
            const uint32_t* a = now.data() + static_cast<size_t>(y) * static_cast<size_t>(iw);
            const uint32_t* b = before.rows[static_cast<size_t>(y)];
            const auto findRuns = [&](int from, int to, auto differs) {
                int x = from;
                while (x < to) {
                    while (x < to && !differs(x)) ++x;
                    if (x == to) break;
                    const int start = x;
                    int last = x;
                    while (x < to && x - last <= joinGap) {
                        if (differs(x)) last = x;
                        ++x;
                    }
                    x = last + 1;
                    next.push_back({start, last + 1, y});
                }
            };
            if (c.dx != 0 && y >= c.rows0 && y < c.rows1) {
                const uint8_t* kind = c.columnKind.data();
                const auto differs = [&](int x) {
                    return kind[x] == ScrollComparison::Moved ? ((a[x] ^ b[x + c.dx]) & 0xFFFFFFu) != 0
                                            : kind[x] == ScrollComparison::Straddles || ((a[x] ^ b[x]) & 0xFFFFFFu) != 0;
                };
                if (c.movedDiffers[static_cast<size_t>(y)]) {
                    findRuns(0, iw, differs);
                } else {
                    // The moved columns all match: only those around them can differ.
                    findRuns(0, c.moved0, differs);
                    findRuns(c.moved1, iw, differs);
                }
            } else if (before.differs[static_cast<size_t>(y)]) {
                // Most rows are unchanged to the byte; only where rows may differ is searched
                // (a row compared here whole was completed to the whole row).
                const RowSpan s = presented.searchSpan(y, iw);
                findRuns(s.x0, s.x1, [&](int x) { return ((a[x] ^ b[x]) & 0xFFFFFFu) != 0; });
            }
        }
        // A run with the same columns as one in the row above extends it.
        size_t j = 0;
        for (Run& r : next) {
            while (j < open.size() && open[j].x0 < r.x0) emit(open[j], y), ++j;
            if (j < open.size() && open[j].x0 == r.x0 && open[j].x1 == r.x1) r.y0 = open[j].y0, ++j;
        }
        while (j < open.size()) emit(open[j], y), ++j;
        open.swap(next);
    }
}

void limitBoxes(std::vector<DeviceBox>& boxes, size_t most) {
    if (boxes.size() <= most || boxes.empty()) return;
    DeviceBox all = boxes.front();
    for (const DeviceBox& b : boxes) all = around(all, b);
    boxes.assign(1, all);
}

}  // namespace duskmere
