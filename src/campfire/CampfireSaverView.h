#pragma once

#include <cstdint>
#include <memory>

#include "host/PixelSaverView.h"

namespace duskmere {

// A saver that shows the campfire forest at about 270 canvas rows.
class CampfireSaverView : public PixelSaverView {
public:
    using PixelSaverView::PixelSaverView;

    double targetRows() const override { return 270.0; }
    std::unique_ptr<PixelScene> makeScene(int64_t width, int64_t height, uint64_t seed) override;
};

}  // namespace duskmere
