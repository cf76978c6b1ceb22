// duskmere: the saver on X11, in a window of its own, in a window a screen-saver host gives it,
// or on the root window.

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "HackOptions.h"
#include "SaverProgram.h"
#include "TargetWindow.h"
#include "X11Saver.h"
#include "XErrorTrap.h"
#include "catalog/SceneCatalog.h"

using namespace duskmere;

namespace {

// Its own display, then the window, then the saver in it.
int runHost(const HackOptions& options) {
    XErrorTrap::install();
    XErrorTrap::noteCaptureAsked(!options.capture.empty());
    const char* name = options.display.empty() ? std::getenv("DISPLAY") : options.display.c_str();
    if (!name || !*name) {
        std::fputs("duskmere: cannot open the display: DISPLAY is not set\n", stderr);
        return 1;
    }
    Display* display = XOpenDisplay(name);
    if (!display) {
        std::fprintf(stderr, "duskmere: cannot open display '%s'\n", name);
        return 1;
    }
    int status = 0;
    std::string error;
    const std::optional<TargetWindow> window = findTargetWindow(display, options, error);
    if (!window) {
        std::fprintf(stderr, "duskmere: %s\n", error.c_str());
        status = 1;
    } else {
        // Even when a stop came already: run() then only writes the capture.
        X11Saver saver(display, *window, options, *findScene(options.scene));
        status = saver.run();
    }
    endIfStopped(status);
    XCloseDisplay(display);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    static const SaverProgram program{"duskmere", hackUsage, "stopped before the window was known"};
    return saverMain(program, argc, argv, parseHackOptions, runHost);
}
