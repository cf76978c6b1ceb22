#include "TickClock.h"

#include <time.h>

#include <cmath>

namespace duskmere {

int64_t monotonicNanos() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

TickClock::TickClock(double intervalSeconds)
    : intervalNanos_(intervalSeconds > 0 && std::isfinite(intervalSeconds) ? intervalSeconds * 1e9 : 1e9 / 30) {}

void TickClock::restart(int64_t now) {
    origin_ = now;
    k_ = 1;
}

int64_t TickClock::deadlineOf(int64_t k) const {
    return origin_ + static_cast<int64_t>(std::llround(static_cast<double>(k) * intervalNanos_));
}

int64_t TickClock::advance(int64_t now) {
    ++k_;
    if (deadlineOf(k_) > now) return 0;
    // Late by a whole interval or more: skip to the first deadline after now.
    const int64_t next = static_cast<int64_t>(std::floor(static_cast<double>(now - origin_) / intervalNanos_)) + 1;
    int64_t k = next > k_ ? next : k_;
    while (deadlineOf(k) <= now) ++k;
    const int64_t dropped = k - k_;
    k_ = k;
    return dropped;
}

}  // namespace duskmere
