#pragma once

#include <cstdint>

#include "pixels/Canvas.h"

namespace duskmere {

// FNV-1a 64 over the canvas pixels in memory order (each pixel's bytes from the least
// significant: red, green, blue, fourth byte), independent of the host's byte order.
inline uint64_t canvasHash(const Canvas& canvas) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (uint32_t p : canvas.px) {
        for (int shift = 0; shift < 32; shift += 8) {
            h ^= (p >> shift) & 0xFFu;
            h *= 0x100000001b3ULL;
        }
    }
    return h;
}

}  // namespace duskmere
