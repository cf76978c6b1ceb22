#include "TickClock.h"

#include <gtest/gtest.h>

namespace duskmere {
namespace {

constexpr double interval = 0.03333333333333333;

TEST(TickClock, DeadlinesStayOnTheGridWithoutDrift) {
    TickClock clock(interval);
    clock.restart(1000);
    EXPECT_EQ(clock.deadline(), 1000 + 33333333);
    // Each tick runs a little late; the grid does not move.
    for (int k = 1; k <= 30 * 3600; ++k) {
        const int64_t ran = clock.deadline() + 2000000;
        ASSERT_EQ(clock.advance(ran), 0);
    }
    EXPECT_EQ(clock.deadline(), 1000 + 3600 * int64_t{1000000000} + 33333333);
}

TEST(TickClock, DueOnlyAtTheDeadline) {
    TickClock clock(interval);
    clock.restart(0);
    EXPECT_FALSE(clock.due(33333332));
    EXPECT_TRUE(clock.due(33333333));
}

TEST(TickClock, AStallDropsTheMissedTicksInsteadOfBurstingThem) {
    TickClock clock(interval);
    clock.restart(0);
    // The first tick runs half a second late.
    const int64_t dropped = clock.advance(500000000);
    EXPECT_EQ(dropped, 14);  // ticks 2 to 15 (at 33 ms to 500 ms) are not run
    EXPECT_GT(clock.deadline(), 500000000);
    EXPECT_LE(clock.deadline() - 500000000, 33333334);
    EXPECT_EQ(clock.deadline(), 533333333);  // still on the original grid
    EXPECT_FALSE(clock.due(500000001));
}

TEST(TickClock, RestartBeginsAFreshGrid) {
    TickClock clock(interval);
    clock.restart(0);
    clock.advance(40000000);
    clock.restart(7000000000);
    EXPECT_EQ(clock.deadline(), 7033333333);
}

}  // namespace
}  // namespace duskmere
