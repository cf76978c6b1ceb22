#pragma once

#include "animals/Species.h"
#include "animals/Sprite.h"
#include "pixels/Canvas.h"
#include "pixels/RNG.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace duskmere {

// One animal at a time walks along the ground line of the campfire scene, may stop once, leaves
// at the far side and, after a long wait, is followed by one of another species.
class Animals {
public:
    static constexpr uint32_t silhouette = 0xFF000000u;
    static constexpr uint32_t brightRim = 0xFF103C8Au;
    static constexpr uint32_t dimRim = 0xFF08204Au;

    // No walker at first; the first one comes once `wait` frames have passed.
    Animals(int64_t wait, std::optional<Species> previous, std::optional<Species> forced);

    // Advances the walker by one frame, or counts the wait down and spawns the next one.
    // `width` is the canvas width, `scale` the scene's pixel scale.
    void step(RNG& rng, int64_t width, double scale);

    // Paints the walker standing on row groundY - 1, facing its direction of travel, with a warm
    // rim toward the nearest of `fires` (canvas columns). Pixels where hidden(x, y) is true are
    // left alone; hidden must answer true outside the area the caller owns.
    template <class Hidden>
    void draw(Canvas& canvas, int64_t groundY, std::span<const int64_t> fires, double scale,
              Hidden&& hidden) const;

    // The eight gait frames of a species at the scene's pixel scale, facing right.
    static std::vector<Sprite> gaitFrames(Species species, double scale);
    // Which gait frame a walker shows at this phase (radians, never negative).
    static int64_t frameIndex(double phase) {
        return static_cast<int64_t>(phase / 6.283185307179586 * 8.0) % 8;
    }

    // Read-only views of the state. The walker accessors require hasWalker().
    bool hasWalker() const { return current_.has_value(); }
    std::optional<Species> previous() const { return previous_; }
    int64_t wait() const { return wait_; }
    std::optional<Species> forced() const { return forced_; }
    const std::vector<Sprite>& walkerFrames() const { return current_->frames; }
    double walkerX() const { return current_->x; }
    double walkerDir() const { return current_->dir; }
    double walkerSpeed() const { return current_->speed; }
    double walkerPhase() const { return current_->phase; }
    double walkerCadence() const { return current_->cadence; }
    std::optional<double> walkerPauseAt() const { return current_->pauseAt; }
    int64_t walkerPause() const { return current_->pause; }

private:
    struct Walker {
        std::vector<Sprite> frames;  // eight gait frames of one size
        double x;                    // canvas column of the sprite's left edge
        double dir;                  // +1 walking right, -1 walking left
        double speed;                // pixels per frame
        double phase;                // gait phase in radians; only grows
        double cadence;              // phase added per moving frame
        std::optional<double> pauseAt;  // column of the single stop; cleared when it begins
        int64_t pause;                  // frames left in the current stop; 0 while walking
    };

    std::optional<Walker> current_;
    std::optional<Species> previous_;
    int64_t wait_;
    std::optional<Species> forced_;

    void advance(Walker& walker, RNG& rng);
    void spawn(RNG& rng, int64_t width, double scale);
};

template <class Hidden>
void Animals::draw(Canvas& canvas, int64_t groundY, std::span<const int64_t> fires, double scale,
                   Hidden&& hidden) const {
    if (!current_) return;
    const Walker& walker = *current_;
    const Sprite& sprite = walker.frames[static_cast<std::size_t>(frameIndex(walker.phase))];
    const int64_t w = sprite.width();
    const int64_t h = sprite.height();
    const int64_t left = static_cast<int64_t>(std::floor(walker.x));
    const int64_t top = groundY - h;
    const bool mirrored = !(walker.dir > 0);
    // Sprites face right; a walker going left reads its sprite from the other side.
    auto spriteColumn = [&](int64_t x) { return mirrored ? (w - 1) - (x - left) : x - left; };
    const double reach = 150.0 * scale;

    for (int64_t y = top; y < groundY; ++y) {
        const int64_t sy = y - top;
        for (int64_t x = left; x < left + w; ++x) {
            if (!sprite.bit(spriteColumn(x), sy)) continue;
            if (hidden(x, y)) continue;
            uint32_t colour = silhouette;
            if (!fires.empty()) {
                // Ties keep the earlier fire.
                int64_t fire = fires[0];
                for (int64_t candidate : fires) {
                    if (std::abs(candidate - x) < std::abs(fire - x)) fire = candidate;
                }
                const int64_t d = fire - x;
                // The fire sits on the ground line.
                const double dx = static_cast<double>(d);
                const double dy = static_cast<double>(groundY - y);
                const double light = 1.0 - std::sqrt(dx * dx + dy * dy) / reach;
                if (light > 0.0) {
                    const int64_t neighbour = spriteColumn(d <= 0 ? x - 1 : x + 1);
                    const bool rim = neighbour < 0 || neighbour > w - 1 || !sprite.bit(neighbour, sy);
                    if (rim) colour = light > 0.5 ? brightRim : dimRim;
                }
            }
            // hidden already covers the caller's edges; the canvas bounds are checked regardless.
            if (canvas.contains(x, y)) canvas.at(x, y) = colour;
        }
    }
}

}  // namespace duskmere
