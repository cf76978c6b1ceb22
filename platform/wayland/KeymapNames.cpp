#include "KeymapNames.h"

#include <cctype>
#include <cstdlib>

namespace duskmere {

namespace {

// The section `name { ... };` of the keymap, or empty.
std::string_view section(std::string_view keymap, std::string_view name) {
    const size_t at = keymap.find(name);
    if (at == std::string_view::npos) return {};
    const size_t open = keymap.find('{', at);
    if (open == std::string_view::npos) return {};
    int depth = 0;
    for (size_t i = open; i < keymap.size(); ++i) {
        if (keymap[i] == '{') ++depth;
        if (keymap[i] == '}' && --depth == 0) return keymap.substr(open + 1, i - open - 1);
    }
    return keymap.substr(open + 1);
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

}  // namespace

std::unordered_map<uint32_t, std::string> readKeymapNames(std::string_view keymap) {
    // xkb_keycodes: `<AD01> = 24;` gives each key name its code.
    std::unordered_map<std::string_view, uint32_t> codes;
    std::string_view keycodes = section(keymap, "xkb_keycodes");
    for (size_t at = keycodes.find('<'); at != std::string_view::npos; at = keycodes.find('<', at + 1)) {
        const size_t close = keycodes.find('>', at);
        const size_t end = keycodes.find(';', at);
        if (close == std::string_view::npos || end == std::string_view::npos || close > end) break;
        const std::string_view value = trim(keycodes.substr(close + 1, end - close - 1));
        if (value.size() < 2 || value[0] != '=') continue;  // aliases and indicators name no code
        const std::string_view number = trim(value.substr(1));
        if (number.empty() || !std::isdigit(static_cast<unsigned char>(number[0]))) continue;
        const uint32_t code = static_cast<uint32_t>(std::strtoul(number.data(), nullptr, 10));
        codes[keycodes.substr(at + 1, close - at - 1)] = code;
    }
    // xkb_symbols: `key <AD01> { [ q, Q ] };`, maybe with a type or `symbols[Group1]=` first.
    std::unordered_map<uint32_t, std::string> names;
    const std::string_view symbols = section(keymap, "xkb_symbols");
    for (size_t at = symbols.find("key <"); at != std::string_view::npos; at = symbols.find("key <", at + 1)) {
        const size_t close = symbols.find('>', at);
        const size_t end = symbols.find("};", at);
        if (close == std::string_view::npos || end == std::string_view::npos) break;
        const auto code = codes.find(symbols.substr(at + 5, close - at - 5));
        if (code == codes.end()) continue;
        for (size_t open = symbols.find('[', close); open < end; open = symbols.find('[', open + 1)) {
            const size_t shut = symbols.find(']', open);
            std::string_view first = symbols.substr(open + 1, shut - open - 1);
            first = trim(first.substr(0, first.find(',')));
            if (first.empty() || first.starts_with("Group")) continue;
            names[code->second] = std::string(first);
            break;
        }
    }
    return names;
}

}  // namespace duskmere
