#include "animals/Animals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

namespace duskmere {
namespace {

constexpr double twoPi = 6.283185307179586;
constexpr uint32_t marker = 0xFF123456u;

// A generator whose spawn draws send the walker in from the chosen side, with or without a stop.
// `speciesDraw` is whether the spawn first draws a species (no forced species).
RNG spawningRng(bool fromLeft, bool stops, bool speciesDraw = false) {
    for (uint64_t seed = 1;; ++seed) {
        RNG probe(seed);
        if (speciesDraw) probe.next();
        const bool left = probe.unit() < 0.5;
        const bool stop = probe.unit() < 0.6;
        if (left == fromLeft && stop == stops) return RNG(seed);
    }
}

// ---- species ----

TEST(Species, RawValuesAndDeclarationOrder) {
    ASSERT_EQ(allSpecies.size(), 3u);
    EXPECT_EQ(allSpecies[0], Species::moose);
    EXPECT_EQ(allSpecies[1], Species::bear);
    EXPECT_EQ(allSpecies[2], Species::fox);
    EXPECT_EQ(rawValue(Species::moose), "moose");
    EXPECT_EQ(rawValue(Species::bear), "bear");
    EXPECT_EQ(rawValue(Species::fox), "fox");
    for (Species s : allSpecies) {
        EXPECT_EQ(std::hash<Species>{}(s), std::hash<std::string_view>{}(rawValue(s)));
    }
    std::unordered_set<Species> set(allSpecies.begin(), allSpecies.end());
    EXPECT_EQ(set.size(), 3u);
}

// ---- stepping ----

TEST(AnimalsStep, WaitCountsDownWithoutDrawsThenSpawns) {
    Animals animals(1, std::nullopt, std::nullopt);
    RNG rng(99);
    animals.step(rng, 300, 1.0);
    EXPECT_FALSE(animals.hasWalker());
    EXPECT_EQ(animals.wait(), 0);
    EXPECT_EQ(rng.state, RNG(99).state);
    EXPECT_FALSE(animals.previous().has_value());

    animals.step(rng, 300, 1.0);
    EXPECT_TRUE(animals.hasWalker());
    EXPECT_TRUE(animals.previous().has_value());
}

TEST(AnimalsStep, SpawnDrawsSpeciesThenSideThenStop) {
    std::set<Species> species;
    std::set<double> sides;
    bool stopped = false, unstopped = false;
    for (uint64_t seed = 0; seed < 40; ++seed) {
        Animals animals(0, std::nullopt, std::nullopt);
        RNG rng(seed);
        RNG expect = rng;
        animals.step(rng, 300, 1.0);

        const Species chosen = allSpecies[static_cast<std::size_t>(expect.intBelow(3))];
        const double u1 = expect.unit();
        const double u2 = expect.unit();
        std::optional<double> pauseAt;
        if (u2 < 0.6) pauseAt = 300.0 * (expect.unit() * 0.6000000000000001 + 0.2);
        EXPECT_EQ(rng.state, expect.state) << seed;

        ASSERT_TRUE(animals.hasWalker());
        EXPECT_EQ(animals.previous(), chosen);
        const double w = static_cast<double>(animals.walkerFrames()[0].width());
        EXPECT_EQ(animals.walkerX(), u1 < 0.5 ? -w : 300.0);
        EXPECT_EQ(animals.walkerDir(), u1 < 0.5 ? 1.0 : -1.0);
        EXPECT_EQ(animals.walkerPauseAt(), pauseAt);
        if (pauseAt) {
            EXPECT_GE(*pauseAt, 60.0);
            EXPECT_LT(*pauseAt, 240.0);
        }
        species.insert(chosen);
        sides.insert(animals.walkerDir());
        (pauseAt ? stopped : unstopped) = true;
    }
    EXPECT_EQ(species.size(), 3u);
    EXPECT_EQ(sides.size(), 2u);
    EXPECT_TRUE(stopped && unstopped);
}

TEST(AnimalsStep, NeverTheSameSpeciesTwiceInARow) {
    // After a bear the candidates are [moose, fox]: a draw of 0 is the moose, 1 the fox.
    bool sawMoose = false, sawFox = false;
    for (uint64_t seed = 0; seed < 20; ++seed) {
        Animals animals(0, Species::bear, std::nullopt);
        RNG rng(seed);
        const uint64_t draw = RNG(seed).next() % 2;
        animals.step(rng, 300, 1.0);
        EXPECT_EQ(animals.previous(), draw == 0 ? Species::moose : Species::fox) << seed;
        (draw == 0 ? sawMoose : sawFox) = true;
    }
    EXPECT_TRUE(sawMoose && sawFox);
}

TEST(AnimalsStep, ForcedSpeciesTakesNoSpeciesDraw) {
    for (uint64_t seed = 0; seed < 20; ++seed) {
        Animals animals(0, Species::fox, Species::fox);  // even right after a fox
        RNG rng(seed);
        RNG expect = rng;
        animals.step(rng, 300, 1.0);
        ASSERT_TRUE(animals.hasWalker());
        EXPECT_EQ(animals.previous(), Species::fox);
        EXPECT_EQ(animals.forced(), Species::fox);
        const double u1 = expect.unit();
        if (expect.unit() < 0.6) expect.unit();
        EXPECT_EQ(rng.state, expect.state);
        EXPECT_EQ(animals.walkerDir(), u1 < 0.5 ? 1.0 : -1.0);
    }
}

TEST(AnimalsStep, SpawnedWalkerTakesItsSpeciesValues) {
    struct Case {
        Species species;
        double scale;
        int64_t w, h;
        double speed, period;
    };
    const Case cases[] = {
        {Species::fox, 1.0, 34, 16, 1.0, 18},
        {Species::moose, 1.5, 87, 75, 0.75, 44},
        {Species::bear, 2.0, 100, 52, 0.9, 40},
        {Species::bear, 0.5, 25, 13, 0.225, 40},
    };
    for (const Case& c : cases) {
        for (bool fromLeft : {true, false}) {
            Animals animals(0, std::nullopt, c.species);
            RNG rng = spawningRng(fromLeft, false);
            animals.step(rng, 200, c.scale);
            const std::string name = std::string(rawValue(c.species)) + " at " + std::to_string(c.scale);
            ASSERT_TRUE(animals.hasWalker()) << name;
            ASSERT_EQ(animals.walkerFrames().size(), 8u);
            for (const Sprite& frame : animals.walkerFrames()) {
                EXPECT_EQ(frame.width(), c.w) << name;
                EXPECT_EQ(frame.height(), c.h) << name;
            }
            EXPECT_EQ(animals.walkerX(), fromLeft ? -static_cast<double>(c.w) : 200.0) << name;
            EXPECT_EQ(animals.walkerDir(), fromLeft ? 1.0 : -1.0);
            EXPECT_EQ(animals.walkerSpeed(), c.speed) << name;
            EXPECT_EQ(animals.walkerCadence(), twoPi / c.period) << name;
            EXPECT_EQ(animals.walkerPhase(), 0.0);
            EXPECT_EQ(animals.walkerPause(), 0);
            EXPECT_FALSE(animals.walkerPauseAt().has_value());

            // It first moves on the following step.
            animals.step(rng, 200, c.scale);
            EXPECT_EQ(animals.walkerX(), animals.walkerDir() * animals.walkerSpeed() +
                                             (fromLeft ? -static_cast<double>(c.w) : 200.0));
            EXPECT_EQ(animals.walkerPhase(), twoPi / c.period);
        }
    }
}

TEST(AnimalsStep, SingleStopHoldsPositionAndGaitFrame) {
    for (bool fromLeft : {true, false}) {
        Animals animals(0, std::nullopt, Species::fox);
        RNG rng = spawningRng(fromLeft, true);
        animals.step(rng, 300, 1.0);
        ASSERT_TRUE(animals.walkerPauseAt().has_value());
        const double pauseAt = *animals.walkerPauseAt();

        // Walk until the stop begins: the first step at or past pauseAt draws its length.
        double before = animals.walkerX();
        RNG expect = rng;
        int guard = 0;
        while (animals.walkerPause() == 0) {
            ASSERT_LT(++guard, 400);
            before = animals.walkerX();
            expect = rng;
            animals.step(rng, 300, 1.0);
        }
        const double x = animals.walkerX();
        if (fromLeft) {
            EXPECT_LT(before, pauseAt);
            EXPECT_GE(x, pauseAt);
        } else {
            EXPECT_GT(before, pauseAt);
            EXPECT_LE(x, pauseAt);
        }
        EXPECT_EQ(animals.walkerPause(), expect.intIn(90, 240));
        EXPECT_EQ(rng.state, expect.state);
        EXPECT_FALSE(animals.walkerPauseAt().has_value());

        // The stop counts down without moving, changing the frame or drawing.
        const double phase = animals.walkerPhase();
        const RNG held = rng;
        for (int64_t left = animals.walkerPause(); left > 0; --left) {
            animals.step(rng, 300, 1.0);
            EXPECT_EQ(animals.walkerPause(), left - 1);
            EXPECT_EQ(animals.walkerX(), x);
            EXPECT_EQ(animals.walkerPhase(), phase);
        }
        EXPECT_EQ(rng.state, held.state);
        // Moving again on the step that finds pause already 0.
        animals.step(rng, 300, 1.0);
        EXPECT_EQ(animals.walkerX(), x + animals.walkerDir());
        EXPECT_EQ(animals.walkerPhase(), phase + animals.walkerCadence());

        // Only one stop: the walker crosses to the far side without another.
        while (animals.hasWalker()) {
            EXPECT_EQ(animals.walkerPause(), 0);
            animals.step(rng, 300, 1.0);
        }
    }
}

TEST(AnimalsStep, LeavingDrawsTheWaitThenTheNextIsAnotherSpecies) {
    for (bool fromLeft : {true, false}) {
        Animals animals(0, std::nullopt, std::nullopt);
        RNG rng = spawningRng(fromLeft, false, true);
        animals.step(rng, 46, 1.0);
        const Species first = *animals.previous();
        RNG expect = rng;
        while (animals.hasWalker()) {
            expect = rng;
            animals.step(rng, 46, 1.0);
        }
        const int64_t wait = expect.intIn(1200, 4500);
        EXPECT_EQ(animals.wait(), wait);
        EXPECT_EQ(rng.state, expect.state);

        const RNG idle = rng;
        for (int64_t i = 0; i < wait; ++i) {
            animals.step(rng, 46, 1.0);
            ASSERT_FALSE(animals.hasWalker());
        }
        EXPECT_EQ(animals.wait(), 0);
        EXPECT_EQ(rng.state, idle.state);
        animals.step(rng, 46, 1.0);
        ASSERT_TRUE(animals.hasWalker());
        EXPECT_NE(animals.previous(), first);
    }
}

TEST(AnimalsStep, LeavesOnlyMoreThanTwoPixelsBeyondTheFarEdge) {
    // A fox at scale 1 is 34 wide and moves one pixel a step; the canvas is 46 wide.
    for (bool fromLeft : {true, false}) {
        Animals animals(0, std::nullopt, Species::fox);
        RNG rng = spawningRng(fromLeft, false);
        animals.step(rng, 46, 1.0);
        double last = 0;
        while (animals.hasWalker()) {
            last = animals.walkerX();
            animals.step(rng, 46, 1.0);
        }
        EXPECT_EQ(last, fromLeft ? 48.0 : -36.0);
    }
}

// ---- drawing ----

// A fox at scale 1 that has walked 40 steps without stopping: at x = 6 on a 46-wide canvas
// from either side, in gait frame Int(40 / 18 * 8) mod 8 = 1.
Animals foxAtSix(bool fromLeft) {
    Animals animals(0, std::nullopt, Species::fox);
    RNG rng = spawningRng(fromLeft, false);
    for (int i = 0; i < 41; ++i) animals.step(rng, 46, 1.0);
    return animals;
}

constexpr int64_t groundY = 20;

Canvas drawn(const Animals& animals, std::vector<int64_t> fires, double scale = 1.0) {
    Canvas canvas(46, 24);
    std::fill(canvas.px.begin(), canvas.px.end(), marker);
    animals.draw(canvas, groundY, fires, scale, [&](int64_t x, int64_t y) { return !canvas.contains(x, y); });
    return canvas;
}

const Sprite& shownFrame(const Animals& animals) {
    return animals.walkerFrames()[static_cast<std::size_t>(Animals::frameIndex(animals.walkerPhase()))];
}

TEST(AnimalsDraw, FrameFollowsPhase) {
    EXPECT_EQ(Animals::frameIndex(0.0), 0);
    EXPECT_EQ(Animals::frameIndex(twoPi * 7.99 / 8), 7);
    EXPECT_EQ(Animals::frameIndex(twoPi), 0);
    EXPECT_EQ(Animals::frameIndex(twoPi * 9.5 / 8), 1);
    EXPECT_EQ(Animals::frameIndex(twoPi * 123.0), 0);
}

TEST(AnimalsDraw, NothingWithoutAWalker) {
    Animals animals(10, std::nullopt, std::nullopt);
    const std::vector<int64_t> fires{3};
    const Canvas canvas = drawn(animals, fires);
    for (uint32_t p : canvas.px) ASSERT_EQ(p, marker);
}

TEST(AnimalsDraw, BlackSilhouetteStandsOnTheGroundLine) {
    const Animals animals = foxAtSix(true);
    ASSERT_EQ(animals.walkerX(), 6.0);
    ASSERT_EQ(Animals::frameIndex(animals.walkerPhase()), 1);
    const Sprite& frame = animals.walkerFrames()[1];
    const Canvas canvas = drawn(animals, {});
    int64_t bottomRow = 0;
    for (int64_t y = 0; y < canvas.height; ++y) {
        for (int64_t x = 0; x < canvas.width; ++x) {
            const bool inside = x >= 6 && x < 6 + 34 && y >= groundY - 16 && y < groundY;
            const bool set = inside && frame.bit(x - 6, y - (groundY - 16));
            ASSERT_EQ(canvas.at(x, y), set ? Animals::silhouette : marker) << x << "," << y;
            if (set && y == groundY - 1) ++bottomRow;
        }
    }
    EXPECT_GT(bottomRow, 0);  // feet on the line just above groundY
    // Frame 1 is told apart from frame 0.
    bool differ = false;
    for (int64_t y = 0; y < 16; ++y)
        for (int64_t x = 0; x < 34; ++x) differ |= animals.walkerFrames()[0].bit(x, y) != frame.bit(x, y);
    EXPECT_TRUE(differ);
}

TEST(AnimalsDraw, WalkerGoingLeftIsMirrored) {
    const Animals right = foxAtSix(true);
    const Animals left = foxAtSix(false);
    ASSERT_EQ(left.walkerX(), 6.0);
    ASSERT_EQ(left.walkerDir(), -1.0);
    ASSERT_EQ(left.walkerPhase(), right.walkerPhase());

    // Columns 6 ... 39 hold the sprite, so X and 45 - X swap sides.
    const Canvas r = drawn(right, {});
    const Canvas l = drawn(left, {});
    for (int64_t y = 0; y < r.height; ++y)
        for (int64_t x = 0; x < r.width; ++x) ASSERT_EQ(l.at(x, y), r.at(45 - x, y)) << x << "," << y;
    // The head (the ears on the top rows) is at the right for one, the left for the other.
    EXPECT_EQ(r.at(30, groundY - 15), Animals::silhouette);
    EXPECT_EQ(l.at(15, groundY - 15), Animals::silhouette);
    EXPECT_EQ(l.at(30, groundY - 15), marker);

    // With the fire mirrored too, the rims mirror.
    const Canvas rl = drawn(right, {-10});
    const Canvas ll = drawn(left, {55});
    int64_t rims = 0;
    for (int64_t y = 0; y < r.height; ++y) {
        for (int64_t x = 0; x < r.width; ++x) {
            ASSERT_EQ(ll.at(x, y), rl.at(45 - x, y)) << x << "," << y;
            rims += rl.at(x, y) == Animals::brightRim || rl.at(x, y) == Animals::dimRim;
        }
    }
    EXPECT_GT(rims, 10);
}

// Column of a set pixel on canvas row y whose left neighbour in the sprite is clear and, if
// `rightSet`, whose right neighbour is set; for a walker going right at `left`.
std::optional<int64_t> leftEdge(const Animals& animals, int64_t left, int64_t y, bool rightSet) {
    const Sprite& frame = shownFrame(animals);
    const int64_t sy = y - (groundY - frame.height());
    for (int64_t sx = 0; sx + 1 < frame.width(); ++sx) {
        const bool clearLeft = sx == 0 || !frame.bit(sx - 1, sy);
        if (frame.bit(sx, sy) && clearLeft && (!rightSet || frame.bit(sx + 1, sy))) return left + sx;
    }
    return std::nullopt;
}

std::optional<int64_t> rightEdgeWithLeftSet(const Animals& animals, int64_t left, int64_t y) {
    const Sprite& frame = shownFrame(animals);
    const int64_t sy = y - (groundY - frame.height());
    for (int64_t sx = 1; sx < frame.width(); ++sx) {
        const bool clearRight = sx + 1 == frame.width() || !frame.bit(sx + 1, sy);
        if (frame.bit(sx, sy) && clearRight && frame.bit(sx - 1, sy)) return left + sx;
    }
    return std::nullopt;
}

TEST(AnimalsDraw, RimFacesTheNearestFireAndTiesKeepTheEarlier) {
    const Animals animals = foxAtSix(true);
    const int64_t y = groundY - 11;  // the body row
    const auto edge = leftEdge(animals, 6, y, true);
    const auto back = rightEdgeWithLeftSet(animals, 6, y);
    ASSERT_TRUE(edge && back);
    const int64_t x = *edge;

    // A fire in the same column looks at the left neighbour.
    EXPECT_EQ(drawn(animals, {x}).at(x, y), Animals::brightRim);
    EXPECT_EQ(drawn(animals, {*back}).at(*back, y), Animals::silhouette);
    EXPECT_EQ(drawn(animals, {*back + 1}).at(*back, y), Animals::brightRim);

    // Equal distances: the earlier fire decides which side is lit.
    EXPECT_EQ(drawn(animals, {x - 10, x + 10}).at(x, y), Animals::brightRim);
    EXPECT_EQ(drawn(animals, {x + 10, x - 10}).at(x, y), Animals::silhouette);
    // A strictly nearer later fire wins.
    EXPECT_EQ(drawn(animals, {x + 11, x - 10, x - 12}).at(x, y), Animals::brightRim);
    EXPECT_EQ(drawn(animals, {x - 10, x + 9}).at(x, y), Animals::silhouette);

    // Interior pixels stay black whatever the light.
    const Canvas lit = drawn(animals, {x - 3});
    EXPECT_EQ(lit.at(x + 1, y), Animals::silhouette);
}

TEST(AnimalsDraw, RimColourThresholds) {
    // At scale 1/3 the light reaches exactly 50 pixels, so whole-number distances give exact light.
    const double scale = 1.0 / 3.0;
    ASSERT_EQ(150.0 * scale, 50.0);
    const Animals animals = foxAtSix(true);

    // (dy, dx) pairs at distance 25 (light 0.5) and 50 (light 0).
    struct Probe {
        int64_t dy, dx;
        uint32_t atDistance, nearer;
    };
    const Probe probes[] = {
        {15, 20, Animals::dimRim, Animals::brightRim},   // 0.5 is still dim
        {7, 24, Animals::dimRim, Animals::brightRim},
        {14, 48, Animals::silhouette, Animals::dimRim},  // light 0 is plain black
    };
    int tested = 0;
    for (const Probe& p : probes) {
        const int64_t y = groundY - p.dy;
        const auto edge = leftEdge(animals, 6, y, false);
        if (!edge) continue;
        const int64_t x = *edge;
        EXPECT_EQ(drawn(animals, {x - p.dx}, scale).at(x, y), p.atDistance) << p.dy;
        EXPECT_EQ(drawn(animals, {x - p.dx + 1}, scale).at(x, y), p.nearer) << p.dy;
        ++tested;
    }
    EXPECT_EQ(tested, 3);
    // Far beyond the light's reach: black everywhere.
    const Canvas dark = drawn(animals, {-200}, scale);
    for (uint32_t px : dark.px) ASSERT_TRUE(px == marker || px == Animals::silhouette);
}

TEST(AnimalsDraw, HiddenPixelsAreLeftUntouched) {
    const Animals animals = foxAtSix(false);
    const Canvas full = drawn(animals, {20, 3});
    Canvas part(46, 24);
    std::fill(part.px.begin(), part.px.end(), marker);
    auto hidden = [&](int64_t x, int64_t y) { return !part.contains(x, y) || (x + y) % 3 == 0; };
    const std::vector<int64_t> fires{20, 3};
    animals.draw(part, groundY, fires, 1.0, hidden);
    int64_t kept = 0;
    for (int64_t y = 0; y < part.height; ++y) {
        for (int64_t x = 0; x < part.width; ++x) {
            // Rims come from the sprite, not from what is visible, so visible pixels are unchanged.
            const uint32_t want = (x + y) % 3 == 0 ? marker : full.at(x, y);
            ASSERT_EQ(part.at(x, y), want) << x << "," << y;
            kept += (x + y) % 3 == 0 && full.at(x, y) != marker;
        }
    }
    EXPECT_GT(kept, 0);
}

TEST(AnimalsDraw, ClipsAtTheCanvasEdges) {
    // A fox at scale 0.5 is 17 wide and moves half a pixel a step: after 33 steps it is at -0.5,
    // so its left edge is column -1 and its first sprite column is not drawn.
    Animals animals(0, std::nullopt, Species::fox);
    RNG rng = spawningRng(true, false);
    for (int i = 0; i < 34; ++i) animals.step(rng, 100, 0.5);
    ASSERT_EQ(animals.walkerX(), -0.5);
    const Sprite& frame = shownFrame(animals);
    ASSERT_EQ(frame.width(), 17);

    Canvas canvas(10, 12);
    std::fill(canvas.px.begin(), canvas.px.end(), marker);
    const std::vector<int64_t> none;
    animals.draw(canvas, 11, none, 0.5, [&](int64_t x, int64_t y) { return !canvas.contains(x, y); });
    const int64_t top = 11 - frame.height();
    for (int64_t y = 0; y < canvas.height; ++y) {
        for (int64_t x = 0; x < canvas.width; ++x) {
            const bool set = y >= top && y < 11 && frame.bit(x + 1, y - top);
            ASSERT_EQ(canvas.at(x, y), set ? Animals::silhouette : marker) << x << "," << y;
        }
    }

    // A caller whose hidden test forgets the canvas edges still gets no write outside it.
    Canvas small(4, 3);
    animals.draw(small, 11, none, 0.5, [](int64_t, int64_t) { return false; });
    animals.draw(small, 1, none, 0.5, [](int64_t, int64_t) { return false; });
}

}  // namespace
}  // namespace duskmere
