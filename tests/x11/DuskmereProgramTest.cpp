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

TEST_F(DuskmereProgram, StopSignalsEndItWithStatusZero) {
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        ChildProcess child({duskmereProgram, "-fps"}, env());
        std::this_thread::sleep_for(1200ms);
        ASSERT_TRUE(child.running()) << child.errorText();
        child.signal(sig);
        EXPECT_EQ(describeStatus(child.finish(5000)), "exit 0") << "signal " << sig << ": " << child.errorText();
        // -fps reported the rate about once a second.
        EXPECT_NE(child.errorText().find(" fps, "), std::string::npos) << child.errorText();
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

long countLines(const std::string& text, const std::string& what) {
    long n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
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
    std::this_thread::sleep_for(1500ms);
    ASSERT_GE(countLines(child.errorText(), " fps, "), 1) << child.errorText();

    auto expectIdle = [&](const char* state) {
        std::this_thread::sleep_for(300ms);
        const long reports = countLines(child.errorText(), " fps, ");
        const long before = cpuTicks(child.pid());
        std::this_thread::sleep_for(1500ms);
        EXPECT_EQ(countLines(child.errorText(), " fps, "), reports) << "frames shown while " << state;
        EXPECT_LE(cpuTicks(child.pid()) - before, 2) << "CPU used while " << state;
    };
    auto expectRunning = [&](const char* state) {
        const long reports = countLines(child.errorText(), " fps, ");
        std::this_thread::sleep_for(1500ms);
        EXPECT_GT(countLines(child.errorText(), " fps, "), reports) << "no frames after " << state;
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
