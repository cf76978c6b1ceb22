#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ArgumentCursor.h"

namespace duskmere {

// What duskmere-render was asked to do, checked in full before any work starts.
struct RenderOptions {
    std::string scene = "city";
    std::optional<uint64_t> seed;
    // Exactly one of the two is used: the canvas directly, or the view presenting it.
    bool throughView = true;
    int64_t width = 1440;  // canvas pixels, or view points when throughView
    int64_t height = 900;
    double backingScale = 1.0;
    int64_t frames = 0;
    std::string out;          // empty: no image; "-": raw frames to standard output
    int64_t every = 0;        // 0: only the last frame is written
    int64_t hashEvery = 0;    // 0: no hashes
    bool help = false;
    bool version = false;

    bool streamsFrames() const { return out == "-"; }
};

Parsed<RenderOptions> parseRenderOptions(const std::vector<std::string>& args);
extern const char* const renderUsage;

}  // namespace duskmere
