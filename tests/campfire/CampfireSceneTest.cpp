// Construction of the campfire scene, its invariants over time and its behaviour at odd sizes.

#include <gtest/gtest.h>

#include <cstdint>

#include "CampfireInvariants.h"
#include "CampfireProbe.h"
#include "campfire/CampfireScene.h"
#include "pixels/Canvas.h"
#include "pixels/CanvasHash.h"
#include "sky/Bayer4.h"

namespace duskmere {
namespace {

TEST(CampfireScene, SizesFollowTheHeight) {
    const CampfireScene tall(100, 540, 7);
    EXPECT_EQ(tall.sceneScale(), 2.0);
    EXPECT_EQ(tall.workWidth(), 100 + 660);
    EXPECT_EQ(tall.groundRow(), 540 - 80);
    EXPECT_EQ(tall.fireBaseRow(), 460 + 8);
    EXPECT_EQ(tall.fireWidth(), 24);
    EXPECT_EQ(tall.fireHeight(), 40);
    EXPECT_EQ(tall.maxHeatDecay(), 2);  // (72 + 39) / 40 is 2
    EXPECT_EQ(tall.blockSide(), 12);
    EXPECT_EQ(tall.tileSize(), 16);

    // Small scenes keep the minimum margin, fire and tent sizes.
    const CampfireScene small(10, 20, 7);
    EXPECT_EQ(small.workWidth(), 10 + 64);
    EXPECT_EQ(small.groundRow(), 20 - 2);
    EXPECT_EQ(small.fireBaseRow(), 19);
    EXPECT_EQ(small.fireWidth(), 3);
    EXPECT_EQ(small.fireHeight(), 4);
    EXPECT_EQ(small.maxHeatDecay(), 18);
    EXPECT_EQ(small.blockSide(), 1);
    EXPECT_EQ(small.tileSize(), 1);
}

TEST(CampfireScene, DegenerateSizesBecomeOnePixel) {
    const CampfireScene zero(0, -5, 1);
    EXPECT_EQ(zero.width(), 1);
    EXPECT_EQ(zero.height(), 1);
    EXPECT_EQ(zero.groundRow(), 1);  // no room for ground: the single row is sky
    expectInvariants(zero);
}

TEST(CampfireScene, SkyRowsRunFromZenithToHorizon) {
    const CampfireScene scene(64, 270, 3);
    const auto& rows = scene.skyRows();
    ASSERT_EQ(rows.size(), 270u);
    EXPECT_EQ(rows[0].low, 0xFF0A0302u);
    EXPECT_EQ(rows[0].high, 0xFF120604u);
    EXPECT_EQ(rows[0].frac, 0.0f);
    // The last sky row is the horizon colour in full.
    EXPECT_EQ(rows[229].low, 0xFF28120Cu);
    EXPECT_EQ(rows[229].high, 0xFF341A14u);
    EXPECT_EQ(rows[229].frac, 1.0f);
    for (std::size_t y = 1; y < 230; ++y) {
        const bool sameBand = rows[y].low == rows[y - 1].low;
        if (sameBand) { EXPECT_GT(rows[y].frac, rows[y - 1].frac); }
    }
    for (std::size_t y = 230; y < 270; ++y) {
        EXPECT_EQ(rows[y].low, 0xFF0B100Cu);
        EXPECT_EQ(rows[y].high, 0xFF0B100Cu);
    }
}

TEST(CampfireScene, FreshColumnsHoldDitheredSkyAndSpeckledGround) {
    CampfireScene scene(40, 60, 11);
    const int64_t groundY = scene.groundRow();
    int64_t specks = 0;
    for (int64_t x = 0; x < scene.workWidth(); ++x) {
        for (int64_t y = 0; y < scene.height(); ++y) {
            if (scene.tentAt(x, y)) continue;
            if (y < groundY) {
                const auto& row = scene.skyRows()[static_cast<std::size_t>(y)];
                EXPECT_EQ(scene.baseAt(x, y), row.frac > bayer4At(x, y) ? row.high : row.low);
                EXPECT_TRUE(scene.skyAt(x, y));
                if (scene.ownerAt(x, y) < 0) { EXPECT_FALSE(scene.stickAt(x, y)); }
            } else {
                EXPECT_EQ(scene.baseAt(x, y), 0xFF0B100Cu);
                EXPECT_FALSE(scene.skyAt(x, y));
                if (scene.ownerAt(x, y) < 0 && scene.stickAt(x, y)) ++specks;
            }
        }
    }
    EXPECT_GT(specks, 0);
}

TEST(CampfireScene, MoonIsACrescentLitOnItsRight) {
    const CampfireScene scene(480, 270, 1);
    int64_t bright = 0;
    int64_t brightLeft = 0;
    const int64_t mx = static_cast<int64_t>(480 * 0.78);
    for (const auto& p : scene.moonPixels()) {
        if (!p.bright) continue;
        ++bright;
        if (p.x < mx - 2) ++brightLeft;
    }
    EXPECT_GT(bright, 10);
    EXPECT_EQ(brightLeft, 0);
    EXPECT_LT(bright, static_cast<int64_t>(scene.moonPixels().size()));
}

TEST(CampfireScene, ConstructionPopulatesTheFirstCampAndTrees) {
    const CampfireScene scene(300, 200, 5);
    ASSERT_EQ(scene.allCamps().size(), 1u);
    EXPECT_EQ(scene.allCamps()[0].centerX, 150);
    EXPECT_EQ(scene.fireflies().size(), 3u);
    EXPECT_EQ(CampfireScene(800, 200, 5).fireflies().size(), 10u);
    for (const auto& fly : scene.fireflies()) {
        EXPECT_FALSE(fly.on);
        EXPECT_EQ(fly.timer, fly.span);
        EXPECT_GE(fly.timer, 40);
        EXPECT_LE(fly.timer, 200);
    }
    // Both rows are grown until their next tree no longer fits in the working grid.
    for (std::size_t row = 0; row < 2; ++row) {
        const auto& t = scene.pendingTrees()[row];
        EXPECT_GT(t.cx + static_cast<int64_t>(static_cast<double>(t.height) * t.spread), scene.workWidth() - 3);
    }
    EXPECT_GT(scene.allTrees().size(), 10u);
    EXPECT_EQ(scene.glowLevel(), 0.85f);
    EXPECT_EQ(scene.frameCount(), 0);
    EXPECT_EQ(scene.panCount(), 0);
    expectInvariants(scene);
}

TEST(CampfireScene, InvariantsHoldOverManyScrolls) {
    struct Size {
        int64_t w, h;
        uint64_t seed;
    };
    for (Size size : {Size{64, 48, 3}, Size{200, 120, 8}, Size{90, 300, 21}}) {
        SCOPED_TRACE(std::to_string(size.w) + "x" + std::to_string(size.h));
        CampfireScene scene(size.w, size.h, size.seed);
        std::size_t campsSeen = 0;
        for (int frame = 1; frame <= 6000; ++frame) {
            scene.step();
            campsSeen = std::max(campsSeen, scene.allCamps().size());
            if (frame % 600 == 0) expectInvariants(scene);
            if (testing::Test::HasFailure()) return;
        }
        EXPECT_EQ(scene.panCount(), 1000);
        EXPECT_GE(campsSeen, 1u);
    }
}

}  // namespace
}  // namespace duskmere
