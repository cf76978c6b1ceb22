#include "WebParameters.h"

#include <cstddef>

namespace duskmere {

namespace {

constexpr std::string_view names[] = {"scene", "seed", "canvas", "frames", "hash-every"};

std::string quoted(std::string_view text) {
    // Keep the message on one line and short, whatever was typed.
    std::string out = "'";
    for (char c : text.substr(0, 40)) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
    if (text.size() > 40) out += "...";
    return out + "'";
}

std::string sceneNames() {
    std::string list;
    for (const SceneEntry& e : sceneCatalog()) list += (list.empty() ? "" : ", ") + std::string(e.name);
    return list;
}

}  // namespace

std::string WebParameterParser::add(std::string_view name, std::string_view value) {
    std::size_t index = 0;
    while (index < std::size(names) && names[index] != name) ++index;
    if (index == std::size(names))
        return "unknown parameter " + quoted(name) + " (parameters: scene, seed, canvas, frames, hash-every)";
    if (seen_ & (1u << index)) return "parameter " + quoted(name) + " is given twice";
    seen_ |= 1u << index;

    switch (index) {
    case 0:
        p_.scene = findScene(value);
        if (!p_.scene) return "unknown scene " + quoted(value) + " (scenes: " + sceneNames() + ")";
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
        p_.frames = parseCount(value, 0, INT64_MAX);
        if (!p_.frames) return "bad frame count " + quoted(value) + ": give a whole number, 0 or more";
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
