// The skyline's slow drift to the left.
#include <algorithm>
#include <cstring>

#include "city/DuskmereScene.h"

namespace duskmere {

void DuskmereScene::pan() {
    for (int64_t y = 0; y < h; ++y) {
        uint32_t* row = buf.data() + y * w;
        std::memmove(row, row + 1, static_cast<std::size_t>(w - 1) * sizeof(uint32_t));
        row[w - 1] = black;
    }
    markAll();
    for (Building& b : buildings) b.x -= 1;

    for (const bool front : {false, true}) {
        const auto gone = [&](const Building& b) { return b.front == front && right(b) <= 0; };
        const auto n = std::count_if(buildings.begin(), buildings.end(), gone);
        if (n == 0) continue;
        buildings.erase(std::remove_if(buildings.begin(), buildings.end(), gone), buildings.end());

        for (int64_t k = 0; k < n; ++k) {
            rowScratch.clear();
            frontScratch.clear();
            for (const Building& b : buildings) {
                if (b.front == front) rowScratch.push_back(b);
                if (b.front) frontScratch.push_back(b);
            }
            std::stable_sort(rowScratch.begin(), rowScratch.end(),
                             [](const Building& a, const Building& b) { return a.x < b.x; });
            const int64_t end = rowScratch.empty() ? w : right(rowScratch.back());
            const int64_t x0 = std::max(w, end + gap(front));
            const Building b = place(front, x0, rowScratch, frontScratch);
            if (front) {
                buildings.push_back(b);
            } else {
                const auto firstFront =
                    std::find_if(buildings.begin(), buildings.end(), [](const Building& o) { return o.front; });
                buildings.insert(firstFront, b);
            }
        }
    }
    rebuildOwner();
}

}  // namespace duskmere
