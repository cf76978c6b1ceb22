#pragma once

#include <X11/Xlib.h>

#include <cstdint>

#include <map>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "X11Programs.h"
#include "XvfbServer.h"

namespace duskmere::testing {

inline const std::string duskmereProgram = DUSKMERE_PROGRAM;
inline const std::string renderProgram = DUSKMERE_RENDER;

// A folder for one test's files, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A client connection of the test's own, to make, move and destroy windows.
class TestClient {
public:
    explicit TestClient(const std::string& display);
    ~TestClient();
    Display* display() const { return display_; }
    Window makeWindow(int width, int height, bool map = true);
    void sync() { XSync(display_, False); }

private:
    Display* display_;
};

// A picture of pixels in the canvas's format (bytes R, G, B, then one that is ignored), top row
// first; empty when it could not be read.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};
Picture readPng(const std::string& path);

// Whether two pictures are the same, each channel within `tolerance`; `why` says where not.
bool samePictures(const Picture& a, const Picture& b, std::string& why, int tolerance = 0);

// Whether two PNG files hold the same picture; `why` says where they differ.
bool samePngPictures(const std::string& a, const std::string& b, std::string& why);

// The smallest box holding every pixel where two PNG pictures of one size differ: x0, y0
// inclusive, x1, y1 exclusive; all 0 when they are the same or cannot be compared.
struct DifferenceBox {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x1 <= x0; }
};
DifferenceBox differenceBox(const std::string& a, const std::string& b);

// Runs a program to its end (at most timeoutMs) and returns its raw wait status.
int runToEnd(const std::vector<std::string>& args, const std::map<std::string, std::string>& env, int timeoutMs,
             std::string* errors = nullptr);

std::string hexId(unsigned long id);

}  // namespace duskmere::testing
