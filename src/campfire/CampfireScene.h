#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "animals/Animals.h"
#include "host/PixelScene.h"
#include "pixels/Canvas.h"
#include "pixels/RNG.h"
#include "sky/Comets.h"
#include "sky/Meteors.h"

namespace duskmere {

// A conifer forest at night that scrolls slowly to the left: two rows of trees revealed block by
// block, camps with a tent, a cellular fire and its glow, a dithered sky with a moon, stars,
// meteors and comets, sparks, fireflies and the occasional walking animal.
//
// The scene keeps a working grid ww columns wide: columns 0 .. w - 1 are on screen, the rest is
// the margin where new terrain is generated before it scrolls in. The seven per-pixel grids are
// stored as a ring of columns, so that a scroll only rewrites the new column instead of moving
// every pixel: working column x lives in storage column (x + origin) mod ww.
class CampfireScene : public PixelScene {
    struct Tree {
        int64_t cx;      // centre column, working grid; negative once it has left the screen
        int64_t baseY;   // the row just below the trunk
        int64_t height;  // rows; drawn at least 3 tall
        double spread;   // crown half-width per row of height
        int64_t style;   // index into needles
        uint32_t color;  // shown by its flickering needle pixels
        bool front;      // front-row trees are never covered by back-row trees
    };

    struct Camp {
        int64_t centerX;            // camp spacing is measured from here
        int64_t fireX;              // centre column of the fire
        std::vector<uint8_t> heat;  // fw x fh cells, row 0 at the top; 0 .. 35
    };

    struct Lit {
        int64_t x;  // working column; removed once it scrolls past the left edge
        int64_t y;
        float level;  // brightness before the glow factor
        float thr;    // ordered-dither threshold of the pixel
        uint32_t dim;
        uint32_t bright;
    };

    struct Spark {
        double x;
        double y;
        double vx;
        double vy;  // negative is upward
        int64_t life;
        int64_t maxLife;
        double phase;  // offset of the sideways wobble, radians
    };

    struct Firefly {
        double x;
        double y;
        double vx;
        double vy;
        bool on;
        int64_t timer;  // frames left in the current period
        int64_t span;   // length of the current period
    };

    struct SkyRow {
        uint32_t low;
        uint32_t high;
        float frac;  // share of the row's pixels that take high
    };

    struct OverlayPixel {
        int64_t x;
        int64_t y;
        uint32_t color;
    };

    struct MoonPixel {
        int64_t x;  // canvas coordinates: the moon does not scroll
        int64_t y;
        bool bright;
    };

    struct FireShade {
        uint8_t min;  // the lowest heat that shows this colour
        uint32_t color;
    };

    // A lit point resolved for the current glow: where it lands on the canvas and what it shows.
    struct LitPixel {
        uint32_t index;  // y * w + x
        uint32_t color;
    };

public:
    CampfireScene(int64_t width, int64_t height, uint64_t seed);

    void step() override;
    void draw(Canvas& canvas) override;

    // Six 8 x 8 needle patterns; row 0 is the bottom row of the repeat, bit 0x80 its column 0.
    static constexpr std::array<std::array<uint8_t, 8>, 6> needles = {{
        {0x80, 0x40, 0x20, 0x00, 0x08, 0x04, 0x02, 0x00},
        {0x01, 0x02, 0x04, 0x00, 0x10, 0x20, 0x40, 0x00},
        {0x00, 0x18, 0x24, 0x42, 0x00, 0x00, 0x00, 0x00},
        {0x44, 0x00, 0x11, 0x00, 0x44, 0x00, 0x11, 0x00},
        {0x00, 0xE0, 0x00, 0x00, 0x00, 0x0E, 0x00, 0x00},
        {0xAA, 0x00, 0x55, 0x00, 0xAA, 0x00, 0x55, 0x00},
    }};

    static constexpr uint32_t frontSilhouette = 0xFF020100u;
    static constexpr uint32_t backSilhouette = 0xFF0C0502u;
    static constexpr uint32_t moonColor = 0xFFC0E2E6u;

    // Read-only views of the state, for tools and tests. Grid accessors take working-grid
    // coordinates, 0 <= x < workWidth(), 0 <= y < height().
    int64_t width() const { return w; }
    int64_t height() const { return h; }
    int64_t workWidth() const { return ww; }
    double sceneScale() const { return s; }
    uint64_t rngState() const { return rng.state; }
    int64_t frameCount() const { return frame; }
    int64_t panCount() const { return pan; }
    int64_t groundRow() const { return groundY; }
    int64_t fireBaseRow() const { return fireBase; }
    int64_t fireWidth() const { return fw; }
    int64_t fireHeight() const { return fh; }
    int64_t maxHeatDecay() const { return maxDecay; }
    int64_t blockSide() const { return blockSize; }
    int64_t tileSize() const { return tile; }
    int64_t framesPerPan() const { return panFrames; }
    int64_t treeTopRow() const { return treeTop; }
    int64_t nextCampColumn() const { return nextCampX; }
    float glowLevel() const { return glow; }
    float glowGoal() const { return glowTarget; }
    double starAccumulator() const { return starAcc; }
    double rainAccumulator() const { return rainAcc; }

    uint32_t baseAt(int64_t x, int64_t y) const { return base[idx(x, y)]; }
    uint32_t bufAt(int64_t x, int64_t y) const { return buf[idx(x, y)]; }
    bool skyAt(int64_t x, int64_t y) const { return skyMask[idx(x, y)] != 0; }
    bool tentAt(int64_t x, int64_t y) const { return tentMask[idx(x, y)] != 0; }
    bool paintedAt(int64_t x, int64_t y) const { return painted[idx(x, y)] != 0; }
    int32_t ownerAt(int64_t x, int64_t y) const { return owner[idx(x, y)]; }
    bool stickAt(int64_t x, int64_t y) const { return stick[idx(x, y)] != 0; }
    // Element counts of base, buf, skyMask, tentMask, painted, owner and stick, in that order.
    std::array<std::size_t, 7> gridSizes() const {
        return {base.size(), buf.size(), skyMask.size(), tentMask.size(),
                painted.size(), owner.size(), stick.size()};
    }

    const std::vector<Tree>& allTrees() const { return trees; }
    const std::array<Tree, 2>& pendingTrees() const { return pending; }
    const std::array<std::vector<Tree>, 2>& recentTrees() const { return recent; }
    const std::vector<Camp>& allCamps() const { return camps; }
    const std::vector<Lit>& litPoints() const { return lit; }
    const std::vector<OverlayPixel>& overlayPixels() const { return overlay; }
    const std::vector<MoonPixel>& moonPixels() const { return moon; }
    const std::vector<SkyRow>& skyRows() const { return skyRow; }
    const std::vector<Spark>& allSparks() const { return sparks; }
    const std::vector<Firefly>& fireflies() const { return flies; }
    const Animals& animalWalkers() const { return animals; }
    // How many trees have been dropped from the list because no pixel referred to them any more;
    // allTrees().size() + droppedTrees() is the number of trees ever committed.
    int64_t droppedTrees() const { return dropped; }

private:
    friend struct CampfireProbe;  // white-box access for the unit tests

    std::size_t idx(int64_t x, int64_t y) const {
        int64_t column = x + origin;
        if (column >= ww) column -= ww;
        return static_cast<std::size_t>(y * ww + column);
    }

    // Construction.
    void buildSky();
    void buildMoon();
    void buildFireflies();
    Tree firstPending(int64_t row);

    // Terrain: scrolling and trees.
    void shift();
    void fillColumn(int64_t x, int64_t worldX);
    void fillGrid();
    uint32_t freshColor(int64_t worldX, int64_t y) const;
    void scrollContents();
    void growRows();
    void growRow(int64_t row);
    void commitTree(const Tree& t);
    void drawTree(const Tree& t, int32_t id);
    void claim(int64_t x, int64_t y, int32_t id, bool front);
    void refreshNeedles(const Tree& t);
    Tree nextTree(const Tree& t, int64_t row);
    Tree candidate(int64_t row, int64_t baseY);
    int64_t halfWidth(const Tree& t) const;
    void compactTrees();

    // Camps and fire.
    void campStep();
    void buildTent(int64_t tx, bool fireLeft);
    void buildGlow(int64_t fx);
    void buildPit(int64_t fx);
    void stepFire(std::vector<uint8_t>& heat);

    // The frame step, phase by phase.
    void revealTrees();
    void revealBlock();
    void flickerNeedles();
    void flickerNeedle();
    void scatterStars();
    void scatterStar();
    void eraseDiscs();
    void eraseDisc();
    void stepSky();
    void stepFiresAndGlow();
    void spawnSparks();
    void moveSparks();
    void moveFireflies();

    // Drawing, layer by layer.
    void drawBase(Canvas& canvas) const;
    void drawMoon(Canvas& canvas) const;
    void drawSkyEvents(Canvas& canvas) const;
    void drawAnimals(Canvas& canvas);
    void drawLit(Canvas& canvas) const;
    void drawFires(Canvas& canvas) const;
    void drawOverlay(Canvas& canvas) const;
    void drawSparks(Canvas& canvas) const;
    void drawFireflies(Canvas& canvas) const;
    void resolveLit();
    void buildFireShades();

    bool openSky(int64_t x, int64_t y) const;
    uint32_t silhouette(int32_t treeIndex) const;

    const int64_t w;
    const int64_t h;
    int64_t ww;
    RNG rng;
    int64_t frame = 0;
    double s;
    int64_t pan = 0;
    std::vector<uint32_t> base;
    std::vector<uint32_t> buf;
    std::vector<uint8_t> skyMask;
    std::vector<uint8_t> tentMask;
    std::vector<uint8_t> painted;
    std::vector<int32_t> owner;
    std::vector<uint8_t> stick;
    std::vector<SkyRow> skyRow;
    std::vector<Tree> trees;
    std::array<Tree, 2> pending{};
    std::array<std::vector<Tree>, 2> recent;
    int64_t treeTop;
    std::vector<Camp> camps;
    int64_t nextCampX = 0;
    std::vector<Lit> lit;
    std::vector<OverlayPixel> overlay;
    std::vector<MoonPixel> moon;
    Meteors meteors;
    Comets comets;
    Animals animals;
    int64_t groundY;
    int64_t fireBase;
    int64_t fw;
    int64_t fh;
    int64_t maxDecay;
    float glow = 0.85f;
    float glowTarget = 0.85f;
    std::vector<Spark> sparks;
    std::vector<Firefly> flies;
    double needleAcc = 0;
    double starAcc = 0;
    double rainAcc = 0;
    double blockAcc = 0;
    int64_t blockSize;
    int64_t tile;
    const int64_t panFrames = 6;
    const uint32_t groundColor = 0xFF0B100Cu;
    std::vector<uint32_t> backShades = {0xFF2C2816u, 0xFF322E1Au, 0xFF262C18u};
    std::vector<uint32_t> frontShades = {0xFF182612u, 0xFF12200Eu, 0xFF1C2A14u};
    const uint32_t grass = 0xFF1C3424u;
    const uint32_t warmDim = 0xFF0C2A5Cu;
    const uint32_t warmBright = 0xFF1A5AB4u;
    const std::vector<FireShade> firePalette = {{30, 0xFFB8F4FFu}, {24, 0xFF40D4FFu},
                                                {18, 0xFF1494FFu}, {12, 0xFF0A52E6u},
                                                {7, 0xFF0622A0u},  {4, 0xFF041054u}};

    // Bookkeeping beside the model.
    int64_t origin = 0;                  // storage column of working column 0
    int64_t dropped = 0;                 // trees removed from the front of the list so far
    std::size_t compactAt = 64;          // list length that triggers the next compaction
    std::vector<int64_t> campCentres;    // the camp centres a scroll's tree rows keep clear of
    std::vector<int64_t> fireColumns;    // every camp's fireX, handed to the animals when drawn
    std::vector<int32_t> renumber;       // old tree index to new, reused by every compaction

    // The lit points change only when the glow or the list changes, both in step(); they are
    // resolved there, once, so that drawing only has to copy their colours.
    std::vector<LitPixel> litPixels;
    uint64_t litStamp = 0;          // bumped whenever lit changes
    uint64_t resolvedStamp = ~uint64_t{0};
    float resolvedGlow = 0.0f;
    bool litResolved = false;
    // firePalette looked up by heat: the colour, and whether any threshold is reached at all.
    std::array<uint32_t, 256> fireColorAt{};
    std::array<bool, 256> fireShownAt{};
};

}  // namespace duskmere
