#include "TickSchedule.h"

namespace duskmere {

TickSchedule::TickSchedule(int64_t ticksPerSecond, int64_t ratePerSecond)
    : clockRate_(ticksPerSecond > 0 ? ticksPerSecond : 1), tickRate_(ratePerSecond > 0 ? ratePerSecond : 30) {}

void TickSchedule::restart(int64_t now) {
    origin_ = now;
    k_ = 1;
}

int64_t TickSchedule::deadlineOf(int64_t k) const {
    // Whole seconds and the remainder apart, so that k x rate cannot overflow in a long run.
    return origin_ + (k / tickRate_) * clockRate_ + (k % tickRate_) * clockRate_ / tickRate_;
}

int64_t TickSchedule::advance(int64_t now) {
    ++k_;
    if (deadlineOf(k_) > now) return 0;
    const int64_t elapsed = now - origin_;
    int64_t k = (elapsed / clockRate_) * tickRate_ + (elapsed % clockRate_) * tickRate_ / clockRate_;
    if (k < k_) k = k_;
    while (deadlineOf(k) <= now) ++k;
    const int64_t dropped = k - k_;
    k_ = k;
    return dropped;
}

}  // namespace duskmere
