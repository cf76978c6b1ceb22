#include "city/DuskmereSaverView.h"

#include "city/DuskmereScene.h"

namespace duskmere {

std::unique_ptr<PixelScene> DuskmereSaverView::makeScene(int64_t width, int64_t height, uint64_t seed) {
    return std::make_unique<DuskmereScene>(width, height, seed);
}

}  // namespace duskmere
