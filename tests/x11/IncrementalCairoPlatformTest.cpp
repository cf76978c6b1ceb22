#include "IncrementalCairoPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "catalog/SceneCatalog.h"
#include "host/PixelSaverView.h"

namespace duskmere {
namespace {

// Changes a few pixels each frame, and now and then a large patch, like a night scene does.
class SparkleScene : public PixelScene {
public:
    SparkleScene(int64_t w, int64_t h, uint64_t seed, bool scrolls = false)
        : w_(w), h_(h), state_(seed | 1), scrolls_(scrolls) {}
    void step() override {
        ++frame_;
        if (scrolls_ && frame_ % 3 == 0) ++offset_;
        const int n = frame_ % 7 == 0 ? 0 : 1 + static_cast<int>(next() % 6);
        for (int i = 0; i < n; ++i) {
            const int64_t x = below(w_), y = below(h_);
            spots_.push_back({x, y, static_cast<uint32_t>(next()) | 0xFF000000u});
        }
        // Over a scrolling landscape only the latest few stay, as sparks and animals come and go.
        if (scrolls_ && spots_.size() > 4) spots_.erase(spots_.begin(), spots_.end() - 4);
        if (frame_ % 11 == 0) {
            const int64_t x = below(w_), y = below(h_);
            patch_ = {x, y, next()};
        }
    }
    void draw(Canvas& c) override {
        for (int64_t y = 0; y < h_; ++y)
            for (int64_t x = 0; x < w_; ++x)
                c.px[static_cast<size_t>(y * w_ + x)] = scrolls_ ? terrain(x + offset_, y) : 0xFF201008u + static_cast<uint32_t>(y);
        for (const Spot& s : spots_) c.px[static_cast<size_t>(s.y * w_ + s.x)] = s.color;
        for (int64_t y = patch_.y; y < std::min(h_, patch_.y + 9); ++y)
            for (int64_t x = patch_.x; x < std::min(w_, patch_.x + 13); ++x)
                c.px[static_cast<size_t>(y * w_ + x)] = static_cast<uint32_t>(patch_.color);
    }

private:
    struct Spot {
        int64_t x, y;
        uint32_t color;
    };
    uint64_t next() {
        state_ = state_ * 6364136223846793005u + 1442695040888963407u;
        return state_ >> 33;
    }
    int64_t below(int64_t n) { return static_cast<int64_t>(next() % static_cast<uint64_t>(n)); }
    // A landscape that moves left by one pixel every third frame.
    static uint32_t terrain(int64_t x, int64_t y) {
        const uint64_t hash = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15u ^ static_cast<uint64_t>(y / 3) * 0xC2B2AE3D27D4EB4Fu;
        return 0xFF000000u | static_cast<uint32_t>(hash >> 40);
    }
    int64_t w_, h_;
    uint64_t state_;
    bool scrolls_;
    int64_t offset_ = 0;
    int frame_ = 0;
    std::vector<Spot> spots_;
    struct {
        int64_t x = 0, y = 0;
        uint64_t color = 0;
    } patch_;
};

class SparkleView : public PixelSaverView {
public:
    using PixelSaverView::PixelSaverView;
    double targetRows() const override { return 50.0; }
    std::unique_ptr<PixelScene> makeScene(int64_t w, int64_t h, uint64_t seed) override {
        return std::make_unique<SparkleScene>(w, h, seed);
    }
};

bool sameSurface(cairo_surface_t* a, cairo_surface_t* b, std::string& where) {
    const int w = cairo_image_surface_get_width(a), h = cairo_image_surface_get_height(a);
    if (w != cairo_image_surface_get_width(b) || h != cairo_image_surface_get_height(b)) {
        where = "sizes differ";
        return false;
    }
    for (int y = 0; y < h; ++y) {
        const auto* ra = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(a) + y * cairo_image_surface_get_stride(a));
        const auto* rb = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(b) + y * cairo_image_surface_get_stride(b));
        for (int x = 0; x < w; ++x)
            if ((ra[x] & 0xFFFFFFu) != (rb[x] & 0xFFFFFFu)) {
                where = "pixel " + std::to_string(x) + "," + std::to_string(y);
                return false;
            }
    }
    return true;
}

std::vector<uint32_t> pixelsOf(cairo_surface_t* s) {
    const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
    std::vector<uint32_t> out;
    for (int y = 0; y < h; ++y) {
        const auto* r = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s));
        out.insert(out.end(), r, r + w);
    }
    return out;
}

bool inside(const std::vector<cairo_rectangle_int_t>& boxes, int x, int y) {
    for (const auto& b : boxes)
        if (x >= b.x && x < b.x + b.width && y >= b.y && y < b.y + b.height) return true;
    return false;
}

struct Case {
    double width, height, backingScale;
};

// Runs both platforms through the same frames, with size changes and repaints on the way, and
// checks that every redraw gives the same picture and that what changed lies in the damage.
template <class View>
void expectSamePictures(const std::vector<Case>& sizes, int framesPerSize, uint64_t seed) {
    for (const Case& c : sizes) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "@" + std::to_string(c.backingScale));
        CairoSaverPlatform full(c.backingScale);
        IncrementalCairoPlatform incremental(c.backingScale);
        full.fixSeed(seed);
        incremental.fixSeed(seed);
        View fullView(full, PixelSaverView::FromFrame{}, false);
        View incrementalView(incremental, PixelSaverView::FromFrame{}, false);
        full.setBounds({c.width, c.height});
        incremental.setBounds({c.width, c.height});
        std::vector<uint32_t> before;
        for (int f = 0; f <= framesPerSize; ++f) {
            if (f > 0) {
                fullView.animateOneFrame();
                incrementalView.animateOneFrame();
            }
            if (f == framesPerSize / 2) incremental.repaint();
            fullView.drawRect();
            incrementalView.drawRect();
            const std::vector<cairo_rectangle_int_t> damage = incremental.finishRedraw();
            std::string where;
            ASSERT_TRUE(sameSurface(full.surface(), incremental.surface(), where)) << "frame " << f << ": " << where;
            const std::vector<uint32_t> after = pixelsOf(incremental.surface());
            if (before.size() == after.size()) {
                const int w = incremental.deviceWidth();
                for (size_t i = 0; i < after.size(); ++i) {
                    if (after[i] == before[i]) continue;
                    ASSERT_TRUE(inside(damage, static_cast<int>(i) % w, static_cast<int>(i) / w)) << "frame " << f;
                }
            }
            before = after;
        }
    }
}

TEST(IncrementalCairoPlatform, PaintsTheSamePicturesAsAFullRedraw) {
    expectSamePictures<SparkleView>({{160, 100, 1},      // scale 2
                                     {150, 151, 1},      // scale 3, canvas cut at the top
                                     {173, 201, 1},      // scale 4
                                     {61, 40, 1},        // scale 1, no scanlines
                                     {100, 100, 2},      // backing scale 2
                                     {99, 101, 1.5},     // fractional backing scale
                                     {50.5, 60.5, 2},    // half points at backing scale 2
                                     {120, 160.5, 1}},   // a fractional height

                                    40, 99);
}

class ScrollingView : public SparkleView {
public:
    using SparkleView::SparkleView;
    std::unique_ptr<PixelScene> makeScene(int64_t w, int64_t h, uint64_t seed) override {
        return std::make_unique<SparkleScene>(w, h, seed, true);
    }
};

TEST(IncrementalCairoPlatform, AScrollingPictureIsMovedAndTouchedUp) {
    expectSamePictures<ScrollingView>({{160, 100, 1}, {150, 151, 1}, {173, 201, 1}, {61, 40, 1}, {100, 100, 2}}, 40, 7);
}

TEST(IncrementalCairoPlatform, SizeChangesRepaintEverything) {
    SparkleView* viewPtr = nullptr;
    CairoSaverPlatform full;
    IncrementalCairoPlatform incremental;
    full.fixSeed(5);
    incremental.fixSeed(5);
    SparkleView fullView(full, PixelSaverView::FromFrame{}, false);
    SparkleView view(incremental, PixelSaverView::FromFrame{}, false);
    viewPtr = &view;
    const ViewSize sizes[] = {{120, 100}, {121, 100}, {121, 100}, {300, 160}, {0.5, 10}, {300, 160}, {40, 30}};
    for (const ViewSize& s : sizes) {
        full.setBounds(s);
        incremental.setBounds(s);
        for (int f = 0; f < 4; ++f) {
            fullView.animateOneFrame();
            viewPtr->animateOneFrame();
            fullView.drawRect();
            viewPtr->drawRect();
            incremental.finishRedraw();
            std::string where;
            ASSERT_TRUE(sameSurface(full.surface(), incremental.surface(), where)) << s.width << "x" << s.height << ": " << where;
        }
    }
}

TEST(IncrementalCairoPlatform, EveryCatalogSceneMatchesAFullRedraw) {
    for (const SceneEntry& entry : sceneCatalog()) {
        SCOPED_TRACE(std::string(entry.name));
        CairoSaverPlatform full;
        IncrementalCairoPlatform incremental;
        full.fixSeed(42);
        incremental.fixSeed(42);
        const auto fullView = entry.makeView(full);
        const auto view = entry.makeView(incremental);
        full.setBounds({1001, 950});
        incremental.setBounds({1001, 950});
        int64_t area = 0;
        for (int f = 0; f <= 30; ++f) {
            if (f > 0) {
                fullView->animateOneFrame();
                view->animateOneFrame();
            }
            fullView->drawRect();
            view->drawRect();
            const auto& damage = incremental.finishRedraw();
            std::string where;
            ASSERT_TRUE(sameSurface(full.surface(), incremental.surface(), where)) << "frame " << f << ": " << where;
            if (f > 0)
                for (const auto& b : damage) area += int64_t{b.width} * b.height;
        }
        // A night scene changes little from frame to frame: on average far less than the view.
        EXPECT_LT(area / 30, 1001 * 950 / 2);
    }
}

}  // namespace
}  // namespace duskmere
