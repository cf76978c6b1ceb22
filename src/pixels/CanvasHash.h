#pragma once

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

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

// "frame <n> <hash>" and a line break: the one form in which every host reports a frame, so that
// their lines can be compared as text.
inline std::string frameHashLine(int64_t frame, const Canvas& canvas) {
    char line[64];
    std::snprintf(line, sizeof line, "frame %" PRId64 " %016" PRIx64 "\n", frame, canvasHash(canvas));
    return line;
}

}  // namespace duskmere
