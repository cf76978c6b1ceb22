#pragma once

#include <cstdint>
#include <optional>

namespace duskmere {

// 8 bytes from the operating system's secure random source, in memory order; none when the
// system has no such source to give.
std::optional<uint64_t> secureRandomSeed();

// The one rule of every program for a seed it is not given: the secure source's, or, where the
// system refuses one (not expected on any supported system), one mixed from a fine clock and the
// process id, since a picture from a clock's seed beats none. The renderer prints whichever it
// used, so a run can be repeated either way.
inline uint64_t seedFromClock(uint64_t clock, uint64_t processId) {
    uint64_t seed = clock ^ (processId << 40) ^ (processId >> 24);
    seed ^= seed >> 33;
    seed *= 0xff51afd7ed558ccdULL;
    return seed ^ (seed >> 33);
}
#ifndef _WIN32
// The secure source's seed, else seedFromClock with the monotonic clock and this process's id.
uint64_t newSeed();
#endif

}  // namespace duskmere
