#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace duskmere {

namespace detail {
// Thresholds (m + 0.5) / 16 in the classic 4 x 4 ordered-dither order, so that a level in [0, 1]
// lights the matching share of every 4 x 4 block, evenly spread.
constexpr std::array<float, 16> makeBayer4() {
    constexpr int m[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
    std::array<float, 16> table{};
    for (std::size_t i = 0; i < 16; ++i) table[i] = (static_cast<float>(m[i]) + 0.5f) * 0.0625f;
    return table;
}
}  // namespace detail

// Row-major, four rows of four.
inline constexpr std::array<float, 16> bayer4 = detail::makeBayer4();

// The threshold for canvas pixel (x, y). Takes the two low bits of the two's-complement value,
// so the pattern continues unbroken across negative coordinates (-1 gives 3).
inline float bayer4At(int64_t x, int64_t y) {
    const auto lowX = static_cast<std::size_t>(static_cast<uint64_t>(x) & 3u);
    const auto lowY = static_cast<std::size_t>(static_cast<uint64_t>(y) & 3u);
    return bayer4[lowY * 4 + lowX];
}

}  // namespace duskmere
