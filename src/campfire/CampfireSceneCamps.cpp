#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "campfire/CampfireScene.h"
#include "sky/Bayer4.h"

namespace duskmere {

namespace {

int64_t truncated(double v) { return static_cast<int64_t>(v); }

constexpr uint32_t fabric = 0xFF080B0Du;
constexpr uint32_t doorway = 0xFF030202u;
constexpr uint32_t tentDim = 0xFF10325Au;
constexpr uint32_t tentBright = 0xFF1C60A8u;
constexpr uint32_t glowDim = 0xFF06132Au;
constexpr uint32_t glowBright = 0xFF0C2C5Cu;
constexpr uint32_t logTop = 0xFF102E5Au;
constexpr uint32_t logBody = 0xFF08182Eu;
constexpr uint32_t stoneTop = 0xFF36383Cu;
constexpr uint32_t stoneBody = 0xFF262224u;
constexpr int warmUpSteps = 60;

}  // namespace

void CampfireScene::campStep() {
    const int64_t margin = truncated(s * 160.0);
    if (nextCampX + margin > ww - 1) return;
    const int64_t cc = nextCampX;

    const bool fireRight = rng.unit() < 0.5;
    const int64_t offset = truncated(s * 34.0);
    const int64_t dz = fireRight ? offset : -offset;
    const int64_t fx = cc + dz;
    buildTent(cc - dz, !fireRight);
    buildGlow(fx);
    buildPit(fx);

    // Warm the fire up so that it is already burning when it scrolls into view.
    Camp camp{cc, fx, std::vector<uint8_t>(static_cast<std::size_t>(fw * fh), 0)};
    for (int n = 0; n < warmUpSteps; ++n) stepFire(camp.heat);
    camps.push_back(std::move(camp));

    const int64_t minimum = 2 * margin + 4;
    const int64_t spacing = truncated(rng.doubleIn(0.9, 1.4) * static_cast<double>(w));
    nextCampX += std::max(minimum, spacing);
}

void CampfireScene::buildTent(int64_t tx, bool fireLeft) {
    const int64_t hw = std::max<int64_t>(4, truncated(s * 26.0));
    const int64_t tall = std::max<int64_t>(5, truncated(s * 30.0));
    const int64_t top = groundY - tall + 1;
    const int64_t door = (2 * tall) / 5;
    const int64_t q = hw / 4;
    const int64_t doorRows = std::max<int64_t>(1, tall - door);

    // Rows -2 and -1 are the pole above the apex; the last row is one below the ground line.
    for (int64_t k = -2; k <= tall; ++k) {
        const int64_t y = top + k;
        const int64_t half = k < 0 ? 0 : (k * hw) / tall;
        const int64_t doorHalf = k > door ? ((k - door) * q) / doorRows : -1;
        if (y < 0 || y >= h) continue;
        for (int64_t x = tx - half; x <= tx + half; ++x) {
            if (x < 0 || x >= ww) continue;
            const std::size_t i = idx(x, y);
            tentMask[i] = 1;
            skyMask[i] = 0;
            owner[i] = -1;
            stick[i] = 0;
            painted[i] = 0;
            const int64_t a = std::abs(x - tx);
            if (doorHalf >= a) {
                base[i] = doorway;
                buf[i] = doorway;
                continue;
            }
            base[i] = fabric;
            buf[i] = fabric;
            // Brightest on the side facing the fire, with the ridge and the outline picked out.
            float p = static_cast<float>(x - (tx - hw)) / static_cast<float>(2 * hw);
            if (fireLeft) p = 1.0f - p;
            const float edge = (x == tx || a == half) ? 0.15f : 0.0f;
            const float level = p * 0.62f + 0.3f + edge;
            lit.push_back({x, y, level, bayer4At(x, y), tentDim, tentBright});
        }
    }
}

void CampfireScene::buildGlow(int64_t fx) {
    if (groundY >= h) return;
    const double rx = s * 120.0;
    const double ry = s * 28.0;
    const int64_t reach = truncated(rx);
    const int64_t x0 = std::max<int64_t>(0, fx - reach);
    const int64_t x1 = std::max<int64_t>(0, std::min(fx + reach, ww - 1));
    for (int64_t y = groundY; y < h; ++y) {
        for (int64_t x = x0; x <= x1; ++x) {
            const std::size_t i = idx(x, y);
            if (owner[i] >= 0 || tentMask[i] != 0) continue;
            const double u = static_cast<double>(x - fx) / rx;
            const double v = static_cast<double>(y - fireBase) / ry;
            const double d = std::sqrt(u * u + v * v);
            if (d < 1.0) {
                const auto level = static_cast<float>(std::pow(1.0 - d, 0.8));
                lit.push_back({x, y, level, bayer4At(x, y), glowDim, glowBright});
            }
        }
    }
}

void CampfireScene::buildPit(int64_t fx) {
    const int64_t rows = std::max<int64_t>(2, truncated(s * 3.0));
    const int64_t left = fx - fw / 2 - 1;
    const int64_t right = fx + fw / 2 + 1;
    const int64_t first = fireBase - rows + 1;
    for (int64_t y = first; y <= fireBase; ++y) {
        if (y < 0 || y >= h) continue;
        const uint32_t wood = y == first ? logTop : logBody;
        for (int64_t x = left; x <= right; ++x) overlay.push_back({x, y, wood});
        const uint32_t stone = y == first ? stoneTop : stoneBody;
        for (int64_t j = 1; j <= rows; ++j) {
            overlay.push_back({left - j, y, stone});
            overlay.push_back({right + j, y, stone});
        }
    }
}

void CampfireScene::stepFire(std::vector<uint8_t>& heat) {
    // A hot parabola along the bottom row, then every other row takes the heat of a wavering
    // cell below it minus a random loss: flames rise one row per step and cool as they go.
    const int64_t n = fw / 2;
    const std::size_t bottom = static_cast<std::size_t>((fh - 1) * fw);
    for (int64_t i = 0; i < fw; ++i) {
        const double x = static_cast<double>(i - n) / static_cast<double>(n + 1);
        const double a = rng.doubleIn(0.75, 1.0);
        double v = a * ((1.0 - x * x) * 36.0);
        if (!(v >= 0.0)) v = 0.0;
        heat[bottom + static_cast<std::size_t>(i)] = static_cast<uint8_t>(v);
    }
    for (int64_t r = 0; r + 1 < fh; ++r) {
        const std::size_t row = static_cast<std::size_t>(r * fw);
        const std::size_t below = row + static_cast<std::size_t>(fw);
        for (int64_t i = 0; i < fw; ++i) {
            const int64_t d = static_cast<int64_t>(rng.next() % 3) - 1;
            const int64_t j = std::clamp<int64_t>(i + d, 0, fw - 1);
            const int64_t source = heat[below + static_cast<std::size_t>(j)];
            const int64_t loss = maxDecay > 0 ? rng.intBelow(maxDecay + 1) : 0;
            heat[row + static_cast<std::size_t>(i)] = static_cast<uint8_t>(std::max<int64_t>(0, source - loss));
        }
    }
}

}  // namespace duskmere
