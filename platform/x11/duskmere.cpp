// duskmere: the saver on X11, in a window of its own, in a window a screen-saver host gives it,
// or on the root window.

#include <X11/Xlib.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "HackOptions.h"
#include "OutputFile.h"
#include "StopSignals.h"
#include "StopWatchdog.h"
#include "TargetWindow.h"
#include "X11Saver.h"
#include "Version.h"
#include "XErrorTrap.h"
#include "catalog/SceneCatalog.h"

using namespace duskmere;

namespace {

// A stop while the server stalls before the window is known: there is no picture to write.
void noPictureYet(void*) {
    std::fputs("duskmere: stopped before the window was known; no capture written\n", stderr);
    StopWatchdog::noteStatus(1);
}

}  // namespace

int main(int argc, char** argv) {
    // First of all, so that a stop request at any moment ends the program in order.
    StopSignals::install();
    StopWatchdog::start();

    const ParsedHackOptions parsed = parseHackOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "duskmere: %s (see duskmere --help)\n", parsed.error.c_str());
        return 2;
    }
    const HackOptions& options = parsed.options;
    if (options.help) {
        std::fputs(hackUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::puts("duskmere " DUSKMERE_VERSION);
        return 0;
    }
    if (!options.capture.empty()) {
        // Known before anything is shown, so it is a bad argument like any other.
        std::string error;
        if (!checkOutputPath(options.capture, error)) {
            std::fprintf(stderr, "duskmere: %s\n", error.c_str());
            return 2;
        }
    }

    if (!options.capture.empty()) StopWatchdog::setFinisher(noPictureYet, nullptr);
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
    if (StopSignals::requested()) {
        // Closing the display waits for the server, which may not be answering: a stop signal
        // must end the program now, and the system closes the connection anyway.
        std::fflush(stdout);
        std::fflush(stderr);
        StopSignals::exitAsRequested(status);
    }
    XCloseDisplay(display);
    return status;
}
