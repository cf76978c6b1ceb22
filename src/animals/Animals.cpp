#include "animals/Animals.h"

#include <array>
#include <utility>

namespace duskmere {

namespace {

constexpr double twoPi = 6.283185307179586;
constexpr double pi = 3.141592653589793;

struct LegPlan {
    double hipX;
    double hipY;
    bool opposite;  // swings half a turn behind: diagonal pairs share a phase
};

struct Shape {
    enum Kind { ellipseKind, limbKind } kind;
    double a, b, c, d, e;  // ellipse: cx, cy, rx, ry; limb: x0, y0, x1, y1, thickness
};

// The body plans' primitives, spelled as the sprite's calls are.
constexpr Shape ellipse(double cx, double cy, double rx, double ry) {
    return {Shape::ellipseKind, cx, cy, rx, ry, 0};
}
constexpr Shape limb(double x0, double y0, double x1, double y1, double thickness) {
    return {Shape::limbKind, x0, y0, x1, y1, thickness};
}

struct BodyPlan {
    double unitsWide;
    double unitsHigh;
    double spriteScale;  // times the scene's scale
    double stride;
    double lift;
    double thickness;
    double speed;  // pixels per frame, times the scene's scale
    double period;  // frames per gait cycle
    std::array<LegPlan, 4> legs;
    std::span<const Shape> shapes;
};

constexpr Shape mooseShapes[] = {
    ellipse(12, 27, 6, 7),            // haunch
    ellipse(24, 27, 15, 7.5),         // body
    ellipse(33, 31, 7, 6.5),          // shoulder hump
    limb(36, 31, 43, 33, 7),          // neck
    limb(43, 33.5, 51, 31, 5.5),      // head
    ellipse(52, 30, 3.2, 3.2),        // muzzle
    limb(44, 30, 44, 26.5, 1.6),      // dewlap
    limb(41, 36, 39, 39, 1.6),        // ear
    limb(42, 36, 43, 40, 1.5),        // antler beam
    ellipse(44, 42, 6.5, 2.2),        // antler palm
    limb(39, 43, 38, 47, 1.3),        // antler tines
    limb(43, 44, 43, 48, 1.3),
    limb(47, 44, 48, 47, 1.3),
    limb(50, 42, 52, 44, 1.3),
};

constexpr Shape bearShapes[] = {
    ellipse(10, 13, 8, 8),            // rump
    ellipse(20, 13.5, 13, 7.5),       // body
    ellipse(30, 14.5, 8, 8),          // shoulder hump
    ellipse(38, 13, 5.5, 5),          // head
    limb(41, 11.5, 45.5, 10.5, 3.4),  // snout
    ellipse(36.5, 18.2, 1.6, 1.6),    // ear
};

constexpr Shape foxShapes[] = {
    limb(16, 8.5, 27, 9, 5.5),        // body
    limb(28, 9.5, 31, 12.5, 3.6),     // neck
    ellipse(33, 13.2, 3, 2.4),        // head
    limb(35, 12.6, 38.2, 11.6, 1.3),  // snout
    limb(31.5, 15, 31, 18, 1.3),      // ears
    limb(33.5, 15.3, 34.2, 18, 1.3),
    limb(15, 8.5, 6, 7, 4),           // tail
    limb(6, 7, 3, 7.5, 2.6),          // tail tip
};

const BodyPlan& bodyPlan(Species species) {
    static const BodyPlan moose{58, 50, 1.0, 4, 2, 2.4, 0.5, 44,
                                {{{30, 23, true}, {15, 24, false}, {33, 23, false}, {12, 24, true}}},
                                mooseShapes};
    static const BodyPlan bear{50, 26, 1.0, 3, 1.2, 5.5, 0.45, 40,
                               {{{27, 9, true}, {13, 9, false}, {31, 9, false}, {9, 9, true}}},
                               bearShapes};
    static const BodyPlan fox{42, 20, 0.8, 2.5, 1.2, 1.4, 1.0, 18,
                              {{{25.5, 7, true}, {18, 7, false}, {27, 7, false}, {16, 7, true}}},
                              foxShapes};
    switch (species) {
        case Species::moose: return moose;
        case Species::bear: return bear;
        case Species::fox: return fox;
    }
    return moose;
}

}  // namespace

Animals::Animals(int64_t wait, std::optional<Species> previous, std::optional<Species> forced)
    : previous_(previous), wait_(wait), forced_(forced) {}

std::vector<Sprite> Animals::gaitFrames(Species species, double scale) {
    const BodyPlan& plan = bodyPlan(species);
    const double spriteScale = scale * plan.spriteScale;
    std::vector<Sprite> frames;
    frames.reserve(8);
    for (int k = 0; k < 8; ++k) {
        const double theta = static_cast<double>(k) * twoPi * 0.125;
        const double opposite = theta + pi;
        Sprite sprite(plan.unitsWide, plan.unitsHigh, spriteScale);
        for (const LegPlan& leg : plan.legs) {
            sprite.leg(leg.hipX, leg.hipY, leg.opposite ? opposite : theta, plan.stride, plan.lift,
                       plan.thickness);
        }
        for (const Shape& shape : plan.shapes) {
            if (shape.kind == Shape::ellipseKind) {
                sprite.ellipse(shape.a, shape.b, shape.c, shape.d);
            } else {
                sprite.limb(shape.a, shape.b, shape.c, shape.d, shape.e);
            }
        }
        frames.push_back(std::move(sprite));
    }
    return frames;
}

void Animals::step(RNG& rng, int64_t width, double scale) {
    if (!current_) {
        if (wait_ > 0) {
            wait_ -= 1;
            return;
        }
        spawn(rng, width, scale);
        return;
    }
    Walker& walker = *current_;
    advance(walker, rng);
    const double w = static_cast<double>(walker.frames[0].width());
    if (walker.x > static_cast<double>(width) + 2.0 || walker.x < -2.0 - w) {
        current_.reset();
        wait_ = rng.intIn(1200, 4500);
    }
}

void Animals::advance(Walker& walker, RNG& rng) {
    if (walker.pause >= 1) {
        // Stopped: position and phase stay, so the legs hold their pose.
        walker.pause -= 1;
        return;
    }
    walker.x = walker.dir * walker.speed + walker.x;
    walker.phase = walker.phase + walker.cadence;
    if (walker.pauseAt) {
        const bool reached = walker.dir > 0 ? walker.x >= *walker.pauseAt : walker.x <= *walker.pauseAt;
        if (reached) {
            walker.pauseAt.reset();
            walker.pause = rng.intIn(90, 240);
        }
    }
}

void Animals::spawn(RNG& rng, int64_t width, double scale) {
    Species species = Species::moose;
    if (forced_) {
        species = *forced_;
    } else {
        // Never the same species twice in a row.
        std::array<Species, allSpecies.size()> candidates{};
        int64_t count = 0;
        for (Species candidate : allSpecies) {
            if (candidate != previous_) candidates[static_cast<std::size_t>(count++)] = candidate;
        }
        species = candidates[static_cast<std::size_t>(rng.intBelow(count))];
    }
    previous_ = species;

    const BodyPlan& plan = bodyPlan(species);
    Walker walker{gaitFrames(species, scale), 0.0, 1.0, 0.0, 0.0, 0.0, std::nullopt, 0};
    if (rng.unit() < 0.5) {
        walker.x = -static_cast<double>(walker.frames[0].width());
        walker.dir = 1.0;
    } else {
        walker.x = static_cast<double>(width);
        walker.dir = -1.0;
    }
    if (rng.unit() < 0.6) {
        // Somewhere between a fifth and four fifths of the way across.
        walker.pauseAt = static_cast<double>(width) * (rng.unit() * 0.6000000000000001 + 0.2);
    }
    walker.speed = scale * plan.speed;
    walker.phase = 0.0;
    walker.cadence = twoPi / plan.period;
    walker.pause = 0;
    current_ = std::move(walker);
}

}  // namespace duskmere
