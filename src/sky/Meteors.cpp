#include "sky/Meteors.h"

#include <cmath>

namespace duskmere {

void Meteors::spawn(RNG& rng, int64_t width, int64_t maxY, double scale) {
    // One draw per statement: the order of the draws is part of the animation.
    const double angle = rng.doubleIn(0.3, 0.75);  // below the horizontal
    const bool rightward = rng.unit() < 0.5;
    const double x = static_cast<double>(width) * rng.doubleIn(0.1, 0.9);
    const double y = static_cast<double>(maxY) * rng.doubleIn(0.0, 0.4);
    const double speed = scale * rng.doubleIn(3.0, 5.5);
    const int64_t life = rng.intIn(14, 34);
    const double dx = rightward ? std::cos(angle) : -std::cos(angle);
    current_ = Meteor{{x, y, dx, std::sin(angle), speed}, life};
}

void Meteors::end(RNG& rng) {
    current_.reset();
    wait_ = rng.intIn(150, 1050);
}

}  // namespace duskmere
