#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace duskmere {

// What duskmere-wayland was asked to do, checked in full before anything connects.
struct WaylandOptions {
    enum class Mode {
        saver,      // an overlay on every output; any input ends it (the default)
        wallpaper,  // the background layer on every output, no input, until signalled
        window,     // an ordinary window, for compositors without the layer shell
    };

    Mode mode = Mode::saver;
    std::string scene = "city";
    std::optional<uint64_t> seed;          // every output takes it; otherwise one seed each
    std::optional<double> backingScale;    // overrides the compositor's scale
    bool fps = false;
    std::optional<int64_t> frames;  // stop after the first output has shown this many ticks
    std::string capture;            // the first output's picture as PNG, on every orderly stop
    bool help = false;
    bool version = false;
};

struct ParsedWaylandOptions {
    WaylandOptions options;
    std::string error;  // one line; empty when the options are good
};

ParsedWaylandOptions parseWaylandOptions(const std::vector<std::string>& args);

extern const char* const waylandUsage;

}  // namespace duskmere
