#pragma once

#include "pixels/Canvas.h"

namespace duskmere {

// A scene is built from a canvas size and a seed (each scene's constructor takes width, height
// and seed) and then advanced one frame per tick and drawn on every redraw.
class PixelScene {
public:
    virtual ~PixelScene() = default;
    virtual void step() = 0;
    // Draws the current frame. Pixels a scene does not write keep the previous frame's colour.
    virtual void draw(Canvas& canvas) = 0;
};

}  // namespace duskmere
