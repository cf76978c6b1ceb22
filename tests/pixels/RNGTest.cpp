#include "pixels/RNG.h"

#include <gtest/gtest.h>

namespace duskmere {
namespace {

TEST(RNG, NextMatchesSplitMix64FromZero) {
    RNG rng(0);
    const uint64_t want[] = {0xe220a8397b1dcdafULL, 0x6e789e6aa1b965f4ULL, 0x06c45d188009454fULL,
                             0xf88bb8a8724c81ecULL, 0x1b39896a51a8749bULL, 0x53cb9f0c747ea2eaULL};
    for (uint64_t w : want) EXPECT_EQ(rng.next(), w);
}

TEST(RNG, StateAdvancesByTheGoldenIncrementBeforeMixing) {
    RNG rng(0);
    rng.next(), rng.next(), rng.next();
    EXPECT_EQ(rng.state, 3 * 0x9E3779B97F4A7C15ULL);
    EXPECT_EQ(rng.state, 0xdaa66d2c7ddf743fULL);

    RNG top(0xffffffffffffffffULL);
    EXPECT_EQ(top.next(), 0xe4d971771b652c20ULL);
    EXPECT_EQ(top.next(), 0xe99ff867dbf682c9ULL);
    EXPECT_EQ(top.next(), 0x382ff84cb27281e9ULL);
}

TEST(RNG, UnitAndDoubleInReduceExactly) {
    RNG one(1);
    EXPECT_EQ(one.unit(), 0.5665615751722809);
    EXPECT_EQ(one.unit(), 0.7457817572627011);
    EXPECT_EQ(one.unit(), 0.9710027535867962);
    EXPECT_EQ(one.unit(), 0.4443592170557721);

    RNG a(2);
    EXPECT_EQ(a.doubleIn(0.04, 0.28), 0.18188553620753908);
    EXPECT_EQ(a.doubleIn(0.04, 0.28), 0.21979592412971793);
    EXPECT_EQ(a.doubleIn(0.04, 0.28), 0.18295313953600129);
    RNG b(2);
    EXPECT_EQ(b.doubleIn(0.7, 1.3), 1.0547138405188476);
    EXPECT_EQ(b.doubleIn(0.7, 1.3), 1.1494898103242948);
    EXPECT_EQ(b.doubleIn(0.7, 1.3), 1.0573828488400032);
}

TEST(RNG, UnitNeverReachesOne) {
    // The largest 53-bit value times 2^-53 is the double just below 1.
    EXPECT_LT(static_cast<double>((~0ULL) >> 11) * 1.1102230246251565e-16, 1.0);
}

TEST(RNG, IntInTakesOneDrawPerCall) {
    EXPECT_EQ(RNG(0).intIn(14, 34), 30);
    EXPECT_EQ(RNG(0).intIn(150, 1050), 162);

    RNG three(3);
    const int64_t coins[] = {1, 1, 1, 1, 0, 1, 0, 0, 0, 0, 0, 1};
    for (int64_t c : coins) EXPECT_EQ(three.intIn(0, 1), c);

    RNG five(5);
    const int64_t spread[] = {1, -3, 1, 7, -6, -6, 2, -7};
    for (int64_t s : spread) EXPECT_EQ(five.intIn(-7, 7), s);
}

TEST(RNG, IntBelowStaysBelowN) {
    RNG four(4);
    const int64_t want[] = {4, 4, 3, 0, 1, 1, 0, 2, 5, 1, 2, 3};
    for (int64_t w : want) EXPECT_EQ(four.intBelow(6), w);

    RNG rng(99);
    for (int i = 0; i < 1000; ++i) {
        const int64_t v = rng.intBelow(3);
        EXPECT_GE(v, 0);
        EXPECT_LT(v, 3);
    }
}

TEST(RNG, DegenerateRangesTakeNoDraw) {
    RNG rng(42);
    EXPECT_EQ(rng.intIn(7, 7), 7);
    EXPECT_EQ(rng.intIn(9, 3), 9);
    EXPECT_EQ(rng.intBelow(1), 0);
    EXPECT_EQ(rng.intBelow(0), 0);
    EXPECT_EQ(rng.intBelow(-5), 0);
    EXPECT_EQ(rng.state, 42u);
}

TEST(RNG, ExtremeRangesDoNotOverflow) {
    RNG rng(7);
    const int64_t lo = INT64_MIN, hi = INT64_MAX;
    for (int i = 0; i < 100; ++i) {
        const int64_t v = rng.intIn(lo + 1, hi);
        EXPECT_GT(v, lo);
    }
}

TEST(RNG, CopiesRunIndependently) {
    RNG a(11);
    a.next();
    RNG b = a;
    EXPECT_EQ(a.next(), b.next());
    a.next();
    EXPECT_NE(a.state, b.state);
}

}  // namespace
}  // namespace duskmere
