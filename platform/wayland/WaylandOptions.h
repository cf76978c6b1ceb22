#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SaverRunOptions.h"

namespace duskmere {

// What duskmere-wayland was asked to do, checked in full before anything connects. The seed fixes
// every output's (otherwise one seed each), the backing scale overrides the compositor's, and
// frames and capture are the first output's. With idleSeconds the saver is one long-running
// program that shows itself after that long without input, each showing ended as the saver is.
struct WaylandOptions : SaverRunOptions {
    enum class Mode {
        saver,      // an overlay on every output; any input ends it (the default)
        wallpaper,  // the background layer on every output, no input, until signalled
        window,     // an ordinary window, for compositors without the layer shell
    };

    Mode mode = Mode::saver;
    std::optional<uint32_t> idleSeconds;  // --idle: saver mode only
    bool fps = false;
};

// The longest --idle delay: a day.
constexpr uint32_t maxIdleSeconds = 86400;

Parsed<WaylandOptions> parseWaylandOptions(const std::vector<std::string>& args);

extern const char* const waylandUsage;

}  // namespace duskmere
