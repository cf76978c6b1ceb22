#include "sky/Comets.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "SkyTest.h"

namespace duskmere {
namespace {

using namespace testing;

// A comet heading right with its head at (x, y), drawn at `scale` over a plain w x h sky.
Canvas drawn(double x, double y, int64_t w, int64_t h, double scale) {
    Comets comets;
    comets.launch(x, y, 1.0, 0.0, 1.0);
    Canvas canvas = blankCanvas(w, h);
    comets.draw(canvas, scale, openSky);
    return canvas;
}

TEST(Comets, WaitsQuietlyThenSpawnsFromFourDrawsInOrder) {
    for (uint64_t seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        Comets comets;
        EXPECT_EQ(comets.wait(), 1200);
        RNG rng(seed);
        const RNG start = rng;
        Canvas canvas = blankCanvas(50, 30);
        for (int i = 1; i <= 1200; ++i) {
            comets.step(rng, 50, 30, 1.5);
            ASSERT_FALSE(comets.active());
        }
        comets.draw(canvas, 1.5, openSky);
        for (uint32_t p : canvas.px) ASSERT_EQ(p, kBackground);
        EXPECT_EQ(rng.state, start.state);
        EXPECT_EQ(comets.wait(), 0);

        comets.step(rng, 50, 30, 1.5);  // step 1201
        ASSERT_TRUE(comets.active());
        EXPECT_EQ(rng.state, advanced(start, 4).state);

        RNG replay = start;
        const bool fromLeft = replay.unit() < 0.5;
        const double angle = replay.doubleIn(0.04, 0.28);
        const double y = 30.0 * replay.doubleIn(0.05, 0.4);
        const double speed = 1.5 * replay.doubleIn(0.7, 1.3);
        expectLaunch(comets.comet(), fromLeft ? -2.0 : 52.0, y, fromLeft, angle, speed);
    }
}

TEST(Comets, FliesWithoutDrawingUntilBeyondTheMargin) {
    // Moving right at one pixel a frame across a 40-wide canvas with scale 0.2: margin 10.
    Comets comets;
    RNG rng(8);
    comets.launch(-2.0, 5.0, 1.0, 0.0, 1.0);
    const RNG start = rng;
    int steps = 0;
    while (comets.active()) {
        comets.step(rng, 40, 20, 0.2);
        ++steps;
        if (comets.active()) {
            ASSERT_EQ(rng.state, start.state);
        }
    }
    // Positions -1 .. 50 are kept (50 is not beyond 40 + 10); the step towards 51 ends it.
    EXPECT_EQ(steps, 53);
    RNG expect = start;
    EXPECT_EQ(comets.wait(), expect.intIn(1800, 5400));
    EXPECT_EQ(rng.state, expect.state);
}

TEST(Comets, EndsLeftwardAndBySinkingInMidCanvas) {
    {
        Comets comets;
        RNG rng(1);
        comets.launch(-9.5, 5.0, -1.0, 0.0, 1.0);  // margin 10: -10.5 is beyond
        comets.step(rng, 40, 20, 0.2);
        EXPECT_FALSE(comets.active());
    }
    {
        Comets comets;
        RNG rng(1);
        comets.launch(-9.0, 5.0, -1.0, 0.0, 1.0);  // -10 is not beyond
        comets.step(rng, 40, 20, 0.2);
        EXPECT_TRUE(comets.active());
    }
    {
        Comets comets;
        RNG rng(1);
        comets.launch(20.0, 29.5, 0.0, 1.0, 1.0);  // maxY 20 + margin 10
        comets.step(rng, 40, 20, 0.2);
        EXPECT_FALSE(comets.active());
        EXPECT_EQ(rng.state, advanced(RNG(1), 1).state);
    }
}

// The pixels painted in the head's colour, relative to the head's truncated position.
std::set<std::pair<int64_t, int64_t>> headPixels(double scale, double x, double y) {
    const Canvas canvas = drawn(x, y, 40, 40, scale);
    std::set<std::pair<int64_t, int64_t>> out;
    for (int64_t py = 0; py < 40; ++py)
        for (int64_t px = 0; px < 40; ++px)
            if (canvas.at(px, py) == Comets::head)
                out.emplace(px - static_cast<int64_t>(x), py - static_cast<int64_t>(y));
    return out;
}

std::set<std::pair<int64_t, int64_t>> square(int64_t from, int64_t to) {
    std::set<std::pair<int64_t, int64_t>> out;
    for (int64_t y = from; y <= to; ++y)
        for (int64_t x = from; x <= to; ++x) out.emplace(x, y);
    return out;
}

TEST(Comets, HeadShapesForDiametersTwoThreeAndFour) {
    EXPECT_EQ(headPixels(0.1, 20.7, 20.2), square(-1, 0));  // d = 2 (never smaller)
    EXPECT_EQ(headPixels(0.5, 20.7, 20.2), square(-1, 0));  // d = 2
    EXPECT_EQ(headPixels(1.0, 20.7, 20.2), square(-1, 1));  // d = 3
    auto four = square(-2, 1);                               // d = 4, corners cut
    for (auto corner : {std::pair<int64_t, int64_t>{-2, -2}, {1, -2}, {-2, 1}, {1, 1}}) four.erase(corner);
    EXPECT_EQ(headPixels(1.7, 20.7, 20.2), four);
    EXPECT_EQ(headPixels(450.0 / 270.0, 20.7, 20.2), four);
}

TEST(Comets, SmallScaleTailIsASolidThenDitheredLine) {
    // Scale 0.1: 8 steps, half-width 0. Heading right with the head at (20.5, 10.5): step f lies
    // at x = 20 - f on row 10. Steps 0..3 are solid; 4..7 pass only where the fade beats the
    // dither threshold.
    const Canvas canvas = drawn(20.5, 10.5, 30, 20, 0.1);
    EXPECT_EQ(canvas.at(20, 10), Comets::head);  // the 2 x 2 head covers steps 0 and 1
    EXPECT_EQ(canvas.at(19, 10), Comets::head);
    EXPECT_EQ(canvas.at(18, 10), Comets::tail[1]);  // t 0.25
    EXPECT_EQ(canvas.at(17, 10), Comets::tail[1]);  // t 0.375
    EXPECT_EQ(canvas.at(16, 10), Comets::tail[2]);  // fade 0.354 > 0.21875
    EXPECT_EQ(canvas.at(15, 10), kBackground);      // fade 0.230 < 0.59375
    EXPECT_EQ(canvas.at(14, 10), Comets::tail[3]);  // fade 0.125 > 0.09375
    EXPECT_EQ(canvas.at(13, 10), kBackground);      // fade 0.044 < 0.71875
    int64_t written = 0;
    for (uint32_t p : canvas.px) written += p != kBackground;
    EXPECT_EQ(written, 8);  // 4 head pixels, 4 of tail

    // One row down the thresholds are those of the table's last row, all above these fades.
    const Canvas second = drawn(20.5, 11.5, 30, 20, 0.1);
    EXPECT_EQ(second.at(18, 11), Comets::tail[1]);
    EXPECT_EQ(second.at(17, 11), Comets::tail[1]);
    for (int64_t x = 13; x <= 16; ++x) EXPECT_EQ(second.at(x, 11), kBackground) << x;
}

TEST(Comets, TailLevelIsRoundedToFloatBeforeTheComparison) {
    // At scale 288/270 the tail has 48 steps; at f = 21 the fade is exactly 27/64 and the half-width
    // 2, so k = 1 gives (1 - 1/3) * 27/64, a hair above the threshold 9/32 in double but exactly
    // 9/32 as a Float: not written. A double comparison would write it.
    ASSERT_EQ(bayer4At(25, 21), 0.28125f);
    EXPECT_EQ(drawn(46.5, 20.5, 60, 40, 288.0 / 270.0).at(25, 21), kBackground);

    // The same step and offset over a low threshold is written: the tail is really there.
    ASSERT_EQ(bayer4At(24, 20), 0.03125f);
    EXPECT_EQ(drawn(45.5, 19.5, 60, 40, 288.0 / 270.0).at(24, 20), Comets::tail[2]);
}

TEST(Comets, WideTailIsSolidAlongTheFrontCentreAndFadesBehind) {
    // Scale 1: 45 steps, half-width up to 4. Heading right along row 21.
    const Canvas canvas = drawn(60.5, 21.5, 80, 40, 1.0);
    for (int64_t f = 2; f < 18; ++f) {  // t < 0.4, beyond the 3 x 3 head
        const int64_t c = static_cast<int64_t>(static_cast<double>(f) / 45.0 * 5.0);
        EXPECT_EQ(canvas.at(60 - f, 21), Comets::tail[static_cast<std::size_t>(c)]) << f;
    }
    // At t = 0.4 exactly the centre is dithered already: fade 0.46 against 0.90625 fails.
    EXPECT_EQ(bayer4At(42, 21), 0.90625f);
    EXPECT_EQ(canvas.at(42, 21), kBackground);
    // Nothing beyond the far end or the widest half-width.
    for (int64_t y = 0; y < 40; ++y) {
        for (int64_t x = 0; x < 80; ++x) {
            const bool inside = x >= 60 - 44 && x <= 61 && y >= 21 - 4 && y <= 21 + 4;
            if (!inside) {
                ASSERT_EQ(canvas.at(x, y), kBackground) << x << "," << y;
            }
        }
    }
    // Near the head the tail is only a line: half-width 0 until t * 5 reaches 1 (f = 9).
    for (int64_t f = 2; f < 9; ++f) {
        EXPECT_EQ(canvas.at(60 - f, 20), kBackground) << f;
        EXPECT_EQ(canvas.at(60 - f, 22), kBackground) << f;
    }
}

TEST(Comets, HalfWidthMultipliesByFiveBeforeTheScale) {
    // Scale 1/3: 15 steps. At f = 9, (0.6 * 5) * scale is exactly 1, where 0.6 * (5 * scale)
    // falls just short: the tail is three pixels wide there, and the side pixel over the lowest
    // threshold shows (level 0.126 > 0.03125).
    ASSERT_EQ(bayer4At(12, 20), 0.03125f);
    EXPECT_NE(drawn(21.5, 19.5, 40, 30, 90.0 / 270.0).at(12, 20), kBackground);
}

TEST(Comets, BlockedAndOffCanvasPixelsAreNeverWritten) {
    // A diagonal comet half off the canvas at scale 2 over a checkerboard of obstacles.
    auto checker = [](int64_t x, int64_t y) { return ((x ^ y) & 1) != 0; };
    for (double x : {-2.0, 3.0, 30.0, 62.0}) {
        Comets comets;
        comets.launch(x, 4.0, 0.96, 0.28, 1.0);
        Canvas canvas = blankCanvas(40, 30);
        comets.draw(canvas, 2.0, checker);
        int64_t written = 0;
        for (int64_t py = 0; py < 30; ++py) {
            for (int64_t px = 0; px < 40; ++px) {
                if (checker(px, py)) {
                    ASSERT_EQ(canvas.at(px, py), kBackground) << px << "," << py;
                } else {
                    written += canvas.at(px, py) != kBackground;
                }
            }
        }
        if (x > 0 && x < 40) {
            EXPECT_GT(written, 10) << x;
        }
    }
    // Entering from the left at x = -2: only in-canvas pixels, even with a permissive `blocked`.
    Comets entering;
    entering.launch(-2.0, 10.0, 0.99, 0.14, 1.0);
    Canvas canvas = blankCanvas(10, 20);
    entering.draw(canvas, 2.0, openSky);
    EXPECT_EQ(canvas.px.size(), 200u);
    EXPECT_EQ(canvas.at(0, 9), Comets::head);  // d = 5 reaches x = -4 .. 0
}

}  // namespace
}  // namespace duskmere
