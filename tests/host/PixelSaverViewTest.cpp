#include "host/PixelSaverView.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/RecordingPlatform.h"

namespace duskmere {
namespace {

using testing::RecordingPlatform;

// A scene that counts what the host does to it and paints its step count into pixel 0.
class CountingScene : public PixelScene {
public:
    CountingScene(int64_t w, int64_t h, uint64_t s) : width(w), height(h), seed(s) {}
    void step() override { ++steps; }
    void draw(Canvas& canvas) override {
        ++draws;
        canvas.px[0] = 0xFF000000u | static_cast<uint32_t>(steps);
    }
    int64_t width, height;
    uint64_t seed;
    int steps = 0, draws = 0;
};

class TestView : public PixelSaverView {
public:
    using PixelSaverView::PixelSaverView;
    double rows = 450.0;
    int scenesMade = 0;
    double targetRows() const override { return rows; }
    std::unique_ptr<PixelScene> makeScene(int64_t w, int64_t h, uint64_t seed) override {
        ++scenesMade;
        return std::make_unique<CountingScene>(w, h, seed);
    }
    const CountingScene* counting() const { return static_cast<const CountingScene*>(scene()); }
};

// A view made from a frame, on `p` with these bounds.
TestView framed(RecordingPlatform& p, ViewSize bounds) {
    p.viewBounds = bounds;
    return TestView(p, PixelSaverView::FromFrame{});
}

TEST(PixelSaverView, FrameConstructionSetsIntervalAndListensForWillStop) {
    RecordingPlatform p;
    TestView view(p, PixelSaverView::FromFrame{});
    ASSERT_EQ(p.intervals.size(), 1u);
    EXPECT_EQ(p.intervals[0], 0.03333333333333333);
    EXPECT_EQ(p.observers.count("com.apple.screensaver.willstop"), 1u);
    EXPECT_EQ(view.scene(), nullptr);
    EXPECT_EQ(view.canvas(), nullptr);
    EXPECT_EQ(view.pixelScale(), 1.0);
    EXPECT_FALSE(view.hasConfigureSheet());
    EXPECT_EQ(view.configureSheet(), nullptr);
}

TEST(PixelSaverView, WillStopEndsOnlyTheLegacyHost) {
    for (const char* name : {"legacyScreenSaver", "com.apple.legacyScreenSaver (Wallpaper)"}) {
        RecordingPlatform p;
        p.name = name;
        TestView view(p, PixelSaverView::FromFrame{});
        p.post("com.apple.screensaver.willstop");
        EXPECT_EQ(p.animationStops, 1) << name;  // at once
        ASSERT_EQ(p.exitRequests.size(), 1u) << name;
        EXPECT_EQ(p.exitRequests[0].seconds, 2.0);
        EXPECT_TRUE(p.exits.empty()) << name;  // only later
        p.fireExitTimer();
        EXPECT_EQ(p.exits, std::vector<int>{0}) << name;
    }
    for (const char* name : {"ScreenSaverEngine", "LegacyScreenSaver", "legacyScreenSave"}) {
        RecordingPlatform p;
        p.name = name;
        TestView view(p, PixelSaverView::FromFrame{});
        p.post("com.apple.screensaver.willstop");
        p.fireExitTimer();
        EXPECT_TRUE(p.exits.empty()) << name;
        EXPECT_TRUE(p.exitRequests.empty()) << name;
        EXPECT_EQ(p.animationStops, 0) << name;
    }
}

TEST(PixelSaverView, ExitIsScheduledOncePerProcessAndCancelledByARestart) {
    RecordingPlatform p;  // one process showing two views, one per screen
    p.name = "legacyScreenSaver";
    TestView left(p, PixelSaverView::FromFrame{});
    TestView right(p, PixelSaverView::FromFrame{});
    p.post("com.apple.screensaver.willstop");
    EXPECT_EQ(p.animationStops, 2);
    EXPECT_EQ(p.exitRequests.size(), 1u);

    right.startAnimation();  // back from a hot corner before the exit
    p.fireExitTimer();
    EXPECT_TRUE(p.exits.empty());
    EXPECT_EQ(p.exitCancels, 1);
    left.startAnimation();  // nothing left to cancel
    EXPECT_EQ(p.exitCancels, 1);

    p.post("com.apple.screensaver.willstop");  // the next stop is heard again
    EXPECT_EQ(p.exitRequests.size(), 2u);
    p.fireExitTimer();
    EXPECT_EQ(p.exits, std::vector<int>{0});
}

TEST(PixelSaverView, DecodedViewNeverListens) {
    RecordingPlatform p;
    p.name = "legacyScreenSaver";
    TestView view(p, PixelSaverView::FromCoder{});
    EXPECT_EQ(p.intervals, std::vector<double>{0.03333333333333333});
    EXPECT_TRUE(p.observers.empty());
    p.post("com.apple.screensaver.willstop");
    EXPECT_TRUE(p.exits.empty());
}

TEST(PixelSaverView, TicksBeforeTheFirstRedrawOnlyAskForDisplay) {
    RecordingPlatform p;
    TestView view = framed(p, {1440, 900});
    view.animateOneFrame();
    view.animateOneFrame();
    EXPECT_EQ(p.needsDisplayCount, 2);
    EXPECT_EQ(view.scene(), nullptr);
    EXPECT_EQ(p.seedsDrawn, 0);
}

struct Sizing {
    double rows, width, height, scale;
    int64_t w, h;
};

TEST(PixelSaverView, PrepareDerivesScaleAndCanvasFromBounds) {
    const Sizing cases[] = {
        {450, 1440, 900, 2, 720, 450}, {225, 1440, 900, 4, 360, 225}, {450, 1512, 982, 2, 756, 491},
        {450, 296, 184, 1, 296, 184},  {450, 1000, 1349, 2, 500, 675}, {450, 1, 1, 1, 1, 1},
        {450, 3, 449, 1, 3, 449},      {270, 1920, 1080, 4, 480, 270},
    };
    for (const Sizing& c : cases) {
        RecordingPlatform p;
        TestView view = framed(p, {c.width, c.height});
        view.rows = c.rows;
        view.drawRect();
        ASSERT_NE(view.canvas(), nullptr);
        EXPECT_EQ(view.pixelScale(), c.scale) << c.width << "x" << c.height;
        EXPECT_EQ(view.canvas()->width, c.w);
        EXPECT_EQ(view.canvas()->height, c.h);
        ASSERT_NE(view.counting(), nullptr);
        EXPECT_EQ(view.counting()->width, c.w);
        EXPECT_EQ(view.counting()->height, c.h);
        EXPECT_EQ(view.counting()->seed, 0x1234u);
    }
}

TEST(PixelSaverView, NonsenseRowCountFallsBackToScaleOne) {
    RecordingPlatform p;
    TestView view = framed(p, {300, 200});
    view.rows = 0.0;  // 200 / 0 is infinite, 0 / 0 would be NaN
    view.drawRect();
    EXPECT_GE(view.pixelScale(), 1.0);
    RecordingPlatform q;
    TestView nan = framed(q, {300, 200});
    nan.rows = std::nan("");
    nan.drawRect();
    EXPECT_EQ(nan.pixelScale(), 1.0);
    EXPECT_EQ(nan.canvas()->height, 200);
}

TEST(PixelSaverView, SameSizeKeepsTheSceneAndResizeRestartsIt) {
    RecordingPlatform p;
    p.seeds = {11, 22};
    TestView view = framed(p, {1440, 900});
    view.drawRect();
    view.animateOneFrame();
    view.drawRect();
    EXPECT_EQ(view.scenesMade, 1);
    EXPECT_EQ(view.counting()->steps, 1);
    EXPECT_EQ(view.counting()->draws, 2);

    p.viewBounds = {1441, 900};  // ceil(1441 / 2) = 721: another canvas
    view.drawRect();
    EXPECT_EQ(view.scenesMade, 2);
    EXPECT_EQ(view.canvas()->width, 721);
    EXPECT_EQ(view.counting()->seed, 22u);
    EXPECT_EQ(view.counting()->steps, 0);

    p.viewBounds = {1442, 901};  // ceil(901 / 2) = 451 rows: another canvas
    view.drawRect();
    EXPECT_EQ(view.scenesMade, 3);
    p.viewBounds = {1441.5, 901.5};  // same canvas, nothing changes
    view.drawRect();
    EXPECT_EQ(view.scenesMade, 3);
}

TEST(PixelSaverView, SameCanvasAtAnotherScaleFillsTheView) {
    RecordingPlatform p;
    TestView view = framed(p, {1440, 900});
    view.drawRect();
    p.viewBounds = {2160, 1350};  // 720 x 450 again, now at scale 3
    view.drawRect();
    EXPECT_EQ(view.scenesMade, 1);
    EXPECT_EQ(view.pixelScale(), 3.0);
    ASSERT_EQ(p.images.size(), 2u);
    EXPECT_EQ(p.images[1].rect.width, 2160);
    EXPECT_EQ(p.images[1].rect.height, 1350);
}

TEST(PixelSaverView, PresentationFillsDrawsAndLaysScanlines) {
    RecordingPlatform p;
    TestView view = framed(p, {1440, 900});
    view.animateOneFrame();
    view.drawRect();
    ASSERT_EQ(p.images.size(), 1u);
    const auto& image = p.images[0];
    EXPECT_EQ(image.width, 720);
    EXPECT_EQ(image.height, 450);
    EXPECT_TRUE(image.interpolationOff);
    EXPECT_EQ(image.rect.x, 0);
    EXPECT_EQ(image.rect.y, 0);
    EXPECT_EQ(image.rect.width, 1440);
    EXPECT_EQ(image.rect.height, 900);
    EXPECT_EQ(image.pixels[0], 0xFF000000u);  // the tick came before the scene existed

    ASSERT_EQ(p.fills.size(), 451u);
    EXPECT_EQ(p.fills[0].gray, 0.0);
    EXPECT_EQ(p.fills[0].alpha, 1.0);
    EXPECT_EQ(p.fills[0].rect.width, 1440);
    EXPECT_EQ(p.fills[0].rect.height, 900);
    for (size_t r = 0; r < 450; ++r) {
        const auto& f = p.fills[r + 1];
        EXPECT_EQ(f.alpha, 0.25);
        EXPECT_EQ(f.gray, 0.0);
        EXPECT_EQ(f.rect.x, 0);
        EXPECT_EQ(f.rect.y, 2.0 * static_cast<double>(r));
        EXPECT_EQ(f.rect.width, 1440);
        EXPECT_EQ(f.rect.height, 0.5);
    }
}

TEST(PixelSaverView, ScanlineHeightFollowsTheScale) {
    struct Case {
        double height;
        size_t strips;
        double lineHeight;
    };
    // targetRows 450: 449 points give scale 1 (no strips), 1350 scale 3, 1800 scale 4.
    for (const Case& c : {Case{449, 0, 0}, Case{1350, 450, 1.0}, Case{1800, 450, 1.0}}) {
        RecordingPlatform p;
        TestView view = framed(p, {100, c.height});
        view.drawRect();
        ASSERT_EQ(p.fills.size(), 1 + c.strips) << c.height;
        if (c.strips) {
            EXPECT_EQ(p.fills.back().rect.height, c.lineHeight);
        }
        EXPECT_EQ(p.images.size(), 1u);
    }
}

TEST(PixelSaverView, ImageIsASnapshotOfTheCanvas) {
    RecordingPlatform p;
    TestView view = framed(p, {10, 10});
    view.drawRect();
    view.animateOneFrame();
    view.drawRect();
    ASSERT_EQ(p.images.size(), 2u);
    EXPECT_EQ(p.images[0].pixels[0], 0xFF000000u);
    EXPECT_EQ(p.images[1].pixels[0], 0xFF000001u);
}

TEST(PixelSaverView, EarlyEndsStillPaintBlackWhereThereIsAContext) {
    {
        RecordingPlatform p;
        p.graphicsContext = false;
        TestView view = framed(p, {100, 100});
        view.drawRect();
        EXPECT_TRUE(p.fills.empty());
        EXPECT_EQ(view.scene(), nullptr);
    }
    for (ViewSize tiny : {ViewSize{0.5, 100}, ViewSize{100, 0.9}, ViewSize{0, 0}}) {
        RecordingPlatform p;
        TestView view = framed(p, tiny);
        view.drawRect();
        EXPECT_EQ(p.fills.size(), 1u);
        EXPECT_EQ(view.scene(), nullptr);
        EXPECT_EQ(p.seedsDrawn, 0);
    }
    {
        RecordingPlatform p;
        p.imagesFail = true;
        TestView view = framed(p, {900, 900});
        view.drawRect();
        EXPECT_EQ(view.counting()->draws, 1);
        EXPECT_EQ(p.fills.size(), 1u);  // no image, so no scanlines either
        EXPECT_TRUE(p.images.empty());
    }
}

TEST(PixelSaverViewDeathTest, BaseViewHasNoScene) {
    RecordingPlatform p;
    p.viewBounds = {100, 100};
    PixelSaverView view(p, PixelSaverView::FromFrame{});
    EXPECT_DEATH(view.drawRect(), "subclass must override makeScene");
}

}  // namespace
}  // namespace duskmere
