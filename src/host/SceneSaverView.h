#pragma once

#include <cstdint>
#include <memory>

#include "host/PixelSaverView.h"

namespace duskmere {

// A concrete saver is PixelSaverView with a choice of scene and of the canvas rows it wants, and
// nothing more: each view names its scene type and rows here.
template <class Scene, int rows>
class SceneSaverView : public PixelSaverView {
public:
    using PixelSaverView::PixelSaverView;

    double targetRows() const override { return static_cast<double>(rows); }
    std::unique_ptr<PixelScene> makeScene(int64_t width, int64_t height, uint64_t seed) override {
        return std::make_unique<Scene>(width, height, seed);
    }
};

}  // namespace duskmere
