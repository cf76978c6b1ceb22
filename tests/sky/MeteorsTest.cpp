#include "sky/Meteors.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "SkyTest.h"

namespace duskmere {
namespace {

using namespace testing;

TEST(Meteors, WaitsQuietlyThenSpawnsFromSixDrawsInOrder) {
    Meteors meteors;
    EXPECT_FALSE(meteors.active());
    EXPECT_EQ(meteors.wait(), 240);
    EXPECT_EQ(meteors.meteor(), nullptr);

    RNG rng(0x5EEDu);
    const RNG start = rng;
    Canvas canvas = blankCanvas(64, 48);
    for (int i = 1; i <= 240; ++i) {
        meteors.step(rng, 64, 48, 1.0, openSky);
        meteors.draw(canvas, 1.0, openSky);
        ASSERT_FALSE(meteors.active()) << "step " << i;
        ASSERT_EQ(meteors.wait(), 240 - i);
    }
    EXPECT_EQ(rng.state, start.state);
    for (uint32_t p : canvas.px) ASSERT_EQ(p, kBackground);

    meteors.step(rng, 64, 48, 1.0, openSky);  // step 241
    ASSERT_TRUE(meteors.active());
    EXPECT_EQ(rng.state, advanced(start, 6).state);
    EXPECT_EQ(meteors.wait(), 0);

    RNG replay = start;
    const double angle = replay.doubleIn(0.3, 0.75);
    const bool right = replay.unit() < 0.5;
    const double x = 64.0 * replay.doubleIn(0.1, 0.9);
    const double y = 48.0 * replay.doubleIn(0.0, 0.4);
    const double speed = 1.0 * replay.doubleIn(3.0, 5.5);
    const int64_t life = replay.intIn(14, 34);
    expectLaunch(meteors.meteor(), x, y, right, angle, speed);
    EXPECT_EQ(meteors.meteor()->life, life);
}

TEST(Meteors, LifeRunsOutInOpenSkyWithOneDraw) {
    Meteors meteors;
    RNG rng(7);
    meteors.launch(10.0, 10.0, 1.0, 0.0, 0.5, 14);
    for (int i = 1; i <= 13; ++i) {
        const RNG before = rng;
        meteors.step(rng, 100, 100, 1.0, openSky);
        ASSERT_TRUE(meteors.active());
        ASSERT_EQ(rng.state, before.state);
        EXPECT_EQ(meteors.meteor()->life, 14 - i);
        EXPECT_EQ(meteors.meteor()->x, 10.0 + 0.5 * i);
    }
    RNG expect = rng;
    const int64_t nextWait = expect.intIn(150, 1050);
    meteors.step(rng, 100, 100, 1.0, openSky);  // 14th step after creation
    EXPECT_FALSE(meteors.active());
    EXPECT_EQ(rng.state, expect.state);
    EXPECT_EQ(meteors.wait(), nextWait);

    // Idle again: counts the new wait down without drawing.
    meteors.step(rng, 100, 100, 1.0, openSky);
    EXPECT_EQ(meteors.wait(), nextWait - 1);
    EXPECT_EQ(rng.state, expect.state);
}

TEST(Meteors, EndsOnLeavingTheSkyAreaWithoutMovingThere) {
    struct Case {
        const char* name;
        double x, y, dx, dy;
    };
    // 100 x 50 sky; each next position truncates to just outside it.
    const Case cases[] = {
        {"right edge", 99.5, 10.0, 1.0, 0.0},
        {"bottom edge", 10.0, 49.5, 0.0, 1.0},
        {"left edge", 0.2, 10.0, -1.0, 0.0},   // -0.8 still truncates to 0: ends only at -1
        {"top edge", 10.0, 0.2, 0.0, -1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Meteors meteors;
        RNG rng(11);
        std::vector<std::pair<int64_t, int64_t>> asked;
        auto recording = [&](int64_t x, int64_t y) {
            asked.emplace_back(x, y);
            return false;
        };
        meteors.launch(c.x, c.y, c.dx, c.dy, 1.0, 30);
        if (c.dx < 0 || c.dy < 0) {
            // The first move lands at -0.8, which truncates to 0 and is still inside.
            meteors.step(rng, 100, 50, 1.0, recording);
            ASSERT_TRUE(meteors.active());
        }
        const RNG before = rng;
        meteors.step(rng, 100, 50, 1.0, recording);
        EXPECT_FALSE(meteors.active());
        EXPECT_EQ(rng.state, advanced(before, 1).state);
        for (auto [x, y] : asked) {
            EXPECT_TRUE(x >= 0 && x < 100 && y >= 0 && y < 50) << x << "," << y;
        }
    }
}

TEST(Meteors, MinusHalfTruncatesToZeroAndStaysInside) {
    Meteors meteors;
    RNG rng(3);
    meteors.launch(0.5, 5.0, -1.0, 0.0, 1.0, 20);
    meteors.step(rng, 10, 10, 1.0, openSky);
    ASSERT_TRUE(meteors.active());
    EXPECT_EQ(meteors.meteor()->x, -0.5);

    Canvas canvas = blankCanvas(10, 10);
    meteors.draw(canvas, 1.0, openSky);
    EXPECT_EQ(canvas.at(0, 5), Meteors::tail[0]);
}

TEST(Meteors, EndsAtABlockedPixelAndNeverEntersIt) {
    Meteors meteors;
    RNG rng(5);
    meteors.launch(2.5, 4.5, 1.0, 0.0, 1.0, 30);
    const std::set<std::pair<int64_t, int64_t>> wall = {{6, 4}};
    auto blocked = [&](int64_t x, int64_t y) { return wall.count({x, y}) > 0; };
    meteors.step(rng, 20, 20, 1.0, blocked);  // 3.5
    meteors.step(rng, 20, 20, 1.0, blocked);  // 4.5
    meteors.step(rng, 20, 20, 1.0, blocked);  // 5.5
    ASSERT_TRUE(meteors.active());
    EXPECT_EQ(meteors.meteor()->x, 5.5);
    EXPECT_EQ(meteors.meteor()->life, 27);
    const RNG before = rng;
    meteors.step(rng, 20, 20, 1.0, blocked);  // would be 6.5: the wall
    EXPECT_FALSE(meteors.active());
    EXPECT_EQ(rng.state, advanced(before, 1).state);
}

TEST(Meteors, LifeIsTestedBeforeTheSkyAreaAndBlocked) {
    Meteors meteors;
    RNG rng(9);
    meteors.launch(5.5, 5.5, 1.0, 0.0, 100.0, 1);
    int calls = 0;
    auto counting = [&](int64_t, int64_t) {
        ++calls;
        return true;
    };
    const RNG before = rng;
    meteors.step(rng, 10, 10, 1.0, counting);
    EXPECT_FALSE(meteors.active());
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(rng.state, advanced(before, 1).state);
}

// Flying through a field of obstacles: the head only ever rests on open sky inside the area, and
// each step takes 0, 1 or 6 draws according to what happened.
TEST(Meteors, LongRunKeepsToOpenSkyAndDrawsTheRightCounts) {
    const int64_t w = 90, h = 60;
    std::vector<bool> wall(static_cast<std::size_t>(w * h));
    RNG layout(42);
    for (std::size_t i = 0; i < wall.size(); ++i) wall[i] = layout.unit() < 0.05;
    auto blocked = [&](int64_t x, int64_t y) {
        EXPECT_TRUE(x >= 0 && x < w && y >= 0 && y < h);
        return static_cast<bool>(wall[static_cast<std::size_t>(y * w + x)]);
    };
    Meteors meteors;
    RNG rng(2024);
    int spawns = 0, ends = 0;
    for (int frame = 0; frame < 20000; ++frame) {
        const RNG before = rng;
        const bool wasActive = meteors.active();
        const int64_t oldLife = wasActive ? meteors.meteor()->life : 0;
        meteors.step(rng, w, h, 0.8, blocked);
        if (!wasActive && meteors.active()) {
            ++spawns;
            ASSERT_EQ(rng.state, advanced(before, 6).state);
        } else if (wasActive && !meteors.active()) {
            ++ends;
            ASSERT_EQ(rng.state, advanced(before, 1).state);
            ASSERT_GE(meteors.wait(), 150);
            ASSERT_LE(meteors.wait(), 1050);
        } else {
            ASSERT_EQ(rng.state, before.state);
        }
        if (wasActive && meteors.active()) {
            const auto* m = meteors.meteor();
            ASSERT_EQ(m->life, oldLife - 1);
            const auto ix = static_cast<int64_t>(m->x), iy = static_cast<int64_t>(m->y);
            ASSERT_TRUE(ix >= 0 && ix < w && iy >= 0 && iy < h);
            ASSERT_FALSE(wall[static_cast<std::size_t>(iy * w + ix)]);
        }
    }
    EXPECT_GT(spawns, 10);
    EXPECT_GE(ends, spawns - 1);
}

// Draws a horizontal meteor flying right with its head at (60.5, 5.5) and returns the colour of
// every trail pixel behind it, head first, until the background shows.
std::vector<uint32_t> trail(double scale, int64_t life) {
    Meteors meteors;
    meteors.launch(60.5, 5.5, 1.0, 0.0, 1.0, life);
    Canvas canvas = blankCanvas(80, 10);
    meteors.draw(canvas, scale, openSky);
    std::vector<uint32_t> out;
    for (int64_t x = 60; x >= 0 && canvas.at(x, 5) != kBackground; --x) out.push_back(canvas.at(x, 5));
    int64_t written = 0;
    for (uint32_t p : canvas.px) written += p != kBackground;
    EXPECT_EQ(written, static_cast<int64_t>(out.size()));
    return out;
}

std::vector<uint32_t> bands(std::initializer_list<int> widths) {
    std::vector<uint32_t> out;
    std::size_t c = 0;
    for (int n : widths) {
        out.insert(out.end(), static_cast<std::size_t>(n), Meteors::tail[c]);
        ++c;
    }
    return out;
}

TEST(Meteors, TrailLengthAndColourBandsFollowTheScale) {
    EXPECT_EQ(trail(0.4, 30), bands({2, 1, 1, 1, 1}));       // 6 steps: c = i*5/6
    EXPECT_EQ(trail(0.1, 30), bands({2, 1, 1, 1, 1}));       // never fewer than 6
    EXPECT_EQ(trail(1.7, 30), bands({4, 4, 4, 4, 4}));       // 20 steps
    EXPECT_EQ(trail(2.0, 30), bands({5, 5, 5, 5, 4}));       // 24 steps: c = i*5/24
    EXPECT_EQ(trail(1.0, 30), bands({3, 2, 3, 2, 2}));       // 12 steps
    EXPECT_EQ(trail(2.0, 3), bands({5, 1}));                 // life 3: six pixels at most
    EXPECT_EQ(trail(2.0, 1), bands({2}));
    EXPECT_EQ(trail(0.4, 2), bands({2, 1, 1}));
}

TEST(Meteors, LaterStepsOnTheSamePixelWin) {
    Meteors meteors;
    // Steps 0..3 all fall on pixel (10, 5); with six steps they have colours 0, 0, 1, 2.
    meteors.launch(10.95, 5.5, 0.3, 0.1, 1.0, 30);
    Canvas canvas(20, 10);
    meteors.draw(canvas, 0.4, openSky);
    EXPECT_EQ(canvas.at(10, 5), Meteors::tail[2]);
    EXPECT_EQ(canvas.at(9, 5), Meteors::tail[4]);  // steps 4 and 5
}

TEST(Meteors, BlockedTrailPixelsKeepTheirColourAndTheTrailGoesOn) {
    Meteors meteors;
    meteors.launch(30.5, 5.5, 1.0, 0.0, 1.0, 30);
    Canvas canvas = blankCanvas(40, 10);
    auto blocked = [](int64_t x, int64_t y) { return y == 5 && (x == 30 || x == 25 || x == 26); };
    meteors.draw(canvas, 1.0, blocked);  // 12 steps: x = 30 down to 19
    EXPECT_EQ(canvas.at(30, 5), kBackground);
    EXPECT_EQ(canvas.at(25, 5), kBackground);
    EXPECT_EQ(canvas.at(26, 5), kBackground);
    EXPECT_EQ(canvas.at(29, 5), Meteors::tail[0]);
    EXPECT_EQ(canvas.at(24, 5), Meteors::tail[2]);
    EXPECT_EQ(canvas.at(19, 5), Meteors::tail[4]);
    EXPECT_EQ(canvas.at(18, 5), kBackground);
}

TEST(Meteors, NeverWritesOutsideTheCanvas) {
    // A trail that runs off every side of a tiny canvas; even a `blocked` that lets everything
    // through must not lead to a write outside it.
    const double dirs[][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {0.6, 0.8}, {-0.6, -0.8}};
    for (auto& d : dirs) {
        Meteors meteors;
        meteors.launch(1.5, 1.5, d[0], d[1], 1.0, 30);
        Canvas canvas = blankCanvas(3, 3);
        meteors.draw(canvas, 2.0, openSky);
        EXPECT_EQ(canvas.px.size(), 9u);
        EXPECT_EQ(canvas.at(1, 1), Meteors::tail[0]);
    }
}

}  // namespace
}  // namespace duskmere
