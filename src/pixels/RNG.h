#pragma once

#include <cstdint>

namespace duskmere {

// SplitMix64. Every random choice of a scene comes from one of these, in a fixed order, so that
// a seed and a canvas size reproduce the whole animation bit for bit.
struct RNG {
    uint64_t state = 0;

    RNG() = default;
    explicit RNG(uint64_t seed) : state(seed) {}

    uint64_t next() {
        state += 0x9E3779B97F4A7C15ULL;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // A multiple of 2^-53 in [0, 1); the top 53 bits converted exactly.
    double unit() { return static_cast<double>(next() >> 11) * 1.1102230246251565e-16; }

    // [lo, hi): each operation rounded on its own, never fused.
    double doubleIn(double lo, double hi) {
        const double u = unit();
        const double span = hi - lo;
        const double offset = u * span;
        return lo + offset;
    }

    // [a, b], both ends included. A degenerate range takes no draw: later draws depend on it.
    int64_t intIn(int64_t a, int64_t b) {
        if (a >= b) return a;
        const uint64_t n = static_cast<uint64_t>(b) - static_cast<uint64_t>(a) + 1;
        return static_cast<int64_t>(static_cast<uint64_t>(a) + next() % n);
    }

    // [0, n). Takes no draw when n < 2.
    int64_t intBelow(int64_t n) {
        if (n < 2) return 0;
        return static_cast<int64_t>(next() % static_cast<uint64_t>(n));
    }
};

}  // namespace duskmere
