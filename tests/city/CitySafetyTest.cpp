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
