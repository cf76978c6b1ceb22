#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ArgumentCursor.h"

namespace duskmere {

// How Windows starts a saver, plus our own options for tests and bug reports. Portable, so that
// the rules can be checked on any machine.
struct SaverArguments {
    enum class Mode {
        settings,    // /c, /c:HWND, no argument, or anything unknown
        fullScreen,  // /s
        preview,     // /p HWND
        password,    // /a (nothing to do since Windows checks passwords itself)
    };
    Mode mode = Mode::settings;
    uint64_t window = 0;  // /p: the parent; /c: the owner of the message (0: the foreground window)
    std::optional<uint64_t> seed;
    std::optional<int64_t> frames;  // stop after this many frames
    std::string capture;            // on stopping, a PNG of what the windows show
    bool version = false;           // --version: name the version and leave
};

// Windows switches are case-insensitive, begin with '/' or '-', and take their value after a space
// or a colon (/p 1234, /p:1234, /c:1234); window handles are unsigned decimal. The first switch
// decides the mode; unknown switches and stray words count as no argument, as the host's own
// screen-saver library treats them. Our options (--seed N, --frames N, --capture PATH and
// --version) follow every program's syntax (ArgumentCursor: one dash or two, the value after a
// space or '='), in any position; they are strict: a bad value or an unknown --name is an error.
// A single letter after one dash (-s, -p, -c, -a) is always the Windows switch.
Parsed<SaverArguments> parseSaverArguments(const std::vector<std::string>& args);

extern const char* const saverUsage;

}  // namespace duskmere
