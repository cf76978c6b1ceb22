// The cellular fire and the camps: tent, glow, fire pit, warm-up and spacing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "CampfireProbe.h"
#include "campfire/CampfireScene.h"
#include "sky/Bayer4.h"

namespace duskmere {
namespace {

// Every cell above the bottom row holds the heat of one of the (up to) three cells below it,
// as they were before the step, minus at most maxDecay.
void expectRise(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after, int64_t fw,
                int64_t fh, int64_t maxDecay) {
    for (int64_t r = 0; r + 1 < fh; ++r) {
        const std::vector<uint8_t>& below = r + 1 == fh - 1 ? after : before;
        for (int64_t i = 0; i < fw; ++i) {
            const int64_t v = after[static_cast<std::size_t>(r * fw + i)];
            bool found = false;
            for (int64_t j = std::max<int64_t>(0, i - 1); j <= std::min(fw - 1, i + 1); ++j) {
                const int64_t source = below[static_cast<std::size_t>((r + 1) * fw + j)];
                if (v <= source && v >= std::max<int64_t>(0, source - maxDecay)) found = true;
            }
            EXPECT_TRUE(found) << "cell " << i << "," << r;
        }
    }
}

// The bottom row: 75 % to 100 % of a parabola that peaks at 36 in column fw / 2.
void expectSeedRow(const std::vector<uint8_t>& heat, int64_t fw, int64_t fh) {
    const int64_t n = fw / 2;
    for (int64_t i = 0; i < fw; ++i) {
        const double x = static_cast<double>(i - n) / static_cast<double>(n + 1);
        const double profile = (1 - x * x) * 36;
        const int64_t v = heat[static_cast<std::size_t>((fh - 1) * fw + i)];
        EXPECT_LE(v, static_cast<int64_t>(profile));
        EXPECT_GE(v, static_cast<int64_t>(0.75 * profile) - 1);
    }
}

TEST(CampfireFire, RowsRiseWaverAndCool) {
    CampfireScene scene(480, 270, 1);
    CampfireProbe p(scene);
    const int64_t fw = scene.fireWidth(), fh = scene.fireHeight(), maxDecay = scene.maxHeatDecay();
    std::vector<uint8_t> heat(static_cast<std::size_t>(fw * fh), 0);
    for (int step = 0; step < 300; ++step) {
        const std::vector<uint8_t> before = heat;
        const RNG start = p.rng();
        p.stepFire(heat);
        // One draw per seed cell, then an offset and a loss per rising cell.
        ASSERT_EQ(drawsBetween(start, p.rng()), fw + fw * (fh - 1) * 2);
        expectSeedRow(heat, fw, fh);
        expectRise(before, heat, fw, fh, maxDecay);
        EXPECT_LE(*std::max_element(heat.begin(), heat.end()), 35);
    }
    // Hot at the base and cooler toward the top.
    int64_t bottom = 0, top = 0;
    for (int64_t i = 0; i < fw; ++i) {
        bottom += heat[static_cast<std::size_t>((fh - 1) * fw + i)];
        top += heat[static_cast<std::size_t>(i)];
    }
    EXPECT_GT(bottom, top);
}

TEST(CampfireFire, SingleRowOnlyReseeds) {
    CampfireScene scene(480, 270, 2);
    CampfireProbe p(scene);
    p.fh() = 1;
    std::vector<uint8_t> heat(12, 0);
    const RNG start = p.rng();
    p.stepFire(heat);
    EXPECT_EQ(drawsBetween(start, p.rng()), 12);
    expectSeedRow(heat, 12, 1);
    EXPECT_GE(heat[6], 27);
}

TEST(CampfireFire, WithoutDecayTheWholeGridFills) {
    CampfireScene scene(480, 270, 3);
    CampfireProbe p(scene);
    p.maxDecay() = 0;
    const int64_t fw = 12, fh = 20;
    std::vector<uint8_t> heat(fw * fh, 0);
    for (int step = 0; step < 40; ++step) {
        const std::vector<uint8_t> before = heat;
        const RNG start = p.rng();
        p.stepFire(heat);
        ASSERT_EQ(drawsBetween(start, p.rng()), fw * fh);  // no loss draws
        expectRise(before, heat, fw, fh, 0);
    }
    // Every cell is a copy of some seed, and the coolest seed (column 0) is 7 or more.
    EXPECT_GE(*std::min_element(heat.begin(), heat.end()), 7);
}

TEST(CampfireFire, SingleColumnStillDrawsItsOffsets) {
    CampfireScene scene(480, 270, 4);
    CampfireProbe p(scene);
    p.fw() = 1;
    p.fh() = 5;
    std::vector<uint8_t> heat(5, 0);
    for (int step = 0; step < 20; ++step) {
        const std::vector<uint8_t> before = heat;
        const RNG start = p.rng();
        p.stepFire(heat);
        EXPECT_EQ(drawsBetween(start, p.rng()), 1 + 4 * 2);
        EXPECT_GE(heat[4], 27);
        EXPECT_LE(heat[4], 35);
        expectRise(before, heat, 1, 5, scene.maxHeatDecay());
    }
}

struct BuiltCamp {
    int64_t cc, dz, tx, fx;
    bool fireRight;
    std::size_t litBefore, overlayBefore;
};

// Builds a camp at the right of the working grid, the furthest the trigger allows.
BuiltCamp buildCamp(CampfireProbe& p) {
    const CampfireScene& scene = p.s;
    p.holdTerrain();
    p.camps().clear();
    const int64_t margin = static_cast<int64_t>(scene.sceneScale() * 160.0);
    p.nextCampX() = scene.workWidth() - 1 - margin;
    BuiltCamp b{};
    b.cc = p.nextCampX();
    b.litBefore = p.lit().size();
    b.overlayBefore = p.overlay().size();
    RNG coin = p.rng();
    b.fireRight = coin.unit() < 0.5;
    const int64_t offset = static_cast<int64_t>(scene.sceneScale() * 34.0);
    b.dz = b.fireRight ? offset : -offset;
    b.fx = b.cc + b.dz;
    b.tx = b.cc - b.dz;
    p.campStep();
    return b;
}

TEST(CampfireCamps, TentStandsOppositeTheFireAndIsLitFromItsSide) {
    bool sides[2] = {false, false};
    for (uint64_t seed = 1; seed <= 6; ++seed) {
        CampfireScene scene(480, 270, seed);
        CampfireProbe p(scene);
        const BuiltCamp b = buildCamp(p);
        sides[b.fireRight ? 1 : 0] = true;
        ASSERT_EQ(p.camps().size(), 1u);
        EXPECT_EQ(p.camps()[0].centerX, b.cc);
        EXPECT_EQ(p.camps()[0].fireX, b.fx);

        const int64_t hw = 26, tall = 30, door = 12, q = 6;
        const int64_t top = scene.groundRow() - tall + 1;
        for (int64_t k = -2; k <= tall; ++k) {
            const int64_t y = top + k;
            const int64_t half = k < 0 ? 0 : (k * hw) / tall;
            for (int64_t x = b.tx - hw - 3; x <= b.tx + hw + 3; ++x) {
                ASSERT_EQ(p.tentMask(x, y) != 0, std::abs(x - b.tx) <= half) << x << "," << y;
            }
            // The door opens below row `door`, reaching a quarter of the half-width at the bottom.
            int64_t doorPixels = 0;
            for (int64_t x = b.tx - half; x <= b.tx + half; ++x) doorPixels += p.base(x, y) == 0xFF030202u ? 1 : 0;
            if (k <= door) {
                EXPECT_EQ(doorPixels, 0) << "row " << k;
            } else {
                EXPECT_EQ(doorPixels, 2 * (((k - door) * q) / (tall - door)) + 1) << "row " << k;
            }
        }

        // Fabric pixels are lit: brighter toward the fire, the ridge and outline 0.15 brighter.
        std::vector<CampfireProbe::Lit> tent(p.lit().begin() + static_cast<std::ptrdiff_t>(b.litBefore), p.lit().end());
        std::erase_if(tent, [](const auto& l) { return l.dim != 0xFF10325Au; });
        int64_t fabric = 0;
        for (int64_t y = top - 2; y <= top + tall; ++y) {
            for (int64_t x = b.tx - hw; x <= b.tx + hw; ++x) fabric += p.base(x, y) == 0xFF080B0Du ? 1 : 0;
        }
        ASSERT_EQ(static_cast<int64_t>(tent.size()), fabric);
        for (const auto& l : tent) {
            EXPECT_EQ(l.bright, 0xFF1C60A8u);
            EXPECT_EQ(l.thr, bayer4At(l.x, l.y));
            const int64_t k = l.y - top;
            const int64_t half = k < 0 ? 0 : (k * hw) / tall;
            float across = static_cast<float>(l.x - (b.tx - hw)) / static_cast<float>(2 * hw);
            if (!b.fireRight) across = 1.0f - across;
            const bool edge = l.x == b.tx || std::abs(l.x - b.tx) == half;
            EXPECT_EQ(l.level, across * 0.62f + 0.3f + (edge ? 0.15f : 0.0f));
        }
        // The bottom row's outer pixels: the one on the fire's side is the brighter.
        auto levelAt = [&](int64_t x, int64_t y) {
            for (const auto& l : tent) {
                if (l.x == x && l.y == y) return l.level;
            }
            return -1.0f;
        };
        const int64_t bottom = top + tall;
        const float left = levelAt(b.tx - hw, bottom), right = levelAt(b.tx + hw, bottom);
        EXPECT_EQ(right > left, b.fireRight);
    }
    EXPECT_TRUE(sides[0] && sides[1]);
}

TEST(CampfireCamps, GlowLightsOnlyOpenGroundInsideTheEllipse) {
    CampfireScene scene(480, 270, 9);
    CampfireProbe p(scene);
    const BuiltCamp b = buildCamp(p);
    int64_t glow = 0;
    for (std::size_t i = b.litBefore; i < p.lit().size(); ++i) {
        const auto& l = p.lit()[i];
        if (l.dim != 0xFF06132Au) continue;
        ++glow;
        EXPECT_EQ(l.bright, 0xFF0C2C5Cu);
        EXPECT_GE(l.y, scene.groundRow());
        EXPECT_LT(p.owner(l.x, l.y), 0);
        EXPECT_EQ(p.tentMask(l.x, l.y), 0);
        const double u = static_cast<double>(l.x - b.fx) / 120.0, v = static_cast<double>(l.y - scene.fireBaseRow()) / 28.0;
        EXPECT_LT(u * u + v * v, 1.0);
        EXPECT_GT(l.level, 0.0f);
        EXPECT_LE(l.level, 1.0f);
    }
    // Tree trunks and the tent stand in the ellipse without glowing.
    int64_t open = 0, skipped = 0;
    for (int64_t y = scene.groundRow(); y < scene.height(); ++y) {
        for (int64_t x = b.fx - 119; x <= b.fx + 119; ++x) {
            if (x >= scene.workWidth()) continue;
            const double u = static_cast<double>(x - b.fx) / 120.0, v = static_cast<double>(y - scene.fireBaseRow()) / 28.0;
            if (u * u + v * v >= 0.98) continue;
            (p.owner(x, y) >= 0 || p.tentMask(x, y) != 0 ? skipped : open) += 1;
        }
    }
    EXPECT_GT(skipped, 0);
    EXPECT_GE(glow, open);
}

TEST(CampfireCamps, FirePitAndWarmUp) {
    CampfireScene scene(480, 270, 10);
    CampfireProbe p(scene);
    const int64_t fw = scene.fireWidth(), fh = scene.fireHeight();
    const RNG start = p.rng();
    const BuiltCamp b = buildCamp(p);
    // The side coin, 60 warm-up steps and the spacing.
    EXPECT_EQ(drawsBetween(start, p.rng()), 1 + 60 * (fw + fw * (fh - 1) * 2) + 1);
    const auto& heat = p.camps()[0].heat;
    EXPECT_GE(*std::max_element(heat.begin(), heat.end()), 27);

    // Three rows ending on the fire base: logs across the pit, three stones either side.
    const int64_t rows = 3, left = b.fx - fw / 2 - 1, right = b.fx + fw / 2 + 1;
    ASSERT_EQ(p.overlay().size() - b.overlayBefore, static_cast<std::size_t>(rows * ((right - left + 1) + 2 * rows)));
    for (std::size_t i = b.overlayBefore; i < p.overlay().size(); ++i) {
        const auto& o = p.overlay()[i];
        const bool first = o.y == scene.fireBaseRow() - rows + 1;
        EXPECT_GE(o.y, scene.fireBaseRow() - rows + 1);
        EXPECT_LE(o.y, scene.fireBaseRow());
        if (o.x >= left && o.x <= right) {
            EXPECT_EQ(o.color, first ? 0xFF102E5Au : 0xFF08182Eu);
        } else {
            EXPECT_TRUE((o.x >= left - rows && o.x < left) || (o.x > right && o.x <= right + rows));
            EXPECT_EQ(o.color, first ? 0xFF36383Cu : 0xFF262224u);
        }
    }
}

TEST(CampfireCamps, NextCampFollowsAtLeastTheMinimumSpacing) {
    for (int64_t w : {10, 480, 2000}) {
        CampfireScene scene(w, 270, 11);
        CampfireProbe p(scene);
        const BuiltCamp b = buildCamp(p);
        // The spacing is the last draw of the camp step.
        RNG last;
        last.state = p.rng().state - 0x9E3779B97F4A7C15ULL;
        const int64_t spacing = static_cast<int64_t>(last.doubleIn(0.9, 1.4) * static_cast<double>(w));
        EXPECT_EQ(p.nextCampX() - b.cc, std::max<int64_t>(2 * 160 + 4, spacing)) << w;
    }
}

TEST(CampfireCamps, NothingHappensUntilTheNextCampIsWithinReach) {
    CampfireScene scene(200, 100, 12);
    CampfireProbe p(scene);
    const int64_t margin = static_cast<int64_t>(scene.sceneScale() * 160.0);
    p.nextCampX() = scene.workWidth() - margin;  // one column too far
    const auto camps = p.camps().size(), lit = p.lit().size();
    const RNG start = p.rng();
    p.campStep();
    EXPECT_EQ(p.camps().size(), camps);
    EXPECT_EQ(p.lit().size(), lit);
    EXPECT_EQ(p.rng().state, start.state);
    p.nextCampX() -= 1;
    p.campStep();
    EXPECT_EQ(p.camps().size(), camps + 1);
}

TEST(CampfireCamps, SmallScenesKeepTheMinimumTent) {
    CampfireScene scene(64, 48, 13);
    CampfireProbe p(scene);
    const BuiltCamp b = buildCamp(p);
    const int64_t top = scene.groundRow() - 5 + 1;
    // Pole, apex and five widening rows down to one below the ground line.
    const int64_t halves[] = {0, 0, 0, 0, 1, 2, 3, 4};
    for (int64_t k = -2; k <= 5; ++k) {
        int64_t width = 0, door = 0;
        for (int64_t x = b.tx - 6; x <= b.tx + 6; ++x) {
            width += p.tentMask(x, top + k);
            door += p.base(x, top + k) == 0xFF030202u && p.tentMask(x, top + k) != 0 ? 1 : 0;
        }
        EXPECT_EQ(width, 2 * halves[k + 2] + 1) << "row " << k;
        // The door starts after row 2, as a single ridge pixel, and is 3 wide at the bottom.
        EXPECT_EQ(door, k <= 2 ? 0 : (k < 5 ? 1 : 3)) << "row " << k;
    }
    // A two-row pit with two stones either side.
    EXPECT_EQ(p.overlay().size() - b.overlayBefore, static_cast<std::size_t>(2 * (5 + 4)));
}

TEST(CampfireCamps, NoGlowWithoutGround) {
    CampfireScene scene(64, 2, 14);
    ASSERT_EQ(scene.groundRow(), scene.height());
    for (const auto& l : scene.litPoints()) EXPECT_EQ(l.dim, 0xFF10325Au);
    EXPECT_EQ(scene.allCamps().size(), 1u);
}

}  // namespace
}  // namespace duskmere
