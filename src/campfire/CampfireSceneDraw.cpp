#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

#include "campfire/CampfireScene.h"

namespace duskmere {

namespace {

constexpr uint32_t sparkYoung = 0xFF4AD8FFu;
constexpr uint32_t sparkMiddle = 0xFF106AF0u;
constexpr uint32_t sparkOld = 0xFF0A1E8Au;
constexpr uint32_t flyBright = 0xFF70F0D8u;
constexpr uint32_t flyDim = 0xFF28806Au;

}  // namespace

void CampfireScene::draw(Canvas& canvas) {
    drawBase(canvas);
    drawMoon(canvas);
    drawSkyEvents(canvas);
    drawAnimals(canvas);
    drawLit(canvas);
    drawFires(canvas);
    drawOverlay(canvas);
    drawSparks(canvas);
    drawFireflies(canvas);
}

// The canvas is built for this scene (w x h). The layers that address it directly still index
// it by its own width and stay inside its own size, so a mismatched canvas is never overrun.

void CampfireScene::drawBase(Canvas& canvas) const {
    const int64_t columns = std::min(w, canvas.width);
    const int64_t rows = std::min(h, canvas.height);
    if (columns <= 0) return;
    // Working column 0 sits at storage column origin; the visible run may wrap round the row.
    const int64_t firstRun = std::min(columns, ww - origin);
    const int64_t secondRun = columns - firstRun;
    for (int64_t y = 0; y < rows; ++y) {
        const uint32_t* row = buf.data() + y * ww;
        uint32_t* out = canvas.px.data() + y * canvas.width;
        std::memcpy(out, row + origin, static_cast<std::size_t>(firstRun) * sizeof(uint32_t));
        if (secondRun > 0)
            std::memcpy(out + firstRun, row, static_cast<std::size_t>(secondRun) * sizeof(uint32_t));
    }
}

void CampfireScene::drawMoon(Canvas& canvas) const {
    for (const MoonPixel& p : moon) {
        if (!canvas.contains(p.x, p.y)) continue;
        const std::size_t i = idx(p.x, p.y);
        if (skyMask[i] == 0 || painted[i] != 0) continue;
        // A dark moon pixel shows the plain sky and hides any star scattered there.
        canvas.at(p.x, p.y) = p.bright ? moonColor : base[i];
    }
}

void CampfireScene::drawSkyEvents(Canvas& canvas) const {
    const double sc = static_cast<double>(h) / 270.0;
    auto blocked = [this](int64_t x, int64_t y) { return !openSky(x, y); };
    comets.draw(canvas, sc, blocked);
    meteors.draw(canvas, sc, blocked);
}

void CampfireScene::drawAnimals(Canvas& canvas) {
    fireColumns.clear();
    for (const Camp& camp : camps) fireColumns.push_back(camp.fireX);
    // An animal walks behind tents and revealed front trees, in front of everything else.
    auto hidden = [this](int64_t x, int64_t y) {
        if (x < 0 || x >= w || y < 0 || y >= h) return true;
        const std::size_t i = idx(x, y);
        if (tentMask[i] != 0) return true;
        const int32_t o = owner[i];
        return painted[i] != 0 && o >= 0 && trees[static_cast<std::size_t>(o)].front;
    };
    animals.draw(canvas, groundY, std::span<const int64_t>(fireColumns), s, hidden);
}

void CampfireScene::drawLit(Canvas& canvas) const {
    if (litResolved && resolvedGlow == glow && resolvedStamp == litStamp && canvas.width == w &&
        canvas.height >= h) {
        uint32_t* const out = canvas.px.data();
        for (const LitPixel& p : litPixels) out[p.index] = p.color;
        return;
    }
    const float factor = glow;
    const int64_t columns = std::min(w, canvas.width);
    const auto rows = static_cast<uint64_t>(canvas.height);
    for (const Lit& p : lit) {
        if (p.x >= columns || static_cast<uint64_t>(p.y) >= rows) continue;
        const float e = p.level * factor * 2.0f;
        const auto whole = static_cast<int64_t>(e);
        const int64_t n = whole + (e - static_cast<float>(whole) > p.thr ? 1 : 0);
        if (n >= 1) canvas.at(p.x, p.y) = n >= 2 ? p.bright : p.dim;
    }
}

void CampfireScene::resolveLit() {
    litPixels.clear();
    resolvedGlow = glow;
    resolvedStamp = litStamp;
    // Canvas indices are kept in 32 bits; a scene too large for that draws its points directly.
    litResolved = static_cast<uint64_t>(w) * static_cast<uint64_t>(h) <= 0xFFFFFFFFull;
    if (!litResolved) return;
    const float factor = glow;
    for (const Lit& p : lit) {
        if (p.x >= w) continue;
        const float e = p.level * factor * 2.0f;
        const auto whole = static_cast<int64_t>(e);
        const int64_t n = whole + (e - static_cast<float>(whole) > p.thr ? 1 : 0);
        if (n < 1) continue;
        litPixels.push_back({static_cast<uint32_t>(p.y * w + p.x), n >= 2 ? p.bright : p.dim});
    }
}

void CampfireScene::drawFires(Canvas& canvas) const {
    const int64_t top = fireBase - (fh - 1);
    for (const Camp& camp : camps) {
        const int64_t left = camp.fireX - fw / 2;
        for (int64_t r = 0; r < fh; ++r) {
            const int64_t y = top + r;
            if (y < 0 || y >= canvas.height) continue;
            const uint8_t* row = camp.heat.data() + r * fw;
            for (int64_t k = std::max<int64_t>(0, -left); k < fw && left + k < canvas.width; ++k) {
                // Cells colder than every threshold stay transparent.
                if (fireShownAt[row[k]]) canvas.at(left + k, y) = fireColorAt[row[k]];
            }
        }
    }
}

void CampfireScene::drawOverlay(Canvas& canvas) const {
    for (const OverlayPixel& p : overlay) {
        if (canvas.contains(p.x, p.y)) canvas.at(p.x, p.y) = p.color;
    }
}

void CampfireScene::drawSparks(Canvas& canvas) const {
    for (const Spark& spark : sparks) {
        const double r = static_cast<double>(spark.life) / static_cast<double>(spark.maxLife);
        const uint32_t color = r > 0.66 ? sparkYoung : (r > 0.33 ? sparkMiddle : sparkOld);
        const auto x = static_cast<int64_t>(spark.x);
        const auto y = static_cast<int64_t>(spark.y);
        if (canvas.contains(x, y)) canvas.at(x, y) = color;
    }
}

void CampfireScene::drawFireflies(Canvas& canvas) const {
    const int64_t m = std::max<int64_t>(1, static_cast<int64_t>(std::round(s * 2.0)));
    for (const Firefly& fly : flies) {
        if (!fly.on) continue;
        const auto x = static_cast<int64_t>(fly.x);
        const auto y = static_cast<int64_t>(fly.y);
        if (fly.timer >= 5 && fly.span - fly.timer > 4) {
            // The middle of a glowing period: a full square.
            for (int64_t dy = 0; dy < m; ++dy) {
                for (int64_t dx = 0; dx < m; ++dx) {
                    if (canvas.contains(x + dx, y + dy)) canvas.at(x + dx, y + dy) = flyBright;
                }
            }
        } else if (canvas.contains(x, y)) {
            canvas.at(x, y) = flyDim;
        }
    }
}

}  // namespace duskmere
