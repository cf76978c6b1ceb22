// The campfire frame step, phase by phase.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>

#include "CampfireProbe.h"
#include "campfire/CampfireScene.h"

namespace duskmere {
namespace {

constexpr uint32_t warmDim = 0xFF0C2A5Cu;
constexpr uint32_t warmBright = 0xFF1A5AB4u;
constexpr uint32_t grass = 0xFF1C3424u;

// Sets the generator to the first state (counting up from `from`) whose next draws satisfy
// `wanted`, judged on a copy; returns that state.
uint64_t findState(CampfireProbe& p, const std::function<bool(RNG)>& wanted, uint64_t from = 1) {
    for (uint64_t state = from; state < from + 1000000; ++state) {
        RNG r(state);
        if (wanted(r)) {
            p.rng().state = state;
            return state;
        }
    }
    ADD_FAILURE() << "no generator state found";
    return 0;
}

TEST(CampfireStep, ScrollsOnceEveryPanFrames) {
    CampfireScene scene(64, 48, 1);
    for (int i = 0; i < 5; ++i) scene.step();
    EXPECT_EQ(scene.panCount(), 0);
    scene.step();
    EXPECT_EQ(scene.panCount(), 1);
    EXPECT_EQ(scene.frameCount(), 6);
    for (int i = 0; i < 60; ++i) scene.step();
    EXPECT_EQ(scene.panCount(), 11);
}

TEST(CampfireStep, WithoutCampsNothingWarmsButTheGlowStillBreathes) {
    CampfireScene scene(240, 135, 2);
    CampfireProbe p(scene);
    p.holdTerrain();
    p.camps().clear();
    p.glow() = 0.0f;
    for (int i = 0; i < 400; ++i) {
        if (scene.frameCount() % 2 == 1) {
            // The next frame is even: one or two draws for the glow after the other phases.
            const RNG start = p.rng();
            const float before = p.glow();
            p.stepFiresAndGlow();
            RNG replay = start;
            float target = p.glowTarget();
            if (replay.unit() < 0.5) {
                target = static_cast<float>(replay.unit() * 0.30000000000000004 + 0.7);
                EXPECT_EQ(p.glowTarget(), target);
            }
            EXPECT_EQ(p.rng().state, replay.state);
            EXPECT_EQ(p.glow(), (target - before) * 0.4f + before);
            p.rng() = start;
            p.glow() = before;
        }
        scene.step();
    }
    EXPECT_GT(scene.glowLevel(), 0.6f);
    EXPECT_GE(scene.glowGoal(), 0.7f);
    EXPECT_LT(scene.glowGoal(), 1.0f);
    EXPECT_TRUE(scene.allSparks().empty());
    for (int64_t y = 0; y < scene.height(); ++y) {
        for (int64_t x = 0; x < scene.workWidth(); ++x) {
            ASSERT_NE(scene.bufAt(x, y), warmDim);
            ASSERT_NE(scene.bufAt(x, y), warmBright);
        }
    }
}

TEST(CampfireStep, NeedleAttempts) {
    CampfireScene scene(240, 135, 3);
    CampfireProbe p(scene);
    const int64_t ww = scene.workWidth(), h = scene.height(), top = scene.treeTopRow();
    auto target = [&](RNG r) {
        const int64_t x = r.intBelow(ww);
        const int64_t y = r.intIn(top, h - 1);
        return std::pair{x, y};
    };

    // A pixel that is no needle, and a needle of a tree not yet revealed: two draws, no change.
    for (int kind = 0; kind < 2; ++kind) {
        findState(p, [&](RNG r) {
            auto [x, y] = target(r);
            if (kind == 0) return !scene.stickAt(x, y);
            return scene.stickAt(x, y) && scene.ownerAt(x, y) >= 0 && !scene.paintedAt(x, y);
        });
        auto [x, y] = target(p.rng());
        const uint32_t before = scene.bufAt(x, y);
        const RNG start = p.rng();
        p.flickerNeedle();
        EXPECT_EQ(drawsBetween(start, p.rng()), 2);
        EXPECT_EQ(scene.bufAt(x, y), before);
    }

    // A grass speck far from every fire shows the grass colour, without further draws.
    const auto camps = p.camps();
    p.camps().clear();
    findState(p, [&](RNG r) {
        auto [x, y] = target(r);
        return scene.stickAt(x, y) && scene.ownerAt(x, y) < 0;
    });
    {
        auto [x, y] = target(p.rng());
        const RNG start = p.rng();
        p.flickerNeedle();
        EXPECT_EQ(drawsBetween(start, p.rng()), 2);
        EXPECT_EQ(scene.bufAt(x, y), grass);
    }

    // A revealed needle close to a fire (c above 0.55) turns warm whenever the first unit allows
    // it, and then takes a second unit to choose between the two warm colours.
    p.camps() = camps;
    int64_t warm = 0, own = 0;
    for (uint64_t from = 1; warm + own < 40; from += 1) {
        const uint64_t state = findState(p, [&](RNG r) {
            auto [x, y] = target(r);
            if (!scene.stickAt(x, y) || scene.ownerAt(x, y) < 0) return false;
            for (const auto& camp : p.camps()) {
                if (std::abs(x - camp.fireX) < 10 && std::abs(y - scene.groundRow()) < 30) return true;
            }
            return false;
        }, from);
        from = state;
        auto [x, y] = target(p.rng());
        p.painted(x, y) = 1;
        const RNG start = p.rng();
        p.flickerNeedle();
        const uint32_t colour = scene.bufAt(x, y);
        const uint32_t treeColour = scene.allTrees()[static_cast<std::size_t>(scene.ownerAt(x, y))].color;
        if (colour == treeColour) {
            ++own;
            EXPECT_EQ(drawsBetween(start, p.rng()), 3);
        } else {
            ++warm;
            EXPECT_TRUE(colour == warmDim || colour == warmBright);
            EXPECT_EQ(drawsBetween(start, p.rng()), 4);
        }
    }
    EXPECT_GT(warm, own);
}

TEST(CampfireStep, WarmNeedlesStayWithinReachOfTheFires) {
    CampfireScene scene(960, 270, 4);
    int64_t warm = 0;
    for (int i = 0; i < 600; ++i) scene.step();
    const double reach = scene.sceneScale() * 260.0;
    for (int64_t y = 0; y < scene.height(); ++y) {
        for (int64_t x = 0; x < scene.workWidth(); ++x) {
            const uint32_t c = scene.bufAt(x, y);
            if (c != warmDim && c != warmBright) continue;
            ++warm;
            double d = std::numeric_limits<double>::infinity();
            for (const auto& camp : scene.allCamps()) {
                d = std::min(d, std::hypot(static_cast<double>(x - camp.fireX), static_cast<double>(y - scene.groundRow())));
            }
            EXPECT_LT(d, reach) << x << "," << y;
        }
    }
    EXPECT_GT(warm, 0);
}

TEST(CampfireStep, StarAttempts) {
    CampfireScene scene(240, 135, 5);
    CampfireProbe p(scene);
    const int64_t ww = scene.workWidth(), groundY = scene.groundRow();
    auto target = [&](RNG r) {
        const int64_t y = static_cast<int64_t>(static_cast<double>(groundY) * std::pow(r.unit(), 1.5));
        const int64_t x = r.intBelow(ww);
        return std::pair{x, y};
    };
    // Over a revealed tree: two draws and no star.
    findState(p, [&](RNG r) {
        auto [x, y] = target(r);
        return scene.ownerAt(x, y) >= 0;
    });
    {
        auto [x, y] = target(p.rng());
        p.painted(x, y) = 1;
        const uint32_t before = scene.bufAt(x, y);
        const RNG start = p.rng();
        p.scatterStar();
        EXPECT_EQ(drawsBetween(start, p.rng()), 2);
        EXPECT_EQ(scene.bufAt(x, y), before);
    }
    // Over a tent: the same.
    findState(p, [&](RNG r) {
        auto [x, y] = target(r);
        return scene.tentAt(x, y);
    });
    {
        const RNG start = p.rng();
        p.scatterStar();
        EXPECT_EQ(drawsBetween(start, p.rng()), 2);
    }
    // Over open sky: three more draws for a pale blue-white colour.
    for (int n = 0; n < 50; ++n) {
        findState(p, [&](RNG r) {
            auto [x, y] = target(r);
            return scene.skyAt(x, y) && !scene.paintedAt(x, y);
        }, static_cast<uint64_t>(n) * 1000 + 1);
        auto [x, y] = target(p.rng());
        const RNG start = p.rng();
        p.scatterStar();
        EXPECT_EQ(drawsBetween(start, p.rng()), 5);
        const uint32_t c = scene.bufAt(x, y);
        EXPECT_EQ(c >> 24, 0xFFu);
        EXPECT_GE(c & 0xFF, 100u);
        EXPECT_LE(c & 0xFF, 220u);
        EXPECT_GE((c >> 8) & 0xFF, 110u);
        EXPECT_LE((c >> 8) & 0xFF, 220u);
        EXPECT_GE((c >> 16) & 0xFF, 150u);
    }
}

TEST(CampfireStep, RevealedBlocksTakeTheSilhouetteOfTheirRow) {
    CampfireScene scene(240, 135, 6);
    CampfireProbe p(scene);
    const int64_t ww = scene.workWidth(), h = scene.height(), b = scene.blockSide();
    for (int n = 0; n < 30; ++n) {
        RNG r = p.rng();
        const int64_t x0 = r.intIn(-b, ww - 1);
        const int64_t y0 = r.intIn(scene.treeTopRow() - b, h - 1);
        std::vector<uint32_t> before;
        for (int64_t y = 0; y < h; ++y) {
            for (int64_t x = 0; x < ww; ++x) before.push_back(scene.bufAt(x, y));
        }
        p.revealBlock();
        std::size_t i = 0;
        for (int64_t y = 0; y < h; ++y) {
            for (int64_t x = 0; x < ww; ++x, ++i) {
                const bool inside = x >= x0 && x < x0 + b && y >= y0 && y < y0 + b;
                const int32_t o = scene.ownerAt(x, y);
                if (inside && o >= 0) {
                    EXPECT_TRUE(scene.paintedAt(x, y));
                    const bool front = scene.allTrees()[static_cast<std::size_t>(o)].front;
                    EXPECT_EQ(scene.bufAt(x, y), front ? 0xFF020100u : 0xFF0C0502u);
                } else {
                    EXPECT_EQ(scene.bufAt(x, y), before[i]);
                }
            }
        }
        EXPECT_EQ(drawsBetween(r, p.rng()), 0);
    }
}

TEST(CampfireStep, EraseDiscsRestoreRoundPatches) {
    // At 48 rows every disc is a single pixel.
    {
        CampfireScene scene(64, 48, 7);
        CampfireProbe p(scene);
        for (int n = 0; n < 40; ++n) {
            RNG r = p.rng();
            r.intIn(2, 15);
            const int64_t x0 = r.intIn(-1, scene.workWidth());
            const int64_t y0 = r.intIn(-1, scene.height());
            for (int64_t y = 0; y < scene.height(); ++y) {
                for (int64_t x = 0; x < scene.workWidth(); ++x) p.buf(x, y) = 0xFF00FF00u;
            }
            p.eraseDisc();
            int64_t restored = 0;
            for (int64_t y = 0; y < scene.height(); ++y) {
                for (int64_t x = 0; x < scene.workWidth(); ++x) {
                    if (scene.bufAt(x, y) == 0xFF00FF00u) continue;
                    ++restored;
                    EXPECT_EQ(x, x0);
                    EXPECT_EQ(y, y0);
                    EXPECT_EQ(scene.bufAt(x, y), scene.baseAt(x, y));
                }
            }
            const bool inside = x0 >= 0 && x0 < scene.workWidth() && y0 >= 0 && y0 < scene.height();
            EXPECT_EQ(restored, inside ? 1 : 0);
        }
    }
    // At 480 rows the diameter is the drawn number; revealed tree pixels keep their silhouette.
    CampfireScene scene(64, 480, 8);
    CampfireProbe p(scene);
    for (int64_t y = 0; y < scene.height(); ++y) {
        for (int64_t x = 0; x < scene.workWidth(); ++x) {
            if (scene.ownerAt(x, y) >= 0 && (x + y) % 2 == 0) p.painted(x, y) = 1;
        }
    }
    for (int n = 0; n < 15; ++n) {
        RNG r = p.rng();
        const int64_t d = r.intIn(2, 15);
        const int64_t x0 = r.intIn(-d, scene.workWidth());
        const int64_t y0 = r.intIn(-d, scene.height());
        for (int64_t y = 0; y < scene.height(); ++y) {
            for (int64_t x = 0; x < scene.workWidth(); ++x) p.buf(x, y) = 0xFF00FF00u;
        }
        p.eraseDisc();
        const double c = static_cast<double>(d - 1) * 0.5;
        for (int64_t y = 0; y < scene.height(); ++y) {
            for (int64_t x = 0; x < scene.workWidth(); ++x) {
                const double dx = static_cast<double>(x - x0) - c, dy = static_cast<double>(y - y0) - c;
                const bool inDisc = x >= x0 && x < x0 + d && y >= y0 && y < y0 + d && dx * dx + dy * dy <= static_cast<double>(d * d) * 0.25;
                uint32_t expected = 0xFF00FF00u;
                if (inDisc) {
                    const int32_t o = scene.ownerAt(x, y);
                    expected = scene.paintedAt(x, y) ? (scene.allTrees()[static_cast<std::size_t>(o)].front ? 0xFF020100u : 0xFF0C0502u)
                                                     : scene.baseAt(x, y);
                }
                ASSERT_EQ(scene.bufAt(x, y), expected) << x << "," << y << " disc " << d << " at " << x0 << "," << y0;
            }
        }
    }
}

TEST(CampfireStep, SparksRiseFromHalfWayUpTheFireAndDie) {
    CampfireScene scene(480, 270, 9);
    CampfireProbe p(scene);
    ASSERT_EQ(p.camps().size(), 1u);
    const auto& camp = p.camps()[0];

    // No spark: one draw per camp.
    findState(p, [](RNG r) { return r.unit() >= 0.12; });
    RNG start = p.rng();
    p.spawnSparks();
    EXPECT_EQ(drawsBetween(start, p.rng()), 1);
    EXPECT_TRUE(p.sparks().empty());

    for (int n = 0; n < 30; ++n) {
        findState(p, [](RNG r) { return r.unit() < 0.12; }, static_cast<uint64_t>(n) * 500 + 1);
        start = p.rng();
        p.spawnSparks();
        EXPECT_EQ(drawsBetween(start, p.rng()), 6);
    }
    ASSERT_EQ(p.sparks().size(), 30u);
    const double fireX = static_cast<double>(camp.fireX), quarter = static_cast<double>(scene.fireWidth()) * 0.25;
    for (const auto& spark : p.sparks()) {
        EXPECT_EQ(spark.life, spark.maxLife);
        EXPECT_GE(spark.life, 40);
        EXPECT_LE(spark.life, 110);
        EXPECT_GE(spark.x, fireX - quarter);
        EXPECT_LT(spark.x, fireX + quarter);
        EXPECT_EQ(spark.y, static_cast<double>(scene.fireBaseRow() - scene.fireHeight() / 2));
        EXPECT_GE(spark.vx, -0.2);
        EXPECT_LT(spark.vx, 0.2);
        EXPECT_GE(spark.vy, -0.9);
        EXPECT_LT(spark.vy, -0.35);
    }

    // A spark born with 40 frames of life survives 39 moves and is gone after the 40th.
    p.sparks().clear();
    p.sparks().push_back({100.0, 200.0, 0.1, -0.5, 40, 40, 1.0});
    for (int move = 1; move <= 39; ++move) {
        p.moveSparks();
        ASSERT_EQ(p.sparks().size(), 1u);
        EXPECT_EQ(p.sparks()[0].life, 40 - move);
    }
    EXPECT_LT(p.sparks()[0].y, 200.0 - 39 * 0.4);  // it rose, slowing only a little
    p.moveSparks();
    EXPECT_TRUE(p.sparks().empty());
}

TEST(CampfireStep, FirefliesBounceInsideTheirBandAndBlink) {
    CampfireScene scene(480, 270, 10);
    CampfireProbe p(scene);
    const double top = 270 * 0.45, bottom = static_cast<double>(scene.groundRow() - 2), right = 479.0;
    const double vxMax = 0.35, vyMax = 0.2;

    p.flies() = {{200.0, top + 0.01, 0.0, -vyMax, false, 50, 50}};
    p.moveFireflies();
    EXPECT_EQ(p.flies()[0].y, top);
    EXPECT_GT(p.flies()[0].vy, 0.0);

    p.flies() = {{right - 0.01, bottom - 0.01, vxMax, vyMax, false, 50, 50}};
    p.moveFireflies();
    EXPECT_EQ(p.flies()[0].x, right);
    EXPECT_LT(p.flies()[0].vx, 0.0);
    EXPECT_EQ(p.flies()[0].y, bottom);
    EXPECT_LT(p.flies()[0].vy, 0.0);

    p.flies() = {{0.01, 150.0, -vxMax, 0.0, false, 50, 50}};
    p.moveFireflies();
    EXPECT_EQ(p.flies()[0].x, 0.0);
    EXPECT_GT(p.flies()[0].vx, 0.0);
    EXPECT_EQ(p.flies()[0].timer, 49);

    // Two draws per firefly and frame, a third when a period ends.
    p.flies() = {{200.0, 150.0, 0.0, 0.0, false, 1, 80}};
    RNG start = p.rng();
    p.moveFireflies();
    EXPECT_EQ(drawsBetween(start, p.rng()), 3);
    EXPECT_TRUE(p.flies()[0].on);
    EXPECT_EQ(p.flies()[0].timer, p.flies()[0].span);
    EXPECT_GE(p.flies()[0].span, 25);
    EXPECT_LE(p.flies()[0].span, 60);
    p.flies()[0].timer = 1;
    p.moveFireflies();
    EXPECT_FALSE(p.flies()[0].on);
    EXPECT_GE(p.flies()[0].span, 40);
    EXPECT_LE(p.flies()[0].span, 200);

    // Over a long run they never leave the band or outrun their speed limits.
    for (int i = 0; i < 3000; ++i) {
        scene.step();
        for (const auto& fly : scene.fireflies()) {
            ASSERT_GE(fly.x, 0.0);
            ASSERT_LE(fly.x, right);
            ASSERT_GE(fly.y, top);
            ASSERT_LE(fly.y, bottom);
            ASSERT_LE(std::abs(fly.vx), vxMax);
            ASSERT_LE(std::abs(fly.vy), vyMax);
        }
    }
}

}  // namespace
}  // namespace duskmere
