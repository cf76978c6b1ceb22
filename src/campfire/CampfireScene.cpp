#include "campfire/CampfireScene.h"

#include <algorithm>
#include <optional>

#include "sky/Bayer4.h"

namespace duskmere {

namespace {

// Sky colours from the zenith down to the horizon.
constexpr std::array<uint32_t, 5> skyColors = {0xFF0A0302u, 0xFF120604u, 0xFF1C0B07u,
                                               0xFF28120Cu, 0xFF341A14u};

int64_t truncated(double v) { return static_cast<int64_t>(v); }

}  // namespace

CampfireScene::CampfireScene(int64_t width, int64_t height, uint64_t seed)
    : w(width < 2 ? 1 : width),
      h(height < 2 ? 1 : height),
      rng(seed),
      animals(300, std::nullopt, std::nullopt) {
    s = static_cast<double>(h) / 270.0;
    ww = w + std::max<int64_t>(64, truncated(s * 330.0));
    groundY = h - truncated(s * 40.0);
    fireBase = groundY + std::max<int64_t>(1, truncated(s * 4.0));
    fw = std::max<int64_t>(3, truncated(s * 12.0));
    fh = std::max<int64_t>(4, truncated(s * 20.0));
    maxDecay = std::max<int64_t>(2, (72 + fh - 1) / fh);
    blockSize = std::max<int64_t>(1, truncated(s * 6.0));
    tile = std::max<int64_t>(1, truncated(s * 8.0));

    buildSky();
    buildFireShades();
    const auto cells = static_cast<std::size_t>(ww * h);
    base.assign(cells, 0);
    buf.assign(cells, 0);
    skyMask.assign(cells, 0);
    tentMask.assign(cells, 0);
    painted.assign(cells, 0);
    owner.assign(cells, -1);
    stick.assign(cells, 0);
    fillGrid();

    buildMoon();
    buildFireflies();
    treeTop = h - 1;
    pending[0] = firstPending(0);
    pending[1] = firstPending(1);
    nextCampX = w / 2;

    // The first camp stands at the middle of the screen and the grid starts full of trees.
    campStep();
    growRows();
    litStamp += 1;
    resolveLit();
}

void CampfireScene::buildSky() {
    skyRow.reserve(static_cast<std::size_t>(h));
    const auto span = static_cast<double>(std::max<int64_t>(1, groundY - 1));
    for (int64_t y = 0; y < h; ++y) {
        if (y < groundY) {
            const double p = static_cast<double>(y) * 4.0 / span;
            const int64_t i = std::min<int64_t>(truncated(p), 3);
            const auto band = static_cast<std::size_t>(i);
            skyRow.push_back({skyColors[band], skyColors[band + 1],
                              static_cast<float>(p - static_cast<double>(i))});
        } else {
            skyRow.push_back({groundColor, groundColor, 0.0f});
        }
    }
}

void CampfireScene::buildMoon() {
    const int64_t r = std::max<int64_t>(2, truncated(s * 7.0));
    const int64_t mx = truncated(static_cast<double>(w) * 0.78);
    const int64_t my = truncated(static_cast<double>(groundY) * 0.2);
    const int64_t off = std::max<int64_t>(1, truncated(static_cast<double>(r) * 0.6));
    const int64_t limit = r * r + r;
    for (int64_t y = my - r; y <= my + r; ++y) {
        for (int64_t x = mx - r; x <= mx + r; ++x) {
            const int64_t dx = x - mx;
            const int64_t dy = y - my;
            if (dx * dx + dy * dy > limit) continue;
            if (x < 0 || x >= w || y < 0 || y >= groundY) continue;
            // The disc minus a copy shifted left: a crescent lit on its right side.
            moon.push_back({x, y, (dx + off) * (dx + off) + dy * dy > limit});
        }
    }
}

void CampfireScene::buildFireflies() {
    const int64_t count = std::max<int64_t>(3, w / 80);
    const double top = static_cast<double>(h) * 0.45;
    const double bottom = static_cast<double>(groundY - 2);
    for (int64_t n = 0; n < count; ++n) {
        Firefly fly{};
        fly.x = rng.unit() * static_cast<double>(w - 1);
        fly.y = rng.unit() * (bottom - top) + top;
        fly.vx = 0;
        fly.vy = 0;
        fly.on = false;
        fly.timer = rng.intIn(40, 200);
        fly.span = fly.timer;
        flies.push_back(fly);
    }
}

CampfireScene::Tree CampfireScene::firstPending(int64_t row) {
    const int64_t baseY = row == 0 ? groundY + 1
                                   : groundY + rng.intIn(2, truncated(s * 10.0) + 2);
    Tree t = candidate(row, baseY);
    t.cx = 0;
    return t;
}

void CampfireScene::buildFireShades() {
    for (std::size_t heat = 0; heat < fireColorAt.size(); ++heat) {
        for (const FireShade& shade : firePalette) {
            if (shade.min > heat) continue;
            fireColorAt[heat] = shade.color;
            fireShownAt[heat] = true;
            break;
        }
    }
}

bool CampfireScene::openSky(int64_t x, int64_t y) const {
    if (x < 0 || x >= w || y < 0 || y >= h) return false;
    const std::size_t i = idx(x, y);
    return skyMask[i] != 0 && painted[i] == 0;
}

uint32_t CampfireScene::silhouette(int32_t treeIndex) const {
    return trees[static_cast<std::size_t>(treeIndex)].front ? frontSilhouette : backSilhouette;
}

}  // namespace duskmere
