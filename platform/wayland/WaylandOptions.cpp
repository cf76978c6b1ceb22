#include "WaylandOptions.h"

#include "ArgumentCursor.h"
#include "CommandLine.h"
#include "catalog/SceneCatalog.h"

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
        auto needValue = [&](const char* what) -> std::optional<std::string> {
            std::optional<std::string> v = cur.value();
            if (!v) result.error = s + " needs " + what;
            return v;
        };
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
        } else if (n == "scene") {
            const auto v = needValue("a scene name");
            if (!v) return result;
            if (!findScene(*v)) {
                std::string names;
                for (const SceneEntry& e : sceneCatalog()) names += (names.empty() ? "" : " or ") + std::string(e.name);
                return fail("unknown scene '" + *v + "' (" + names + ")");
            }
            o.scene = *v;
        } else if (n == "seed") {
            const auto v = needValue("a seed");
            if (!v) return result;
            o.seed = parseSeed(*v);
            if (!o.seed) return fail(s + " needs a number, decimal or 0x hex, not '" + *v + "'");
        } else if (n == "backing-scale") {
            const auto v = needValue("a scale");
            if (!v) return result;
            o.backingScale = parseScale(*v, maxBackingScale);
            if (!o.backingScale) return fail(s + " needs a number above 0 and at most 16, not '" + *v + "'");
        } else if (n == "frames") {
            const auto v = needValue("a number of frames");
            if (!v) return result;
            o.frames = parseCount(*v, 0, INT64_MAX);
            if (!o.frames) return fail(s + " needs a number of frames, not '" + *v + "'");
        } else if (n == "capture") {
            const auto v = needValue("a file name");
            if (!v) return result;
            if (v->empty()) return fail(s + " needs a file name");
            o.capture = *v;
        } else {
            return fail("unknown option '" + s + "'");
        }
    }
    return result;
}

}  // namespace duskmere
