#include "campfire/CampfireSaverView.h"

#include "campfire/CampfireScene.h"

namespace duskmere {

std::unique_ptr<PixelScene> CampfireSaverView::makeScene(int64_t width, int64_t height, uint64_t seed) {
    return std::make_unique<CampfireScene>(width, height, seed);
}

}  // namespace duskmere
