#include <gtest/gtest.h>

#include <cstdlib>

#include "CityProbe.h"

namespace duskmere {
namespace {

using Building = CityProbe::Building;

Building B(int64_t x, int64_t widthTiles, int64_t heightTiles, bool front, int64_t style = 0,
           uint32_t color = DuskmereScene::lightColors[1]) {
    return CityProbe::building(x, widthTiles, heightTiles, front, style, color);
}

TEST(CityPlacement, GapsAreWholeTilesFromOneDraw) {
    DuskmereScene scene(720, 450, 5);
    bool seen[6] = {};
    for (int i = 0; i < 300; ++i) {
        for (const bool front : {true, false}) {
            const uint64_t before = CityProbe::rng(scene).state;
            const int64_t g = CityProbe::gap(scene, front);
            EXPECT_EQ(drawsBetween(before, CityProbe::rng(scene).state), 1u);
            ASSERT_EQ(g % 8, 0);
            EXPECT_LE(g / 8, front ? 2 : 5);
            seen[g / 8] = true;
        }
    }
    for (bool s : seen) EXPECT_TRUE(s);
}

TEST(CityPlacement, FirstOfARowIsTheSecondRoll) {
    for (const bool front : {true, false}) {
        DuskmereScene scene(720, 450, 11);
        DuskmereScene replay = scene;
        const uint64_t before = CityProbe::rng(scene).state;
        const Building b = CityProbe::place(scene, front, -17, {}, {});
        EXPECT_EQ(drawsBetween(before, CityProbe::rng(scene).state), 8u);
        CityProbe::makeBuilding(replay, front);
        const Building want = CityProbe::makeBuilding(replay, front);
        EXPECT_EQ(b.x, -17);
        EXPECT_EQ(b.heightTiles, want.heightTiles);
        EXPECT_EQ(b.widthTiles, want.widthTiles);
        EXPECT_EQ(b.style, want.style);
        EXPECT_EQ(b.color, want.color);
        EXPECT_EQ(b.front, front);
    }
}

TEST(CityPlacement, BackBuildingsRiseAboveOverlappingFronts) {
    // maxT 25: margin 3. A 30-tile front building forces every candidate up to 33..36.
    for (uint64_t seed = 0; seed < 30; ++seed) {
        DuskmereScene scene(720, 450, seed);
        const std::vector<Building> fronts = {B(0, 5, 4, true), B(100, 10, 30, true), B(600, 5, 40, true)};
        const uint64_t before = CityProbe::rng(scene).state;
        const Building b = CityProbe::place(scene, false, 120, {}, fronts);
        EXPECT_EQ(drawsBetween(before, CityProbe::rng(scene).state), 9u);
        EXPECT_GE(b.heightTiles, 33);
        EXPECT_LE(b.heightTiles, 36);
    }
}

TEST(CityPlacement, FrontsThatOnlyTouchTheSpanDoNotLift) {
    DuskmereScene scene(720, 450, 3);
    DuskmereScene replay = scene;
    // Spans [0, 80) and [x + width, ...) only touch a candidate starting at 80.
    const Building b = CityProbe::place(scene, false, 80, {}, {B(0, 10, 40, true), B(80 + 17 * 8, 5, 40, true)});
    CityProbe::makeBuilding(replay, false);
    const Building natural = CityProbe::makeBuilding(replay, false);
    EXPECT_EQ(CityProbe::rng(scene).state, CityProbe::rng(replay).state);
    EXPECT_EQ(b.heightTiles, natural.heightTiles);  // 11..25, never below margin 3
}

bool looksAlike(const Building& c, const std::vector<Building>& after, int64_t minDiff) {
    const Building& last = after.back();
    if (std::abs(c.heightTiles - last.heightTiles) < minDiff) return true;
    if (after.size() >= 2 && std::abs(c.heightTiles - after[after.size() - 2].heightTiles) < minDiff) return true;
    return std::abs(c.widthTiles - last.widthTiles) < 3 || c.style == last.style || c.color == last.color;
}

// Replays each call's candidates and checks that exactly the last one is accepted.
TEST(CityPlacement, CandidatesAreRolledUntilTheyDifferFromTheirNeighbours) {
    const std::vector<std::vector<Building>> afters = {
        {B(0, 10, 9, true, 2, DuskmereScene::lightColors[1])},
        {B(0, 10, 9, true, 2, DuskmereScene::lightColors[1]), B(90, 7, 4, true, 4, DuskmereScene::lightColors[0])},
        // The first of three is too far back to matter.
        {B(-80, 10, 9, true, 1, DuskmereScene::lightColors[0]), B(0, 12, 5, true, 3, DuskmereScene::lightColors[1]),
         B(100, 6, 14, true, 0, DuskmereScene::lightColors[2])},
    };
    int multiCandidate = 0;
    for (const bool front : {true, false}) {
        const int64_t minDiff = front ? 3 : 4;
        for (const auto& after : afters) {
            for (uint64_t seed = 0; seed < 60; ++seed) {
                DuskmereScene scene(720, 450, seed);
                DuskmereScene replay = scene;
                const uint64_t before = CityProbe::rng(scene).state;
                const Building b = CityProbe::place(scene, front, 500, after, {});
                const uint64_t draws = drawsBetween(before, CityProbe::rng(scene).state);
                ASSERT_EQ(draws % 4, 0u);
                const uint64_t candidates = draws / 4 - 1;
                ASSERT_GE(candidates, 1u);
                ASSERT_LE(candidates, 80u);
                if (candidates > 1) ++multiCandidate;
                CityProbe::makeBuilding(replay, front);
                for (uint64_t k = 1; k <= candidates; ++k) {
                    const Building c = CityProbe::makeBuilding(replay, front);
                    if (k < candidates) {
                        EXPECT_TRUE(looksAlike(c, after, minDiff)) << "candidate " << k << " was good enough";
                    } else {
                        EXPECT_EQ(b.heightTiles, c.heightTiles);
                        EXPECT_EQ(b.widthTiles, c.widthTiles);
                        EXPECT_EQ(b.style, c.style);
                        EXPECT_EQ(b.color, c.color);
                        EXPECT_FALSE(looksAlike(c, after, minDiff));
                    }
                }
                EXPECT_EQ(b.x, 500);
            }
        }
    }
    EXPECT_GT(multiCandidate, 100);
}

TEST(CityPlacement, EightyCandidatesAtMost) {
    // At one row every building is one tile high, so each candidate matches its neighbour's height.
    for (const bool front : {true, false}) {
        DuskmereScene scene(1, 1, 8);
        DuskmereScene replay = scene;
        const std::vector<Building> after = {B(-10, 5, 1, front)};
        const uint64_t before = CityProbe::rng(scene).state;
        const Building b = CityProbe::place(scene, front, 0, after, {});
        EXPECT_EQ(drawsBetween(before, CityProbe::rng(scene).state), 4u + 80u * 4u);
        for (int k = 0; k < 80; ++k) CityProbe::makeBuilding(replay, front);
        const Building last = CityProbe::makeBuilding(replay, front);
        EXPECT_EQ(b.widthTiles, last.widthTiles);
        EXPECT_EQ(b.style, last.style);
        EXPECT_EQ(b.heightTiles, 1);
    }
}

TEST(CityOwnership, LaterBuildingsCoverEarlierOnes) {
    DuskmereScene scene(200, 480, 1);  // tile 8
    CityProbe::setSkyline(scene, {B(0, 10, 20, false), B(40, 10, 5, true)});
    auto at = [&](int64_t x, int64_t y) { return scene.ownerMap()[static_cast<std::size_t>(y * 200 + x)]; };
    EXPECT_EQ(at(50, 479), 1);
    EXPECT_EQ(at(50, 440), 1);
    EXPECT_EQ(at(50, 439), 0);
    EXPECT_EQ(at(0, 320), 0);
    EXPECT_EQ(at(0, 319), -1);
    EXPECT_EQ(at(119, 479), 1);
    EXPECT_EQ(at(120, 479), -1);
    EXPECT_EQ(scene.allBuildings()[0].visible, 80 * 160 - 40 * 40);
    EXPECT_EQ(scene.allBuildings()[1].visible, 80 * 40);
    EXPECT_EQ(scene.skylineTopRow(), 320);
}

TEST(CityOwnership, OffScreenBuildingsMarkNothing) {
    DuskmereScene scene(200, 480, 1);
    CityProbe::setSkyline(scene, {B(-80, 10, 50, false), B(200, 10, 50, false), B(-90, 5, 3, true)});
    for (int16_t o : scene.ownerMap()) ASSERT_EQ(o, -1);
    for (const auto& b : scene.allBuildings()) EXPECT_EQ(b.visible, 0);
    EXPECT_EQ(scene.skylineTopRow(), 480);
    EXPECT_TRUE(scene.allSpires().empty());

    // One pixel on screen is enough to own column 0.
    CityProbe::setSkyline(scene, {B(-79, 10, 2, false)});
    EXPECT_EQ(scene.allBuildings()[0].visible, 16);
    EXPECT_EQ(scene.skylineTopRow(), 464);
}

TEST(CityOwnership, BuildingsTallerThanTheSceneAreClipped) {
    DuskmereScene scene(200, 480, 1);
    CityProbe::setSkyline(scene, {B(0, 5, 61, false), B(100, 5, 60, false)});
    EXPECT_EQ(scene.skylineTopRow(), 0);
    EXPECT_EQ(scene.allBuildings()[0].visible, 40 * 480);
    // Only the one whose top is row 0 can carry a mast.
    ASSERT_EQ(scene.allSpires().size(), 1u);
    EXPECT_EQ(scene.allSpires()[0].building, 1);
    EXPECT_EQ(scene.allSpires()[0].y, 0);
    EXPECT_EQ(scene.allSpires()[0].x, 120);
}

TEST(CitySpires, TallestFirstAndTwelveTilesApart) {
    DuskmereScene scene(1000, 480, 1);  // tile 8: masts at least 96 columns apart
    // Centres at 40, 135 (95 away: too close), 136, 300 and 500.
    CityProbe::setSkyline(scene, {B(0, 10, 30, false), B(95, 10, 29, false), B(96 + 200, 10, 10, false),
                                  B(96, 10, 28, false), B(460, 10, 27, false)});
    // Buildings 1 and 3 overlap; 3 is later and owns the shared columns, including centre 136.
    const auto& spires = scene.allSpires();
    ASSERT_EQ(spires.size(), 3u);
    EXPECT_EQ(spires[0].building, 0);
    EXPECT_EQ(spires[1].building, 3);
    EXPECT_EQ(spires[2].building, 4);
    EXPECT_EQ(spires[1].x, 136);
}

TEST(CitySpires, EqualHeightsGoByIndex) {
    DuskmereScene scene(1000, 480, 1);
    CityProbe::setSkyline(scene, {B(0, 10, 20, false), B(300, 10, 25, false), B(600, 10, 20, false),
                                  B(850, 10, 20, false)});
    const auto& spires = scene.allSpires();
    ASSERT_EQ(spires.size(), 3u);
    EXPECT_EQ(spires[0].building, 1);
    EXPECT_EQ(spires[1].building, 0);
    EXPECT_EQ(spires[2].building, 2);
}

TEST(CitySpires, CoveredTopsGetNoMast) {
    DuskmereScene scene(1000, 480, 1);
    // The front building is taller and covers the back one's top centre (column 40).
    CityProbe::setSkyline(scene, {B(0, 10, 20, false), B(30, 5, 21, true)});
    ASSERT_EQ(scene.allSpires().size(), 1u);
    EXPECT_EQ(scene.allSpires()[0].building, 1);
    // Covering a corner only leaves the mast in place.
    CityProbe::setSkyline(scene, {B(0, 10, 20, false), B(41, 5, 21, true)});
    ASSERT_EQ(scene.allSpires().size(), 1u);
    EXPECT_EQ(scene.allSpires()[0].building, 1);  // taller, considered first
    CityProbe::setSkyline(scene, {B(0, 10, 20, false), B(200, 5, 21, true)});
    ASSERT_EQ(scene.allSpires().size(), 2u);
}

TEST(CitySpires, HeightAndPhaseComeFromTheBuilding) {
    DuskmereScene scene(1000, 450, 1);  // scale 0.9375, tile 8
    CityProbe::setSkyline(scene, {B(0, 10, 20, false, 3)});
    // k = 310 + 340 + 21 = 671; 671 mod 14 = 13, so 24 x 0.9375 = 22.5 -> 22.
    ASSERT_EQ(scene.allSpires().size(), 1u);
    const auto& s = scene.allSpires()[0];
    EXPECT_EQ(s.height, 22);
    EXPECT_EQ(s.phase, 671 * 5);
    EXPECT_EQ(s.y, 450 - 160);
    EXPECT_EQ(s.x, 40);
}

}  // namespace
}  // namespace duskmere
