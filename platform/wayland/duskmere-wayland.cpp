// duskmere-wayland: the saver on Wayland compositors, as an overlay on every output (the
// default), as a live wallpaper, or in a window.

#include <wayland-client.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SaverProgram.h"
#include "StopSignals.h"
#include "WaylandOptions.h"
#include "WaylandSaver.h"
#include "catalog/SceneCatalog.h"

using namespace duskmere;

namespace {

// Before the constructors of every library and of the program itself: a stop signal in the first
// moments after start ends it in order too, instead of by the signal's default action.
void installStopsFirst(int, char**, char**) { StopSignals::install(); }
[[gnu::used, gnu::section(".preinit_array")]] void (*const earliest)(int, char**, char**) = installStopsFirst;

// The connection to the compositor, then the saver on it.
int runHost(const WaylandOptions& options) {
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
        endIfStopped(status);
    }
    wl_display_disconnect(display);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // The stop handlers again, in case the preinit hook did not run (a loader that ignores it).
    static const SaverProgram program{"duskmere-wayland", waylandUsage, "stopped before any output was known"};
    return saverMain(program, argc, argv, parseWaylandOptions, runHost);
}
