#include "sky/Bayer4.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace duskmere {
namespace {

TEST(Bayer4, HoldsTheSixteenThresholdsInOrder) {
    const float want[16] = {0.03125f, 0.53125f, 0.15625f, 0.65625f,  //
                            0.78125f, 0.28125f, 0.90625f, 0.40625f,  //
                            0.21875f, 0.71875f, 0.09375f, 0.59375f,  //
                            0.96875f, 0.46875f, 0.84375f, 0.34375f};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(bayer4[static_cast<std::size_t>(i)], want[i]) << i;
    static_assert(bayer4[0] == 0.03125f && bayer4[15] == 0.34375f);
}

TEST(Bayer4, RepeatsEveryFourPixelsAcrossNegativeCoordinates) {
    EXPECT_EQ(bayer4At(0, 0), bayer4[0]);
    EXPECT_EQ(bayer4At(3, 2), bayer4[11]);
    EXPECT_EQ(bayer4At(-1, 0), bayer4[3]);
    EXPECT_EQ(bayer4At(0, -1), bayer4[12]);
    EXPECT_EQ(bayer4At(-4, -3), bayer4[4]);
    EXPECT_EQ(bayer4At(INT64_MIN, INT64_MAX), bayer4[12]);
    for (int64_t y = -9; y < 9; ++y)
        for (int64_t x = -9; x < 9; ++x) EXPECT_EQ(bayer4At(x, y), bayer4At(x + 4, y + 8));
}

}  // namespace
}  // namespace duskmere
