#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "host/PixelSaverView.h"
#include "host/PixelScene.h"
#include "host/SaverPlatform.h"

namespace duskmere {

// The scenes a program can choose by name, each with the view that shows it.
struct SceneEntry {
    std::string_view name;
    std::unique_ptr<PixelScene> (*makeScene)(int64_t width, int64_t height, uint64_t seed);
    std::unique_ptr<PixelSaverView> (*makeView)(SaverPlatform& platform);  // as the host creates it
};

std::span<const SceneEntry> sceneCatalog();  // the principal scene first
const SceneEntry* findScene(std::string_view name);
// The names, in catalog order, for messages: sceneNames(", ") is "city, campfire".
std::string sceneNames(std::string_view separator);

}  // namespace duskmere
