#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "CityProbe.h"

namespace duskmere {
namespace {

using Building = CityProbe::Building;

Building B(int64_t x, int64_t widthTiles, int64_t heightTiles, bool front, int64_t style = 0) {
    return CityProbe::building(x, widthTiles, heightTiles, front, style, DuskmereScene::lightColors[0]);
}

// Lights windows until (nearly) every window pixel of the skyline band has been tried.
void lightMany(DuskmereScene& scene, int rounds) {
    for (int i = 0; i < rounds; ++i) {
        CityProbe::lightAcc(scene) = 50000.0;
        CityProbe::lightWindows(scene);
    }
}

TEST(CityStep, WindowsFollowTheStylePatternsInsideTheMargins) {
    // Tile 8: one pattern bit per pixel. Tile 5 (h 300): columns and rows 0, 1, 3, 4, 6 of the
    // pattern are sampled.
    for (const int64_t h : {480, 300}) {
        for (int64_t style = 0; style < 6; ++style) {
            DuskmereScene scene(120, h, 30 + static_cast<uint64_t>(style));
            const int64_t tile = scene.tileSize(), edge = scene.edgeSize();
            // Two buildings side by side and one in front, partly off screen on the left.
            CityProbe::setSkyline(scene, {B(-3, 10, 20, false, style), B(-3 + 10 * tile, 12, 21, false, style),
                                          B(50, 5, 6, true, style)});
            lightMany(scene, 8);
            const auto& buf = scene.picture();
            for (int64_t y = 0; y < h; ++y) {
                for (int64_t x = 0; x < 120; ++x) {
                    const int16_t o = scene.ownerMap()[static_cast<std::size_t>(y * 120 + x)];
                    bool window = false;
                    if (o >= 0) {
                        const auto& b = scene.allBuildings()[static_cast<std::size_t>(o)];
                        const int64_t lx = x - b.x, ly = y - (h - b.heightTiles * tile);
                        const auto bits = DuskmereScene::styles[static_cast<std::size_t>(style)]
                                                               [static_cast<std::size_t>((h - 1 - y) % tile * 8 / tile)];
                        window = lx >= edge && lx < b.widthTiles * tile - edge && ly >= edge &&
                                 ((bits >> (7 - (lx % tile) * 8 / tile)) & 1);
                    }
                    ASSERT_EQ(buf[static_cast<std::size_t>(y * 120 + x)] != DuskmereScene::black, window)
                        << "h " << h << " style " << style << " at " << x << "," << y;
                }
            }
            // Relighting a lit pixel is not counted: every switch-on left exactly one lit pixel.
            for (std::size_t i = 0; i < scene.allBuildings().size(); ++i) {
                int64_t lit = 0;
                for (std::size_t p = 0; p < buf.size(); ++p)
                    lit += scene.ownerMap()[p] == static_cast<int16_t>(i) && buf[p] != DuskmereScene::black;
                EXPECT_EQ(scene.allBuildings()[i].lights, lit);
                // At tile 5 the slits of style 3 fall between the sampled pattern columns.
                EXPECT_TRUE(lit > 0 || (tile == 5 && style == 3));
            }
        }
    }
}

TEST(CityStep, StyleZeroAtTileEightLightsSinglePixels) {
    DuskmereScene scene(120, 480, 2);
    CityProbe::setSkyline(scene, {B(0, 15, 10, false, 0)});
    lightMany(scene, 4);
    std::set<std::pair<int64_t, int64_t>> seen;
    for (int64_t y = 0; y < 480; ++y)
        for (int64_t x = 0; x < 120; ++x)
            if (scene.picture()[static_cast<std::size_t>(y * 120 + x)] != DuskmereScene::black)
                seen.emplace(x % 8, (479 - y) % 8);
    EXPECT_EQ(seen, (std::set<std::pair<int64_t, int64_t>>{{1, 1}, {1, 5}, {5, 1}, {5, 5}}));
}

TEST(CityStep, ALitPixelThatWasErasedCountsAgain) {
    DuskmereScene scene(120, 480, 2);
    CityProbe::setSkyline(scene, {B(0, 15, 10, false, 5)});
    lightMany(scene, 4);
    const int64_t before = scene.allBuildings()[0].lights;
    auto& buf = CityProbe::buf(scene);
    const auto lit = std::find(buf.begin(), buf.end(), DuskmereScene::lightColors[0]);
    ASSERT_NE(lit, buf.end());
    *lit = DuskmereScene::black;
    lightMany(scene, 4);
    EXPECT_EQ(scene.allBuildings()[0].lights, before + 1);
}

TEST(CityStep, AttemptsTakeTheirDrawsOnlyWhenNeeded) {
    // No building on screen: the band is the bottom row alone, so the row takes no draw.
    DuskmereScene empty(100, 480, 3);
    CityProbe::setSkyline(empty, {});
    EXPECT_EQ(empty.skylineTopRow(), 480);
    CityProbe::lightAcc(empty) = 10.99;  // + 100 x 1 x 0.0008 = 11.07: eleven attempts
    uint64_t before = empty.rngState();
    CityProbe::lightWindows(empty);
    EXPECT_EQ(drawsBetween(before, empty.rngState()), 11u);
    EXPECT_NEAR(empty.lightAccumulator(), 0.07, 1e-9);

    // One column: the column takes no draw.
    DuskmereScene narrow(1, 480, 3);
    CityProbe::setSkyline(narrow, {B(-10, 5, 10, true)});
    CityProbe::lightAcc(narrow) = 4.0;
    before = narrow.rngState();
    CityProbe::lightWindows(narrow);
    EXPECT_EQ(drawsBetween(before, narrow.rngState()), 4u);
}

TEST(CityStep, StarsLandOnlyOnSky) {
    DuskmereScene scene(300, 200, 5);
    CityProbe::starAcc(scene) = 20000.0;
    CityProbe::scatterStars(scene);
    int stars = 0;
    for (std::size_t i = 0; i < scene.picture().size(); ++i) {
        const uint32_t p = scene.picture()[i];
        if (p == DuskmereScene::black) continue;
        ++stars;
        ASSERT_LT(scene.ownerMap()[i], 0);
        EXPECT_LT(p & 0xFFu, 180u);
        EXPECT_LT((p >> 8) & 0xFFu, 180u);
        EXPECT_EQ(p >> 24, 0xFFu);
    }
    EXPECT_GT(stars, 5000);
}

TEST(CityStep, StarColourAndRowComeFromTheirDraws) {
    DuskmereScene scene(300, 200, 5);
    CityProbe::setSkyline(scene, {});
    CityProbe::starAcc(scene) = 1.0 - 3e-6 * 60000.0 + 1e-9;  // exactly one star this time
    RNG replay = CityProbe::rng(scene);
    const double u = replay.unit();
    const auto y = static_cast<int64_t>(std::pow(u, 1.5) * 200.0);
    const int64_t x = replay.intBelow(300);
    const uint32_t r = static_cast<uint32_t>(replay.intBelow(180)), g = static_cast<uint32_t>(replay.intBelow(180)),
                   b = static_cast<uint32_t>(replay.intBelow(256));
    CityProbe::scatterStars(scene);
    EXPECT_EQ(scene.rngState(), replay.state);
    EXPECT_EQ(scene.picture()[static_cast<std::size_t>(y * 300 + x)], 0xFF000000u | b << 16 | g << 8 | r);
}

TEST(CityStep, EraseDiscsAreRoundAndClipped) {
    // Scale 1 at 480 rows: the diameter is the drawn n. One disc per call from rainAcc 1.
    const std::size_t expected[] = {0, 0, 4, 9, 12, 21, 32, 37, 52, 69, 80, 97, 112, 137, 156, 177};
    std::set<int64_t> diameters;
    for (uint64_t seed = 0; seed < 400 && diameters.size() < 14; ++seed) {
        DuskmereScene scene(100, 480, seed);
        auto& buf = CityProbe::buf(scene);
        std::fill(buf.begin(), buf.end(), 0xFFFFFFFFu);
        CityProbe::rainAcc(scene) = 1.0;  // + 0.2 this frame
        RNG replay = CityProbe::rng(scene);
        const int64_t d = replay.intIn(2, 15);
        const int64_t x0 = replay.intIn(-d, 100), y0 = replay.intIn(-d, 480);
        CityProbe::eraseDiscs(scene);
        EXPECT_EQ(scene.rngState(), replay.state);
        std::size_t erased = 0;
        for (int64_t y = 0; y < 480; ++y)
            for (int64_t x = 0; x < 100; ++x)
                if (buf[static_cast<std::size_t>(y * 100 + x)] == DuskmereScene::black) {
                    ++erased;
                    ASSERT_TRUE(x >= x0 && x < x0 + d && y >= y0 && y < y0 + d);
                }
        const bool inside = x0 >= 0 && y0 >= 0 && x0 + d <= 100 && y0 + d <= 480;
        if (inside) {
            EXPECT_EQ(erased, expected[d]) << "diameter " << d;
            diameters.insert(d);
        } else {
            EXPECT_LE(erased, expected[d]);
        }
    }
    EXPECT_EQ(diameters.size(), 14u);
}

TEST(CityStep, TinyScalesEraseSinglePixels) {
    DuskmereScene scene(64, 48, 1);  // scale 0.1: every diameter truncates below 2
    auto& buf = CityProbe::buf(scene);
    std::fill(buf.begin(), buf.end(), 0xFFFFFFFFu);
    CityProbe::rainAcc(scene) = 0.0;  // + 1.28: one disc
    CityProbe::eraseDiscs(scene);
    EXPECT_LE(std::count(buf.begin(), buf.end(), DuskmereScene::black), 1);
}

TEST(CityStep, PansOnFrames9000And18000) {
    DuskmereScene scene(64, 48, 3);
    const int64_t x0 = scene.allBuildings()[0].x;
    for (int f = 1; f < 9000; ++f) scene.step();
    EXPECT_EQ(scene.allBuildings()[0].x, x0);
    scene.step();
    EXPECT_EQ(scene.frameCount(), 9000);
    EXPECT_EQ(scene.allBuildings()[0].x, x0 - 1);
    CityProbe::frame(scene) = 17998;
    scene.step();
    EXPECT_EQ(scene.allBuildings()[0].x, x0 - 1);
    scene.step();
    EXPECT_EQ(scene.allBuildings()[0].x, x0 - 2);
}

}  // namespace
}  // namespace duskmere
