#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "host/PixelScene.h"
#include "pixels/Canvas.h"
#include "pixels/RNG.h"
#include "sky/Comets.h"
#include "sky/Meteors.h"

namespace duskmere {

// A city skyline at night: black buildings that show only through the windows lighting up on
// them, stars gathering over them, meteors and comets passing behind them and a few blinking
// masts. The picture drifts one pixel left every panFrames frames while new buildings arrive on
// the right.
class DuskmereScene : public PixelScene {
    struct Building {
        int64_t x;
        int64_t widthTiles;
        int64_t heightTiles;
        int64_t style;
        uint32_t color;
        bool front;
        int64_t visible;
        int64_t lights;
    };

    struct Spire {
        int64_t building;
        int64_t x;
        int64_t y;
        int64_t height;
        int64_t phase;
    };

public:
    DuskmereScene(int64_t width, int64_t height, uint64_t seed);

    void step() override;
    void draw(Canvas& canvas) override;
    std::span<const RowSpan> changedSpans() const override { return drawn; }

    static constexpr uint32_t black = 0xFF000000u;
    static constexpr std::array<uint32_t, 3> lightColors = {0xFF03F1F8u, 0xFF00C0D4u, 0xFF0094A8u};
    static constexpr int64_t panFrames = 9000;
    static constexpr uint32_t mastColor = 0xFF2C2C2Cu;
    static constexpr uint32_t mastLightColor = 0xFF1A2AFFu;

    // One window pattern per style: byte r is the cell's row r counted from the bottom, bit 7 - c
    // its column c counted from the left.
    using Pattern = std::array<uint8_t, 8>;
    static constexpr std::array<Pattern, 6> styles = {{
        {0x00, 0x44, 0x00, 0x00, 0x00, 0x44, 0x00, 0x00},
        {0x00, 0x66, 0x66, 0x66, 0x00, 0x00, 0x00, 0x00},
        {0x00, 0x00, 0x7E, 0x00, 0x00, 0x00, 0x7E, 0x00},
        {0x00, 0x24, 0x24, 0x24, 0x24, 0x24, 0x00, 0x00},
        {0x00, 0x00, 0x3C, 0x3C, 0x3C, 0x00, 0x00, 0x00},
        {0xAA, 0x00, 0xAA, 0x00, 0xAA, 0x00, 0xAA, 0x00},
    }};

    // Read-only views of the state, for tools and tests.
    int64_t width() const { return w; }
    int64_t height() const { return h; }
    int64_t tileSize() const { return tile; }
    int64_t edgeSize() const { return edge; }
    double cityScale() const { return scale; }
    int64_t frameCount() const { return frame; }
    int64_t skylineTopRow() const { return skylineTop; }
    uint64_t rngState() const { return rng.state; }
    double lightAccumulator() const { return lightAcc; }
    double starAccumulator() const { return starAcc; }
    double rainAccumulator() const { return rainAcc; }
    const std::vector<uint32_t>& picture() const { return buf; }
    const std::vector<int16_t>& ownerMap() const { return owner; }

    const std::vector<Building>& allBuildings() const { return buildings; }
    const std::vector<Spire>& allSpires() const { return spires; }

private:
    friend struct CityProbe;  // white-box access for the unit tests

    Building makeBuilding(bool front);
    int64_t gap(bool front);
    Building place(bool front, int64_t x, const std::vector<Building>& after, const std::vector<Building>& fronts);
    void rebuildOwner();
    void pan();

    void lightWindows();
    void scatterStars();
    void eraseDiscs();
    void drawSpires(Canvas& canvas);
    void mark(int64_t x0, int64_t x1, int64_t y) {
        toCopy[static_cast<std::size_t>(y)].add(static_cast<int32_t>(x0), static_cast<int32_t>(std::min(x1, w)));
    }
    void markAll();
    bool isBuilding(int64_t x, int64_t y) const { return owner[static_cast<std::size_t>(y * w + x)] >= 0; }
    int64_t maxTiles() const;
    int64_t right(const Building& b) const { return b.x + b.widthTiles * tile; }

    const int64_t w;
    const int64_t h;
    RNG rng;
    int64_t frame = 0;
    std::vector<uint32_t> buf;
    std::vector<int16_t> owner;
    std::vector<Building> buildings;
    const double scale;
    const int64_t tile;
    const int64_t edge;
    int64_t skylineTop = 0;
    std::vector<Spire> spires;
    double lightAcc = 0;
    double starAcc = 0;
    double rainAcc = 0;
    Meteors meteors;
    Comets comets;

    // The canvas keeps the last frame (the view never clears it), so a draw copies again only the
    // parts of buf's rows that may differ from it: what the step wrote since, and what the sky
    // events and masts painted over last time. Most frames change a few hundred pixels.
    std::vector<RowSpan> toCopy;
    uint64_t drawnInto = 0;  // the generation of the canvas last drawn; 0: none, copy all
    std::vector<RowSpan> drawn;           // changedSpans() of the last draw

    // Working lists kept between pans so that a pan allocates nothing once they have grown.
    std::vector<Building> rowScratch;
    std::vector<Building> frontScratch;
    std::vector<int64_t> orderScratch;
};

}  // namespace duskmere
