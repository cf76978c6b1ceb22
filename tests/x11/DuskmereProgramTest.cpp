// The duskmere program as a screen-saver host and a user run it, under a private Xvfb.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "X11TestSupport.h"
#include "catalog/SceneCatalog.h"

namespace duskmere::testing {
namespace {

using namespace std::chrono_literals;

class DuskmereProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.running());
        ASSERT_NE(client.display(), nullptr);
    }
    std::map<std::string, std::string> env() const { return {{"DISPLAY", server.name()}, {"XSCREENSAVER_WINDOW", ""}}; }

    // Captures `frames` frames of duskmere with `args` and the renderer's picture of the same.
    void expectSameAsRenderer(std::vector<std::string> args, const std::string& bounds, const std::string& scene,
                              uint64_t seed, int frames, std::map<std::string, std::string> extraEnv = {}) {
        const std::string captured = scratch.file("captured.png"), rendered = scratch.file("rendered.png");
        std::vector<std::string> run = {duskmereProgram, "--scene", scene, "--seed", std::to_string(seed),
                                        "--frames", std::to_string(frames), "--capture", captured};
        run.insert(run.end(), args.begin(), args.end());
        std::map<std::string, std::string> e = env();
        for (const auto& [k, v] : extraEnv) e[k] = v;
        std::string errors;
        const int status = runToEnd(run, e, 20000, &errors);
        ASSERT_EQ(describeStatus(status), "exit 0") << errors;
        const int renderStatus = runToEnd({renderProgram, "--scene", scene, "--bounds", bounds, "--seed",
                                           std::to_string(seed), "--frames", std::to_string(frames), "--out", rendered},
                                          {}, 60000, &errors);
        ASSERT_EQ(describeStatus(renderStatus), "exit 0") << errors;
        std::string why;
        EXPECT_TRUE(samePngPictures(captured, rendered, why)) << why;
    }

    XvfbServer server{1280, 1024};
    TestClient client{server.name()};
    ScratchFolder scratch;
};

TEST_F(DuskmereProgram, ItsOwnWindowShowsWhatTheRendererDraws) {
    // A 1280 x 1024 screen: our window is 1280 x 800, one canvas pixel per point.
    expectSameAsRenderer({}, "1280x800", "city", 11, 12);
}

TEST_F(DuskmereProgram, AForeignWindowShowsWhatTheRendererDraws) {
    // 950 rows: canvas pixels of 2 x 2 with scanlines, and half a canvas row cut at the top.
    const Window w = client.makeWindow(1001, 951);
    expectSameAsRenderer({"-window-id", hexId(w)}, "1001x951", "city", 0x5eed, 15);
    // Backing scale 2: a window of 1000 x 950 pixels is a view of 500 x 475 points.
    const Window retina = client.makeWindow(1000, 950);
    expectSameAsRenderer({"--window-id", std::to_string(retina), "--backing-scale", "2"}, "500x475@2", "city", 3, 4);
}

TEST_F(DuskmereProgram, EveryScene) {
    const Window w = client.makeWindow(640, 480);
    for (const SceneEntry& entry : sceneCatalog())
        expectSameAsRenderer({"-window-id", hexId(w)}, "640x480", std::string(entry.name), 77, 10);
}

TEST_F(DuskmereProgram, RootDrawsIntoTheHostsWindowOrTheRootWindow) {
    const Window w = client.makeWindow(333, 222);
    expectSameAsRenderer({"-root"}, "333x222", "city", 5, 3, {{"XSCREENSAVER_WINDOW", hexId(w)}});
    expectSameAsRenderer({"-root"}, "333x222", "city", 5, 3, {{"XSCREENSAVER_WINDOW", std::to_string(w)}});
    XDestroyWindow(client.display(), w);
    client.sync();
    expectSameAsRenderer({"-root"}, "1280x1024", "city", 6, 2);
}

TEST_F(DuskmereProgram, WindowsPartlyOffTheScreenOrLargerThanItAreCapturedWhole) {
    const Window half = client.makeWindow(640, 480);
    XMoveWindow(client.display(), half, 960, 800);  // half of it beyond the right and bottom edges
    client.sync();
    expectSameAsRenderer({"-window-id", hexId(half)}, "640x480", "city", 8, 5);
    const Window big = client.makeWindow(1400, 1100);
    expectSameAsRenderer({"-window-id", hexId(big)}, "1400x1100", "city", 8, 2);
}

TEST_F(DuskmereProgram, EveryVisualAndWayToTheServerCapturesWhatTheRendererDraws) {
    // Shared memory refused (as over ssh -X), 16 bits, colour-mapped 8 bits, 30 bits.
    const std::pair<int, std::vector<std::string>> servers[] = {
        {24, {"-extension", "MIT-SHM"}}, {16, {}}, {8, {}}, {30, {}}};
    for (const auto& [depth, options] : servers) {
        XvfbServer other(640, 480, depth, options);
        ASSERT_TRUE(other.running());
        SCOPED_TRACE("depth " + std::to_string(depth));
        expectSameAsRenderer({"-root"}, "640x480", "campfire", 12, 8, {{"DISPLAY", other.name()}});
    }
}

TEST_F(DuskmereProgram, AStopSignalLeavesTheCaptureOfTheLastFrameShown) {
    const Window w = client.makeWindow(320, 240);
    const std::string captured = scratch.file("captured.png");
    // As XScreenSaver runs it: the capture is written, then it ends by the daemon's SIGTERM, which
    // the daemon counts as a normal end (an exit of its own would be logged as a crash).
    std::map<std::string, std::string> hosted = env();
    hosted["XSCREENSAVER_WINDOW"] = hexId(w);
    ChildProcess child({duskmereProgram, "-root", "--seed", "21", "--capture", captured}, hosted);
    std::this_thread::sleep_for(700ms);
    child.signal(SIGTERM);
    ASSERT_EQ(describeStatus(child.finish(5000)), "signal 15") << child.errorText();
    // Some frame between the first and the 90th (three seconds' worth) is the one it showed last.
    std::string errors;
    const int status = runToEnd({renderProgram, "--bounds", "320x240", "--seed", "21", "--frames", "90", "--every", "1",
                                 "--out", scratch.file("f-%02d.png")},
                                {}, 60000, &errors);
    ASSERT_EQ(describeStatus(status), "exit 0") << errors;
    int shown = -1;
    std::string why;
    for (int f = 0; f <= 90 && shown < 0; ++f) {
        char name[16];
        std::snprintf(name, sizeof name, "f-%02d.png", f);
        if (samePngPictures(captured, scratch.file(name), why)) shown = f;
    }
    EXPECT_GE(shown, 0) << "the capture is none of the rendered frames: " << why;
}

TEST_F(DuskmereProgram, FpsShowsItsFiguresInTheLowerLeftCornerOnly) {
    const Window w = client.makeWindow(640, 480);
    const std::string captured = scratch.file("fps.png"), rendered = scratch.file("rendered.png");
    std::string errors;
    int status = runToEnd({duskmereProgram, "-window-id", hexId(w), "--seed", "5", "--frames", "40", "-fps", "--capture",
                           captured},
                          env(), 20000, &errors);
    ASSERT_EQ(describeStatus(status), "exit 0") << errors;
    status = runToEnd({renderProgram, "--bounds", "640x480", "--seed", "5", "--frames", "40", "--out", rendered}, {}, 60000,
                      &errors);
    ASSERT_EQ(describeStatus(status), "exit 0") << errors;
    const DifferenceBox box = differenceBox(captured, rendered);
    ASSERT_FALSE(box.empty()) << "no figures in the capture";
    // Two short lines of text at the left edge, at the bottom, and nothing else changed.
    EXPECT_LT(box.x0, 16);
    EXPECT_LT(box.x1, 160);
    EXPECT_GT(box.y0, 420);
    EXPECT_GT(box.y1, 460);
}

TEST_F(DuskmereProgram, VersionAndAnUnwritableCapture) {
    std::string out = scratch.file("out.txt"), errors;
    int status = runToEnd({"/bin/sh", "-c", duskmereProgram + " --version > " + out}, env(), 5000, &errors);
    EXPECT_EQ(describeStatus(status), "exit 0");
    char line[64] = "";
    FILE* f = std::fopen(out.c_str(), "r");
    ASSERT_NE(f, nullptr);
    EXPECT_NE(std::fgets(line, sizeof line, f), nullptr);
    std::fclose(f);
    EXPECT_EQ(std::string(line), "duskmere 1.0.0\n");
    // Known before anything is shown: a bad argument.
    status = runToEnd({duskmereProgram, "--capture", "/nonexistent-folder/x.png"}, env(), 5000, &errors);
    EXPECT_EQ(describeStatus(status), "exit 2") << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
}

TEST_F(DuskmereProgram, AWindowInAHiddenParentStartsWhenTheParentIsShown) {
    // A preview pane whose dialog is not shown yet: the window is mapped, its parent is not.
    const Window parent = client.makeWindow(400, 300, false);
    const Window pane = XCreateSimpleWindow(client.display(), parent, 0, 0, 400, 300, 0, 0, 0);
    XMapWindow(client.display(), pane);
    client.sync();
    ChildProcess child({duskmereProgram, "-window-id", hexId(pane), "--frames", "3"}, env());
    std::this_thread::sleep_for(800ms);
    ASSERT_TRUE(child.running()) << "ran its frames while it could not be seen";
    XMapWindow(client.display(), parent);
    client.sync();
    EXPECT_EQ(describeStatus(child.finish(3000)), "exit 0") << child.errorText();
}

long countLines(const std::string& text, const std::string& what) {
    long n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Waits until the program has written more than `count` frame-rate reports (one a second of
// frames shown, later on a loaded machine); false if it has not in a generous while.
bool moreReportsThan(ChildProcess& child, long count) {
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (countLines(child.errorText(), " fps, ") <= count) {
        if (!child.running() || std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

TEST_F(DuskmereProgram, StopSignalsEndItWithStatusZero) {
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        ChildProcess child({duskmereProgram, "-fps"}, env());
        // Running, as its first frame-rate report says; then stop it.
        EXPECT_TRUE(moreReportsThan(child, 0)) << child.errorText();
        ASSERT_TRUE(child.running()) << child.errorText();
        child.signal(sig);
        EXPECT_EQ(describeStatus(child.finish(5000)), "exit 0") << "signal " << sig << ": " << child.errorText();
    }
}

TEST_F(DuskmereProgram, BadOptionsAreOneLineAndStatusTwo) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-bogus"}, {"--seed", "twelve"}, {"-window-id"}, {"--frames", "-3"},
          {"--scene", "ocean"}, {"-delay", "soon"}, {"extra"}}) {
        std::string errors;
        const int status = runToEnd([&] {
            std::vector<std::string> run{duskmereProgram};
            run.insert(run.end(), args.begin(), args.end());
            return run;
        }(), env(), 10000, &errors);
        EXPECT_EQ(describeStatus(status), "exit 2") << args[0];
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_EQ(errors.rfind("duskmere: ", 0), 0u) << errors;
    }
}

TEST_F(DuskmereProgram, AMissingWindowIsOneLineAndStatusOne) {
    std::string errors;
    const int status = runToEnd({duskmereProgram, "-window-id", "0x1fffff0"}, env(), 10000, &errors);
    EXPECT_EQ(describeStatus(status), "exit 1");
    EXPECT_EQ(errors, "duskmere: there is no window 0x1fffff0 on display " + server.name() + "\n");
}

// CPU time (user + system, in clock ticks) that the process has used so far.
long cpuTicks(pid_t pid) {
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!f) return -1;
    char text[1024] = "";
    const size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    text[n] = 0;
    const char* p = std::strrchr(text, ')');
    long utime = 0, stime = 0;
    if (!p || std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld", &utime, &stime) != 2) return -1;
    return utime + stime;
}

TEST_F(DuskmereProgram, NothingRunsWhileTheWindowIsUnmapped) {
    const Window w = client.makeWindow(200, 150, false);
    ChildProcess hidden({duskmereProgram, "-window-id", hexId(w), "--frames", "3"}, env());
    std::this_thread::sleep_for(800ms);
    EXPECT_TRUE(hidden.running()) << "ran its frames in an unmapped window";
    XMapWindow(client.display(), w);
    client.sync();
    EXPECT_EQ(describeStatus(hidden.finish(5000)), "exit 0") << hidden.errorText();
}

TEST_F(DuskmereProgram, NothingRunsWhileTheWindowIsCoveredOrUnmapped) {
    const Window w = client.makeWindow(1280, 1000);
    ChildProcess child({duskmereProgram, "-window-id", hexId(w), "-fps"}, env());
    ASSERT_TRUE(moreReportsThan(child, 0)) << child.errorText();

    auto expectIdle = [&](const char* state) {
        std::this_thread::sleep_for(300ms);
        const long reports = countLines(child.errorText(), " fps, ");
        const long before = cpuTicks(child.pid());
        std::this_thread::sleep_for(1500ms);
        EXPECT_EQ(countLines(child.errorText(), " fps, "), reports) << "frames shown while " << state;
        EXPECT_LE(cpuTicks(child.pid()) - before, 2) << "CPU used while " << state;
    };
    // The meter starts afresh when frames are due again: a report a second later.
    auto expectRunning = [&](const char* state) {
        EXPECT_TRUE(moreReportsThan(child, countLines(child.errorText(), " fps, "))) << "no frames after " << state;
    };

    const Window cover = client.makeWindow(1280, 1024);
    expectIdle("covered");
    XUnmapWindow(client.display(), cover);
    client.sync();
    expectRunning("uncovering");
    XUnmapWindow(client.display(), w);
    client.sync();
    expectIdle("unmapped");
    XMapWindow(client.display(), w);
    client.sync();
    expectRunning("mapping again");
    child.signal(SIGTERM);
    EXPECT_EQ(describeStatus(child.finish(5000)), "exit 0") << child.errorText();
}

TEST_F(DuskmereProgram, QClosesItsOwnWindow) {
    ChildProcess child({duskmereProgram}, env());
    // Wait for the window to appear, then type q into it.
    std::string found;
    for (int i = 0; i < 100 && found.empty(); ++i) {
        std::this_thread::sleep_for(50ms);
        const std::string list = scratch.file("windows.txt");
        runToEnd({"/bin/sh", "-c", "xdotool search --name '^Duskmere$' > " + list}, env(), 5000);
        FILE* f = std::fopen(list.c_str(), "r");
        char line[64] = "";
        if (f && std::fgets(line, sizeof line, f)) found = line;
        if (f) std::fclose(f);
    }
    ASSERT_FALSE(found.empty()) << "no window titled Duskmere";
    found.erase(found.find_last_not_of("\n") + 1);
    runToEnd({"/bin/sh", "-c", "xdotool key --window " + found + " q"}, env(), 5000);
    EXPECT_EQ(describeStatus(child.finish(5000)), "exit 0") << child.errorText();
}

}  // namespace
}  // namespace duskmere::testing
