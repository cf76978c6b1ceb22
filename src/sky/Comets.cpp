#include "sky/Comets.h"

#include <cmath>

namespace duskmere {

void Comets::step(RNG& rng, int64_t width, int64_t maxY, double scale) {
    if (!current_) {
        if (wait_ > 0) {
            --wait_;
            return;
        }
        // One draw per statement: the order of the draws is part of the animation.
        const bool fromLeft = rng.unit() < 0.5;
        const double angle = rng.doubleIn(0.04, 0.28);  // below the horizontal
        const double y = static_cast<double>(maxY) * rng.doubleIn(0.05, 0.4);
        const double speed = scale * rng.doubleIn(0.7, 1.3);
        const double x = fromLeft ? -2.0 : static_cast<double>(width) + 2.0;
        const double dx = fromLeft ? std::cos(angle) : -std::cos(angle);
        current_ = Comet{x, y, dx, std::sin(angle), speed};
        return;
    }

    Comet& cm = *current_;
    const double nx = cm.nextX();
    const double ny = cm.nextY();
    // It leaves only well beyond the edges, so the tail keeps sweeping out of view first.
    const double margin = scale * 50.0;
    if (nx < -margin || nx > static_cast<double>(width) + margin ||
        ny > static_cast<double>(maxY) + margin) {
        current_.reset();
        wait_ = rng.intIn(1800, 5400);
        return;
    }
    cm.x = nx;
    cm.y = ny;
}

}  // namespace duskmere
