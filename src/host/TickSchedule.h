#pragma once

#include <cstdint>

namespace duskmere {

// The saver's 30 Hz tick on absolute deadlines: tick k is due at origin + k x period, computed
// from k rather than accumulated, so the rate never drifts. After a stall (sleep, a slow frame)
// the missed ticks are dropped, not run in a burst: the next deadline is the first one ahead on
// the same grid. Times are counts of a clock that runs at `ticksPerSecond`: the performance
// counter on Windows, monotonic nanoseconds on the POSIX hosts. One grid for every host.
class TickSchedule {
public:
    TickSchedule(int64_t ticksPerSecond, int64_t ratePerSecond);

    // A new grid whose first tick is one period after `now`.
    void restart(int64_t now);
    int64_t deadline() const { return deadlineOf(k_); }
    bool due(int64_t now) const { return now >= deadline(); }
    // Moves past the tick just run at `now`; returns how many ticks were dropped.
    int64_t advance(int64_t now);

private:
    int64_t deadlineOf(int64_t k) const;

    int64_t clockRate_;
    int64_t tickRate_;
    int64_t origin_ = 0;
    int64_t k_ = 1;
};

}  // namespace duskmere
