#include "pixels/Canvas.h"
#include "pixels/CanvasHash.h"

#include <gtest/gtest.h>

#include <cstring>

namespace duskmere {
namespace {

TEST(Canvas, StartsOpaqueBlack) {
    Canvas c(4, 3);
    EXPECT_EQ(c.width, 4);
    EXPECT_EQ(c.height, 3);
    ASSERT_EQ(c.px.size(), 12u);
    for (uint32_t p : c.px) EXPECT_EQ(p, 0xFF000000u);
}

TEST(Canvas, ClampsSizesToAtLeastOne) {
    for (int64_t w : {0, -3}) {
        Canvas c(w, 5);
        EXPECT_EQ(c.width, 1);
        EXPECT_EQ(c.height, 5);
        EXPECT_EQ(c.px.size(), 5u);
    }
    Canvas flat(6, -1);
    EXPECT_EQ(flat.height, 1);
    EXPECT_EQ(flat.px.size(), 6u);
}

TEST(Canvas, PixelsAreRowMajorWithRedInTheLowByte) {
    Canvas c(3, 2);
    c.at(2, 1) = 0xFFC0A29Cu;
    EXPECT_EQ(c.px[5], 0xFFC0A29Cu);
    unsigned char bytes[4];
    std::memcpy(bytes, &c.px[5], 4);
    // Memory order is what the image reads: red, green, blue, ignored (little-endian hosts).
    EXPECT_EQ(bytes[0], 0x9C);
    EXPECT_EQ(bytes[1], 0xA2);
    EXPECT_EQ(bytes[2], 0xC0);
    EXPECT_TRUE(c.contains(2, 1));
    EXPECT_FALSE(c.contains(3, 1));
    EXPECT_FALSE(c.contains(-1, 0));
    EXPECT_FALSE(c.contains(0, 2));
}

TEST(CanvasHash, IsFnv1a64OverBytesInMemoryOrder) {
    Canvas c(1, 1);
    c.px[0] = 0x04030201u;
    uint64_t h = 0xcbf29ce484222325ULL;
    for (uint8_t b : {1, 2, 3, 4}) h = (h ^ b) * 0x100000001b3ULL;
    EXPECT_EQ(canvasHash(c), h);
    c.px[0] = 0x01020304u;
    EXPECT_NE(canvasHash(c), h);
}

}  // namespace
}  // namespace duskmere
