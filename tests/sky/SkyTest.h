#pragma once
// What the meteor and comet tests share: a plain sky to draw on and the checks of a launch.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "pixels/Canvas.h"
#include "pixels/RNG.h"

namespace duskmere::testing {

constexpr uint32_t kBackground = 0xFF102030u;

inline constexpr auto openSky = [](int64_t, int64_t) { return false; };

inline RNG advanced(RNG rng, int draws) {
    for (int i = 0; i < draws; ++i) rng.next();
    return rng;
}

inline Canvas blankCanvas(int64_t w, int64_t h) {
    Canvas canvas(w, h);
    std::fill(canvas.px.begin(), canvas.px.end(), kBackground);
    return canvas;
}

// A meteor or comet launched at (x, y) and `speed`, `angle` below the horizontal to the right or
// to the left.
template <class Flight>
void expectLaunch(const Flight* f, double x, double y, bool rightward, double angle, double speed) {
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->x, x);
    EXPECT_EQ(f->y, y);
    EXPECT_EQ(f->dx, rightward ? std::cos(angle) : -std::cos(angle));
    EXPECT_EQ(f->dy, std::sin(angle));
    EXPECT_EQ(f->speed, speed);
}

}  // namespace duskmere::testing
