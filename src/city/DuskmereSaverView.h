#pragma once

#include <cstdint>
#include <memory>

#include "host/PixelSaverView.h"

namespace duskmere {

// The principal saver: the city skyline at about 450 canvas rows.
class DuskmereSaverView : public PixelSaverView {
public:
    using PixelSaverView::PixelSaverView;

    double targetRows() const override { return 450.0; }
    std::unique_ptr<PixelScene> makeScene(int64_t width, int64_t height, uint64_t seed) override;
};

}  // namespace duskmere
