#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SaverRunOptions.h"

namespace duskmere {

// What duskmere-wayland was asked to do, checked in full before anything connects. The seed fixes
// every output's (otherwise one seed each), the backing scale overrides the compositor's, and
// frames and capture are the first output's.
struct WaylandOptions : SaverRunOptions {
    enum class Mode {
        saver,      // an overlay on every output; any input ends it (the default)
        wallpaper,  // the background layer on every output, no input, until signalled
        window,     // an ordinary window, for compositors without the layer shell
    };

    Mode mode = Mode::saver;
    bool fps = false;
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
