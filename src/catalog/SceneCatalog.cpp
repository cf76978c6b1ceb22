#include "catalog/SceneCatalog.h"

#include "campfire/CampfireSaverView.h"
#include "campfire/CampfireScene.h"
#include "city/DuskmereSaverView.h"
#include "city/DuskmereScene.h"

namespace duskmere {

namespace {

template <class Scene>
std::unique_ptr<PixelScene> makeSceneOf(int64_t width, int64_t height, uint64_t seed) {
    return std::make_unique<Scene>(width, height, seed);
}

template <class View>
std::unique_ptr<PixelSaverView> makeViewOf(SaverPlatform& platform) {
    return std::make_unique<View>(platform, PixelSaverView::FromFrame{});
}

constexpr SceneEntry entries[] = {
    {"city", makeSceneOf<DuskmereScene>, makeViewOf<DuskmereSaverView>},
    {"campfire", makeSceneOf<CampfireScene>, makeViewOf<CampfireSaverView>},
};

}  // namespace

std::span<const SceneEntry> sceneCatalog() { return entries; }

const SceneEntry* findScene(std::string_view name) {
    for (const SceneEntry& e : entries)
        if (e.name == name) return &e;
    return nullptr;
}

std::string sceneNames(std::string_view separator) {
    std::string names;
    for (const SceneEntry& e : entries) {
        if (!names.empty()) names += separator;
        names += e.name;
    }
    return names;
}

}  // namespace duskmere
