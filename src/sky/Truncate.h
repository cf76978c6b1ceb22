#pragma once

#include <cstdint>

namespace duskmere {

// A Double to an integer, toward zero (-0.5 gives 0). The sky events only ever ask this of
// positions near the canvas; values far beyond it (or NaN) are pinned to a distant but still
// safely addable integer instead of reaching an undefined conversion.
inline int64_t truncToInt(double v) {
    constexpr double limit = 4611686018427387904.0;  // 2^62
    if (!(v == v)) return 0;
    if (v >= limit) return static_cast<int64_t>(limit);
    if (v <= -limit) return -static_cast<int64_t>(limit);
    return static_cast<int64_t>(v);
}

}  // namespace duskmere
