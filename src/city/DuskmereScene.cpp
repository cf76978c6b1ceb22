#include "city/DuskmereScene.h"

#include <algorithm>
#include <cmath>

namespace duskmere {

namespace {

int64_t atLeastOne(int64_t size) { return size < 2 ? 1 : size; }

int64_t tileFor(double scale) {
    const auto t = static_cast<int64_t>(std::round(scale * 8.0));
    return t < 2 ? 2 : t;
}

// The ownership map holds building indices as int16_t; keeping each row below half of that
// leaves every index representable whatever the canvas width.
constexpr std::size_t maxRowBuildings = 16383;

}  // namespace

DuskmereScene::DuskmereScene(int64_t width, int64_t height, uint64_t seed)
    : w(atLeastOne(width)),
      h(atLeastOne(height)),
      rng(seed),
      buf(static_cast<std::size_t>(w * h), black),
      owner(static_cast<std::size_t>(w * h), int16_t{-1}),
      scale(static_cast<double>(h) / 480.0),
      tile(tileFor(scale)),
      edge(tile / 2),
      toCopy(static_cast<std::size_t>(h), RowSpan{0, static_cast<int32_t>(w)}) {
    std::vector<Building> fronts;
    std::vector<Building> backs;
    for (const bool front : {true, false}) {
        std::vector<Building>& row = front ? fronts : backs;
        int64_t x = -rng.intIn(0, tile * 17);
        while (x < w && row.size() < maxRowBuildings) {
            const Building b = place(front, x, row, fronts);
            row.push_back(b);
            x = x + b.widthTiles * tile + gap(front);
        }
    }
    buildings = std::move(backs);
    buildings.insert(buildings.end(), fronts.begin(), fronts.end());
    rowScratch.reserve(buildings.size());
    frontScratch.reserve(buildings.size());
    orderScratch.reserve(buildings.size());
    spires.reserve(3);
    rebuildOwner();
}

int64_t DuskmereScene::maxTiles() const { return (h * 45 / 100) / tile; }

}  // namespace duskmere
