#include "HackOptions.h"

#include "ArgumentCursor.h"
#include "CommandLine.h"

namespace duskmere {

const char* const hackUsage =
    "usage: duskmere [options]\n"
    "  -root                draw into $XSCREENSAVER_WINDOW, or the root window\n"
    "  -window              draw into a window of our own (the default)\n"
    "  -window-id ID        draw into the window ID (decimal or 0x hex)\n"
    "  -display NAME        the X display to use instead of $DISPLAY\n"
    "  -fps / -no-fps       show the frame rate and CPU load in the lower-left corner, and print\n"
    "                       them with the CPU time per frame about once a second\n"
    "  -mono, -install, -noinstall, -pair, -visual NAME, -delay N: accepted and ignored\n"
    "  --scene NAME         the scene to show: city (default) or campfire\n"
    "  --seed N             fix the seed (decimal or 0x hex) instead of a random one\n"
    "  --backing-scale S    device pixels per point (default 1)\n"
    "  --frames N           stop after N frames\n"
    "  --capture PATH       on stopping, write the window's picture to PATH as PNG\n"
    "  --version            print the version and exit\n"
    "Every option may be spelled with one dash or two; q or Escape closes the window, f toggles\n"
    "full screen.\n";

std::optional<unsigned long> parseWindowId(const std::string& text) {
    const std::optional<uint64_t> id = parseSeed(text);
    // X resource ids have 29 bits; 0 is None.
    if (!id || *id == 0 || *id > 0x1FFFFFFFu) return std::nullopt;
    return static_cast<unsigned long>(*id);
}

Parsed<HackOptions> parseHackOptions(const std::vector<std::string>& args) {
    return parseArguments<HackOptions>(args, [](ArgumentCursor& cur, HackOptions& o) -> std::string {
        const std::string& n = cur.name();
        const std::string& s = cur.spelled();
        const auto needs = [&](const char* what) { return s + " needs " + what; };

        if (n == "help" || n == "h") {
            o.help = true;
        } else if (n == "version") {
            if (cur.hasInlineValue()) return s + " takes no value";
            o.version = true;
        } else if (n == "root" || n == "window" || n == "mono" || n == "install" || n == "noinstall" ||
                   n == "pair" || n == "fps" || n == "no-fps") {
            if (cur.hasInlineValue()) return s + " takes no value";
            if (n == "root" && o.target != HackOptions::Target::windowId) o.target = HackOptions::Target::root;
            if (n == "window" && o.target != HackOptions::Target::windowId) o.target = HackOptions::Target::ownWindow;
            if (n == "fps") o.fps = true;
            if (n == "no-fps") o.fps = false;
        } else if (n == "window-id") {
            const auto v = cur.value();
            if (!v) return needs("a window id");
            const auto id = parseWindowId(*v);
            if (!id) return s + " needs a window id (decimal or 0x hex), not '" + *v + "'";
            o.target = HackOptions::Target::windowId;
            o.windowId = *id;
        } else if (n == "visual") {
            if (!cur.value()) return needs("a visual name");
        } else if (n == "display") {
            const auto v = cur.value();
            if (!v) return needs("a display name");
            o.display = *v;
        } else if (n == "delay") {
            const auto v = cur.value();
            if (!v) return needs("a number of microseconds");
            if (!parseCount(*v, 0, INT64_MAX)) return needs("a number of microseconds") + ", not '" + *v + "'";
        } else if (std::optional<std::string> taken = takeSaverRunOption(cur, o)) {
            return *taken;
        } else if (cur.isOption()) {
            return "unknown option '" + s + "'";
        } else {
            return "unexpected argument '" + s + "'";
        }
        return {};
    });
}

}  // namespace duskmere
