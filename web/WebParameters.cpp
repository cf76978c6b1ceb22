#include "WebParameters.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace duskmere {

namespace {

constexpr std::string_view names[] = {"scene", "seed", "canvas", "frames", "hash-every"};

constexpr std::size_t quoteBytes = 40;

std::string quoted(std::string_view text) {
    // Keep the message on one line and short, whatever was typed. A cut falls before the UTF-8
    // character it would split: back over its continuation bytes (10xxxxxx), three at most.
    std::size_t keep = std::min(text.size(), quoteBytes);
    for (int i = 0; i < 3 && keep > 0 && keep < text.size() && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80; ++i)
        --keep;
    std::string out = "'";
    for (char c : text.substr(0, keep)) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
    if (keep < text.size()) out += "...";
    return out + "'";
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? hexDigit(text[i + 2]) : -1;
        if (low < 0) {
            out += text[i];
            continue;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

// Calls `pair(name, value)` for each non-empty '&'-separated piece, decoded, until one returns an
// error line; returns that line or "".
template <typename Pair>
std::string eachPair(std::string_view text, Pair pair) {
    while (!text.empty()) {
        const std::size_t amp = text.find('&');
        const std::string_view piece = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        if (piece.empty()) continue;
        const std::size_t eq = piece.find('=');
        const std::string name = percentDecoded(piece.substr(0, eq));
        const std::string value = eq == std::string_view::npos ? std::string() : percentDecoded(piece.substr(eq + 1));
        std::string error = pair(name, value);
        if (!error.empty()) return error;
    }
    return "";
}

}  // namespace

std::string WebParameterParser::read(std::string_view query, std::string_view fragment) {
    std::string error = eachPair(query, [&](std::string_view name, std::string_view) {
        const bool ours = std::find(std::begin(names), std::end(names), name) != std::end(names);
        return ours ? "parameters go after '#', not '?': write " + quoted("#" + std::string(query)) : std::string();
    });
    if (!error.empty()) return error;
    return eachPair(fragment, [this](std::string_view name, std::string_view value) { return add(name, value); });
}

std::string WebParameterParser::add(std::string_view name, std::string_view value) {
    std::size_t index = 0;
    while (index < std::size(names) && names[index] != name) ++index;
    if (index == std::size(names))
        return "unknown parameter " + quoted(name) + " (parameters: scene, seed, canvas, frames, hash-every)";
    if (seen_ & (1u << index)) return "parameter " + quoted(name) + " is given twice";
    seen_ |= 1u << index;
    // A C string would end there, and the rest would be ignored without a word.
    if (value.find('\0') != std::string_view::npos)
        return "parameter " + quoted(name) + " has a NUL character (%00) in its value";

    switch (index) {
    case 0:
        p_.scene = findScene(value);
        if (!p_.scene) return "unknown scene " + quoted(value) + " (scenes: " + sceneNames(", ") + ")";
        break;
    case 1:
        p_.seed = parseSeed(value);
        if (!p_.seed) return "bad seed " + quoted(value) + ": give a 64-bit decimal or 0x hex number";
        break;
    case 2:
        p_.canvas = parseSize(value, maxCanvasSide);
        if (!p_.canvas) return "bad canvas size " + quoted(value) + ": give WxH, each between 1 and 4096";
        break;
    case 3:
        p_.frames = parseFrameCount(value);
        if (!p_.frames) return badFrameCount(value);
        break;
    default: {
        const auto every = parseCount(value, 1, INT64_MAX);
        if (!every) return "bad hash-every " + quoted(value) + ": give a whole number, 1 or more";
        p_.hashEvery = *every;
    }
    }
    return "";
}

std::string WebParameterParser::finish() {
    if (p_.hashEvery > 0 && !p_.frames) return "hash-every needs frames";
    return "";
}

}  // namespace duskmere
