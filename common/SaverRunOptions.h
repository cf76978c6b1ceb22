#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ArgumentCursor.h"

namespace duskmere {

// What both Linux savers (duskmere and duskmere-wayland) take alike, and check alike.
struct SaverRunOptions {
    std::string scene = "city";
    std::optional<uint64_t> seed;
    std::optional<double> backingScale;  // none: the host's own (1 on X11, the output's on Wayland)
    std::optional<int64_t> frames;       // stop after this many ticks
    std::string capture;                 // the picture as PNG, on every orderly stop
    bool help = false;
    bool version = false;
};

// When the cursor stands at --scene, --seed, --backing-scale, --frames or --capture, takes its
// value into `o` and returns what is wrong with it in one line (empty when the value is good).
// Returns nothing, and leaves everything alone, for any other argument.
std::optional<std::string> takeSaverRunOption(ArgumentCursor& cur, SaverRunOptions& o);

}  // namespace duskmere
