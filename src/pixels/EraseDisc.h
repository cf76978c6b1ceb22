#pragma once

#include <cstdint>

#include "pixels/RNG.h"

namespace duskmere {

// One erase disc, as both scenes darken their skies: three draws (a diameter of 2 to 15 pixels at
// 480 rows, times `scale`, and a corner that may hang over any edge), then plot(x, y) for every
// pixel of the disc inside width x height.
template <class Plot>
void eraseDisc(RNG& rng, double scale, int64_t width, int64_t height, Plot&& plot) {
    const int64_t n = rng.intIn(2, 15);
    int64_t d = static_cast<int64_t>(static_cast<double>(n) * scale);
    if (d < 2) d = 1;
    const int64_t x0 = rng.intIn(-d, width);
    const int64_t y0 = rng.intIn(-d, height);
    const double c = static_cast<double>(d - 1) * 0.5;
    const double r2 = static_cast<double>(d * d) * 0.25;
    for (int64_t m = 0; m < d; ++m) {
        const int64_t y = y0 + m;
        if (y < 0 || y >= height) continue;
        const double dy = static_cast<double>(m) - c;
        for (int64_t j = 0; j < d; ++j) {
            const int64_t x = x0 + j;
            if (x < 0 || x >= width) continue;
            const double dx = static_cast<double>(j) - c;
            if (r2 >= dx * dx + dy * dy) plot(x, y);
        }
    }
}

}  // namespace duskmere
