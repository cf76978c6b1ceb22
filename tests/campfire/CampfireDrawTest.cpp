// The campfire frame, layer by layer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "CampfireProbe.h"
#include "campfire/CampfireScene.h"
#include "pixels/Canvas.h"
#include "pixels/CanvasHash.h"

namespace duskmere {
namespace {

constexpr uint32_t marker = 0xFF00FF00u;

void fill(Canvas& canvas, uint32_t colour) {
    for (uint32_t& px : canvas.px) px = colour;
}

// The pixels a layer drew over the marker.
int64_t painted(const Canvas& canvas) {
    return std::count_if(canvas.px.begin(), canvas.px.end(), [](uint32_t px) { return px != marker; });
}

struct Pixel {
    int64_t x, y;
    uint32_t colour;
};

void expectPixels(const Canvas& canvas, std::initializer_list<Pixel> pixels) {
    for (const Pixel& p : pixels) EXPECT_EQ(canvas.at(p.x, p.y), p.colour) << p.x << "," << p.y;
}

TEST(CampfireDraw, BaseCopyShowsTheVisibleColumnsAsTheyScroll) {
    CampfireScene scene(50, 40, 1);
    CampfireProbe p(scene);
    Canvas canvas(50, 40);
    // The storage ring wraps round after workWidth() scrolls; check on either side of it.
    for (int64_t scrolls : {0, 1, 60, 113, 114, 115, 300}) {
        while (scene.panCount() < scrolls) p.shift();
        fill(canvas, marker);
        p.drawBase(canvas);
        for (int64_t y = 0; y < 40; ++y) {
            for (int64_t x = 0; x < 50; ++x) ASSERT_EQ(canvas.at(x, y), scene.bufAt(x, y)) << x << "," << y;
        }
    }
}

TEST(CampfireDraw, MoonShowsOnlyOverUnrevealedSky) {
    CampfireScene scene(480, 270, 2);
    CampfireProbe p(scene);
    Canvas canvas(480, 270);
    const auto moon = scene.moonPixels();
    const auto bright = std::find_if(moon.begin(), moon.end(), [](const auto& m) { return m.bright; });
    const auto dark = std::find_if(moon.begin(), moon.end(), [](const auto& m) { return !m.bright; });
    ASSERT_NE(bright, moon.end());
    ASSERT_NE(dark, moon.end());
    for (const auto& m : moon) p.buf(m.x, m.y) = 0xFFEEDDCCu;  // stars scattered over the moon

    p.drawBase(canvas);
    p.drawMoon(canvas);
    for (const auto& m : moon) {
        if (!scene.skyAt(m.x, m.y)) continue;
        EXPECT_EQ(canvas.at(m.x, m.y), m.bright ? CampfireScene::moonColor : scene.baseAt(m.x, m.y));
    }

    // A revealed tree in front of the moon hides it.
    for (const auto& m : {*bright, *dark}) {
        p.owner(m.x, m.y) = 0;
        p.painted(m.x, m.y) = 1;
        p.buf(m.x, m.y) = CampfireScene::backSilhouette;
    }
    p.drawBase(canvas);
    p.drawMoon(canvas);
    EXPECT_EQ(canvas.at(bright->x, bright->y), CampfireScene::backSilhouette);
    EXPECT_EQ(canvas.at(dark->x, dark->y), CampfireScene::backSilhouette);
}

TEST(CampfireDraw, LitPointsStepThroughDimAndBrightAtTheirThresholds) {
    CampfireScene scene(100, 80, 3);
    CampfireProbe p(scene);
    p.lit().clear();
    p.glow() = 0.75f;
    p.lit().push_back({1, 1, 1.0f, 0.5f, 0xFF000011u, 0xFF000022u});   // e = 1.5: dim
    p.lit().push_back({2, 1, 1.0f, 0.4f, 0xFF000011u, 0xFF000022u});   // e = 1.5: bright
    p.lit().push_back({3, 1, 0.2f, 0.5f, 0xFF000011u, 0xFF000022u});   // e = 0.3: untouched
    p.lit().push_back({4, 1, 0.2f, 0.25f, 0xFF000011u, 0xFF000022u});  // e = 0.3: dim
    p.lit().push_back({5, 1, 1.5f, 0.9f, 0xFF000011u, 0xFF000022u});   // e = 2.25: bright
    p.lit().push_back({100, 1, 1.5f, 0.0f, 0xFF000011u, 0xFF000022u}); // off screen to the right
    Canvas canvas(100, 80);
    fill(canvas, marker);
    p.drawLit(canvas);
    expectPixels(canvas, {{1, 1, 0xFF000011u}, {2, 1, 0xFF000022u}, {3, 1, marker}, {4, 1, 0xFF000011u},
                          {5, 1, 0xFF000022u}, {0, 2, marker}});  // nothing wrapped onto the next row
}

TEST(CampfireDraw, LitPointsResolvedByTheStepDrawAsTheyWouldDirectly) {
    CampfireScene scene(320, 180, 33);
    CampfireProbe p(scene);
    Canvas resolved(320, 180), direct(320, 180), narrow(200, 180);
    int64_t shown = 0;
    for (int frame = 1; frame <= 2400; ++frame) {
        scene.step();
        if (frame % 37 != 0) continue;
        ASSERT_TRUE(p.litResolvedForDrawing());
        fill(resolved, marker);
        p.drawLit(resolved);
        fill(narrow, marker);
        p.drawLit(narrow);  // another width never takes the resolved indices
        p.lit();            // no change, but the resolved list is no longer trusted
        ASSERT_FALSE(p.litResolvedForDrawing());
        fill(direct, marker);
        p.drawLit(direct);
        ASSERT_EQ(resolved.px, direct.px) << "frame " << frame;
        for (int64_t y = 0; y < 180; ++y) {
            for (int64_t x = 0; x < 200; ++x) ASSERT_EQ(narrow.at(x, y), direct.at(x, y)) << x << "," << y;
        }
        shown += painted(direct);
    }
    EXPECT_GT(shown, 1000);
}

TEST(CampfireDraw, FireCellsTakeThePaletteAndColdCellsStayClear) {
    CampfireScene scene(480, 270, 4);
    CampfireProbe p(scene);
    auto& camp = p.camps()[0];
    const int64_t fw = scene.fireWidth(), fh = scene.fireHeight();
    std::fill(camp.heat.begin(), camp.heat.end(), 0);
    camp.heat[0] = 3;                                          // colder than every threshold
    camp.heat[1] = 4;                                          // exactly the coolest threshold
    camp.heat[2] = 29;                                         // just under the hottest
    camp.heat[3] = 35;                                         // the hottest
    camp.heat[static_cast<std::size_t>(fw * fh - 1)] = 12;     // bottom right cell
    Canvas canvas(480, 270);
    fill(canvas, marker);
    p.drawFires(canvas);
    const int64_t left = camp.fireX - fw / 2, top = scene.fireBaseRow() - (fh - 1);
    expectPixels(canvas, {{left, top, marker}, {left + 1, top, 0xFF041054u}, {left + 2, top, 0xFF40D4FFu},
                          {left + 3, top, 0xFFB8F4FFu}, {left + fw - 1, scene.fireBaseRow(), 0xFF0A52E6u}});
    EXPECT_EQ(painted(canvas), 4);

    // Fires partly or wholly off the canvas are clipped.
    std::fill(camp.heat.begin(), camp.heat.end(), 30);
    for (int64_t fireX : {-fw, int64_t{0}, int64_t{479}, int64_t{480 + fw}}) {
        camp.fireX = fireX;
        fill(canvas, marker);
        p.drawFires(canvas);
        int64_t inside = 0;
        for (int64_t k = 0; k < fw; ++k) inside += (fireX - fw / 2 + k >= 0 && fireX - fw / 2 + k < 480) ? 1 : 0;
        const int64_t hottest = std::count(canvas.px.begin(), canvas.px.end(), 0xFFB8F4FFu);
        EXPECT_EQ(hottest, inside * (fh - std::max<int64_t>(0, scene.fireBaseRow() - 269))) << fireX;
    }
}

TEST(CampfireDraw, OverlaySparksAndFirefliesAreClipped) {
    CampfireScene scene(100, 270, 5);
    CampfireProbe p(scene);
    Canvas canvas(100, 270);

    p.overlay() = {{5, 5, 0xFF000001u}, {100, 5, 0xFF000002u}, {5, 270, 0xFF000003u}, {-1, 4, 0xFF000004u}};
    fill(canvas, marker);
    p.drawOverlay(canvas);
    EXPECT_EQ(painted(canvas), 1);
    EXPECT_EQ(canvas.at(5, 5), 0xFF000001u);

    // Truncation toward zero: -0.5 lands on column 0, -1.0 is off the canvas.
    p.sparks() = {{-0.5, 10.0, 0, 0, 70, 100, 0}, {-1.0, 11.0, 0, 0, 70, 100, 0},
                  {20.0, 12.0, 0, 0, 50, 100, 0}, {21.0, 12.0, 0, 0, 20, 100, 0}};
    fill(canvas, marker);
    p.drawSparks(canvas);
    expectPixels(canvas, {{0, 10, 0xFF4AD8FFu}, {0, 11, marker}, {20, 12, 0xFF106AF0u}, {21, 12, 0xFF0A1E8Au}});

    // At scale 1 a glowing firefly is a 2 x 2 square, cut at the right edge; at the start and
    // the end of its period a single dim pixel; off, nothing.
    p.flies() = {{99.0, 50.0, 0, 0, true, 20, 40}, {10.0, 60.0, 0, 0, true, 4, 40},
                 {12.0, 60.0, 0, 0, true, 38, 40}, {14.0, 60.0, 0, 0, false, 20, 40}};
    fill(canvas, marker);
    p.drawFireflies(canvas);
    expectPixels(canvas, {{99, 50, 0xFF70F0D8u}, {99, 51, 0xFF70F0D8u}, {98, 50, marker}, {10, 60, 0xFF28806Au},
                          {11, 60, marker}, {12, 60, 0xFF28806Au}, {14, 60, marker}});
    EXPECT_EQ(painted(canvas), 4);
}

TEST(CampfireDraw, FireflySquaresFollowTheSceneScale) {
    for (auto [height, side] : {std::pair{338, 3}, std::pair{337, 2}, std::pair{67, 1}, std::pair{68, 1}}) {
        CampfireScene scene(100, height, 6);
        CampfireProbe p(scene);
        p.flies() = {{40.0, 30.0, 0, 0, true, 20, 40}};
        Canvas canvas(100, height);
        fill(canvas, marker);
        p.drawFireflies(canvas);
        EXPECT_EQ(painted(canvas), side * side) << height;
    }
}

TEST(CampfireDraw, SkyEventsShowOnlyOverOpenSky) {
    CampfireScene scene(480, 270, 7);
    CampfireProbe p(scene);
    Canvas canvas(480, 270);
    // Find an open sky pixel and a sky pixel covered by a tree, both high up.
    int64_t openX = -1, treeX = -1;
    const int64_t y = 60;
    for (int64_t x = 0; x < 480; ++x) {
        if (scene.skyAt(x, y) && scene.ownerAt(x, y) < 0 && openX < 0) openX = x;
        if (scene.skyAt(x, y) && scene.ownerAt(x, y) >= 0 && treeX < 0) treeX = x;
    }
    ASSERT_GE(openX, 0);
    ASSERT_GE(treeX, 0);
    p.painted(treeX, y) = 1;
    for (int64_t x : {openX, treeX}) {
        p.meteors().launch(static_cast<double>(x) + 0.5, static_cast<double>(y) + 0.5, 0.0, 1.0, 3.0, 10);
        fill(canvas, marker);
        p.drawSkyEvents(canvas);
        EXPECT_EQ(canvas.at(x, y), x == openX ? 0xFFFFFFFFu : marker) << x;
    }
    // Nothing at all outside the scene, even for a comet whose tail reaches past the edges.
    p.comets().launch(-1.0, 20.0, 1.0, 0.0, 1.0);
    p.meteors().launch(0.5, 0.5, -0.7071, -0.7071, 3.0, 10);
    p.drawSkyEvents(canvas);
}

TEST(CampfireDraw, AnimalsWalkBehindTentsAndFrontTreesOnly) {
    CampfireScene scene(480, 270, 8);
    CampfireProbe p(scene);
    const Animals& animals = scene.animalWalkers();
    // The first walker comes after 300 frames; wait until it is wholly on screen.
    int frames = 0;
    auto onScreen = [&] {
        if (!animals.hasWalker()) return false;
        const int64_t width = animals.walkerFrames()[0].width();
        return animals.walkerX() > 2 && animals.walkerX() + static_cast<double>(width) < 470;
    };
    while (!onScreen() && frames < 4000) {
        scene.step();
        ++frames;
    }
    ASSERT_TRUE(onScreen());
    // Reveal every tree, so the walker crosses both back and front silhouettes.
    for (int64_t y = 0; y < 270; ++y) {
        for (int64_t x = 0; x < scene.workWidth(); ++x) {
            if (scene.ownerAt(x, y) < 0) continue;
            p.painted(x, y) = 1;
            p.buf(x, y) = scene.allTrees()[static_cast<std::size_t>(scene.ownerAt(x, y))].front ? 0xFF020100u : 0xFF0C0502u;
        }
    }
    Canvas plain(480, 270), canvas(480, 270);
    p.drawBase(plain);
    p.drawBase(canvas);
    p.drawAnimals(canvas);

    const auto& sprite = animals.walkerFrames()[static_cast<std::size_t>(Animals::frameIndex(animals.walkerPhase()))];
    const int64_t left = static_cast<int64_t>(std::floor(animals.walkerX()));
    const int64_t top = scene.groundRow() - sprite.height();
    int64_t overBack = 0, hidden = 0;
    for (int64_t y = 0; y < 270; ++y) {
        for (int64_t x = 0; x < 480; ++x) {
            bool covered = false;
            if (x >= left && x < left + sprite.width() && y >= top && y < scene.groundRow()) {
                const int64_t sx = animals.walkerDir() > 0 ? x - left : sprite.width() - 1 - (x - left);
                covered = sprite.bit(sx, y - top);
            }
            const int32_t o = scene.ownerAt(x, y);
            const bool front = o >= 0 && scene.allTrees()[static_cast<std::size_t>(o)].front;
            if (!covered || scene.tentAt(x, y) || front) {
                if (covered) ++hidden;
                ASSERT_EQ(canvas.at(x, y), plain.at(x, y)) << x << "," << y;
                continue;
            }
            const uint32_t c = canvas.at(x, y);
            EXPECT_TRUE(c == Animals::silhouette || c == Animals::brightRim || c == Animals::dimRim) << x << "," << y;
            if (o >= 0) ++overBack;
        }
    }
    EXPECT_GT(overBack, 0);
    EXPECT_GT(hidden, 0);
}

TEST(CampfireDraw, DrawingChangesNothingAndToleratesAnOddCanvas) {
    CampfireScene scene(160, 90, 9);
    for (int i = 0; i < 500; ++i) scene.step();
    Canvas a(160, 90), b(160, 90);
    const uint64_t state = scene.rngState();
    scene.draw(a);
    scene.draw(b);
    EXPECT_EQ(canvasHash(a), canvasHash(b));
    EXPECT_EQ(scene.rngState(), state);
    // A canvas of another size is clipped, never overrun.
    Canvas small(40, 30), wide(300, 200);
    scene.draw(small);
    scene.draw(wide);
    EXPECT_EQ(small.at(3, 4), a.at(3, 4));
}

}  // namespace
}  // namespace duskmere
