#pragma once

// White-box access to a CampfireScene for the unit tests: its private fields and its phases.

#include <cstdint>
#include <limits>
#include <vector>

#include "campfire/CampfireScene.h"
#include "pixels/RNG.h"

namespace duskmere {

struct CampfireProbe {
    using Tree = CampfireScene::Tree;
    using Camp = CampfireScene::Camp;
    using Lit = CampfireScene::Lit;
    using Spark = CampfireScene::Spark;
    using Firefly = CampfireScene::Firefly;
    using OverlayPixel = CampfireScene::OverlayPixel;
    using MoonPixel = CampfireScene::MoonPixel;

    explicit CampfireProbe(CampfireScene& scene) : s(scene) {}
    CampfireScene& s;

    // Fields.
    RNG& rng() { return s.rng; }
    std::vector<Tree>& trees() { return s.trees; }
    std::array<Tree, 2>& pending() { return s.pending; }
    std::array<std::vector<Tree>, 2>& recent() { return s.recent; }
    std::vector<Camp>& camps() { return s.camps; }
    int64_t& nextCampX() { return s.nextCampX; }
    // Handing out the list counts as changing it: drawing then resolves the points afresh.
    std::vector<Lit>& lit() {
        s.litStamp += 1;
        return s.lit;
    }
    bool litResolvedForDrawing() const {
        return s.litResolved && s.resolvedGlow == s.glow && s.resolvedStamp == s.litStamp;
    }
    std::vector<OverlayPixel>& overlay() { return s.overlay; }
    std::vector<MoonPixel>& moon() { return s.moon; }
    std::vector<Spark>& sparks() { return s.sparks; }
    std::vector<Firefly>& flies() { return s.flies; }
    std::vector<uint32_t>& backShades() { return s.backShades; }
    std::vector<uint32_t>& frontShades() { return s.frontShades; }
    int64_t& fw() { return s.fw; }
    int64_t& fh() { return s.fh; }
    int64_t& maxDecay() { return s.maxDecay; }
    int64_t& treeTop() { return s.treeTop; }
    int64_t& frame() { return s.frame; }
    float& glow() { return s.glow; }
    float& glowTarget() { return s.glowTarget; }
    double& needleAcc() { return s.needleAcc; }
    double& starAcc() { return s.starAcc; }
    double& rainAcc() { return s.rainAcc; }
    double& blockAcc() { return s.blockAcc; }
    Meteors& meteors() { return s.meteors; }
    Comets& comets() { return s.comets; }

    // Grid cells, in working-grid coordinates.
    uint32_t& base(int64_t x, int64_t y) { return s.base[s.idx(x, y)]; }
    uint32_t& buf(int64_t x, int64_t y) { return s.buf[s.idx(x, y)]; }
    uint8_t& skyMask(int64_t x, int64_t y) { return s.skyMask[s.idx(x, y)]; }
    uint8_t& tentMask(int64_t x, int64_t y) { return s.tentMask[s.idx(x, y)]; }
    uint8_t& painted(int64_t x, int64_t y) { return s.painted[s.idx(x, y)]; }
    int32_t& owner(int64_t x, int64_t y) { return s.owner[s.idx(x, y)]; }
    uint8_t& stick(int64_t x, int64_t y) { return s.stick[s.idx(x, y)]; }

    // Operations.
    void shift() { s.shift(); }
    void growRows() { s.growRows(); }
    void campStep() { s.campStep(); }
    void stepFire(std::vector<uint8_t>& heat) { s.stepFire(heat); }
    int64_t halfWidth(const Tree& t) const { return s.halfWidth(t); }
    void revealBlock() { s.revealBlock(); }
    void flickerNeedle() { s.flickerNeedle(); }
    void scatterStar() { s.scatterStar(); }
    void eraseDisc() { s.eraseDisc(); }
    void stepFiresAndGlow() { s.stepFiresAndGlow(); }
    void spawnSparks() { s.spawnSparks(); }
    void moveSparks() { s.moveSparks(); }
    void moveFireflies() { s.moveFireflies(); }
    void flickerNeedles() { s.flickerNeedles(); }
    void scatterStars() { s.scatterStars(); }
    void drawBase(Canvas& canvas) const { s.drawBase(canvas); }
    void drawMoon(Canvas& canvas) const { s.drawMoon(canvas); }
    void drawSkyEvents(Canvas& canvas) const { s.drawSkyEvents(canvas); }
    void drawAnimals(Canvas& canvas) { s.drawAnimals(canvas); }
    void drawLit(Canvas& canvas) const { s.drawLit(canvas); }
    void drawOverlay(Canvas& canvas) const { s.drawOverlay(canvas); }
    void drawFires(Canvas& canvas) const { s.drawFires(canvas); }
    void drawSparks(Canvas& canvas) const { s.drawSparks(canvas); }
    void drawFireflies(Canvas& canvas) const { s.drawFireflies(canvas); }

    // Keeps the tree list as it grows, as if it were never compacted.
    void neverCompact() { s.compactAt = std::numeric_limits<std::size_t>::max(); }
    // Keeps trees from being committed and camps from being built by the next scrolls.
    void holdTerrain() {
        s.pending[0].cx = s.pending[1].cx = std::numeric_limits<int32_t>::max();
        s.nextCampX = std::numeric_limits<int32_t>::max();
    }
};

// The number of generator steps between two states.
inline int64_t drawsBetween(const RNG& before, const RNG& after) {
    // Each step adds the same odd constant, so the count is the difference times its inverse.
    uint64_t inverse = 0x9E3779B97F4A7C15ULL;
    for (int i = 0; i < 6; ++i) inverse *= 2 - 0x9E3779B97F4A7C15ULL * inverse;
    return static_cast<int64_t>((after.state - before.state) * inverse);
}

}  // namespace duskmere
