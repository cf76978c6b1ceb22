#include <gtest/gtest.h>

#include <algorithm>

#include "CityProbe.h"

namespace duskmere {
namespace {

using Building = CityProbe::Building;

Building B(int64_t x, int64_t widthTiles, int64_t heightTiles, bool front, int64_t style = 0) {
    return CityProbe::building(x, widthTiles, heightTiles, front, style);
}

// Pixels of the canvas that differ from the scene's picture.
std::vector<std::pair<int64_t, int64_t>> changes(const DuskmereScene& scene, const Canvas& canvas) {
    std::vector<std::pair<int64_t, int64_t>> out;
    for (int64_t y = 0; y < canvas.height; ++y)
        for (int64_t x = 0; x < canvas.width; ++x)
            if (canvas.at(x, y) != scene.picture()[static_cast<std::size_t>(y * scene.width() + x)]) out.emplace_back(x, y);
    return out;
}

TEST(CityDraw, CopiesThePictureAndChangesNothing) {
    DuskmereScene scene(200, 120, 6);
    for (int i = 0; i < 100; ++i) scene.step();
    Canvas canvas(200, 120);
    std::fill(canvas.px.begin(), canvas.px.end(), 0xFF123456u);
    const uint64_t state = scene.rngState();
    scene.draw(canvas);
    EXPECT_EQ(canvas.px, scene.picture());  // no masts shown yet, no sky events in flight
    EXPECT_EQ(scene.rngState(), state);
    Canvas again(200, 120);
    scene.draw(again);
    EXPECT_EQ(again.px, canvas.px);
}

TEST(CityDraw, SkyEventsPassBehindEveryBuilding) {
    DuskmereScene scene(200, 480, 6);  // sky-event scale 480 / 270
    CityProbe::setSkyline(scene, {B(60, 6, 40, false), B(100, 6, 20, true)});
    // A meteor whose head sits on the back building and whose trail runs back into the sky, and a
    // comet whose head and fan cross the front building's top.
    CityProbe::meteors(scene).launch(70.5, 180.5, 0.8, 0.6, 5.0, 20);
    CityProbe::comets(scene).launch(130.5, 315.5, -0.98, 0.2, 1.0);
    Canvas canvas(200, 480);
    scene.draw(canvas);
    const auto changed = changes(scene, canvas);
    EXPECT_GT(changed.size(), 20u);
    for (const auto& [x, y] : changed) ASSERT_LT(scene.ownerMap()[static_cast<std::size_t>(y * 200 + x)], 0);

}

TEST(CityDraw, NothingIsDrawnBeyondTheScene) {
    // Only a same-sized canvas is ever handed in; a wider one gets the picture where they overlap
    // and no sky event beyond the scene's own columns.
    DuskmereScene scene(50, 270, 6);  // sky-event scale 1: a 45-pixel tail
    CityProbe::setSkyline(scene, {});
    CityProbe::comets(scene).launch(75.5, 20.5, 1.0, 0.0, 1.0);
    Canvas wide(90, 270);
    std::fill(wide.px.begin(), wide.px.end(), 0xFF123456u);
    scene.draw(wide);
    int64_t tail = 0;
    for (int64_t y = 0; y < 270; ++y)
        for (int64_t x = 0; x < 90; ++x) {
            const uint32_t p = wide.at(x, y);
            if (x < 50) {
                ASSERT_TRUE(p == DuskmereScene::black || std::count(Comets::tail.begin(), Comets::tail.end(), p));
                tail += p != DuskmereScene::black;
            } else {
                ASSERT_EQ(p, 0xFF123456u) << x << "," << y;
            }
        }
    EXPECT_GT(tail, 5);
}

struct MastScene {
    // Scale 1: k = 130 + 580 = 710 and 710 mod 12 = 2, so the threshold is
    // 12800 visible x (0.7 x 0.5 x 0.0625) = 280 lights. The mast is 17 pixels (650 mod 14 = 6)
    // at column 40 above row 320, its light 2 x 2 above that, with phase 3250.
    DuskmereScene scene{200, 480, 1};
    MastScene() { CityProbe::setSkyline(scene, {B(0, 10, 20, false, 0)}); }
    void setLights(int64_t n) { CityProbe::buildings(scene)[0].lights = n; }
};

TEST(CityDraw, MastsAppearOnceEnoughWindowsAreLit) {
    MastScene m;
    ASSERT_EQ(m.scene.allSpires().size(), 1u);
    ASSERT_EQ(m.scene.allBuildings()[0].visible, 12800);
    Canvas canvas(200, 480);
    m.setLights(279);
    m.scene.draw(canvas);
    EXPECT_TRUE(changes(m.scene, canvas).empty());
    m.setLights(280);
    m.scene.draw(canvas);
    std::vector<std::pair<int64_t, int64_t>> want;
    for (int64_t y = 301; y < 303; ++y) want.emplace_back(40, y), want.emplace_back(41, y);
    for (int64_t y = 303; y < 320; ++y) want.emplace_back(40, y);
    auto got = changes(m.scene, canvas);
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
    EXPECT_EQ(canvas.at(40, 319), DuskmereScene::mastColor);
    EXPECT_EQ(canvas.at(41, 301), DuskmereScene::mastLightColor);
}

TEST(CityDraw, LightsBlinkByPhase) {
    MastScene m;
    m.setLights(1000);
    Canvas canvas(200, 480);
    // (3250 + frame) / 15 is even for frames 0..4 and 20..34, odd for 5..19.
    for (const auto& [frame, on] : std::vector<std::pair<int64_t, bool>>{{0, true}, {4, true}, {5, false}, {19, false},
                                                                         {20, true}, {34, true}, {35, false}}) {
        CityProbe::frame(m.scene) = frame;
        m.scene.draw(canvas);
        EXPECT_EQ(canvas.at(40, 302) == DuskmereScene::mastLightColor, on) << "frame " << frame;
        EXPECT_EQ(canvas.at(40, 303), DuskmereScene::mastColor);
    }
}

TEST(CityDraw, MastsAreClippedAtTheTopAndTheRightEdge) {
    // 11 x 31 + 58 x 17 + 1 x 7 = 1334, mod 14 = 4: a 15-pixel mast on top row 16, so its
    // 2 x 2 light would cover rows -1 and 0. Column 160 is the last one.
    DuskmereScene scene(161, 480, 1);
    CityProbe::setSkyline(scene, {B(116, 11, 58, false, 1)});
    ASSERT_EQ(scene.allSpires().size(), 1u);
    ASSERT_EQ(scene.allSpires()[0].x, 160);
    CityProbe::buildings(scene)[0].lights = 1 << 20;
    CityProbe::frame(scene) = 5;  // (6670 + 5) / 15 = 445: odd, off
    Canvas canvas(161, 480);
    scene.draw(canvas);
    EXPECT_EQ(changes(scene, canvas).size(), 15u);
    CityProbe::frame(scene) = 20;  // 6690 / 15 = 446: on
    scene.draw(canvas);
    EXPECT_EQ(changes(scene, canvas).size(), 16u);  // one light pixel survives the clipping
    EXPECT_EQ(canvas.at(160, 0), DuskmereScene::mastLightColor);

    // A mast taller than the space above its building: only rows from 0 are drawn.
    DuskmereScene tall(200, 480, 1);
    CityProbe::setSkyline(tall, {B(0, 10, 59, false, 0)});  // top row 8, 22-pixel mast
    CityProbe::buildings(tall)[0].lights = 1 << 20;
    Canvas c2(200, 480);
    tall.draw(c2);
    EXPECT_EQ(changes(tall, c2).size(), 8u);
}

TEST(CityDraw, LightSizeFollowsTheScale) {
    DuskmereScene scene(400, 1080, 1);  // scale 2.25: a 5 x 5 light centred on the mast
    CityProbe::setSkyline(scene, {B(0, 10, 20, false, 0)});
    ASSERT_EQ(scene.allSpires().size(), 1u);
    const auto s = scene.allSpires()[0];
    CityProbe::buildings(scene)[0].lights = 1 << 20;
    CityProbe::frame(scene) = 30 - (s.phase % 30);  // the start of an on half
    Canvas canvas(400, 1080);
    scene.draw(canvas);
    const int64_t top = s.y - s.height;
    EXPECT_EQ(changes(scene, canvas).size(), static_cast<std::size_t>(s.height + 25));
    EXPECT_EQ(canvas.at(s.x - 2, top - 5), DuskmereScene::mastLightColor);
    EXPECT_EQ(canvas.at(s.x + 2, top - 1), DuskmereScene::mastLightColor);
}

}  // namespace
}  // namespace duskmere
