#pragma once

#include "pixels/Canvas.h"
#include "pixels/RNG.h"
#include "sky/Flight.h"
#include "sky/Truncate.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace duskmere {

// At most one short, fast streak at a time, high in a scene's sky. It knows nothing of the scene
// but what each call passes in: the scene's generator, the sky area, a scale and a `blocked`
// test, a callable bool(int64_t x, int64_t y) that is true where a pixel is not open sky.
class Meteors {
    struct Meteor : Flight {
        int64_t life;  // frames left, at least 1 while in flight
    };

public:
    static constexpr int64_t firstWait = 240;

    Meteors() = default;

    // One frame. The sky area is 0 <= x < width, 0 <= y < maxY; `blocked` is asked only inside it.
    template <class Blocked>
    void step(RNG& rng, int64_t width, int64_t maxY, double scale, Blocked&& blocked);

    // Paints the trail over whatever is in the canvas. `blocked` must also answer true outside
    // the scene, negative coordinates included; pixels outside the canvas are never written.
    template <class Blocked>
    void draw(Canvas& canvas, double scale, Blocked&& blocked) const;

    bool active() const { return current_.has_value(); }
    int64_t wait() const { return wait_; }
    // The meteor in flight (read-only), or null while waiting.
    const Meteor* meteor() const { return current_ ? &*current_ : nullptr; }

    // Puts a meteor in flight directly, as a spawn would; for tests and demonstrations.
    void launch(double x, double y, double dx, double dy, double speed, int64_t life) {
        current_ = Meteor{{x, y, dx, dy, speed}, life};
    }

    // Trail colours from the head back: white through pale blue to dark slate blue.
    static constexpr std::array<uint32_t, 5> tail = {0xFFFFFFFFu, 0xFFF0DCD8u, 0xFFC0A29Cu,
                                                     0xFF8C6A64u, 0xFF5C3E3Au};

private:
    void spawn(RNG& rng, int64_t width, int64_t maxY, double scale);
    void end(RNG& rng);

    std::optional<Meteor> current_;
    int64_t wait_ = firstWait;
};

template <class Blocked>
void Meteors::step(RNG& rng, int64_t width, int64_t maxY, double scale, Blocked&& blocked) {
    if (!current_) {
        if (wait_ > 0) {
            --wait_;
            return;
        }
        spawn(rng, width, maxY, scale);
        return;
    }

    Meteor& m = *current_;
    const double nx = m.nextX();
    const double ny = m.nextY();
    const int64_t life = m.life - 1;
    if (life <= 0) {
        end(rng);
        return;
    }
    const int64_t ix = truncToInt(nx);
    const int64_t iy = truncToInt(ny);
    if (ix < 0 || ix >= width || iy < 0 || iy >= maxY) {
        end(rng);
        return;
    }
    if (blocked(ix, iy)) {
        end(rng);
        return;
    }
    m.x = nx;
    m.y = ny;
    m.life = life;
}

template <class Blocked>
void Meteors::draw(Canvas& canvas, double scale, Blocked&& blocked) const {
    if (!current_) return;
    const Meteor& m = *current_;
    const auto colours = static_cast<int64_t>(tail.size());
    const int64_t n = std::max<int64_t>(6, truncToInt(scale * 12.0));
    const int64_t count = std::min(2 * m.life, n);
    for (int64_t i = 0; i < count; ++i) {
        const auto back = static_cast<double>(i);
        const int64_t px = truncToInt(m.x - m.dx * back);
        const int64_t py = truncToInt(m.y - m.dy * back);
        if (blocked(px, py)) continue;
        const int64_t c = std::min(i * colours / n, colours - 1);
        if (canvas.contains(px, py)) canvas.at(px, py) = tail[static_cast<std::size_t>(c)];
    }
}

}  // namespace duskmere
