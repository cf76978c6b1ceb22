#pragma once

#include <cstdint>

namespace duskmere {

// Nanoseconds on the monotonic clock, the time base of the POSIX hosts' tick grid.
int64_t monotonicNanos();

}  // namespace duskmere
