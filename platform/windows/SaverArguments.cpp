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

ParsedSaverArguments parseSaverArguments(const std::vector<std::string>& args) {
    ParsedSaverArguments result;
    SaverArguments& a = result.arguments;
    bool modeSeen = false;
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() > 2 && arg[0] == '-' && arg[1] == '-') {
            std::string name = arg;
            std::optional<std::string> value;
            const size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
            }
            if (arg == "--version") {
                a.version = true;
                continue;
            }
            if (name != "--seed" && name != "--frames" && name != "--capture")
                return fail("unknown option " + name);
            if (!value) {
                if (i + 1 >= args.size()) return fail(name + " needs a value");
                value = args[++i];
            }
            if (name == "--seed") {
                a.seed = parseSeed(*value);
                if (!a.seed) return fail("--seed needs a number (decimal or 0x hex), not '" + *value + "'");
            } else if (name == "--frames") {
                a.frames = parseCount(*value, 1, INT64_MAX / 2);
                if (!a.frames) return fail("--frames needs a positive whole number, not '" + *value + "'");
            } else {
                if (value->empty()) return fail("--capture needs a file name");
                a.capture = *value;
            }
            continue;
        }
        if (modeSeen) continue;  // the host may add words after the switch; they mean nothing
        modeSeen = true;
        if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) continue;  // a stray word: no argument
        const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(arg[1])));
        std::optional<std::string> value;
        if (arg.size() > 2) {
            if (arg[2] != ':') continue;  // /screen, -px: not a switch we know
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
            if (!value && i + 1 < args.size()) value = args[++i];
            const std::optional<uint64_t> handle = value ? parseHandle(*value) : std::nullopt;
            if (!handle) return fail("/p needs the parent window's handle in unsigned decimal");
            a.mode = SaverArguments::Mode::preview;
            a.window = *handle;
            break;
        }
        case 'c': {
            // The handle is optional; a following word is it only if it is a number.
            if (!value && i + 1 < args.size() && isAllDigits(args[i + 1])) value = args[++i];
            if (value && !value->empty()) {
                const std::optional<uint64_t> handle = parseHandle(*value);
                if (!handle) return fail("/c takes the owner window's handle in unsigned decimal, not '" + *value + "'");
                a.window = *handle;
            }
            a.mode = SaverArguments::Mode::settings;
            break;
        }
        default:
            break;  // unknown switch: no argument
        }
    }
    const bool runs = a.mode == SaverArguments::Mode::fullScreen || a.mode == SaverArguments::Mode::preview;
    if (!runs && (a.seed || a.frames || !a.capture.empty()))
        return fail("--seed, --frames and --capture go with /s or /p");
    return result;
}

}  // namespace duskmere
