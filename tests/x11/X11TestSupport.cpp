#include "X11TestSupport.h"

#include <png.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace duskmere::testing {

ScratchFolder::ScratchFolder() {
    char name[] = "/tmp/duskmere-x11-test-XXXXXX";
    path_ = mkdtemp(name) ? name : "/tmp";
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    if (path_ != "/tmp") std::filesystem::remove_all(path_, ignored);
}

TestClient::TestClient(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}

TestClient::~TestClient() {
    if (display_) XCloseDisplay(display_);
}

Window TestClient::makeWindow(int width, int height, bool map) {
    const Window w = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, static_cast<unsigned>(width),
                                         static_cast<unsigned>(height), 0, 0, 0);
    if (map) XMapRaised(display_, w);
    XSync(display_, False);
    return w;
}

Picture readPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Picture p;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint32_t> pixels(static_cast<size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return p;
    p.width = static_cast<int>(image.width);
    p.height = static_cast<int>(image.height);
    p.pixels = std::move(pixels);
    return p;
}

bool samePictures(const Picture& a, const Picture& b, std::string& why, int tolerance) {
    if (a.pixels.empty() || b.pixels.empty()) {
        why = "no picture";
        return false;
    }
    if (a.width != b.width || a.height != b.height) {
        why = "sizes " + std::to_string(a.width) + "x" + std::to_string(a.height) + " and " + std::to_string(b.width) +
              "x" + std::to_string(b.height);
        return false;
    }
    int64_t differ = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        const uint32_t pa = a.pixels[i], pb = b.pixels[i];
        bool same = true;
        for (int shift = 0; shift < 24; shift += 8)
            same = same && std::abs(int(pa >> shift & 0xFF) - int(pb >> shift & 0xFF)) <= tolerance;
        if (same) continue;
        if (differ++ == 0) {
            char text[96];
            std::snprintf(text, sizeof text, "first difference at %d,%d: %06x vs %06x (bytes B, G, R)",
                          static_cast<int>(i % static_cast<size_t>(a.width)), static_cast<int>(i / static_cast<size_t>(a.width)),
                          pa & 0xFFFFFFu, pb & 0xFFFFFFu);
            why = text;
        }
    }
    if (differ) why += " (" + std::to_string(differ) + " pixels differ)";
    return differ == 0;
}

bool samePngPictures(const std::string& a, const std::string& b, std::string& why) {
    const Picture pa = readPng(a), pb = readPng(b);
    if (pa.pixels.empty()) why = "cannot read " + a;
    else if (pb.pixels.empty()) why = "cannot read " + b;
    else return samePictures(pa, pb, why);
    return false;
}

DifferenceBox differenceBox(const std::string& a, const std::string& b) {
    const Picture pa = readPng(a), pb = readPng(b);
    DifferenceBox box{INT32_MAX, INT32_MAX, 0, 0};
    if (!pa.pixels.empty() && pa.width == pb.width && pa.height == pb.height) {
        for (int y = 0; y < pa.height; ++y)
            for (int x = 0; x < pa.width; ++x) {
                const size_t i = static_cast<size_t>(y) * static_cast<size_t>(pa.width) + static_cast<size_t>(x);
                if (((pa.pixels[i] ^ pb.pixels[i]) & 0xFFFFFFu) == 0) continue;
                box = {std::min(box.x0, x), std::min(box.y0, y), std::max(box.x1, x + 1), std::max(box.y1, y + 1)};
            }
    }
    return box.x1 > 0 ? box : DifferenceBox{};
}

int runToEnd(const std::vector<std::string>& args, const std::map<std::string, std::string>& env, int timeoutMs,
             std::string* errors) {
    ChildProcess child(args, env);
    const int status = child.finish(timeoutMs);
    if (errors) *errors = child.errorText();
    return status;
}

std::string hexId(unsigned long id) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
}

}  // namespace duskmere::testing
