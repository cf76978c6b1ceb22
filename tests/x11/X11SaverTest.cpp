// The saver loop driven step by step in this process, so that ticks and resizes happen exactly
// when the test says.

// gtest first: Xlib's macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include "X11Saver.h"

#include "WindowCapture.h"
#include "X11TestSupport.h"
#include "XErrorTrap.h"
#include "catalog/SceneCatalog.h"

namespace duskmere::testing {
namespace {

// The picture CairoSaverPlatform gives after the first redraw and `frames` ticks at a size.
CairoSurface reference(int width, int height, uint64_t seed, int frames) {
    CairoSaverPlatform platform;
    platform.setBounds({static_cast<double>(width), static_cast<double>(height)});
    platform.fixSeed(seed);
    const auto view = findScene("city")->makeView(platform);
    view->drawRect();
    for (int f = 0; f < frames; ++f) {
        view->animateOneFrame();
        view->drawRect();
    }
    const cairo_surface_t* s = platform.surface();
    return CairoSurface(cairo_surface_reference(const_cast<cairo_surface_t*>(s)));
}

bool samePictures(cairo_surface_t* a, cairo_surface_t* b) {
    const int w = cairo_image_surface_get_width(a), h = cairo_image_surface_get_height(a);
    if (w != cairo_image_surface_get_width(b) || h != cairo_image_surface_get_height(b)) return false;
    for (int y = 0; y < h; ++y) {
        const auto* ra = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(a) + y * cairo_image_surface_get_stride(a));
        const auto* rb = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(b) + y * cairo_image_surface_get_stride(b));
        for (int x = 0; x < w; ++x)
            if ((ra[x] & 0xFFFFFFu) != (rb[x] & 0xFFFFFFu)) return false;
    }
    return true;
}

class X11SaverLoop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.running());
        display = XOpenDisplay(server.name().c_str());
        ASSERT_NE(display, nullptr);
        XErrorTrap::install();
    }
    void TearDown() override {
        saver.reset();
        if (display) XCloseDisplay(display);
    }
    void start(Window w) {
        options.target = HackOptions::Target::windowId;
        options.windowId = w;
        options.seed = 9;
        std::string error;
        const auto target = findTargetWindow(display, options, error);
        ASSERT_TRUE(target) << error;
        saver = std::make_unique<X11Saver>(display, *target, options, *findScene("city"));
        saver->handlePendingEvents();
        saver->redrawIfNeeded();
    }
    void frames(int n) {
        for (int i = 0; i < n; ++i) {
            saver->handlePendingEvents();
            saver->tick();
            saver->redrawIfNeeded();
        }
    }
    CairoSurface shown(Window w, int width, int height) { return captureWindow(display, w, width, height); }

    XvfbServer server{1280, 1024};
    TestClient client{server.name()};
    Display* display = nullptr;
    HackOptions options;
    std::unique_ptr<X11Saver> saver;
};

TEST_F(X11SaverLoop, EachTickStepsOnceAndTheWindowShowsTheFrame) {
    const Window w = client.makeWindow(400, 300);
    start(w);
    frames(7);
    EXPECT_EQ(saver->ticks(), 7);
    const CairoSurface got = shown(w, 400, 300);
    ASSERT_TRUE(got);
    EXPECT_TRUE(samePictures(got.get(), reference(400, 300, 9, 7).get()));
}

TEST_F(X11SaverLoop, AResizeRestartsTheSceneAtTheNewSize) {
    const Window w = client.makeWindow(400, 300);
    start(w);
    frames(5);
    const Canvas* before = saver->view().canvas();
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(before->width, 400);

    XResizeWindow(client.display(), w, 700, 920);  // 920 points: two device pixels per canvas pixel
    client.sync();
    saver->handlePendingEvents();
    saver->redrawIfNeeded();  // the redraw after the resize builds the new scene
    frames(3);
    ASSERT_NE(saver->view().canvas(), nullptr);
    EXPECT_EQ(saver->view().canvas()->width, 350);
    EXPECT_EQ(saver->view().canvas()->height, 460);
    EXPECT_EQ(saver->view().pixelScale(), 2.0);
    // The new scene began from the same fixed seed, three ticks ago.
    const CairoSurface got = shown(w, 700, 920);
    ASSERT_TRUE(got);
    EXPECT_TRUE(samePictures(got.get(), reference(700, 920, 9, 3).get()));
    EXPECT_FALSE(samePictures(got.get(), reference(700, 920, 9, 8).get()));
}

TEST_F(X11SaverLoop, AnExposeRepaintsTheWholeWindow) {
    const Window w = client.makeWindow(320, 240);
    start(w);
    frames(4);
    // Something else paints over the window's contents; the server tells us with an Expose.
    XSetWindowBackground(client.display(), w, 0xFFFFFF);
    XClearArea(client.display(), w, 0, 0, 0, 0, True);
    client.sync();
    saver->handlePendingEvents();
    saver->redrawIfNeeded();
    const CairoSurface got = shown(w, 320, 240);
    ASSERT_TRUE(got);
    EXPECT_TRUE(samePictures(got.get(), reference(320, 240, 9, 4).get()));
}

TEST_F(X11SaverLoop, TinyWindows) {
    const Window w = client.makeWindow(1, 1);
    start(w);
    frames(30);
    const CairoSurface got = shown(w, 1, 1);
    ASSERT_TRUE(got);
    EXPECT_TRUE(samePictures(got.get(), reference(1, 1, 9, 30).get()));
    XResizeWindow(client.display(), w, 2, 1);
    client.sync();
    frames(5);
    EXPECT_EQ(saver->view().canvas()->width, 2);
    EXPECT_EQ(saver->stopStatus(), std::nullopt);
}

}  // namespace
}  // namespace duskmere::testing
