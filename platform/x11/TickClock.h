#pragma once

#include <cstdint>

namespace duskmere {

// Nanoseconds on the monotonic clock.
int64_t monotonicNanos();

// The saver's tick: deadlines at origin + k x interval, computed from the tick number rather than
// accumulated, so that the rate does not drift. After a stall the missed ticks are dropped, not
// run in a burst: the next deadline is the first one still ahead, on the same grid.
class TickClock {
public:
    explicit TickClock(double intervalSeconds);

    // Starts a new grid whose first tick is one interval after `now`.
    void restart(int64_t now);
    int64_t deadline() const { return deadlineOf(k_); }
    bool due(int64_t now) const { return now >= deadline(); }
    // Moves past a tick that was just run at `now`; returns how many ticks were dropped.
    int64_t advance(int64_t now);
    double intervalSeconds() const { return intervalNanos_ / 1e9; }

private:
    int64_t deadlineOf(int64_t k) const;

    double intervalNanos_;
    int64_t origin_ = 0;
    int64_t k_ = 1;
};

}  // namespace duskmere
