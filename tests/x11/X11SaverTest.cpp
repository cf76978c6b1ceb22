// The saver loop driven step by step in this process, so that ticks and resizes happen exactly
// when the test says.

// gtest first: Xlib's macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include "X11Saver.h"

#include <X11/Xutil.h>

#include "WindowCapture.h"
#include "X11TestSupport.h"
#include "XErrorTrap.h"
#include "catalog/SceneCatalog.h"
#include "support/QuietPresenter.h"

namespace duskmere::testing {
namespace {

// The picture after the first redraw and `frames` ticks at a size.
Picture reference(int width, int height, uint64_t seed, int frames, const char* scene = "city") {
    QuietPresenter platform(1.0, seed);
    platform.setBounds({static_cast<double>(width), static_cast<double>(height)});
    const auto view = findScene(scene)->makeView(platform);
    view->drawRect();
    platform.finishRedraw();
    for (int f = 0; f < frames; ++f) {
        view->animateOneFrame();
        view->drawRect();
        platform.finishRedraw();
    }
    Picture p;
    p.width = platform.deviceWidth();
    p.height = platform.deviceHeight();
    p.pixels.assign(platform.devicePixels(), platform.devicePixels() + static_cast<size_t>(p.width) * p.height);
    return p;
}

// The servers the window is tested on: the usual one (shared memory), one without the extension
// (as over ssh -X), one that cannot attach our segment (its own IPC namespace, as in another
// container), 16 bits a pixel (colours keep 5 or 6 bits of the 8), 30 bits, and 8 bits through a
// colour map (Xvfb keeps 64 of its cells, which leaves room for 5 levels of each primary).
struct Server {
    const char* name;
    int depth;
    std::vector<std::string> options;
    std::vector<std::string> wrapper;
    bool sharedMemory;
    int tolerance;  // of each colour channel read back
};

const Server servers[] = {
    {"SharedMemory", 24, {}, {}, true, 0},
    {"NoSharedMemory", 24, {"-extension", "MIT-SHM"}, {}, false, 0},
    {"SharedMemoryRefused", 24, {}, {"unshare", "--ipc"}, false, 0},
    {"Depth16", 16, {}, {}, false, 7},
    {"Depth30", 30, {}, {}, true, 0},
    {"Depth8", 8, {}, {}, false, 32},
};

class X11SaverLoop : public ::testing::TestWithParam<Server> {
protected:
    void SetUp() override {
        if (!server.running() && !GetParam().wrapper.empty())
            GTEST_SKIP() << "this machine does not let Xvfb run in an IPC namespace of its own";
        ASSERT_TRUE(server.running());
        display = XOpenDisplay(server.name().c_str());
        ASSERT_NE(display, nullptr);
        XErrorTrap::install();
    }
    void TearDown() override {
        saver.reset();
        if (display) XCloseDisplay(display);
    }
    void start(Window w, const char* scene = "city") {
        options.target = HackOptions::Target::windowId;
        options.windowId = w;
        options.seed = 9;
        std::string error;
        const auto target = findTargetWindow(display, options, error);
        ASSERT_TRUE(target) << error;
        saver = std::make_unique<X11Saver>(display, *target, options, *findScene(scene));
        saver->handlePendingEvents();
        saver->redrawIfNeeded();
        XSync(display, False);
    }
    // Runs n frames; how many of them the server moved part of the window for.
    int frames(int n) {
        int shifts = 0;
        for (int i = 0; i < n; ++i) {
            saver->handlePendingEvents();
            saver->tick();
            saver->redrawIfNeeded();
            // The saver's own loop waits for its fence: the server has read the frame before the
            // next one is written over it.
            XSync(display, False);
            shifts += saver->platform().shift().has_value();
        }
        return shifts;
    }
    // Whether the window shows the picture, within what the visual keeps of its colours.
    ::testing::AssertionResult shows(Window w, const Picture& expected) {
        std::string why;
        if (samePictures(captureWindow(display, w, expected.width, expected.height), expected, why,
                         GetParam().tolerance))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << why;
    }

    XvfbServer server{1280, 1024, GetParam().depth, GetParam().options, GetParam().wrapper};
    TestClient client{server.name()};
    Display* display = nullptr;
    HackOptions options;
    std::unique_ptr<X11Saver> saver;
};

TEST_P(X11SaverLoop, EachTickStepsOnceAndTheWindowShowsTheFrame) {
    const Window w = client.makeWindow(400, 300);
    start(w);
    frames(7);
    EXPECT_EQ(saver->ticks(), 7);
    EXPECT_TRUE(shows(w, reference(400, 300, 9, 7)));
    EXPECT_EQ(saver->platform().windowImage().sharedMemory(), GetParam().sharedMemory);
}

TEST_P(X11SaverLoop, AResizeRestartsTheSceneAtTheNewSize) {
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
    EXPECT_TRUE(shows(w, reference(700, 920, 9, 3)));
    EXPECT_FALSE(shows(w, reference(700, 920, 9, 8)));
}

TEST_P(X11SaverLoop, AnExposeRepaintsTheWholeWindow) {
    const Window w = client.makeWindow(320, 240);
    start(w);
    frames(4);
    // Something else paints over the window's contents; the server tells us with an Expose.
    XSetWindowBackground(client.display(), w, 0xFFFFFF);
    XClearArea(client.display(), w, 0, 0, 0, 0, True);
    client.sync();
    saver->handlePendingEvents();
    saver->redrawIfNeeded();
    EXPECT_TRUE(shows(w, reference(320, 240, 9, 4)));
}

TEST_P(X11SaverLoop, TheForestsScrollsAreMovedOnTheWindow) {
    const Window w = client.makeWindow(640, 480);
    start(w, "campfire");
    EXPECT_GE(frames(14), 2);
    EXPECT_TRUE(shows(w, reference(640, 480, 9, 14, "campfire")));
}

TEST_P(X11SaverLoop, AWindowWithAlphaIsPaintedOpaque) {
    // A 32-bit window (a compositing desktop's ARGB visual) shows through where alpha stays 0.
    XVisualInfo info{};
    if (!XMatchVisualInfo(client.display(), DefaultScreen(client.display()), 32, TrueColor, &info))
        GTEST_SKIP() << "no 32-bit visual on this server";
    XSetWindowAttributes a{};
    a.colormap = XCreateColormap(client.display(), DefaultRootWindow(client.display()), info.visual, AllocNone);
    const Window w = XCreateWindow(client.display(), DefaultRootWindow(client.display()), 0, 0, 64, 48, 0, 32,
                                   InputOutput, info.visual, CWColormap | CWBorderPixel, &a);
    XMapRaised(client.display(), w);
    client.sync();
    start(w);
    frames(2);
    XImage* image = XGetImage(display, w, 0, 0, 64, 48, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    const unsigned long alpha = 0xFFFFFFFFul & ~(info.red_mask | info.green_mask | info.blue_mask);
    EXPECT_EQ(XGetPixel(image, 10, 40) & alpha, alpha);
    XDestroyImage(image);
    EXPECT_TRUE(shows(w, reference(64, 48, 9, 2)));
}

TEST_P(X11SaverLoop, ShorterFpsFiguresLeaveNoGlyphOfTheLongerOnes) {
    const Window w = client.makeWindow(400, 300);
    options.fps = true;
    start(w);
    saver->setFigures(10.2, 10.2);
    frames(1);
    saver->setFigures(9.8, 9.8);  // a glyph shorter
    frames(1);
    Picture shown;
    shown.pixels = saver->picture(shown.width, shown.height);
    EXPECT_TRUE(shows(w, shown));
}

TEST_P(X11SaverLoop, TinyWindows) {
    const Window w = client.makeWindow(1, 1);
    start(w);
    frames(30);
    EXPECT_TRUE(shows(w, reference(1, 1, 9, 30)));
    XResizeWindow(client.display(), w, 2, 1);
    client.sync();
    frames(5);
    EXPECT_EQ(saver->view().canvas()->width, 2);
    EXPECT_EQ(saver->stopStatus(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Servers, X11SaverLoop, ::testing::ValuesIn(servers),
                         [](const ::testing::TestParamInfo<Server>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace duskmere::testing
