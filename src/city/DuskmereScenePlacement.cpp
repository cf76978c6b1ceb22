// Inventing buildings and mapping which one covers each pixel.
#include <algorithm>
#include <cstdlib>
#include <numeric>

#include "city/DuskmereScene.h"

namespace duskmere {

DuskmereScene::Building DuskmereScene::makeBuilding(bool front) {
    const int64_t m = std::max<int64_t>(maxTiles(), 1);
    const double u = rng.unit();
    const double f = front ? u * 0.5 + 0.1 : u * 0.6 + 0.4;
    Building b{};
    b.heightTiles = static_cast<int64_t>(f * static_cast<double>(m)) + 1;
    b.widthTiles = rng.intIn(5, 17);
    b.style = rng.intBelow(static_cast<int64_t>(styles.size()));
    const int64_t c = rng.intBelow(2);
    b.color = lightColors[static_cast<std::size_t>(front ? c : c + 1)];
    b.x = w;
    b.front = front;
    b.visible = 0;
    b.lights = 0;
    return b;
}

int64_t DuskmereScene::gap(bool front) { return tile * rng.intBelow(front ? 3 : 6); }

DuskmereScene::Building DuskmereScene::place(bool front, int64_t x, const std::vector<Building>& after,
                                             const std::vector<Building>& fronts) {
    const int64_t maxT = maxTiles();
    const int64_t m = std::max<int64_t>(maxT, 1);
    int64_t minDiff = front ? (13 * m) / 100 : (17 * m) / 100;
    if (minDiff == 0) minDiff = 1;
    const int64_t margin = maxT > 6 ? (m * 15) / 100 : 1;

    // The first roll is thrown away; its draws still count.
    (void)makeBuilding(front);

    Building cand{};
    for (int candidate = 1;; ++candidate) {
        cand = makeBuilding(front);
        if (!front) {
            // Back buildings must rise above the front buildings in front of them.
            // The front row lies left to right without overlaps, so the buildings ending after x
            // start at a partition point and the overlapping ones follow it.
            const int64_t candRight = x + cand.widthTiles * tile;
            int64_t top = 0;
            auto b = std::partition_point(fronts.begin(), fronts.end(),
                                          [&](const Building& f) { return right(f) <= x; });
            for (; b != fronts.end() && b->x < candRight; ++b) top = std::max(top, b->heightTiles);
            if (cand.heightTiles < top + margin) cand.heightTiles = top + margin + rng.intIn(0, margin);
        }
        if (after.empty()) break;

        const Building& last = after.back();
        bool fails = std::abs(cand.widthTiles - last.widthTiles) < 3 || cand.style == last.style ||
                     cand.color == last.color;
        const std::size_t firstNeighbour = after.size() >= 2 ? after.size() - 2 : 0;
        for (std::size_t i = firstNeighbour; i < after.size() && !fails; ++i)
            if (std::abs(cand.heightTiles - after[i].heightTiles) < minDiff) fails = true;
        if (!fails || candidate == 80) break;
    }
    cand.x = x;
    return cand;
}

void DuskmereScene::rebuildOwner() {
    std::fill(owner.begin(), owner.end(), int16_t{-1});
    skylineTop = h;
    for (std::size_t i = 0; i < buildings.size(); ++i) {
        const Building& b = buildings[i];
        const int64_t x0 = std::max<int64_t>(b.x, 0);
        const int64_t x1 = std::min<int64_t>(right(b), w);
        if (x0 >= x1) continue;
        const int64_t top = std::max<int64_t>(h - b.heightTiles * tile, 0);
        const auto id = static_cast<int16_t>(i);
        for (int64_t y = top; y < h; ++y) {
            int16_t* row = owner.data() + y * w;
            std::fill(row + x0, row + x1, id);
        }
        skylineTop = std::min(skylineTop, top);
    }

    for (Building& b : buildings) b.visible = 0;
    for (const int16_t o : owner)
        if (o >= 0) ++buildings[static_cast<std::size_t>(o)].visible;

    // Masts go on the tallest buildings whose top centre is their own, well apart.
    spires.clear();
    orderScratch.resize(buildings.size());
    std::iota(orderScratch.begin(), orderScratch.end(), int64_t{0});
    std::stable_sort(orderScratch.begin(), orderScratch.end(), [this](int64_t a, int64_t b) {
        return buildings[static_cast<std::size_t>(a)].heightTiles > buildings[static_cast<std::size_t>(b)].heightTiles;
    });
    for (const int64_t i : orderScratch) {
        const Building& b = buildings[static_cast<std::size_t>(i)];
        const int64_t cx = b.x + (b.widthTiles * tile) / 2;
        const int64_t ty = h - b.heightTiles * tile;
        if (cx < 0 || cx >= w || ty < 0) continue;
        if (owner[static_cast<std::size_t>(ty * w + cx)] != i) continue;
        bool crowded = false;
        for (const Spire& s : spires)
            if (std::abs(s.x - cx) < 12 * tile) crowded = true;
        if (crowded) continue;
        const int64_t k = b.widthTiles * 31 + b.heightTiles * 17 + b.style * 7;
        const auto height = static_cast<int64_t>(static_cast<double>(k % 14 + 11) * scale);
        spires.push_back(Spire{i, cx, ty, height, k * 5});
        if (spires.size() == 3) break;
    }
}

}  // namespace duskmere
