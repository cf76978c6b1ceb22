#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <array>
#include <cstdint>
#include <vector>

#include "host/SoftwareSaverPlatform.h"

namespace duskmere {

// How device pixels reach one window: boxes of the presenter's picture are converted into the
// window's pixel format in a staging image and put, box by box. Through a shared-memory image
// (MIT-SHM) when the server runs on this machine and takes 32-bit TrueColor pixels (depth 24, 30
// or 32): the server then reads them straight from our memory. Otherwise, or after any trouble
// with shared memory, quietly through the connection.
//
// The staging image is written only inside put(), and the caller never calls it while the server
// may still be reading the last one (the saver's per-frame fence).
class WindowImage {
public:
    WindowImage(Display* display, Window window, Visual* visual, int depth, Colormap colormap);
    ~WindowImage();
    WindowImage(const WindowImage&) = delete;
    WindowImage& operator=(const WindowImage&) = delete;

    // Copies the boxes of a picture (width x height pixels, bytes R, G, B, ignored) to the
    // window at the same places; false when no staging image of that size can be made.
    bool put(const uint32_t* picture, int width, int height, const std::vector<DeviceBox>& boxes);
    // Copies pixels of one box, `at.x1 - at.x0` to a row, to the window at that box (after a put
    // of a picture that contains it).
    void putPatch(const uint32_t* pixels, const DeviceBox& at);
    // Moves the window's pixels inside `area` so that new(x, y) = old(x + dx, y).
    void shift(const DeviceBox& area, int dx);

    // Whether the last put went through shared memory.
    bool sharedMemory() const { return shm_.shmaddr != nullptr; }
    // An error the server reported for a shared-memory request: stop using it, and say so (true)
    // when the error was one of ours.
    bool dropSharedMemoryAfter(const XErrorEvent& error);

private:
    void makeImage(int width, int height);
    void freeImage();
    bool makeSharedImage(int width, int height);
    // Converts the pixels `from` (the first for x0) into the staging image's row y, x0 to x1.
    void convertRow(const uint32_t* from, int y, int x0, int x1);
    void send(int x0, int y0, int x1, int y1);
    void allocateColourCube();

    Display* display_;
    Window window_;
    Visual* visual_;
    int depth_;
    Colormap colormap_;
    GC gc_;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
    bool shmUsable_ = false;  // the extension is there, the connection local, the pixels 32-bit
    int shmOpcode_ = -1;
    std::vector<char> data_;  // the image's pixels when they are not shared

    // Conversion: the 32-bit pixel of the window's own format (swapped R and B), or per channel
    // value tables whose sum is the pixel (TrueColor) or the index of a cube colour.
    enum class Format { swapRB, tables, cube };
    Format format_ = Format::tables;
    std::array<uint32_t, 256> red_{}, green_{}, blue_{};
    uint32_t opaque_ = 0;  // the alpha bits of a TrueColor pixel, all set
    std::vector<unsigned long> cube_;
};

}  // namespace duskmere
