#pragma once

#include <X11/Xlib.h>

#include <string>

namespace duskmere {

// Xlib reports protocol errors through a handler that by default prints a dump and exits. A
// saver sees errors in ordinary life (the window it draws into is destroyed by its owner while a
// frame is on its way), so the handler only notes the first error, and the main loop decides.
// A lost connection cannot be survived: one clear line and exit status 1, without a core.
class XErrorTrap {
public:
    static void install();

    // Whether an error arrived since the last clear(); describe() says which, in one line.
    static bool caught();
    static std::string describe(Display* display);
    // The first error caught (valid while caught()).
    static const XErrorEvent& error();
    static void clear();
    // Whether a capture was asked for: the line about a lost connection then says it was not
    // written (the stop was not an orderly one).
    static void noteCaptureAsked(bool asked);
};

}  // namespace duskmere
