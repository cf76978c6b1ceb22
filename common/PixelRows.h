#pragma once

#include <cstdint>

namespace duskmere {

// A picture of device pixels, width x height, row-major, top row first, tightly packed, each
// pixel in the canvas's format (bytes R, G, B, then one that is ignored).
struct PixelRows {
    const uint32_t* pixels = nullptr;
    int64_t width = 0;
    int64_t height = 0;
};

}  // namespace duskmere
