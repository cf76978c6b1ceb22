#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace duskmere {

// The first keysym name of each key in an XKB keymap as the compositor sends it (text format
// v1), by XKB keycode (the evdev code plus 8): "q", "f", "Escape". Enough to find the window's
// keys on any layout, and with the keymaps virtual keyboards make up, without libxkbcommon.
std::unordered_map<uint32_t, std::string> readKeymapNames(std::string_view keymap);

}  // namespace duskmere
