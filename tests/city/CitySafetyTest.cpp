#include <gtest/gtest.h>

#include <algorithm>

#include "CityProbe.h"

namespace duskmere {
namespace {

// Odd and extreme canvases go through construction, steps across pans, and drawing; the
// sanitizer build turns any overflow or stray index into a failure.
TEST(CitySafety, ExtremeSizesRunThroughPans) {
    const std::pair<int64_t, int64_t> sizes[] = {{1, 1}, {0, 0}, {1, 2000}, {2000, 1}, {3840, 2}, {2, 3840}, {7, 3}};
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        DuskmereScene scene(width, height, 0xDEADBEEFull);
        Canvas canvas(width, height);
        const auto rows = [&](bool front) {
            return std::count_if(scene.allBuildings().begin(), scene.allBuildings().end(),
                                 [&](const auto& b) { return b.front == front; });
        };
        const auto fronts = rows(true), backs = rows(false);
        for (int pan = 1; pan <= 40; ++pan) {
            CityProbe::frame(scene) = pan * DuskmereScene::panFrames - 3;
            for (int i = 0; i < 6; ++i) scene.step();
            scene.draw(canvas);
        }
        for (int i = 0; i < 300; ++i) scene.step();
        scene.draw(canvas);
        EXPECT_EQ(rows(true), fronts);
        EXPECT_EQ(rows(false), backs);
        EXPECT_GE(scene.skylineTopRow(), 0);
        EXPECT_LE(scene.skylineTopRow(), scene.height());
        for (const int16_t o : scene.ownerMap())
            ASSERT_LT(o, static_cast<int64_t>(scene.allBuildings().size()));
    }
}

}  // namespace
}  // namespace duskmere

namespace duskmere {
namespace {

// Far wider than any screen: each row stops short of the edge rather than number more buildings
// than the ownership map's 16-bit indices can name.
TEST(CitySafety, BuildingIndicesStayWithinTheOwnerMap) {
    DuskmereScene scene(600000, 1, 5);  // tile 2: a full row would hold about 23000 buildings
    const auto& all = scene.allBuildings();
    ASSERT_LE(all.size(), 32767u);
    const auto fronts = std::count_if(all.begin(), all.end(), [](const auto& b) { return b.front; });
    EXPECT_EQ(fronts, 16383);
    EXPECT_EQ(static_cast<int64_t>(all.size()) - fronts, 16383);
    const auto [lo, hi] = std::minmax_element(scene.ownerMap().begin(), scene.ownerMap().end());
    EXPECT_GE(*lo, -1);
    EXPECT_EQ(*hi, static_cast<int16_t>(all.size() - 1));
    for (int i = 0; i < 30; ++i) CityProbe::pan(scene);
    scene.step();
    EXPECT_EQ(scene.allBuildings().size(), all.size());
}

}  // namespace
}  // namespace duskmere
