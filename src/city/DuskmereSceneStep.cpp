// One frame of the city: windows, stars, erase discs, sky events and the occasional pan.
#include <algorithm>
#include <cmath>

#include "city/DuskmereScene.h"
#include "pixels/EraseDisc.h"

namespace duskmere {

void DuskmereScene::step() {
    frame += 1;
    lightWindows();
    scatterStars();
    eraseDiscs();

    const double sc = static_cast<double>(h) / 270.0;
    meteors.step(rng, w, h, sc, [this](int64_t x, int64_t y) { return isBuilding(x, y); });
    comets.step(rng, w, skylineTop, sc);

    if (frame % panFrames == 0) pan();
}

void DuskmereScene::lightWindows() {
    int64_t c = std::min(skylineTop, h - 1);
    if (c < 0) c = 0;
    lightAcc += static_cast<double>(w * (h - c)) * 0.0008;
    while (lightAcc >= 1) {
        lightAcc -= 1;
        const int64_t x = rng.intBelow(w);
        const int64_t y = rng.intIn(c, h - 1);
        const auto i = static_cast<std::size_t>(y * w + x);
        if (owner[i] < 0) continue;
        Building& b = buildings[static_cast<std::size_t>(owner[i])];
        const int64_t lx = x - b.x;
        const int64_t ly = y - (h - b.heightTiles * tile);
        if (lx < edge || lx >= b.widthTiles * tile - edge || ly < edge) continue;
        // The pattern hangs from each building's left edge and from the ground line.
        const int64_t cx = (lx % tile) * 8 / tile;
        const int64_t cy = ((h - 1 - y) % tile) * 8 / tile;
        const uint8_t bits = styles[static_cast<std::size_t>(b.style)][static_cast<std::size_t>(cy)];
        if (((bits >> (7 - cx)) & 1u) == 0) continue;
        if (buf[i] != b.color) b.lights += 1;
        buf[i] = b.color;
        mark(x, x + 1, y);
    }
}

void DuskmereScene::scatterStars() {
    starAcc += 3e-6 * static_cast<double>(w * h);
    while (starAcc >= 1) {
        starAcc -= 1;
        const double u = rng.unit();
        // Stars crowd toward the top of the sky.
        const auto y = static_cast<int64_t>(std::pow(u, 1.5) * static_cast<double>(h));
        const int64_t x = rng.intBelow(w);
        const auto i = static_cast<std::size_t>(y * w + x);
        if (owner[i] >= 0) continue;
        const auto r = static_cast<uint32_t>(rng.intBelow(180));
        const auto g = static_cast<uint32_t>(rng.intBelow(180));
        const auto bl = static_cast<uint32_t>(rng.intBelow(256));
        buf[i] = 0xFF000000u | bl << 16 | g << 8 | r;
        mark(x, x + 1, y);
    }
}

void DuskmereScene::eraseDiscs() {
    rainAcc += static_cast<double>(w * h) * 3e-4 / (72 * scale * scale);
    while (rainAcc >= 1) {
        rainAcc -= 1;
        eraseDisc(rng, scale, w, h, [this](int64_t x, int64_t y) {
            buf[static_cast<std::size_t>(y * w + x)] = black;
            mark(x, x + 1, y);
        });
    }
}

}  // namespace duskmere
