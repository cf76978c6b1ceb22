#include <algorithm>
#include <cmath>
#include <limits>

#include "campfire/CampfireScene.h"
#include "pixels/EraseDisc.h"

namespace duskmere {

namespace {

int64_t truncated(double v) { return static_cast<int64_t>(v); }

}  // namespace

void CampfireScene::step() {
    frame += 1;
    if (frame % panFrames == 0) shift();
    revealTrees();
    flickerNeedles();
    scatterStars();
    eraseDiscs();
    stepSky();
    if (frame % 2 == 0) stepFiresAndGlow();
    spawnSparks();
    moveSparks();
    moveFireflies();
    if (glow != resolvedGlow || litStamp != resolvedStamp) resolveLit();
}

void CampfireScene::revealTrees() {
    // Proportional to the area of the tree band, so every size fills in at the same pace.
    blockAcc += static_cast<double>(ww * (h - treeTop)) * 3e-5 / (s * s);
    while (blockAcc >= 1.0) {
        blockAcc -= 1.0;
        revealBlock();
    }
}

void CampfireScene::revealBlock() {
    const int64_t x0 = rng.intIn(-blockSize, ww - 1);
    const int64_t y0 = rng.intIn(treeTop - blockSize, h - 1);
    const int64_t xEnd = std::min(x0 + blockSize, ww);
    const int64_t yEnd = std::min(y0 + blockSize, h);
    for (int64_t y = std::max<int64_t>(y0, 0); y < yEnd; ++y) {
        for (int64_t x = std::max<int64_t>(x0, 0); x < xEnd; ++x) {
            const std::size_t i = idx(x, y);
            const int32_t o = owner[i];
            if (o < 0 || painted[i] != 0) continue;
            painted[i] = 1;
            buf[i] = silhouette(o);
        }
    }
}

void CampfireScene::flickerNeedles() {
    needleAcc += static_cast<double>((h - treeTop) * ww) * 8e-4;
    while (needleAcc >= 1.0) {
        needleAcc -= 1.0;
        flickerNeedle();
    }
}

void CampfireScene::flickerNeedle() {
    const int64_t x = rng.intBelow(ww);
    const int64_t y = rng.intIn(treeTop, h - 1);
    const std::size_t i = idx(x, y);
    if (stick[i] == 0) return;
    uint32_t color = grass;
    const int32_t o = owner[i];
    if (o >= 0) {
        if (painted[i] == 0) return;
        color = trees[static_cast<std::size_t>(o)].color;
    }

    double d = std::numeric_limits<double>::infinity();
    for (const Camp& camp : camps) {
        const auto dx = static_cast<double>(x - camp.fireX);
        const auto dy = static_cast<double>(y - groundY);
        d = std::min(d, std::sqrt(dx * dx + dy * dy));
    }
    // Close to a fire a needle keeps being re-chosen between its own and two warm colours.
    const double c = 1.0 - d / (s * 260.0);
    if (c > 0.0) {
        const double u1 = rng.unit();
        if (c * 1.2 > u1) {
            if (c > 0.55) {
                color = rng.unit() < 0.6 ? warmBright : warmDim;
            } else {
                color = warmDim;
            }
        }
    }
    buf[i] = color;
}

void CampfireScene::scatterStars() {
    starAcc += 3e-6 * static_cast<double>(h * ww);
    while (starAcc >= 1.0) {
        starAcc -= 1.0;
        scatterStar();
    }
}

void CampfireScene::scatterStar() {
    // The power crowds the stars toward the top of the sky.
    const double u = rng.unit();
    const int64_t y = truncated(static_cast<double>(groundY) * std::pow(u, 1.5));
    const int64_t x = rng.intBelow(ww);
    const std::size_t i = idx(x, y);
    if (skyMask[i] == 0 || painted[i] != 0) return;
    const auto r = static_cast<uint32_t>(rng.intIn(100, 220));
    const auto g = static_cast<uint32_t>(rng.intIn(110, 220));
    const auto b = static_cast<uint32_t>(rng.intIn(150, 255));
    buf[i] = 0xFF000000u | b << 16 | g << 8 | r;
}

void CampfireScene::eraseDiscs() {
    const double k = static_cast<double>(h) / 480.0;
    rainAcc += static_cast<double>(h * ww) * 3e-4 / (72.0 * k * k);
    while (rainAcc >= 1.0) {
        rainAcc -= 1.0;
        eraseDisc();
    }
}

void CampfireScene::eraseDisc() {
    // Restores a small round patch, so that stars and warm needles do not pile up for ever.
    const double k = static_cast<double>(h) / 480.0;
    duskmere::eraseDisc(rng, k, ww, h, [this](int64_t x, int64_t y) {
        const std::size_t i = idx(x, y);
        buf[i] = painted[i] != 0 ? silhouette(owner[i]) : base[i];
    });
}

void CampfireScene::stepSky() {
    const double sc = static_cast<double>(h) / 270.0;
    auto blocked = [this](int64_t x, int64_t y) { return !openSky(x, y); };
    meteors.step(rng, w, groundY, sc, blocked);
    comets.step(rng, w, groundY / 2, sc);
    animals.step(rng, w, s);
}

void CampfireScene::stepFiresAndGlow() {
    for (Camp& camp : camps) stepFire(camp.heat);
    if (rng.unit() < 0.5) {
        const double u2 = rng.unit();
        glowTarget = static_cast<float>(u2 * 0.30000000000000004 + 0.7);
    }
    glow = (glowTarget - glow) * 0.4f + glow;
}

void CampfireScene::spawnSparks() {
    const double sc = static_cast<double>(h) / 270.0;
    for (const Camp& camp : camps) {
        if (rng.unit() >= 0.12) continue;
        Spark spark{};
        spark.life = rng.intIn(40, 110);
        spark.maxLife = spark.life;
        const double u3 = rng.unit();
        spark.x = static_cast<double>(fw) * (2.0 * u3 - 1.0) * 0.25 + static_cast<double>(camp.fireX);
        spark.y = static_cast<double>(fireBase - fh / 2);
        const double u4 = rng.unit();
        spark.vx = (u4 * 0.4 - 0.2) * sc;
        const double u5 = rng.unit();
        spark.vy = (u5 * 0.55 - 0.9) * std::max(sc, 0.6);
        const double u6 = rng.unit();
        spark.phase = u6 * 6.28;
        sparks.push_back(spark);
    }
}

void CampfireScene::moveSparks() {
    const double sc = static_cast<double>(h) / 270.0;
    const double wobble = 0.15 * sc;
    for (Spark& spark : sparks) {
        spark.x = (spark.vx + std::sin(static_cast<double>(frame) * 0.2 + spark.phase) * wobble) + spark.x;
        spark.y = spark.vy + spark.y;
        spark.vy = spark.vy * 0.992;
        spark.life -= 1;
    }
    std::erase_if(sparks, [](const Spark& spark) { return spark.life <= 0; });
}

void CampfireScene::moveFireflies() {
    const double sc = static_cast<double>(h) / 270.0;
    const double top = static_cast<double>(h) * 0.45;
    const double bottom = static_cast<double>(groundY - 2);
    const double right = static_cast<double>(w - 1);
    const double vxMax = 0.35 * sc;
    const double vyMax = 0.2 * sc;
    for (Firefly& fly : flies) {
        const double u1 = rng.unit();
        fly.vx = std::min((u1 * 0.1 - 0.05) * sc + fly.vx, vxMax);
        fly.vx = std::max(fly.vx, -vxMax);
        const double u2 = rng.unit();
        fly.vy = std::min((u2 * 0.08 - 0.04) * sc + fly.vy, vyMax);
        fly.vy = std::max(fly.vy, -vyMax);
        fly.x += fly.vx;
        fly.y += fly.vy;
        // Bounce off the edges of the band between 45 % of the height and just above the ground.
        if (fly.x < 0.0 || fly.x > right) fly.vx = -fly.vx;
        if (fly.y < top || fly.y > bottom) fly.vy = -fly.vy;
        fly.x = std::max(std::min(fly.x, right), 0.0);
        fly.y = std::max(std::min(fly.y, bottom), top);
        fly.timer -= 1;
        if (fly.timer < 1) {
            fly.on = !fly.on;
            fly.timer = fly.on ? rng.intIn(25, 60) : rng.intIn(40, 200);
            fly.span = fly.timer;
        }
    }
}

}  // namespace duskmere
