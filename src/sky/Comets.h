#pragma once

#include "pixels/Canvas.h"
#include "pixels/RNG.h"
#include "sky/Bayer4.h"
#include "sky/Flight.h"
#include "sky/Truncate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace duskmere {

// At most one slow comet at a time: a small white disc that enters at the left or right edge and
// drifts across the whole sky, trailing a dithered fan. Obstacles never stop it; they only hide
// it, through the `blocked` test given at drawing time.
class Comets {
    using Comet = Flight;  // no lifetime: it flies until it leaves the sky

public:
    static constexpr int64_t firstWait = 1200;

    Comets() = default;

    // One frame. `width` is the canvas width, `maxY` the band in which comets fly.
    void step(RNG& rng, int64_t width, int64_t maxY, double scale);

    // Tail, then head on top. `blocked` (bool(int64_t x, int64_t y)) must answer true where a
    // pixel is not open sky and everywhere outside the scene; pixels outside the canvas are never
    // written.
    template <class Blocked>
    void draw(Canvas& canvas, double scale, Blocked&& blocked) const;

    bool active() const { return current_.has_value(); }
    int64_t wait() const { return wait_; }
    // The comet in flight (read-only), or null while waiting.
    const Comet* comet() const { return current_ ? &*current_ : nullptr; }

    // Puts a comet in flight directly, as a spawn would; for tests and demonstrations.
    void launch(double x, double y, double dx, double dy, double speed) {
        current_ = Comet{x, y, dx, dy, speed};
    }

    static constexpr uint32_t head = 0xFFFFFFFFu;
    // Tail colours from the head end back: blue-white, light blue, medium blue, deep blue, navy.
    static constexpr std::array<uint32_t, 5> tail = {0xFFFFF4E8u, 0xFFF8D0A8u, 0xFFE09C6Cu,
                                                     0xFFB0643Cu, 0xFF70341Eu};

private:
    template <class Blocked>
    void drawTail(Canvas& canvas, double scale, Blocked& blocked) const;
    template <class Blocked>
    void drawHead(Canvas& canvas, double scale, Blocked& blocked) const;

    std::optional<Comet> current_;
    int64_t wait_ = firstWait;
};

template <class Blocked>
void Comets::draw(Canvas& canvas, double scale, Blocked&& blocked) const {
    if (!current_) return;
    drawTail(canvas, scale, blocked);
    drawHead(canvas, scale, blocked);
}

template <class Blocked>
void Comets::drawTail(Canvas& canvas, double scale, Blocked& blocked) const {
    const Comet& cm = *current_;
    const auto colours = static_cast<int64_t>(tail.size());
    const int64_t n = std::max<int64_t>(8, truncToInt(scale * 45.0));
    for (int64_t f = 0; f < n; ++f) {
        const double t = static_cast<double>(f) / static_cast<double>(n);
        const int64_t hw = truncToInt((t * 5.0) * scale);
        const int64_t c = std::min(truncToInt(t * static_cast<double>(colours)), colours - 1);
        const uint32_t colour = tail[static_cast<std::size_t>(c)];
        const double fade = std::pow(1.0 - t, 1.5);
        const double cx = cm.x - cm.dx * static_cast<double>(f);
        const double cy = cm.y - cm.dy * static_cast<double>(f);
        for (int64_t k = -hw; k <= hw; ++k) {
            const auto across = static_cast<double>(k);
            const int64_t px = truncToInt(cx - cm.dy * across);
            const int64_t py = truncToInt(cy + cm.dx * across);
            bool candidate;
            if (t < 0.4 && k == 0) {
                candidate = true;  // the front of the centre line is solid
            } else {
                const double side = static_cast<double>(std::abs(k)) / static_cast<double>(hw + 1);
                const auto level = static_cast<float>((1.0 - side) * fade);
                candidate = level > bayer4At(px, py);
            }
            if (candidate && !blocked(px, py) && canvas.contains(px, py))
                canvas.at(px, py) = colour;
        }
    }
}

template <class Blocked>
void Comets::drawHead(Canvas& canvas, double scale, Blocked& blocked) const {
    const Comet& cm = *current_;
    const int64_t d = std::max<int64_t>(truncToInt(2.0 * scale) + 1, 2);
    const int64_t x0 = truncToInt(cm.x) - d / 2;
    const int64_t y0 = truncToInt(cm.y) - d / 2;
    const double c = static_cast<double>(d - 1) * 0.5;
    const double r2 = static_cast<double>(d * d) * 0.25;
    for (int64_t row = 0; row < d; ++row) {
        for (int64_t column = 0; column < d; ++column) {
            const double u = static_cast<double>(column) - c;
            const double v = static_cast<double>(row) - c;
            if (u * u + v * v > r2) continue;
            const int64_t px = x0 + column;
            const int64_t py = y0 + row;
            if (canvas.contains(px, py) && !blocked(px, py)) canvas.at(px, py) = head;
        }
    }
}

}  // namespace duskmere
