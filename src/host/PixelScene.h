#pragma once

#include <span>

#include "pixels/Canvas.h"
#include "pixels/RowSpan.h"

namespace duskmere {

// A scene is built from a canvas size and a seed (each scene's constructor takes width, height
// and seed) and then advanced one frame per tick and drawn on every redraw.
class PixelScene {
public:
    virtual ~PixelScene() = default;
    virtual void step() = 0;
    // Draws the current frame. Pixels a scene does not write keep the previous frame's colour.
    virtual void draw(Canvas& canvas) = 0;
    // After draw(): per canvas row, the columns that draw may have changed since the draw
    // before it into the same canvas. Empty when any pixel may have changed, which is always
    // true; a scene that knows better spares the presenter comparing the rest. The first draw
    // into a canvas (one this scene has not drawn into just before, told by its generation, not
    // its address) reports empty: what the canvas held before is no frame of this scene.
    virtual std::span<const RowSpan> changedSpans() const { return {}; }
};

}  // namespace duskmere
