#include <gtest/gtest.h>

#include "host/TickSchedule.h"

namespace duskmere {
namespace {

// A 10 MHz clock, as Windows' performance counter usually runs.
constexpr int64_t rate = 10000000;

TEST(TickSchedule, DeadlinesStayOnTheGridAndStallsDropTicks) {
    TickSchedule s(rate, 30);
    s.restart(1000);
    EXPECT_EQ(s.deadline(), 1000 + rate / 30);
    // Late ticks do not push the grid: after 30 ticks, however late each ran, one second exactly.
    for (int k = 1; k < 30; ++k) EXPECT_EQ(s.advance(s.deadline() + rate / 100), 0);
    EXPECT_EQ(s.deadline(), 1000 + rate);
    // A stall of 2.5 s: the ticks missed are dropped, and the next deadline is the first ahead.
    const int64_t now = 1000 + rate + rate * 5 / 2;
    EXPECT_EQ(s.advance(now), 75);
    EXPECT_GT(s.deadline(), now);
    EXPECT_LE(s.deadline() - now, rate / 30);
    EXPECT_EQ(s.deadline(), 1000 + rate * 106 / 30);
}

TEST(TickSchedule, NoOverflowAfterAYear) {
    TickSchedule s(rate, 30);
    s.restart(0);
    const int64_t year = rate * 3600 * 24 * 365;
    s.advance(year);
    EXPECT_GT(s.deadline(), year);
    EXPECT_LE(s.deadline() - year, rate / 30 + 1);
}

TEST(TickSchedule, NanosecondGridIsDueAtItsDeadlineAndRestartsFresh) {
    TickSchedule s(1000000000, 30);
    s.restart(0);
    EXPECT_FALSE(s.due(33333332));
    EXPECT_TRUE(s.due(33333333));
    s.advance(40000000);
    s.restart(7000000000);
    EXPECT_EQ(s.deadline(), 7033333333);
}

}  // namespace
}  // namespace duskmere
