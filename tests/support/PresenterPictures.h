#pragma once

// What the presenter's tests compare: its picture, cairo's, and a host's copy kept by the shifts
// and boxes the presenter reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cairo/CairoSaverPlatform.h"
#include "host/SoftwareSaverPlatform.h"
#include "support/QuietPresenter.h"

namespace duskmere {

inline std::vector<uint32_t> picture(const SoftwareSaverPlatform& p) {
    return {p.devicePixels(), p.devicePixels() + static_cast<size_t>(p.deviceWidth()) * static_cast<size_t>(p.deviceHeight())};
}

// The cairo surface in the canvas's byte order (R, G, B, 0xFF).
inline std::vector<uint32_t> picture(const CairoSaverPlatform& p) {
    std::vector<uint32_t> out;
    cairo_surface_t* s = p.surface();
    if (!s) return out;
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < p.deviceHeight(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
        for (int x = 0; x < p.deviceWidth(); ++x) {
            const uint32_t v = row[x];
            out.push_back(0xFF000000u | (v & 0xFFu) << 16 | (v & 0xFF00u) | ((v >> 16) & 0xFFu));
        }
    }
    return out;
}

// First differing pixel, for a readable failure.
inline std::string firstDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int width) {
    if (a.size() != b.size()) return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
    size_t count = 0, first = 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && count++ == 0) first = i;
    if (count == 0) return "";
    char text[160];
    std::snprintf(text, sizeof text, "%zu pixels differ, first at %zu,%zu: %08X against %08X", count,
                  first % static_cast<size_t>(width), first / static_cast<size_t>(width), a[first], b[first]);
    return text;
}

// A host's retained copy of the picture: the shift of the redraw, then its boxes. Returns the
// device pixels copied.
inline size_t present(std::vector<uint32_t>& screen, const SoftwareSaverPlatform& p, const std::vector<DeviceBox>& boxes) {
    const int w = p.deviceWidth(), h = p.deviceHeight();
    const uint32_t* now = p.devicePixels();
    if (screen.size() != static_cast<size_t>(w) * static_cast<size_t>(h)) screen.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    if (const auto& s = p.shift()) {
        const DeviceBox& a = s->area;
        EXPECT_TRUE(a.x0 >= 0 && a.x1 <= w && a.x0 + s->dx >= 0 && a.x1 + s->dx <= w && a.y0 >= 0 && a.y1 <= h &&
                    a.x0 < a.x1 && a.y0 < a.y1);
        for (int y = a.y0; y < a.y1; ++y) {
            uint32_t* row = screen.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
            std::memmove(row + a.x0, row + a.x0 + s->dx, static_cast<size_t>(a.x1 - a.x0) * sizeof(uint32_t));
        }
    }
    size_t area = 0;
    for (const auto& b : boxes) {
        EXPECT_TRUE(b.x0 >= 0 && b.y0 >= 0 && b.x1 <= w && b.y1 <= h && b.x0 < b.x1 && b.y0 < b.y1);
        for (int y = std::max(b.y0, 0); y < std::min(b.y1, h); ++y) {
            const size_t at = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(std::max(b.x0, 0));
            std::memcpy(screen.data() + at, now + at, static_cast<size_t>(std::min(b.x1, w) - std::max(b.x0, 0)) * sizeof(uint32_t));
        }
        area += static_cast<size_t>(b.x1 - b.x0) * static_cast<size_t>(b.y1 - b.y0);
    }
    return area;
}

// What the host's copy shows against the presenter's picture; "" when they agree.
inline std::string screenDifference(const std::vector<uint32_t>& screen, const SoftwareSaverPlatform& p) {
    if (std::memcmp(screen.data(), p.devicePixels(), screen.size() * sizeof(uint32_t)) == 0) return "";
    return firstDifference(screen, picture(p), p.deviceWidth());
}

}  // namespace duskmere
