// duskmere-wayland: the saver on Wayland compositors, as an overlay on every output (the
// default), as a live wallpaper, or in a window.

#include <wayland-client.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "OutputFile.h"
#include "StopSignals.h"
#include "StopWatchdog.h"
#include "Version.h"
#include "WaylandOptions.h"
#include "WaylandSaver.h"
#include "catalog/SceneCatalog.h"

using namespace duskmere;

namespace {

// A stop while the compositor stalls before any output is known: there is no picture to write.
void noPictureYet(void*) {
    std::fputs("duskmere-wayland: stopped before any output was known; no capture written\n", stderr);
    StopWatchdog::noteStatus(1);
}

// Before the constructors of every library and of the program itself: a stop signal in the first
// moments after start ends it in order too, instead of by the signal's default action.
void installStopsFirst(int, char**, char**) { StopSignals::install(); }
[[gnu::used, gnu::section(".preinit_array")]] void (*const earliest)(int, char**, char**) = installStopsFirst;

}  // namespace

int main(int argc, char** argv) {
    // Again, in case the preinit hook did not run (a loader that ignores it): nothing else first.
    StopSignals::install();
    StopWatchdog::start();

    const ParsedWaylandOptions parsed = parseWaylandOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "duskmere-wayland: %s (see duskmere-wayland --help)\n", parsed.error.c_str());
        return 2;
    }
    const WaylandOptions& options = parsed.options;
    if (options.help) {
        std::fputs(waylandUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::puts("duskmere-wayland " DUSKMERE_VERSION);
        return 0;
    }
    if (!options.capture.empty()) {
        // Known before anything is shown, so it is a bad argument like any other.
        std::string error;
        if (!checkOutputPath(options.capture, error)) {
            std::fprintf(stderr, "duskmere-wayland: %s\n", error.c_str());
            return 2;
        }
        StopWatchdog::setFinisher(noPictureYet, nullptr);
    }

    const char* name = std::getenv("WAYLAND_DISPLAY");
    const std::string socket = name && *name ? name : "wayland-0";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* passed = std::getenv("WAYLAND_SOCKET");
    if (socket[0] != '/' && !(passed && *passed) && !(runtime && *runtime)) {
        // libwayland would print a line of its own first; one line is ours to say.
        std::fputs("duskmere-wayland: cannot connect to a Wayland compositor: XDG_RUNTIME_DIR is not set\n", stderr);
        return 1;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        const int error = errno;
        std::fprintf(stderr, "duskmere-wayland: cannot connect to a Wayland compositor at '%s': %s\n", socket.c_str(),
                     std::strerror(error ? error : ENOENT));
        return 1;
    }
    int status = 0;
    {
        WaylandSaver saver(display, options, *findScene(options.scene));
        std::string error;
        if (!saver.connect(error, status)) std::fprintf(stderr, "duskmere-wayland: %s\n", error.c_str());
        else status = saver.run();
        if (StopSignals::requested()) {
            std::fflush(stdout);
            std::fflush(stderr);
            StopSignals::exitAsRequested(status);
        }
    }
    wl_display_disconnect(display);
    return status;
}
