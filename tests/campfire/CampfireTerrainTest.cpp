// Scrolling the campfire terrain and growing its two rows of trees.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <vector>

#include "CampfireInvariants.h"
#include "CampfireProbe.h"
#include "campfire/CampfireScene.h"
#include "sky/Bayer4.h"

namespace duskmere {
namespace {

using Tree = CampfireProbe::Tree;

struct Cell {
    uint32_t base, buf;
    uint8_t sky, tent, painted, stick;
    int32_t owner;
    bool operator==(const Cell&) const = default;
};

std::vector<Cell> snapshot(CampfireProbe& p) {
    std::vector<Cell> cells;
    for (int64_t y = 0; y < p.s.height(); ++y) {
        for (int64_t x = 0; x < p.s.workWidth(); ++x) {
            cells.push_back({p.base(x, y), p.buf(x, y), p.skyMask(x, y), p.tentMask(x, y),
                             p.painted(x, y), p.stick(x, y), p.owner(x, y)});
        }
    }
    return cells;
}

uint32_t skyColour(const CampfireScene& scene, int64_t worldX, int64_t y) {
    const auto& row = scene.skyRows()[static_cast<std::size_t>(y)];
    return row.frac > bayer4At(worldX, y) ? row.high : row.low;
}

// Commits exactly one tree of the given shape: placed at the right edge of the working grid, its
// replacement can never fit in the same call.
int32_t commitAtRightEdge(CampfireProbe& p, Tree t) {
    const auto row = static_cast<std::size_t>(t.front ? 1 : 0);
    p.holdTerrain();
    t.cx = p.s.workWidth() - 3 - p.halfWidth(t);
    p.pending()[row] = t;
    const auto before = p.trees().size();
    p.growRows();
    EXPECT_EQ(p.trees().size(), before + 1);
    return static_cast<int32_t>(before);
}

Tree shape(int64_t height, double spread, bool front, int64_t baseY) {
    return Tree{0, baseY, height, spread, 2, front ? 0xFF12200Eu : 0xFF322E1Au, front};
}

void clearOwners(CampfireProbe& p) {
    for (int64_t y = 0; y < p.s.height(); ++y) {
        for (int64_t x = 0; x < p.s.workWidth(); ++x) {
            if (p.tentMask(x, y) != 0) continue;
            p.owner(x, y) = -1;
            p.painted(x, y) = 0;
        }
    }
}

TEST(CampfireTerrain, ScrollMovesEveryGridOneColumnAndFillsTheNewOne) {
    CampfireScene scene(64, 48, 3);
    CampfireProbe p(scene);
    p.holdTerrain();
    p.lit().push_back({0, 45, 1.0f, 0.5f, 1, 2});
    p.lit().push_back({1, 45, 1.0f, 0.5f, 3, 4});
    p.overlay().push_back({0, 40, 5});
    p.overlay().push_back({1, 40, 6});
    p.sparks().push_back({0.5, 30.0, 0, 0, 10, 10, 0});
    const auto before = snapshot(p);
    const auto trees = p.trees();
    const auto camps = p.camps();
    const auto lit = p.lit();
    const auto overlay = p.overlay();
    const int64_t nextCamp = p.nextCampX();
    RNG expected = p.rng();

    p.shift();

    const int64_t ww = scene.workWidth();
    const int64_t h = scene.height();
    const int64_t groundY = scene.groundRow();
    const auto after = snapshot(p);
    for (int64_t y = 0; y < h; ++y) {
        for (int64_t x = 0; x + 1 < ww; ++x) {
            ASSERT_EQ(after[static_cast<std::size_t>(y * ww + x)], before[static_cast<std::size_t>(y * ww + x + 1)])
                << "at " << x << "," << y;
        }
        const Cell& fresh = after[static_cast<std::size_t>(y * ww + ww - 1)];
        const uint32_t colour = y < groundY ? skyColour(scene, ww, y) : 0xFF0B100Cu;
        EXPECT_EQ(fresh.base, colour);
        EXPECT_EQ(fresh.buf, colour);
        EXPECT_EQ(fresh.owner, -1);
        EXPECT_EQ(fresh.painted, 0);
        EXPECT_EQ(fresh.tent, 0);
        EXPECT_EQ(fresh.sky, y < groundY ? 1 : 0);
        // One draw per ground row, none for the sky.
        EXPECT_EQ(fresh.stick, y < groundY ? 0 : (expected.unit() < 0.07 ? 1 : 0));
    }
    EXPECT_EQ(p.rng().state, expected.state);
    EXPECT_EQ(scene.panCount(), 1);

    for (std::size_t i = 0; i < trees.size(); ++i) EXPECT_EQ(p.trees()[i].cx, trees[i].cx - 1);
    ASSERT_EQ(p.camps().size(), camps.size());
    for (std::size_t i = 0; i < camps.size(); ++i) {
        EXPECT_EQ(p.camps()[i].centerX, camps[i].centerX - 1);
        EXPECT_EQ(p.camps()[i].fireX, camps[i].fireX - 1);
    }
    EXPECT_EQ(p.nextCampX(), nextCamp - 1);
    // Entries at column 0 leave; the rest move along in order.
    ASSERT_EQ(p.lit().size(), lit.size() - 1);
    EXPECT_EQ(p.lit().back().dim, 3u);
    EXPECT_EQ(p.lit().back().x, 0);
    ASSERT_EQ(p.overlay().size(), overlay.size() - 1);
    EXPECT_EQ(p.overlay().back().color, 6u);
    EXPECT_EQ(p.overlay().back().x, 0);
    EXPECT_EQ(p.sparks().back().x, -0.5);
}

TEST(CampfireTerrain, CampsLeaveOnlyFarBeyondTheLeftEdge) {
    CampfireScene scene(64, 48, 3);
    CampfireProbe p(scene);
    p.holdTerrain();
    const int64_t reach = 2 * static_cast<int64_t>(scene.sceneScale() * 160.0);
    auto camp = p.camps()[0];
    p.camps().clear();
    camp.centerX = -reach;  // becomes -reach - 1: gone
    p.camps().push_back(camp);
    camp.centerX = -reach + 1;  // becomes -reach: stays
    p.camps().push_back(camp);
    p.shift();
    ASSERT_EQ(p.camps().size(), 1u);
    EXPECT_EQ(p.camps()[0].centerX, -reach);
}

TEST(CampfireTerrain, SkyDitherStaysContinuousAcrossScrolls) {
    CampfireScene scene(64, 48, 5);
    // Long enough for the ring of columns to wrap round more than once.
    for (int frame = 0; frame < 6 * 300; ++frame) {
        scene.step();
        if (frame % 150 != 0) continue;
        for (int64_t y = 0; y < scene.groundRow(); ++y) {
            for (int64_t x = 0; x < scene.workWidth(); ++x) {
                if (scene.tentAt(x, y)) continue;
                ASSERT_EQ(scene.baseAt(x, y), skyColour(scene, scene.panCount() + x, y))
                    << "at " << x << "," << y << " after " << scene.panCount() << " scrolls";
            }
        }
    }
}

TEST(CampfireTerrain, ARowCommitsEveryTreeThatFitsInOneCall) {
    CampfireScene scene(64, 48, 3);
    CampfireProbe p(scene);
    const int64_t ww = scene.workWidth();
    p.pending()[1].cx = std::numeric_limits<int32_t>::max();
    p.pending()[0].cx = 5;
    const auto before = p.trees().size();
    p.growRows();
    ASSERT_GE(p.trees().size(), before + 3);
    int64_t previous = -1;
    for (auto i = before; i < p.trees().size(); ++i) {
        const Tree& t = p.trees()[i];
        EXPECT_FALSE(t.front);
        EXPECT_LE(t.cx + p.halfWidth(t), ww - 3);
        if (previous >= 0) {
            const Tree& left = p.trees()[i - 1];
            EXPECT_GE(t.cx - left.cx, std::max<int64_t>(4, static_cast<int64_t>(1.1 * static_cast<double>(p.halfWidth(left)))));
        }
        previous = t.cx;
    }
    EXPECT_EQ(p.trees()[before].cx, 5);
    EXPECT_GT(p.pending()[0].cx + p.halfWidth(p.pending()[0]), ww - 3);
    ASSERT_EQ(p.recent()[0].size(), 2u);
    EXPECT_EQ(p.recent()[0][1].cx, p.trees().back().cx);
    EXPECT_EQ(p.recent()[0][0].cx, p.trees()[p.trees().size() - 2].cx);
}

TEST(CampfireTerrain, FrontTreesKeepClearOfCampsAndTheNextCamp) {
    CampfireScene scene(240, 135, 12);
    CampfireProbe p(scene);
    const int64_t r = static_cast<int64_t>(scene.sceneScale() * 110.0);
    auto clearOf = [&](int64_t centre) {
        for (const Tree& t : scene.allTrees()) {
            if (!t.front) continue;
            const int64_t m = (6 * p.halfWidth(t)) / 10;
            if (centre - r < t.cx + m && t.cx - m < centre + r) return false;
        }
        return true;
    };
    auto backTreeNear = [&](int64_t centre) {
        for (const Tree& t : scene.allTrees()) {
            if (!t.front && std::abs(t.cx - centre) < r) return true;
        }
        return false;
    };
    EXPECT_TRUE(clearOf(scene.allCamps()[0].centerX));
    EXPECT_TRUE(backTreeNear(scene.allCamps()[0].centerX));
    for (int frame = 0; frame < 6 * 600; ++frame) {
        scene.step();
        for (const auto& camp : scene.allCamps()) ASSERT_TRUE(clearOf(camp.centerX)) << camp.centerX;
        ASSERT_TRUE(clearOf(scene.nextCampColumn()));
    }

    // A front tree placed on a planned camp's centre is dropped, and its successor is placed
    // from the dropped tree's position.
    p.holdTerrain();
    p.nextCampX() = 100;
    Tree t = shape(60, 0.2, true, scene.groundRow() + 2);
    t.cx = 100;
    p.pending()[1] = t;
    const auto recentBefore = p.recent()[1].size();
    const auto before = p.trees().size();
    p.growRows();
    for (auto i = before; i < p.trees().size(); ++i) {
        const Tree& added = p.trees()[i];
        const int64_t m = (6 * p.halfWidth(added)) / 10;
        EXPECT_FALSE(100 - r < added.cx + m && added.cx - m < 100 + r) << added.cx;
    }
    if (p.trees().size() == before) { EXPECT_EQ(p.recent()[1].size(), recentBefore); }
    EXPECT_GE(p.pending()[1].cx, 104);
}

TEST(CampfireTerrain, TentsStayInFrontOfEveryTree) {
    CampfireScene scene(64, 48, 3);
    CampfireProbe p(scene);
    std::vector<std::pair<int64_t, int64_t>> tent;
    int64_t tentX = 0;
    for (int64_t y = 0; y < scene.height(); ++y) {
        for (int64_t x = 0; x < scene.workWidth(); ++x) {
            if (p.tentMask(x, y) == 0) continue;
            tent.emplace_back(x, y);
            tentX = x;  // the last pixel found is on the bottom row's right end
        }
    }
    ASSERT_FALSE(tent.empty());
    tentX -= 4;  // the ridge
    // Grow both rows right over the tent, with no camp clearing in the way.
    p.holdTerrain();
    p.camps().clear();
    const auto before = p.trees().size();
    Tree back = shape(40, 0.3, false, scene.groundRow() + 1);
    back.cx = tentX;
    p.pending()[0] = back;
    p.growRows();
    p.holdTerrain();
    Tree front = shape(40, 0.3, true, scene.groundRow() + 2);
    front.cx = tentX;
    p.pending()[1] = front;
    p.growRows();
    ASSERT_GE(p.trees().size(), before + 2);
    EXPECT_EQ(p.trees()[before].cx, tentX);
    int64_t around = 0;
    for (int64_t y = 0; y < scene.height(); ++y) {
        for (int64_t x = tentX - 8; x <= tentX + 8; ++x) {
            if (p.owner(x, y) >= static_cast<int32_t>(before)) ++around;
        }
    }
    EXPECT_GT(around, 50);
    for (auto [x, y] : tent) {
        EXPECT_EQ(p.tentMask(x, y), 1);
        EXPECT_EQ(p.owner(x, y), -1);
    }
}

TEST(CampfireTerrain, ClaimingFollowsTheRows) {
    CampfireScene scene(64, 48, 3);
    CampfireProbe p(scene);
    clearOwners(p);
    const int64_t baseY = scene.groundRow() + 2;
    const int32_t firstFront = commitAtRightEdge(p, shape(20, 0.2, true, baseY));
    std::set<std::pair<int64_t, int64_t>> frontPixels;
    for (int64_t y = 0; y < scene.height(); ++y) {
        for (int64_t x = 0; x < scene.workWidth(); ++x) {
            if (p.owner(x, y) == firstFront) frontPixels.emplace(x, y);
        }
    }
    ASSERT_GT(frontPixels.size(), 20u);

    // A taller back-row tree on the same spot goes round the front tree.
    const int32_t back = commitAtRightEdge(p, shape(30, 0.3, false, baseY));
    int64_t backPixels = 0;
    for (int64_t y = 0; y < scene.height(); ++y) {
        for (int64_t x = 0; x < scene.workWidth(); ++x) {
            if (frontPixels.count({x, y}) != 0) {
                EXPECT_EQ(p.owner(x, y), firstFront);
            } else if (p.owner(x, y) == back) {
                ++backPixels;
            }
        }
    }
    EXPECT_GT(backPixels, 0);

    // Reveal everything, then a later front tree takes whatever it covers and hides it again.
    for (int64_t y = 0; y < scene.height(); ++y) {
        for (int64_t x = 0; x < scene.workWidth(); ++x) {
            if (p.owner(x, y) < 0) continue;
            p.painted(x, y) = 1;
            p.buf(x, y) = 0xFF123456u;
        }
    }
    const int32_t secondFront = commitAtRightEdge(p, shape(34, 0.35, true, baseY));
    int64_t retaken = 0;
    for (int64_t y = 0; y < scene.height(); ++y) {
        for (int64_t x = 0; x < scene.workWidth(); ++x) {
            if (p.owner(x, y) != secondFront) continue;
            EXPECT_EQ(p.painted(x, y), 0);
            EXPECT_EQ(p.buf(x, y), p.base(x, y));
            if (frontPixels.count({x, y}) != 0) ++retaken;
        }
    }
    EXPECT_GT(retaken, 0);
    // And a later back tree takes pixels from an earlier back tree but none from a front tree.
    std::vector<int32_t> owners;
    for (int64_t y = 0; y < scene.height(); ++y) {
        for (int64_t x = 0; x < scene.workWidth(); ++x) owners.push_back(p.owner(x, y));
    }
    const int32_t secondBack = commitAtRightEdge(p, shape(44, 0.4, false, scene.groundRow() + 1));
    int64_t fromBack = 0;
    std::size_t i = 0;
    for (int64_t y = 0; y < scene.height(); ++y) {
        for (int64_t x = 0; x < scene.workWidth(); ++x, ++i) {
            const int32_t old = owners[i];
            if (old >= 0 && p.trees()[static_cast<std::size_t>(old)].front) {
                EXPECT_EQ(p.owner(x, y), old);
            } else if (old == back && p.owner(x, y) == secondBack) {
                ++fromBack;
            }
        }
    }
    EXPECT_GT(fromBack, 0);
}

TEST(CampfireTerrain, TreeShapes) {
    CampfireScene scene(64, 270, 3);
    CampfireProbe p(scene);
    clearOwners(p);
    p.treeTop() = scene.height() - 1;
    const int64_t baseY = scene.groundRow() + 1;

    // Below 3 rows a tree is still drawn 3 rows tall, with a one-pixel trunk.
    const int32_t tiny = commitAtRightEdge(p, shape(2, 0.2, false, baseY));
    const int64_t cx = p.trees()[static_cast<std::size_t>(tiny)].cx;
    int64_t top = scene.height(), bottom = -1;
    for (int64_t y = 0; y < scene.height(); ++y) {
        for (int64_t x = 0; x < scene.workWidth(); ++x) {
            if (p.owner(x, y) != tiny) continue;
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    EXPECT_EQ(top, baseY - 3);
    EXPECT_EQ(bottom, baseY - 1);
    for (int64_t x = 0; x < scene.workWidth(); ++x) EXPECT_EQ(p.owner(x, baseY - 1) == tiny, x == cx);
    EXPECT_EQ(scene.treeTopRow(), baseY - 2);  // from the stored height

    // A tall tree: a crown that widens from a point to about its envelope, and a thick trunk.
    clearOwners(p);
    const Tree tall = shape(140, 0.2, false, baseY);
    const int32_t id = commitAtRightEdge(p, tall);
    const Tree& t = p.trees()[static_cast<std::size_t>(id)];
    const int64_t trunkHeight = 140 / 7;
    const int64_t crown = 140 - trunkHeight;
    const double envelope = 140 * 0.2;
    for (int64_t r = 0; r < crown; ++r) {
        const int64_t y = baseY - 140 + r;
        int64_t left = -1, right = -1;
        for (int64_t x = 0; x < scene.workWidth(); ++x) {
            if (p.owner(x, y) != id) continue;
            if (left < 0) left = x;
            right = x;
        }
        ASSERT_GE(left, 0) << "crown row " << r;
        EXPECT_EQ(t.cx - left, right - t.cx) << "crown row " << r;
        EXPECT_LE(static_cast<double>(right - t.cx), envelope * (static_cast<double>(r) / crown) + 0.9);
        EXPECT_GE(static_cast<double>(right - t.cx), envelope * 0.5 * (static_cast<double>(r) / crown) - 0.9);
    }
    for (int64_t y = baseY - trunkHeight; y < baseY; ++y) {
        int64_t width = 0;
        for (int64_t x = 0; x < scene.workWidth(); ++x) width += p.owner(x, y) == id ? 1 : 0;
        EXPECT_EQ(width, 140 / 28);
    }
    EXPECT_EQ(scene.treeTopRow(), baseY - 140);
}

TEST(CampfireTerrain, NeedleTextureFollowsTheOwnersAfterConstruction) {
    for (int64_t h : {48, 270, 540}) {
        SCOPED_TRACE(h);
        CampfireScene scene(100, h, 17);
        const int64_t ww = scene.workWidth();
        const int64_t tile = scene.tileSize();
        auto owner = [&](int64_t x, int64_t y) { return scene.ownerAt(x, y); };
        int64_t needles = 0, solid = 0;
        for (int64_t y = 0; y < h; ++y) {
            for (int64_t x = 0; x < ww; ++x) {
                const int32_t o = owner(x, y);
                if (o < 0) continue;
                bool expected = false;
                const bool edge = (x >= 2 && owner(x - 2, y) != o) || (x + 2 < ww && owner(x + 2, y) != o) ||
                                  (y >= 2 && owner(x, y - 2) != o);
                if (!edge) {
                    const auto& t = scene.allTrees()[static_cast<std::size_t>(o)];
                    const int64_t col = (((x - t.cx) % tile + tile) % tile) * 8 / tile;
                    const int64_t row = (((t.baseY - y) % tile + tile) % tile) * 8 / tile;
                    expected = (CampfireScene::needles[static_cast<std::size_t>(t.style)][static_cast<std::size_t>(row)] &
                                (0x80 >> col)) != 0;
                }
                ASSERT_EQ(scene.stickAt(x, y), expected) << "at " << x << "," << y;
                (expected ? needles : solid) += 1;
            }
        }
        EXPECT_GT(needles, 0);
        EXPECT_GT(solid, needles);
    }
}

TEST(CampfireTerrain, NeighboursDifferAndTheEightiethCandidateIsTaken) {
    CampfireScene scene(64, 48, 3);
    CampfireProbe p(scene);
    p.neverCompact();  // keep every committed tree, so that neighbours stay neighbours in the list
    // Ordinary growth: consecutive trees of a row differ in style and shade.
    for (int frame = 0; frame < 6 * 400; ++frame) scene.step();
    for (std::size_t row = 0; row < 2; ++row) {
        const Tree* last = nullptr;
        int64_t pairs = 0, alike = 0;
        for (const Tree& t : scene.allTrees()) {
            if (t.front != (row == 1)) continue;
            if (last != nullptr) {
                ++pairs;
                if (t.style == last->style || t.color == last->color) ++alike;
            }
            last = &t;
        }
        EXPECT_GT(pairs, 20);
        EXPECT_LT(alike * 20, pairs);  // only after 80 failed attempts, which is rare
    }

    // With a single shade every candidate repeats the last tree's colour: all 80 are rejected
    // and the last is used. A one-colour palette takes no colour draw.
    p.backShades() = {0xFF010203u};
    p.recent()[0] = {shape(10, 0.2, false, scene.groundRow() + 1)};
    p.recent()[0][0].color = 0xFF010203u;
    Tree t = shape(10, 0.2, false, scene.groundRow() + 1);
    t.color = 0xFF010203u;
    RNG replay = p.rng();
    commitAtRightEdge(p, t);
    const int64_t crownRows = 9;  // height 10 has a one-row trunk
    replay.intIn(5, 9);
    for (int64_t r = 0; r < crownRows; ++r) replay.doubleIn(-0.4, 0.4);
    int64_t height = 0, style = 0;
    double spread = 0;
    for (int attempt = 0; attempt < 80; ++attempt) {
        height = static_cast<int64_t>(replay.doubleIn(0.2, 0.5) * 48.0);
        spread = replay.doubleIn(0.15, 0.23);
        style = replay.intBelow(6);
    }
    replay.doubleIn(1.1, 1.7);
    EXPECT_EQ(p.rng().state, replay.state);
    EXPECT_EQ(p.pending()[0].height, height);
    EXPECT_EQ(p.pending()[0].spread, spread);
    EXPECT_EQ(p.pending()[0].style, style);
    EXPECT_EQ(p.pending()[0].color, 0xFF010203u);

    // With no recent tree the first candidate is taken at once. A committed tree is always in
    // recent by the time its successor is made, so this happens after a dropped front tree.
    p.recent()[1].clear();
    Tree dropped = shape(10, 0.2, true, scene.groundRow() + 2);
    dropped.cx = scene.workWidth() - 3 - p.halfWidth(dropped);
    p.holdTerrain();
    p.nextCampX() = dropped.cx;
    p.pending()[1] = dropped;
    const auto treesBefore = p.trees().size();
    RNG start = p.rng();
    p.growRows();
    EXPECT_EQ(p.trees().size(), treesBefore);
    EXPECT_TRUE(p.recent()[1].empty());
    // The base-row offset, one candidate's four draws and the spacing.
    EXPECT_EQ(drawsBetween(start, p.rng()), 1 + 4 + 1);
}

TEST(CampfireTerrain, InvariantsHoldWhileTheRingWraps) {
    CampfireScene scene(30, 60, 77);
    for (int frame = 0; frame < 6 * 500; ++frame) scene.step();
    expectInvariants(scene);
}

}  // namespace
}  // namespace duskmere
