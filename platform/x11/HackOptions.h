#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SaverRunOptions.h"

namespace duskmere {

// What the duskmere program was asked to do: the options every screen-saver hack is given by
// its host, in -opt and --opt spellings, plus our own (the scene, seed, backing scale (1 when not
// given), frames and capture, as duskmere-wayland takes them). Checked in full before anything
// starts.
struct HackOptions : SaverRunOptions {
    enum class Target {
        ownWindow,  // a resizable top-level window of our own (the default, and -window)
        root,       // -root: $XSCREENSAVER_WINDOW, or the root window
        windowId,   // -window-id ID: a window someone else made
    };

    Target target = Target::ownWindow;
    unsigned long windowId = 0;
    std::string display;  // empty: $DISPLAY
    bool fps = false;
};

Parsed<HackOptions> parseHackOptions(const std::vector<std::string>& args);

// A window id as the host passes it: decimal or 0x hex, never 0.
std::optional<unsigned long> parseWindowId(const std::string& text);

extern const char* const hackUsage;

}  // namespace duskmere
