// Composing a frame: the persistent picture, the sky events behind the buildings, the masts.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "city/DuskmereScene.h"

namespace duskmere {

namespace {

constexpr std::array<double, 6> densities = [] {
    std::array<double, 6> d{};
    for (std::size_t s = 0; s < d.size(); ++s) {
        int bits = 0;
        for (const uint8_t row : DuskmereScene::styles[s]) bits += std::popcount(row);
        d[s] = static_cast<double>(bits) * 0.015625;
    }
    return d;
}();

}  // namespace

void DuskmereScene::draw(Canvas& canvas) {
    const bool ownSize = canvas.width == w && canvas.height == h;
    const bool again = ownSize && drawnInto == canvas.generation();
    if (again) {
        for (int64_t y = 0; y < h; ++y) {
            const RowSpan& s = toCopy[static_cast<std::size_t>(y)];
            if (!s.empty())
                std::memcpy(canvas.px.data() + y * w + s.x0, buf.data() + y * w + s.x0,
                            static_cast<std::size_t>(s.x1 - s.x0) * sizeof(uint32_t));
        }
        drawn = toCopy;
    } else if (ownSize) {
        std::memcpy(canvas.px.data(), buf.data(), buf.size() * sizeof(uint32_t));
    } else {
        // Only a canvas of the scene's own size is ever handed in; anything else gets the overlap.
        const int64_t cw = std::min(canvas.width, w);
        const int64_t ch = std::min(canvas.height, h);
        for (int64_t y = 0; y < ch; ++y)
            std::memcpy(canvas.px.data() + y * canvas.width, buf.data() + y * w,
                        static_cast<std::size_t>(cw) * sizeof(uint32_t));
    }
    std::fill(toCopy.begin(), toCopy.end(), RowSpan{});
    drawnInto = ownSize ? canvas.generation() : 0;

    const double s = static_cast<double>(h) / 270.0;
    // The sky events ask about every pixel before they paint it: the rows asked about hold all
    // they paint over, and need buf's pixels back at the next draw.
    const auto blocked = [this](int64_t x, int64_t y) {
        if (x < 0 || y < 0 || x >= w || y >= h) return true;
        mark(x, x + 1, y);
        return isBuilding(x, y);
    };
    comets.draw(canvas, s, blocked);
    meteors.draw(canvas, s, blocked);
    drawSpires(canvas);
    // What was copied back and what was just painted over is all this draw changed.
    if (again)
        for (std::size_t y = 0; y < drawn.size(); ++y) drawn[y].add(toCopy[y].x0, toCopy[y].x1);
    else
        drawn.clear();
}

void DuskmereScene::markAll() { std::fill(toCopy.begin(), toCopy.end(), RowSpan{0, static_cast<int32_t>(w)}); }

void DuskmereScene::drawSpires(Canvas& canvas) {
    int64_t size = static_cast<int64_t>(std::round(scale * 2));
    if (size < 1) size = 1;
    const int64_t half = (size - 1) / 2;

    for (const Spire& spire : spires) {
        const Building& b = buildings[static_cast<std::size_t>(spire.building)];
        // A mast appears once enough of its building's windows have been lit.
        const double density = densities[static_cast<std::size_t>(b.style)];
        const int64_t k = b.widthTiles * 13 + b.heightTiles * 29;
        const double threshold =
            static_cast<double>(b.visible) * ((static_cast<double>(k % 12) / 10 + 0.5) * 0.5 * density);
        if (static_cast<double>(b.lights) < threshold) continue;

        const int64_t top = spire.y - spire.height;
        if (spire.x >= 0 && spire.x < canvas.width) {
            const int64_t yEnd = std::min(spire.y, canvas.height);
            for (int64_t y = std::max<int64_t>(top, 0); y < yEnd; ++y) {
                canvas.at(spire.x, y) = mastColor;
                if (y < h) mark(spire.x, spire.x + 1, y);
            }
        }
        if (((spire.phase + frame) / 15) % 2 == 0) {
            const int64_t y0 = std::max<int64_t>(top - size, 0);
            const int64_t y1 = std::min(top, canvas.height);
            const int64_t x0 = std::max<int64_t>(spire.x - half, 0);
            const int64_t x1 = std::min(spire.x - half + size, canvas.width);
            for (int64_t y = y0; y < y1; ++y) {
                for (int64_t x = x0; x < x1; ++x) canvas.at(x, y) = mastLightColor;
                if (x0 < x1 && y < h) mark(x0, x1, y);
            }
        }
    }
}

}  // namespace duskmere
