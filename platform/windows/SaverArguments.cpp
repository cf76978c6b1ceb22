#include "SaverArguments.h"

#include <cctype>
#include <string_view>

#include "CommandLine.h"

namespace duskmere {

const char* const saverUsage =
    "usage: SAVER.scr [/s | /p HWND | /c[:HWND] | /a] [--seed N] [--frames N] [--capture PATH] | --version";

namespace {

// An unsigned decimal window handle, not 0.
std::optional<uint64_t> parseHandle(std::string_view text) {
    if (text.empty() || text.size() > 20) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    if (value == 0) return std::nullopt;
    return value;
}

bool isAllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

Parsed<SaverArguments> parseSaverArguments(const std::vector<std::string>& args) {
    bool modeSeen = false;
    const auto take = [&](ArgumentCursor& cur, SaverArguments& a) -> std::string {
        const std::string& n = cur.name();
        // Ours: anything with two dashes (strictly), and our names with one ("-seed 5"). A
        // single letter with one dash (-s, -p, -c, -a) stays a Windows switch.
        const bool ours = cur.isOption() && ((cur.spelled().size() > 2 && cur.spelled()[1] == '-') || n == "seed" || n == "frames" ||
                                             n == "capture" || n == "version");
        if (ours) {
            const std::string name = "--" + n;  // messages use the long spelling
            if (n == "version") {
                if (cur.hasInlineValue()) return name + " takes no value";
                a.version = true;
                return {};
            }
            if (n != "seed" && n != "frames" && n != "capture") return "unknown option " + cur.spelled();
            const std::optional<std::string> value = cur.value();
            if (!value) return name + " needs a value";
            if (n == "seed") {
                a.seed = parseSeed(*value);
                if (!a.seed) return "--seed needs a number (decimal or 0x hex), not '" + *value + "'";
            } else if (n == "frames") {
                a.frames = parseFrameCount(*value);
                if (!a.frames) return badFrameCount(*value);
            } else {
                if (value->empty()) return "--capture needs a file name";
                a.capture = *value;
            }
            return {};
        }
        if (modeSeen) return {};  // the host may add words after the switch; they mean nothing
        modeSeen = true;
        const std::string& arg = cur.argument();
        if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return {};  // a stray word: no argument
        const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(arg[1])));
        std::optional<std::string> value;
        if (arg.size() > 2) {
            if (arg[2] != ':') return {};  // /screen, -px: not a switch we know
            value = arg.substr(3);
        }
        switch (letter) {
        case 's':
            a.mode = SaverArguments::Mode::fullScreen;
            break;
        case 'a':
            a.mode = SaverArguments::Mode::password;
            break;
        case 'p': {
            if (!value && cur.peek()) value = cur.value();
            const std::optional<uint64_t> handle = value ? parseHandle(*value) : std::nullopt;
            if (!handle) return "/p needs the parent window's handle in unsigned decimal";
            a.mode = SaverArguments::Mode::preview;
            a.window = *handle;
            break;
        }
        case 'c': {
            // The handle is optional; a following word is it only if it is a number.
            if (!value && cur.peek() && isAllDigits(*cur.peek())) value = cur.value();
            if (value && !value->empty()) {
                const std::optional<uint64_t> handle = parseHandle(*value);
                if (!handle) return "/c takes the owner window's handle in unsigned decimal, not '" + *value + "'";
                a.window = *handle;
            }
            a.mode = SaverArguments::Mode::settings;
            break;
        }
        default:
            break;  // unknown switch: no argument
        }
        return {};
    };
    return parseArguments<SaverArguments>(args, take, [](const SaverArguments& a) -> std::string {
        const bool runs = a.mode == SaverArguments::Mode::fullScreen || a.mode == SaverArguments::Mode::preview;
        if (!runs && (a.seed || a.frames || !a.capture.empty())) return "--seed, --frames and --capture go with /s or /p";
        return {};
    });
}

}  // namespace duskmere
