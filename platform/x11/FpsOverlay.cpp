#include "FpsOverlay.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace duskmere {

namespace {

constexpr int glyphWidth = 5, glyphHeight = 7, advance = glyphWidth + 1, lineAdvance = glyphHeight + 3;
constexpr int margin = 4;  // in font pixels, from the left and bottom edges

struct Glyph {
    char c;
    const char* rows[glyphHeight];
};

// Just the characters the figures need; anything else draws as a blank.
constexpr Glyph font[] = {
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
    {':', {".....", ".##..", ".##..", ".....", ".##..", ".##..", "....."}},
    {'-', {".....", ".....", ".....", ".###.", ".....", ".....", "....."}},
    {'%', {"##...", "##..#", "...#.", "..#..", ".#...", "#..##", "...##"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {'d', {"....#", "....#", ".##.#", "#..##", "#...#", "#...#", ".####"}},
};

const Glyph* find(char c) {
    for (const Glyph& g : font)
        if (g.c == c) return &g;
    return nullptr;
}

}  // namespace

void FpsOverlay::setFigures(double framesPerSecond, double loadPercent) {
    char fps[32], load[32];
    std::snprintf(fps, sizeof fps, "FPS: %.1f", framesPerSecond);
    std::snprintf(load, sizeof load, "Load: %.1f%%", loadPercent);
    lines_ = {fps, load};
}

int FpsOverlay::scale(int height) const {
    // Legible on a full screen, small in a preview pane.
    return std::clamp((height + 180) / 360, 1, 4);
}

DeviceBox FpsOverlay::box(int width, int height) const {
    const int s = scale(height);
    size_t longest = 0;
    for (const std::string& line : lines_) longest = std::max(longest, line.size());
    // Text plus a shadow pixel to the right and below.
    const int w = (margin + static_cast<int>(longest) * advance + 1) * s;
    const int h = (margin + static_cast<int>(lines_.size()) * lineAdvance) * s;
    const DeviceBox b{0, std::max(0, height - h), std::min(w, width), height};
    if (b.x1 <= b.x0 || b.y1 <= b.y0) return {0, 0, 0, 0};
    return b;
}

void FpsOverlay::draw(uint32_t* target, const DeviceBox& part, int width, int height) const {
    if (!target) return;
    const int tw = part.x1 - part.x0, th = part.y1 - part.y0;
    const int s = scale(height);
    // One font pixel: an s x s block, at picture coordinates, clipped to the target.
    auto block = [&](int fx, int fy, uint32_t colour) {
        for (int y = fy * s; y < fy * s + s; ++y) {
            const int ty = y - part.y0;
            if (y >= height || ty < 0 || ty >= th) continue;
            uint32_t* row = target + static_cast<ptrdiff_t>(ty) * tw;
            for (int x = fx * s; x < fx * s + s; ++x) {
                const int tx = x - part.x0;
                if (x < width && tx >= 0 && tx < tw) row[tx] = colour;
            }
        }
    };
    const int rows = height / s;
    const int top = rows - margin - static_cast<int>(lines_.size()) * lineAdvance + 3;
    for (const uint32_t colour : {0xFF000000u, 0xFFFFFFFFu}) {
        const int shift = colour == 0xFF000000u ? 1 : 0;  // the shadow, one font pixel down-right
        for (size_t l = 0; l < lines_.size(); ++l) {
            const int y0 = top + static_cast<int>(l) * lineAdvance + shift;
            for (size_t i = 0; i < lines_[l].size(); ++i) {
                const Glyph* g = find(lines_[l][i]);
                if (!g) continue;
                const int x0 = margin + static_cast<int>(i) * advance + shift;
                for (int gy = 0; gy < glyphHeight; ++gy)
                    for (int gx = 0; gx < glyphWidth; ++gx)
                        if (g->rows[gy][gx] == '#') block(x0 + gx, y0 + gy, colour);
            }
        }
    }
}

}  // namespace duskmere
