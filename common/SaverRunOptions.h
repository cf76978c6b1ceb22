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
};

// When the cursor stands at --scene, --seed, --backing-scale, --frames or --capture, takes its
// value into `o` and returns true, with `error` set to one line when the value is missing or bad.
// Returns false, and leaves everything alone, for any other argument.
bool takeSaverRunOption(ArgumentCursor& cur, SaverRunOptions& o, std::string& error);

}  // namespace duskmere
