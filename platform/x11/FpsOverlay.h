#pragma once

#include <string>
#include <vector>

#include "host/SoftwareSaverPlatform.h"

namespace duskmere {

// The -fps figures drawn over the picture in its lower-left corner, as screen-saver hacks show
// them: two short lines of a small built-in bitmap font, white on a dark shadow. The overlay is
// never drawn into the picture the saver keeps (whose unchanged parts later frames rely on); it
// is laid over a copy of the part of the picture it covers, for the window and for captures.
class FpsOverlay {
public:
    // The figures to show; nothing measured yet shows dashes.
    void setFigures(double framesPerSecond, double loadPercent);

    // The device box the overlay covers in a picture of this size (empty when it does not fit).
    DeviceBox box(int width, int height) const;
    // Draws the overlay for a picture of `width` x `height` device pixels (canvas format) onto
    // `target`, which holds the part of it inside `part`, tightly packed.
    void draw(uint32_t* target, const DeviceBox& part, int width, int height) const;

private:
    int scale(int height) const;
    std::vector<std::string> lines_{"FPS: --", "Load: --"};
};

}  // namespace duskmere
