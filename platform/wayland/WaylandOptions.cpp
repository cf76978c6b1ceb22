#include "WaylandOptions.h"

#include "ArgumentCursor.h"

namespace duskmere {

const char* const waylandUsage =
    "usage: duskmere-wayland [options]\n"
    "  (no mode)            the saver: an overlay on every output until a key, a button or a\n"
    "                       pointer move\n"
    "  --wallpaper          the background layer on every output, until signalled\n"
    "  --window             a window (f: full screen; q or Escape: close)\n"
    "  --scene NAME         the scene to show: city (default) or campfire\n"
    "  --seed N             fix the seed of every output (decimal or 0x hex)\n"
    "  --backing-scale S    device pixels per point, instead of the compositor's scale\n"
    "  --frames N           stop after the first output has shown N frames\n"
    "  --capture PATH       on stopping, write the first output's picture to PATH as PNG\n"
    "  -fps                 print the frame rate and CPU load on stderr about once a second\n"
    "  --version            print the version and exit\n"
    "Every option may be spelled with one dash or two, and values may follow '='.\n";

ParsedWaylandOptions parseWaylandOptions(const std::vector<std::string>& args) {
    ParsedWaylandOptions result;
    WaylandOptions& o = result.options;
    ArgumentCursor cur(args);
    auto fail = [&](const std::string& message) {
        result.error = message;
        return result;
    };
    bool modeGiven = false;

    while (cur.next()) {
        const std::string& n = cur.name();
        const std::string& s = cur.spelled();
        if (!cur.isOption()) return fail("unexpected argument '" + s + "'");
        const bool flag = n == "help" || n == "h" || n == "version" || n == "wallpaper" || n == "window" ||
                          n == "fps" || n == "no-fps";
        if (flag && cur.hasInlineValue()) return fail(s + " takes no value");

        if (n == "help" || n == "h") {
            o.help = true;
        } else if (n == "version") {
            o.version = true;
        } else if (n == "wallpaper" || n == "window") {
            const auto mode = n == "window" ? WaylandOptions::Mode::window : WaylandOptions::Mode::wallpaper;
            if (modeGiven && o.mode != mode) return fail("--wallpaper and --window exclude each other");
            o.mode = mode;
            modeGiven = true;
        } else if (n == "fps" || n == "no-fps") {
            o.fps = n == "fps";
        } else if (takeSaverRunOption(cur, o, result.error)) {
            if (!result.error.empty()) return result;
        } else {
            return fail("unknown option '" + s + "'");
        }
    }
    return result;
}

}  // namespace duskmere
