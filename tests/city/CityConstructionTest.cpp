#include <gtest/gtest.h>

#include <algorithm>

#include "city/DuskmereScene.h"
#include "city/DuskmereSaverView.h"
#include "CityProbe.h"
#include "support/SceneViewCheck.h"

namespace duskmere {
namespace {

struct SizeCase {
    int64_t width, height, w, h, tile, edge;
};

TEST(CityConstruction, TileAndEdgeFollowTheHeight) {
    const SizeCase cases[] = {
        {720, 450, 720, 450, 8, 4},  // 7.5 rounds away from zero
        {853, 480, 853, 480, 8, 4},  // scale exactly 1
        {480, 270, 480, 270, 5, 2},  // 4.5 rounds up to 5
        {296, 184, 296, 184, 3, 1},  // the preview pane
        {1, 1, 1, 1, 2, 1},
        {0, 0, 1, 1, 2, 1},
        {-3, -7, 1, 1, 2, 1},
        {1920, 1080, 1920, 1080, 18, 9},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const DuskmereScene scene(c.width, c.height, 42);
        EXPECT_EQ(scene.width(), c.w);
        EXPECT_EQ(scene.height(), c.h);
        EXPECT_EQ(scene.tileSize(), c.tile);
        EXPECT_EQ(scene.edgeSize(), c.edge);
        EXPECT_EQ(scene.cityScale(), static_cast<double>(c.h) / 480.0);
        EXPECT_EQ(scene.picture().size(), static_cast<std::size_t>(c.w * c.h));
        EXPECT_EQ(scene.ownerMap().size(), static_cast<std::size_t>(c.w * c.h));
    }
}

TEST(CityConstruction, StartsBlackAtFrameZero) {
    const DuskmereScene scene(320, 180, 7);
    EXPECT_TRUE(std::all_of(scene.picture().begin(), scene.picture().end(),
                            [](uint32_t p) { return p == DuskmereScene::black; }));
    EXPECT_EQ(scene.frameCount(), 0);
    EXPECT_EQ(scene.lightAccumulator(), 0.0);
    EXPECT_EQ(scene.starAccumulator(), 0.0);
    EXPECT_EQ(scene.rainAccumulator(), 0.0);
}

// Both rows start at most 17 tiles left of the screen, lie left to right with gaps of whole
// tiles, and run until the next start would reach the right edge.
TEST(CityConstruction, EveryRowIsLaidOutAcrossTheScreen) {
    const int64_t sizes[][2] = {{1, 1}, {64, 48}, {720, 450}, {296, 184}, {1, 2000}, {2000, 1}, {3840, 2}};
    for (const auto& size : sizes) {
        for (uint64_t seed : {0ULL, 1ULL, 99ULL, 0xFFFFFFFFFFFFFFFFULL}) {
            SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]) + " seed " + std::to_string(seed));
            const DuskmereScene scene(size[0], size[1], seed);
            const int64_t tile = scene.tileSize();
            const auto& all = scene.allBuildings();
            const auto firstFront = std::find_if(all.begin(), all.end(), [](const auto& b) { return b.front; });
            ASSERT_TRUE(std::all_of(firstFront, all.end(), [](const auto& b) { return b.front; }))
                << "back buildings must all come before the front row";
            for (const bool front : {true, false}) {
                std::vector<std::pair<int64_t, int64_t>> row;  // x, pixel width
                for (const auto& b : all)
                    if (b.front == front) row.emplace_back(b.x, b.widthTiles * tile);
                ASSERT_FALSE(row.empty());
                EXPECT_LE(row.front().first, 0);
                EXPECT_GE(row.front().first, -17 * tile);
                for (std::size_t i = 1; i < row.size(); ++i) {
                    const int64_t gap = row[i].first - (row[i - 1].first + row[i - 1].second);
                    EXPECT_EQ(gap % tile, 0);
                    EXPECT_GE(gap, 0);
                    EXPECT_LE(gap, (front ? 2 : 5) * tile);
                    EXPECT_LT(row[i].first, scene.width());
                }
                // The row ends only once the next start would reach the edge.
                EXPECT_GT(row.back().first + row.back().second + (front ? 2 : 5) * tile, scene.width() - 1);
            }
        }
    }
}

TEST(CityConstruction, ColoursAndShapesStayInTheirRanges) {
    for (uint64_t seed = 0; seed < 40; ++seed) {
        const DuskmereScene scene(720, 450, seed);  // maxT 25
        for (const auto& b : scene.allBuildings()) {
            EXPECT_GE(b.widthTiles, 5);
            EXPECT_LE(b.widthTiles, 17);
            EXPECT_GE(b.style, 0);
            EXPECT_LE(b.style, 5);
            EXPECT_EQ(b.lights, 0);
            if (b.front) {
                EXPECT_TRUE(b.color == 0xFF03F1F8u || b.color == 0xFF00C0D4u);
                EXPECT_GE(b.heightTiles, 3);
                EXPECT_LE(b.heightTiles, 15);
            } else {
                EXPECT_TRUE(b.color == 0xFF00C0D4u || b.color == 0xFF0094A8u);
                EXPECT_GE(b.heightTiles, 11);  // 40 % of the tallest, plus one
            }
        }
    }
}

TEST(CityConstruction, SameSeedSameCity) {
    const DuskmereScene a(500, 300, 77), b(500, 300, 77), c(500, 300, 78);
    ASSERT_EQ(a.allBuildings().size(), b.allBuildings().size());
    for (std::size_t i = 0; i < a.allBuildings().size(); ++i) {
        const auto& x = a.allBuildings()[i];
        const auto& y = b.allBuildings()[i];
        EXPECT_EQ(std::tie(x.x, x.widthTiles, x.heightTiles, x.style, x.color, x.front, x.visible),
                  std::tie(y.x, y.widthTiles, y.heightTiles, y.style, y.color, y.front, y.visible));
    }
    EXPECT_EQ(a.ownerMap(), b.ownerMap());
    EXPECT_EQ(a.skylineTopRow(), b.skylineTopRow());
    EXPECT_EQ(a.rngState(), b.rngState());
    ASSERT_EQ(a.allSpires().size(), b.allSpires().size());
    for (std::size_t i = 0; i < a.allSpires().size(); ++i) {
        const auto& s = a.allSpires()[i];
        const auto& t = b.allSpires()[i];
        EXPECT_EQ(std::tie(s.building, s.x, s.y, s.height, s.phase), std::tie(t.building, t.x, t.y, t.height, t.phase));
    }
    EXPECT_NE(a.ownerMap(), c.ownerMap());
}

TEST(CitySaverView, ShowsTheCityAtAbout450Rows) {
    testing::expectViewShowsItsScene<DuskmereSaverView, DuskmereScene>(450.0, 720, 450, 0xC17Cu);
}

}  // namespace
}  // namespace duskmere
