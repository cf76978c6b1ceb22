#include "WaylandOptions.h"

#include "ArgumentCursor.h"
#include "CommandLine.h"

namespace duskmere {

const char* const waylandUsage =
    "usage: duskmere-wayland [options]\n"
    "  (no mode)            the saver: an overlay on every output until a key, a button or a\n"
    "                       pointer move\n"
    "  --wallpaper          the background layer on every output, until signalled\n"
    "  --window             a window (f: full screen; q or Escape: close)\n"
    "  --idle SECONDS       keep running; show the saver whenever the session has been idle for\n"
    "                       SECONDS (1 to 86400); input ends each showing, a signal the program\n"
    "  --scene NAME         the scene to show: city (default) or campfire\n"
    "  --seed N             fix the seed of every output (decimal or 0x hex)\n"
    "  --backing-scale S    device pixels per point, instead of the compositor's scale\n"
    "  --frames N           stop after the first output has shown N frames (with --idle: end\n"
    "                       each showing then)\n"
    "  --capture PATH       on stopping, write the first output's picture to PATH as PNG\n"
    "  -fps                 print the frame rate and CPU load on stderr about once a second\n"
    "  --version            print the version and exit\n"
    "Every option may be spelled with one dash or two, and values may follow '='.\n";

Parsed<WaylandOptions> parseWaylandOptions(const std::vector<std::string>& args) {
    bool modeGiven = false;
    const auto take = [&](ArgumentCursor& cur, WaylandOptions& o) -> std::string {
        const std::string& n = cur.name();
        const std::string& s = cur.spelled();
        if (!cur.isOption()) return "unexpected argument '" + s + "'";
        const bool flag = n == "help" || n == "h" || n == "version" || n == "wallpaper" || n == "window" ||
                          n == "fps" || n == "no-fps";
        if (flag && cur.hasInlineValue()) return s + " takes no value";

        if (n == "help" || n == "h") {
            o.help = true;
        } else if (n == "version") {
            o.version = true;
        } else if (n == "wallpaper" || n == "window") {
            const auto mode = n == "window" ? WaylandOptions::Mode::window : WaylandOptions::Mode::wallpaper;
            if (modeGiven && o.mode != mode) return "--wallpaper and --window exclude each other";
            o.mode = mode;
            modeGiven = true;
        } else if (n == "idle") {
            const std::optional<std::string> v = cur.value();
            if (!v) return s + " needs a number of seconds";
            const std::optional<int64_t> seconds = parseCount(*v, 1, maxIdleSeconds);
            if (!seconds)
                return s + " needs a whole number of seconds from 1 to " + std::to_string(maxIdleSeconds) + ", not '" +
                       *v + "'";
            o.idleSeconds = static_cast<uint32_t>(*seconds);
        } else if (n == "fps" || n == "no-fps") {
            o.fps = n == "fps";
        } else if (std::optional<std::string> taken = takeSaverRunOption(cur, o)) {
            return *taken;
        } else {
            return "unknown option '" + s + "'";
        }
        return {};
    };
    return parseArguments<WaylandOptions>(args, take, [](const WaylandOptions& o) -> std::string {
        if (!o.idleSeconds || o.mode == WaylandOptions::Mode::saver) return {};
        return std::string("--idle shows the saver; it excludes --") +
               (o.mode == WaylandOptions::Mode::window ? "window" : "wallpaper");
    });
}

}  // namespace duskmere
