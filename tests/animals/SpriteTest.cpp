#include "animals/Sprite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

namespace duskmere {
namespace {

int64_t countSet(const Sprite& s) {
    int64_t n = 0;
    for (int64_t y = 0; y < s.height(); ++y)
        for (int64_t x = 0; x < s.width(); ++x) n += s.bit(x, y) ? 1 : 0;
    return n;
}

// Rows from the top, "#" for a set bit.
std::string rows(const Sprite& s) {
    std::string out;
    for (int64_t y = 0; y < s.height(); ++y) {
        for (int64_t x = 0; x < s.width(); ++x) out += s.bit(x, y) ? '#' : '.';
        out += '\n';
    }
    return out;
}

TEST(Sprite, SizeIsUnitsTimesScaleRoundedUpAndAtLeastOne) {
    Sprite fox(42, 20, 0.8);
    EXPECT_EQ(fox.width(), 34);  // 33.6
    EXPECT_EQ(fox.height(), 16);  // 16.0 stays 16
    EXPECT_EQ(fox.scale(), 0.8);
    EXPECT_EQ(countSet(fox), 0);

    Sprite tiny(3, 1, 0.1);  // 0.3 and 0.1
    EXPECT_EQ(tiny.width(), 1);
    EXPECT_EQ(tiny.height(), 1);
    Sprite empty(0, -2, 1);
    EXPECT_EQ(empty.width(), 1);
    EXPECT_EQ(empty.height(), 1);
    Sprite nonsense(NAN, 4, 1);
    EXPECT_EQ(nonsense.width(), 1);
    EXPECT_EQ(nonsense.height(), 4);
}

TEST(Sprite, PixelCentresHaveYUpFromTheBottomEdge) {
    // A dot at unit (0.5, 0.5) is the bottom-left pixel; at (3.5, 2.5) the top-right one.
    Sprite s(4, 3, 1);
    s.ellipse(0.5, 0.5, 0.5, 0.5);
    s.ellipse(3.5, 2.5, 0.5, 0.5);
    EXPECT_EQ(rows(s), "...#\n"
                       "....\n"
                       "#...\n");
    // At scale 2, unit (0.25, 0.25) is the centre of the bottom-left pixel.
    Sprite fine(2, 1, 2);
    fine.ellipse(0.25, 0.25, 0.25, 0.25);
    EXPECT_EQ(rows(fine), "....\n"
                          "#...\n");
}

TEST(Sprite, SmallestEllipseSetsOnePixelAndTheBoundaryIsInside) {
    Sprite s(5, 5, 1);
    s.ellipse(2.5, 2.5, 0.5, 0.5);
    EXPECT_EQ(rows(s), ".....\n.....\n..#..\n.....\n.....\n");

    // Radius 1: the four neighbours lie exactly on the boundary and belong to it.
    Sprite plus(5, 5, 1);
    plus.ellipse(2.5, 2.5, 1, 1);
    EXPECT_EQ(rows(plus), ".....\n..#..\n.###.\n..#..\n.....\n");

    Sprite wide(7, 3, 1);
    wide.ellipse(3.5, 1.5, 3, 1);
    EXPECT_EQ(rows(wide), "...#...\n#######\n...#...\n");
}

struct LimbCase {
    const char* what;
    double unitsWide, unitsHigh, scale;
    double x0, y0, x1, y1, thickness;
    const char* rows;
};

TEST(Sprite, LimbsAreRoundEndedStrokesAtLeastOnePixelWide) {
    const char* oneRow = "..........\n..........\n.#######..\n..........\n..........\n";
    const LimbCase cases[] = {
        // Thickness 1 gives radius 0.55: the row of the segment and no neighbouring row or column.
        {"thinnest", 10, 5, 1, 1.5, 2.5, 7.5, 2.5, 1, oneRow},
        // Thinner strokes are widened to the same one-pixel radius, which scales with the bitmap:
        // at scale 2 it is 0.275 units.
        {"hair", 10, 5, 1, 1.5, 2.5, 7.5, 2.5, 0.01, oneRow},
        {"hair at scale 2", 5, 2.5, 2, 0.75, 1.25, 3.75, 1.25, 0.1, oneRow},
        // Radius 0.55 reaches the diagonal of a 45 degree stroke only where the line passes within
        // 0.55 of a centre: a staircase one pixel wide.
        {"diagonal", 4, 4, 1, 0.5, 0.5, 3.5, 3.5, 1, "...#\n..#.\n.#..\n#...\n"},
        // No length: a dot, and at radius 1.5 the 3 x 3 block and no corner beyond.
        {"dot", 5, 5, 1, 2.5, 2.5, 2.5, 2.5, 1, ".....\n.....\n..#..\n.....\n.....\n"},
        {"wide dot", 5, 5, 1, 2.5, 2.5, 2.5, 2.5, 3, ".....\n.###.\n.###.\n.###.\n.....\n"},
        // Round ends: radius 1.5 reaches a pixel beyond each end, corners too (sqrt 2 = 1.41);
        // 2.3 reaches (1, 2) away from an end point (sqrt 5 = 2.24) but not (2, 2).
        {"radius 1.5", 9, 5, 1, 2.5, 2.5, 6.5, 2.5, 3, ".........\n.#######.\n.#######.\n.#######.\n.........\n"},
        {"radius 2.3", 11, 7, 1, 3.5, 3.5, 7.5, 3.5, 4.6,
         "...........\n..#######..\n.#########.\n.#########.\n.#########.\n..#######..\n...........\n"},
    };
    for (const LimbCase& c : cases) {
        Sprite s(c.unitsWide, c.unitsHigh, c.scale);
        s.limb(c.x0, c.y0, c.x1, c.y1, c.thickness);
        EXPECT_EQ(rows(s), c.rows) << c.what;
    }
}

TEST(Sprite, LegFootIsLiftedAtThetaZeroAndGroundedAtPi) {
    constexpr double pi = std::numbers::pi;
    const double hipX = 2.5, hipY = 6.5, stride = 2, lift = 2;

    Sprite up(5, 8, 1);
    up.leg(hipX, hipY, 0, stride, lift, 1);
    Sprite straight(5, 8, 1);
    straight.limb(hipX, hipY, hipX, lift, 1);  // foot right below the hip, lift above the ground
    EXPECT_EQ(rows(up), rows(straight));
    EXPECT_EQ(rows(up), ".....\n..#..\n..#..\n..#..\n..#..\n..#..\n..#..\n.....\n");

    Sprite down(5, 8, 1);
    down.leg(hipX, hipY, pi, stride, lift, 1);
    EXPECT_EQ(rows(down), ".....\n..#..\n..#..\n..#..\n..#..\n..#..\n..#..\n..#..\n");

    // A quarter turn swings the foot forward by the stride; cos is ~0, so it sits on the ground.
    Sprite forward(6, 8, 1);
    forward.leg(hipX, hipY, pi / 2, stride, lift, 1);
    Sprite reach(6, 8, 1);
    reach.limb(hipX, hipY, hipX + stride, lift * std::cos(pi / 2), 1);
    EXPECT_EQ(rows(forward), rows(reach));
    EXPECT_TRUE(forward.bit(4, 7));

    // The whole half turn with cos < 0 keeps the foot on the ground line.
    for (double theta : {0.6 * pi, 0.75 * pi, 1.25 * pi, 1.4 * pi}) {
        Sprite leg(9, 8, 1);
        leg.leg(4.5, hipY, theta, stride, lift, 1);
        Sprite grounded(9, 8, 1);
        grounded.limb(4.5, hipY, stride * std::sin(theta) + 4.5, 0, 1);
        EXPECT_EQ(rows(leg), rows(grounded)) << theta;
    }
}

}  // namespace
}  // namespace duskmere
