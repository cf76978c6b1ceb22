// What screen-saver hosts and desktops do to a running saver: windows vanish, servers die,
// signals arrive at any moment, windows shrink to nothing or change size all the time.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <thread>

#include "X11TestSupport.h"

namespace duskmere::testing {
namespace {

using namespace std::chrono_literals;

// Whether the process has installed its own handler for `sig` (so main() has begun).
bool catches(pid_t pid, int sig) {
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!f) return false;
    char line[256];
    unsigned long long mask = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "SigCgt: %llx", &mask) == 1) break;
    std::fclose(f);
    return (mask >> (sig - 1)) & 1;
}

class DuskmereRobustness : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.running());
        ASSERT_NE(client.display(), nullptr);
    }
    std::map<std::string, std::string> env() const { return {{"DISPLAY", server.name()}, {"XSCREENSAVER_WINDOW", ""}}; }

    // Whether some client (the program) listens for the window's structure events.
    bool adopted(Window w) {
        XWindowAttributes a{};
        return XGetWindowAttributes(client.display(), w, &a) && (a.all_event_masks & StructureNotifyMask);
    }

    XvfbServer server{1024, 768};
    TestClient client{server.name()};
    ScratchFolder scratch;
};

TEST_F(DuskmereRobustness, TheWindowDestroyedByItsOwnerEndsItQuietly) {
    for (const auto wait : {50ms, 180ms, 400ms}) {
        const Window w = client.makeWindow(640, 480);
        ChildProcess child({duskmereProgram, "-window-id", hexId(w)}, env());
        // From the moment it has adopted the window (before that, a missing window is an error).
        for (int t = 0; t < 500 && !adopted(w); ++t) std::this_thread::sleep_for(2ms);
        std::this_thread::sleep_for(wait);
        XDestroyWindow(client.display(), w);
        client.sync();
        EXPECT_EQ(describeStatus(child.finish(5000)), "exit 0") << "after " << wait.count() << " ms";
        EXPECT_EQ(child.errorText(), "");
    }
}

TEST_F(DuskmereRobustness, TheServerGoingAwayIsOneLineAndAFailureStatus) {
    XvfbServer doomed(640, 480);
    ASSERT_TRUE(doomed.running());
    ChildProcess child({duskmereProgram}, {{"DISPLAY", doomed.name()}, {"XSCREENSAVER_WINDOW", ""}});
    std::this_thread::sleep_for(600ms);
    ASSERT_TRUE(child.running()) << child.errorText();
    doomed.kill();
    const int status = child.finish(5000);
    ASSERT_TRUE(WIFEXITED(status)) << describeStatus(status);  // not killed by a signal, no core
    EXPECT_NE(WEXITSTATUS(status), 0);
    const std::string errors = child.errorText();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_NE(errors.find("duskmere: lost the connection to the X server"), std::string::npos) << errors;
}

TEST_F(DuskmereRobustness, AStopSignalEndsItWhileTheServerIsStopped) {
    // A stalled ssh session or a server stopped by a debugger: nothing the program sends or asks
    // is answered any more.
    XvfbServer frozen(640, 480);
    ASSERT_TRUE(frozen.running());
    const std::string captured = scratch.file("frozen.png");
    ChildProcess child({duskmereProgram, "--capture", captured}, {{"DISPLAY", frozen.name()}, {"XSCREENSAVER_WINDOW", ""}});
    std::this_thread::sleep_for(1000ms);
    ASSERT_TRUE(child.running()) << child.errorText();
    ::kill(frozen.pid(), SIGSTOP);
    std::this_thread::sleep_for(300ms);
    child.signal(SIGTERM);
    // Nothing but the watchdog can end it while the server does not answer: it ends, or it hangs.
    const std::optional<int> status = child.wait(20000);
    ::kill(frozen.pid(), SIGCONT);
    ASSERT_TRUE(status) << "still running 20 s after SIGTERM";
    EXPECT_EQ(describeStatus(*status), "exit 0") << child.errorText();
    const Picture picture = readPng(captured);
    EXPECT_FALSE(picture.pixels.empty()) << "no capture";
    EXPECT_EQ(picture.width, 640);
}

TEST_F(DuskmereRobustness, StopSignalsAtAnyMomentEndItWithStatusZero) {
    std::mt19937 random(1234);
    const Window w = client.makeWindow(800, 600);
    int n = 0;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        for (int i = 0; i < 5; ++i, ++n) {
            // Half the runs draw into a window of their own, half into ours.
            std::vector<std::string> args = {duskmereProgram};
            if (n % 2) args.insert(args.end(), {"-window-id", hexId(w)});
            ChildProcess child(args, env());
            // From the moment the program can catch the signal: while it opens the display,
            // builds the scene, or runs. (Starting may take seconds on a loaded machine.)
            const auto deadline = std::chrono::steady_clock::now() + 10s;
            while (!catches(child.pid(), sig) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(1ms);
            ASSERT_TRUE(catches(child.pid(), sig)) << child.errorText();
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 250000));
            child.signal(sig);
            EXPECT_EQ(describeStatus(child.finish(5000)), "exit 0") << "signal " << sig << ", run " << i << ": "
                                                                      << child.errorText();
        }
    }
}

TEST_F(DuskmereRobustness, OnePixelAndEmptyViews) {
    const Window w = client.makeWindow(1, 1);
    const std::string captured = scratch.file("one.png"), rendered = scratch.file("render.png");
    std::string errors;
    int status = runToEnd({duskmereProgram, "-window-id", hexId(w), "--seed", "4", "--frames", "40", "--capture", captured},
                          env(), 10000, &errors);
    ASSERT_EQ(describeStatus(status), "exit 0") << errors;
    status = runToEnd({renderProgram, "--bounds", "1x1", "--seed", "4", "--frames", "40", "--out", rendered}, {}, 10000, &errors);
    ASSERT_EQ(describeStatus(status), "exit 0") << errors;
    std::string why;
    EXPECT_TRUE(samePngPictures(captured, rendered, why)) << why;

    // At backing scale 4 a one-pixel window is a view of a quarter point: too small for a canvas,
    // so it only shows black.
    status = runToEnd({duskmereProgram, "-window-id", hexId(w), "--backing-scale", "4", "--frames", "10", "--capture", captured},
                      env(), 10000, &errors);
    ASSERT_EQ(describeStatus(status), "exit 0") << errors;
    const Picture picture = readPng(captured);
    ASSERT_EQ(picture.pixels.size(), 1u);
    EXPECT_EQ(picture.pixels[0] & 0xFFFFFFu, 0u);
}

TEST_F(DuskmereRobustness, AWindowResizedEveryFrame) {
    const Window w = client.makeWindow(300, 200);
    ChildProcess child({duskmereProgram, "-window-id", hexId(w), "-fps"}, env());
    std::mt19937 random(99);
    const auto end = std::chrono::steady_clock::now() + 3s;
    int i = 0;
    while (std::chrono::steady_clock::now() < end) {
        // Mostly ordinary sizes, now and then a single pixel row or column.
        const unsigned width = i % 9 == 0 ? 1 : 1 + random() % 900;
        const unsigned height = i % 7 == 0 ? 1 : 1 + random() % 700;
        XResizeWindow(client.display(), w, width, height);
        client.sync();
        std::this_thread::sleep_for(33ms);
        ++i;
    }
    ASSERT_TRUE(child.running()) << child.errorText();
    child.signal(SIGTERM);
    EXPECT_EQ(describeStatus(child.finish(5000)), "exit 0");
    // Nothing but the frame-rate reports.
    std::string unexpected;
    std::istringstream lines(child.errorText());
    for (std::string line; std::getline(lines, line);)
        if (line.find(" fps, ") == std::string::npos) unexpected += line + "\n";
    EXPECT_EQ(unexpected, "");
}

// Kilobytes of address space the process holds now.
[[maybe_unused]] long long addressSpaceKb(pid_t pid) {  // unused where the sanitizer skips its test
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!f) return -1;
    char line[256];
    long long kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmSize: %lld kB", &kb) == 1) break;
    std::fclose(f);
    return kb;
}

TEST_F(DuskmereRobustness, WhatDoesNotFitIsOneLineAndStatusOne) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator ends the process instead of failing an allocation";
#else
    // Once the program has adopted its hidden window, its address space is limited to what it
    // holds and some room, counted in pictures of the window; then the window is shown. At 5600 x
    // 5600 a picture is 120 MB, and the image it is sent from as much again; 8000 x 8000 passes
    // the device budget, refused before anything is allocated.
    const struct {
        int side;
        double room;
        const char* error;
    } rows[] = {
        {5600, 0.5, "duskmere: cannot allocate a picture of 5600 x 5600 pixels\n"},
        {5600, 1.5, "duskmere: cannot allocate the window's image of 5600 x 5600 pixels\n"},
        {8000, 0.5, "duskmere: the window is too large to draw: 8000 x 8000 device pixels, more than 33554432 in all\n"},
    };
    for (const auto& row : rows) {
        const long long roomKb = static_cast<long long>(row.room * row.side * row.side * 4 / 1024);
        const Window w = client.makeWindow(row.side, row.side, false);
        ChildProcess child({duskmereProgram, "-window-id", hexId(w)}, env());
        for (int t = 0; t < 5000 && !adopted(w); ++t) std::this_thread::sleep_for(2ms);
        ASSERT_TRUE(adopted(w)) << child.errorText();
        const long long heldKb = addressSpaceKb(child.pid());
        ASSERT_GT(heldKb, 0);
        const rlimit limit{static_cast<rlim_t>((heldKb + roomKb) * 1024), static_cast<rlim_t>((heldKb + roomKb) * 1024)};
        ASSERT_EQ(prlimit(child.pid(), RLIMIT_AS, &limit, nullptr), 0) << std::strerror(errno);
        XMapWindow(client.display(), w);
        client.sync();
        EXPECT_EQ(describeStatus(child.finish(10000)), "exit 1") << row.error;
        EXPECT_EQ(child.errorText(), row.error);
        XDestroyWindow(client.display(), w);
    }
#endif
}

TEST_F(DuskmereRobustness, NoDisplayAtStartIsOneLineAndStatusOne) {
    std::string errors;
    int status = runToEnd({duskmereProgram}, {{"DISPLAY", ":4093"}}, 10000, &errors);
    EXPECT_EQ(describeStatus(status), "exit 1");
    EXPECT_EQ(errors, "duskmere: cannot open display ':4093'\n");
    status = runToEnd({duskmereProgram}, {{"DISPLAY", ""}}, 10000, &errors);
    EXPECT_EQ(describeStatus(status), "exit 1");
    EXPECT_EQ(errors, "duskmere: cannot open the display: DISPLAY is not set\n");
    status = runToEnd({duskmereProgram, "-display", ":4094"}, env(), 10000, &errors);
    EXPECT_EQ(describeStatus(status), "exit 1");
    EXPECT_EQ(errors, "duskmere: cannot open display ':4094'\n");
}

}  // namespace
}  // namespace duskmere::testing
