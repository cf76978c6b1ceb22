#pragma once

namespace duskmere {

// What a meteor and a comet have in common: a head that crosses the sky in a straight line at a
// steady speed.
struct Flight {
    double x;      // head, canvas pixels from the left
    double y;      // head, canvas pixels from the top
    double dx;     // unit direction
    double dy;     // positive downward
    double speed;  // canvas pixels per frame

    // Where the head is one frame on.
    double nextX() const { return x + speed * dx; }
    double nextY() const { return y + speed * dy; }
};

}  // namespace duskmere
