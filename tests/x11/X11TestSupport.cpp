#include "X11TestSupport.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
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

bool samePngPictures(const std::string& a, const std::string& b, std::string& why) {
    cairo_surface_t* sa = cairo_image_surface_create_from_png(a.c_str());
    cairo_surface_t* sb = cairo_image_surface_create_from_png(b.c_str());
    bool same = false;
    if (cairo_surface_status(sa) != CAIRO_STATUS_SUCCESS) {
        why = "cannot read " + a;
    } else if (cairo_surface_status(sb) != CAIRO_STATUS_SUCCESS) {
        why = "cannot read " + b;
    } else {
        const int w = cairo_image_surface_get_width(sa), h = cairo_image_surface_get_height(sa);
        if (w != cairo_image_surface_get_width(sb) || h != cairo_image_surface_get_height(sb)) {
            why = "sizes " + std::to_string(w) + "x" + std::to_string(h) + " and " +
                  std::to_string(cairo_image_surface_get_width(sb)) + "x" +
                  std::to_string(cairo_image_surface_get_height(sb));
        } else {
            same = true;
            int64_t differ = 0;
            for (int y = 0; y < h; ++y) {
                const auto* ra = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(sa) + y * cairo_image_surface_get_stride(sa));
                const auto* rb = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(sb) + y * cairo_image_surface_get_stride(sb));
                for (int x = 0; x < w; ++x) {
                    if ((ra[x] & 0xFFFFFFu) == (rb[x] & 0xFFFFFFu)) continue;
                    if (same) {
                        char text[96];
                        std::snprintf(text, sizeof text, "first difference at %d,%d: %06x vs %06x", x, y,
                                      ra[x] & 0xFFFFFFu, rb[x] & 0xFFFFFFu);
                        why = text;
                    }
                    same = false;
                    ++differ;
                }
            }
            if (!same) why += " (" + std::to_string(differ) + " pixels differ)";
        }
    }
    cairo_surface_destroy(sa);
    cairo_surface_destroy(sb);
    return same;
}

DifferenceBox differenceBox(const std::string& a, const std::string& b) {
    cairo_surface_t* sa = cairo_image_surface_create_from_png(a.c_str());
    cairo_surface_t* sb = cairo_image_surface_create_from_png(b.c_str());
    DifferenceBox box{INT32_MAX, INT32_MAX, 0, 0};
    const int w = cairo_image_surface_get_width(sa), h = cairo_image_surface_get_height(sa);
    if (cairo_surface_status(sa) == CAIRO_STATUS_SUCCESS && cairo_surface_status(sb) == CAIRO_STATUS_SUCCESS &&
        w == cairo_image_surface_get_width(sb) && h == cairo_image_surface_get_height(sb)) {
        for (int y = 0; y < h; ++y) {
            const auto* ra = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(sa) + y * cairo_image_surface_get_stride(sa));
            const auto* rb = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(sb) + y * cairo_image_surface_get_stride(sb));
            for (int x = 0; x < w; ++x) {
                if ((ra[x] & 0xFFFFFFu) == (rb[x] & 0xFFFFFFu)) continue;
                box = {std::min(box.x0, x), std::min(box.y0, y), std::max(box.x1, x + 1), std::max(box.y1, y + 1)};
            }
        }
    }
    cairo_surface_destroy(sa);
    cairo_surface_destroy(sb);
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
