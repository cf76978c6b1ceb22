#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "campfire/CampfireScene.h"
#include "sky/Bayer4.h"

namespace duskmere {

namespace {

int64_t truncated(double v) { return static_cast<int64_t>(v); }

// The remainder that stays in 0 .. b - 1 for negative a too.
int64_t wrap(int64_t a, int64_t b) { return ((a % b) + b) % b; }

struct RowShape {
    double lo;
    double hi;
    double minDiff;  // share of the height that neighbouring trees must differ by
};

constexpr RowShape backRow{0.2, 0.5, 0.06};
constexpr RowShape frontRow{0.42, 0.9, 0.09};

}  // namespace

void CampfireScene::shift() {
    pan += 1;
    // Working column 0 leaves; its storage column becomes the new rightmost column.
    origin = origin + 1 == ww ? 0 : origin + 1;
    fillColumn(ww - 1, pan + ww - 1);
    scrollContents();
    litStamp += 1;
    growRows();
    campStep();
    if (trees.size() >= compactAt) compactTrees();
}

uint32_t CampfireScene::freshColor(int64_t worldX, int64_t y) const {
    // The dither phase follows the world column, so the sky pattern scrolls unbroken.
    if (y >= groundY) return groundColor;
    const SkyRow& row = skyRow[static_cast<std::size_t>(y)];
    return row.frac > bayer4At(worldX, y) ? row.high : row.low;
}

void CampfireScene::fillColumn(int64_t x, int64_t worldX) {
    for (int64_t y = 0; y < h; ++y) {
        const std::size_t i = idx(x, y);
        const uint32_t color = freshColor(worldX, y);
        base[i] = color;
        buf[i] = color;
        owner[i] = -1;
        painted[i] = 0;
        tentMask[i] = 0;
        skyMask[i] = y < groundY ? 1 : 0;
        stick[i] = y < groundY ? 0 : (rng.unit() < 0.07 ? 1 : 0);
    }
}

void CampfireScene::fillGrid() {
    // Every column as a scroll would bring it in, with world column x; the grids start cleared.
    // The colours go row by row for the sake of the cache; the grass specks keep the order of
    // their draws, column by column and top to bottom.
    for (int64_t y = 0; y < h; ++y) {
        for (int64_t x = 0; x < ww; ++x) {
            const std::size_t i = idx(x, y);
            base[i] = buf[i] = freshColor(x, y);
            skyMask[i] = y < groundY ? 1 : 0;
        }
    }
    for (int64_t x = 0; x < ww; ++x) {
        for (int64_t y = std::max<int64_t>(groundY, 0); y < h; ++y) stick[idx(x, y)] = rng.unit() < 0.07 ? 1 : 0;
    }
}

void CampfireScene::scrollContents() {
    for (Tree& t : trees) t.cx -= 1;
    for (Tree& t : pending) t.cx -= 1;

    const int64_t reach = 2 * truncated(s * 160.0);
    for (Camp& camp : camps) {
        camp.centerX -= 1;
        camp.fireX -= 1;
    }
    std::erase_if(camps, [reach](const Camp& camp) { return camp.centerX + reach < 0; });
    nextCampX -= 1;

    for (Lit& point : lit) point.x -= 1;
    std::erase_if(lit, [](const Lit& point) { return point.x < 0; });
    for (OverlayPixel& pixel : overlay) pixel.x -= 1;
    std::erase_if(overlay, [](const OverlayPixel& pixel) { return pixel.x < 0; });
    for (Spark& spark : sparks) spark.x -= 1.0;
}

void CampfireScene::growRows() {
    campCentres.clear();
    for (const Camp& camp : camps) campCentres.push_back(camp.centerX);
    campCentres.push_back(nextCampX);
    growRow(0);
    growRow(1);
}

void CampfireScene::growRow(int64_t row) {
    const auto L = static_cast<std::size_t>(row);
    const int64_t clearing = truncated(s * 110.0);
    for (;;) {
        const Tree t = pending[L];
        const int64_t hw = halfWidth(t);
        if (t.cx + hw > ww - 3) return;

        bool discard = false;
        if (row == 1) {
            // Front-row trees keep out of the clearing around every camp, built or planned.
            const int64_t m = (6 * hw) / 10;
            for (int64_t c : campCentres) {
                if (c - clearing < t.cx + m && t.cx - m < c + clearing) {
                    discard = true;
                    break;
                }
            }
        }
        if (!discard) {
            commitTree(t);
            std::vector<Tree>& last = recent[L];
            last.push_back(t);
            if (last.size() > 2) last.erase(last.begin());
        }
        pending[L] = nextTree(t, row);
    }
}

void CampfireScene::commitTree(const Tree& t) {
    const auto id = static_cast<int32_t>(trees.size());
    trees.push_back(t);
    drawTree(t, id);
    refreshNeedles(t);
}

void CampfireScene::drawTree(const Tree& t, int32_t id) {
    const int64_t tall = std::max<int64_t>(3, t.height);
    const int64_t trunkHeight = t.height < 7 ? 1 : t.height / 7;
    const int64_t trunkWidth = t.height >= 28 ? t.height / 28 : 1;
    const int64_t crown = tall - trunkHeight;
    const int64_t top = t.baseY - tall;

    const int64_t tiers = std::max<int64_t>(2, std::min(crown / 3, rng.intIn(5, 9)));
    const double envelope = static_cast<double>(tall) * t.spread;

    // Saw-tooth tiers: each starts at half the envelope and widens to all of it.
    for (int64_t r = 0; r < crown; ++r) {
        const double jitter = rng.doubleIn(-0.4, 0.4);
        const double f = static_cast<double>(r) / static_cast<double>(crown);
        const double v = f * static_cast<double>(tiers);
        const double frac = v - std::trunc(v);
        int64_t k = static_cast<int64_t>(std::round(jitter + (envelope * f) * (frac * 0.5 + 0.5)));
        if (k < 0) k = 0;
        const int64_t y = top + r;
        for (int64_t x = t.cx - k; x <= t.cx + k; ++x) claim(x, y, id, t.front);
    }

    const int64_t left = t.cx - trunkWidth / 2;
    for (int64_t y = t.baseY - trunkHeight; y < t.baseY; ++y) {
        for (int64_t x = left; x < left + trunkWidth; ++x) claim(x, y, id, t.front);
    }

    treeTop = std::min(treeTop, std::max<int64_t>(0, t.baseY - t.height));
}

void CampfireScene::claim(int64_t x, int64_t y, int32_t id, bool front) {
    if (x < 0 || x >= ww || y < 0 || y >= h) return;
    const std::size_t i = idx(x, y);
    if (tentMask[i] != 0) return;  // tents stand in front of every tree
    const int32_t o = owner[i];
    if (!front && o >= 0 && trees[static_cast<std::size_t>(o)].front) return;
    owner[i] = id;
    if (painted[i] != 0) {
        // Part of a new tree now: it has to be revealed again.
        painted[i] = 0;
        buf[i] = base[i];
    }
}

void CampfireScene::refreshNeedles(const Tree& t) {
    const int64_t hw = halfWidth(t);
    const int64_t x0 = std::max<int64_t>(0, t.cx - hw - 4);
    const int64_t x1 = std::max<int64_t>(0, std::min(t.cx + hw + 4, ww - 1));
    for (int64_t y = 0; y < h; ++y) {
        for (int64_t x = x0; x <= x1; ++x) {
            const std::size_t i = idx(x, y);
            const int32_t o = owner[i];
            if (o < 0) continue;  // ground keeps its grass specks
            // Within two pixels of the tree's outline the crown stays solid.
            if ((x >= 2 && owner[idx(x - 2, y)] != o) || (x + 2 < ww && owner[idx(x + 2, y)] != o) ||
                (y >= 2 && owner[idx(x, y - 2)] != o)) {
                stick[i] = 0;
                continue;
            }
            const Tree& owning = trees[static_cast<std::size_t>(o)];
            const int64_t col = wrap(x - owning.cx, tile) * 8 / tile;
            const int64_t row = wrap(owning.baseY - y, tile) * 8 / tile;
            const auto& pattern = needles[static_cast<std::size_t>(owning.style)];
            stick[i] = col < 8 && (pattern[static_cast<std::size_t>(row)] & (0x80u >> col)) != 0 ? 1 : 0;
        }
    }
}

CampfireScene::Tree CampfireScene::candidate(int64_t row, int64_t baseY) {
    const RowShape& shape = row == 0 ? backRow : frontRow;
    const std::vector<uint32_t>& palette = row == 0 ? backShades : frontShades;
    Tree t{};
    t.baseY = baseY;
    t.height = truncated(rng.doubleIn(shape.lo, shape.hi) * static_cast<double>(h));
    t.spread = rng.doubleIn(0.15, 0.23);
    t.style = rng.intBelow(6);
    t.color = palette[static_cast<std::size_t>(rng.intBelow(static_cast<int64_t>(palette.size())))];
    t.front = row == 1;
    return t;
}

CampfireScene::Tree CampfireScene::nextTree(const Tree& t, int64_t row) {
    const int64_t hw = halfWidth(t);
    const int64_t baseY = row == 0 ? groundY + 1 : groundY + rng.intIn(2, truncated(s * 10.0) + 2);

    // Neighbours should differ in height, needle style and shade; give up after 80 tries.
    const std::vector<Tree>& last = recent[static_cast<std::size_t>(row)];
    const std::size_t n = last.size();
    const std::size_t first = n == 1 ? 0 : n - 2;
    const int64_t minDiff =
        truncated((row == 0 ? backRow : frontRow).minDiff * static_cast<double>(h));
    Tree next{};
    for (int attempt = 1; attempt <= 80; ++attempt) {
        next = candidate(row, baseY);
        if (n == 0) break;
        bool accept = true;
        for (std::size_t k = first; k < n; ++k) {
            if (std::abs(next.height - last[k].height) < minDiff) {
                accept = false;
                break;
            }
        }
        if (accept) accept = next.style != last[n - 1].style && next.color != last[n - 1].color;
        if (accept) break;
    }

    const int64_t gap = std::max<int64_t>(4, truncated(rng.doubleIn(1.1, 1.7) * static_cast<double>(hw)));
    next.cx = t.cx + gap;
    return next;
}

int64_t CampfireScene::halfWidth(const Tree& t) const {
    return truncated(static_cast<double>(t.height) * t.spread);
}

void CampfireScene::compactTrees() {
    // Only the trees that still own a pixel matter; the rest have scrolled out or been covered.
    // Dropping them and renumbering owner changes no pixel: owner values are only ever compared
    // with each other or used to look their tree up.
    renumber.assign(trees.size(), -1);
    for (int32_t o : owner) {
        if (o >= 0) renumber[static_cast<std::size_t>(o)] = 0;
    }
    int32_t kept = 0;
    for (std::size_t i = 0; i < trees.size(); ++i) {
        if (renumber[i] < 0) continue;
        renumber[i] = kept;
        trees[static_cast<std::size_t>(kept)] = trees[i];
        ++kept;
    }
    dropped += static_cast<int64_t>(trees.size()) - kept;
    trees.resize(static_cast<std::size_t>(kept));
    for (int32_t& o : owner) {
        if (o >= 0) o = renumber[static_cast<std::size_t>(o)];
    }
    // Compact again once the list has doubled: the scan of the grid is then spread over at
    // least as many commits as there are live trees.
    compactAt = std::max<std::size_t>(64, 2 * trees.size());
}

}  // namespace duskmere
