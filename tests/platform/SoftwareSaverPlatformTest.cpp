#include "host/SoftwareSaverPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cairo/CairoSaverPlatform.h"
#include "support/QuietPresenter.h"
#include "catalog/SceneCatalog.h"

namespace duskmere {
namespace {

constexpr uint64_t seed = 0x5EED5u;

// The presenter under test, every scene seeded alike.
class SoftwarePlatform : public QuietPresenter {
public:
    explicit SoftwarePlatform(double backingScale = 1.0) : QuietPresenter(backingScale, duskmere::seed) {}
};

std::vector<uint32_t> picture(const SoftwareSaverPlatform& p) {
    return {p.devicePixels(), p.devicePixels() + static_cast<size_t>(p.deviceWidth()) * static_cast<size_t>(p.deviceHeight())};
}

// The cairo surface in the canvas's byte order (R, G, B, 0xFF).
std::vector<uint32_t> picture(const CairoSaverPlatform& p) {
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
std::string firstDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int width) {
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
size_t present(std::vector<uint32_t>& screen, const SoftwareSaverPlatform& p, const std::vector<DeviceBox>& boxes) {
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
std::string screenDifference(const std::vector<uint32_t>& screen, const SoftwareSaverPlatform& p) {
    if (std::memcmp(screen.data(), p.devicePixels(), screen.size() * sizeof(uint32_t)) == 0) return "";
    return firstDifference(screen, picture(p), p.deviceWidth());
}

struct Case {
    const char* scene;
    double width, height, scale;
};

// Sizes whose canvas overhangs the view, a 1 x 1 view, preview panes, every pixel scale the
// views reach, integer backing scales 1..16 and the fractional ones of desktop DPI settings
// and browsers.
const Case cases[] = {
    {"campfire", 1, 1, 1},       {"campfire", 1, 1, 1.25},     {"city", 1, 1, 16},
    {"city", 3, 2, 1.5},         {"city", 296, 184, 1},        {"city", 296, 184, 2},
    {"campfire", 296, 184, 1.25}, {"city", 901, 901, 1},       {"city", 901, 901, 1.25},
    {"city", 1349, 1351, 1},     {"campfire", 401, 551, 1},    {"campfire", 401, 551, 1.25},
    {"campfire", 401, 551, 1.5}, {"campfire", 401, 551, 1.75}, {"campfire", 401, 551, 2},
    {"campfire", 401, 551, 2.25}, {"campfire", 401, 551, 2.5}, {"campfire", 401, 551, 3.5},
    {"campfire", 811, 811, 1},   {"campfire", 811, 811, 1.25}, {"campfire", 811, 811, 1.75},
    {"campfire", 300, 811, 3},   {"campfire", 300, 540, 4},    {"campfire", 100, 540, 8},
    {"campfire", 41, 541, 5},    {"campfire", 97, 61, 6},      {"campfire", 41, 541, 7},
    {"campfire", 97, 61, 9},     {"campfire", 97, 61, 10},     {"campfire", 21, 541, 11},
    {"campfire", 97, 61, 12},    {"campfire", 97, 61, 13},     {"campfire", 97, 61, 14},
    {"campfire", 97, 61, 15},    {"campfire", 21, 541, 16},
};

TEST(SoftwareSaverPlatform, PaintsWhatCairoPaintsAtEverySizeAndScale) {
    int shifts = 0;
    for (const Case& c : cases) {
        const SceneEntry* entry = findScene(c.scene);
        ASSERT_NE(entry, nullptr);
        CairoSaverPlatform reference(c.scale);
        reference.fixSeed(seed);
        reference.setBounds({c.width, c.height});
        SoftwarePlatform software(c.scale);
        software.setBounds({c.width, c.height});
        software.acceptShifts(true);
        auto referenceView = entry->makeView(reference);
        auto softwareView = entry->makeView(software);
        // Every frame on a host's copy (shifts and boxes); against cairo at frames 0, 1, 6 and 7:
        // the first full redraw, then redraws of what changed, the forest's scroll among them.
        // Both draw every frame, since edge pixels partly covered blend with what was there.
        std::vector<uint32_t> screen;
        for (int frame = 0; frame < 8; ++frame) {
            referenceView->drawRect();
            softwareView->drawRect();
            present(screen, software, software.finishRedraw());
            shifts += software.shift().has_value();
            const std::string where = std::string(c.scene) + " " + std::to_string(c.width) + "x" +
                                      std::to_string(c.height) + "@" + std::to_string(c.scale) + " frame " + std::to_string(frame);
            EXPECT_EQ(screenDifference(screen, software), "") << where;
            if (frame < 2 || frame >= 6) {
                ASSERT_EQ(software.deviceWidth(), reference.deviceWidth());
                ASSERT_EQ(software.deviceHeight(), reference.deviceHeight());
                EXPECT_EQ(firstDifference(picture(software), picture(reference), software.deviceWidth()), "") << where;
            }
            referenceView->animateOneFrame();
            softwareView->animateOneFrame();
        }
    }
    // The forest's scroll moves the picture at the whole enlargements of the table.
    EXPECT_GE(shifts, 20);
}

// A host that copies only the reported boxes to its screen shows exactly the full picture.
// The shift only where the host accepts it, and only at whole enlargements.
TEST(SoftwareSaverPlatform, ReportedBoxesCarryEveryChange) {
    for (const bool shifts : {false, true})
        for (double scale : {1.0, 1.25, 2.0}) {
            SoftwarePlatform software(scale);
            software.setBounds({557, 545});  // pixel scale 2, the canvas overhangs by a point
            software.acceptShifts(shifts);
            auto view = findScene("campfire")->makeView(software);
            std::vector<uint32_t> screen;
            size_t partial = 0, shifted = 0;
            for (int frame = 0; frame < 30; ++frame) {
                if (frame == 20) software.setBounds({640, 560});
                if (frame == 25) software.repaintAll();
                view->drawRect();
                const size_t area = present(screen, software, software.finishRedraw());
                const size_t all = screen.size();
                EXPECT_EQ(screenDifference(screen, software), "") << "scale " << scale << " frame " << frame;
                if (frame == 0 || frame == 20 || frame == 25) EXPECT_EQ(area, all) << "frame " << frame;
                else if (area < all) ++partial;
                if (software.shift()) {
                    ++shifted;
                    EXPECT_LT(area * 10, all) << "scale " << scale << " frame " << frame;  // the scroll is the shift
                }
                view->animateOneFrame();
            }
            // Scrolls every sixth frame move the whole forest; the frames between change little.
            EXPECT_GE(partial, shifts && scale != 1.25 ? 26u : 15u) << "scale " << scale;
            EXPECT_EQ(shifted, shifts && scale != 1.25 ? 4u : 0u) << "scale " << scale;
        }
}

// The presenter brings the image it presented last up to date in place: an image a caller still
// holds keeps its pixels, and an image made but never drawn loses no change, whatever the
// caller notes.
TEST(SoftwareSaverPlatform, ImagesKeepTheirPixelsWhateverComesAfter) {
    std::vector<uint32_t> a(32 * 24), b(a.size()), c(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        a[i] = static_cast<uint32_t>(i / 40 * 2654435761u), b[i] = a[i] * 3, c[i] = a[i] * 5;
    const auto redraw = [](SoftwarePlatform& p, const SaverImage& image) {
        EXPECT_TRUE(p.hasGraphicsContext());
        p.setFillGray(0, 1), p.fillRect({0, 0, 64, 48}), p.setInterpolationNone(), p.drawImage(image, {0, 0, 64, 48});
        return p.finishRedraw();
    };
    SoftwarePlatform software;
    std::vector<uint32_t> screen;
    const auto show = [&](const SaverImage& image, const std::vector<uint32_t>& px, const char* what) {
        SoftwarePlatform alone;  // the picture of one redraw from scratch
        alone.setBounds({64, 48}), redraw(alone, *alone.makeImage(px.data(), 32, 24));
        present(screen, software, redraw(software, image));
        EXPECT_EQ(firstDifference(screen, picture(alone), 64), "") << what;
    };
    software.setBounds({64, 48});
    show(*software.makeImage(a.data(), 32, 24), a, "first");
    show(*software.makeImage(b.data(), 32, 24), b, "second");
    std::unique_ptr<SaverImage> held = software.makeImage(c.data(), 32, 24);
    show(*held, c, "held");
    show(*software.makeImage(a.data(), 32, 24), a, "while an image is held");
    show(*held, c, "the held image again");
    held.reset();
    software.makeImage(b.data(), 32, 24);  // made, never drawn
    show(*software.makeImage(b.data(), 32, 24), b, "after an image never drawn");
    // A note that nothing changed holds only against the pixels the image shown last was made of.
    const std::vector<RowSpan> nothing(24);
    {
        const auto shown = software.makeImage(b.data(), 32, 24);
        software.makeImage(c.data(), 32, 24);  // a copy, never drawn
    }
    software.noteChangedSpans(nothing);
    show(*software.makeImage(c.data(), 32, 24), c, "a note after an image never drawn");
    software.noteChangedSpans(nothing);
    show(*software.makeImage(a.data(), 32, 24), a, "a note for other pixels");
    // Only the columns a note names are kept aside as shown; an image copied while that one is
    // held is still compared with the whole row as shown.
    std::vector<uint32_t> red = a, green = a;
    std::fill_n(red.begin() + 5 * 32, 32, 0xFF0000FFu);
    std::fill_n(green.begin() + 5 * 32, 32, 0xFF00FF00u);
    show(*software.makeImage(red.data(), 32, 24), red, "a red row");
    show(*software.makeImage(green.data(), 32, 24), green, "a green row");
    std::vector<RowSpan> column(24);
    column[5] = {7, 8};
    green[5 * 32 + 7] = 0xFFFFFFFFu;
    software.noteChangedSpans(column);
    const auto partly = software.makeImage(green.data(), 32, 24);
    show(*software.makeImage(red.data(), 32, 24), red, "red again, copied");
}

// Redraws that are not a view's usual sequence (fills and images of any size, anywhere, on
// fractional bounds) are painted operation by operation, still as cairo paints them.
TEST(SoftwareSaverPlatform, UnusualRedrawsStillMatchCairo) {
    std::mt19937 rng(7);
    const auto pick = [&](double lo, double hi, int steps) {
        return std::round(std::uniform_real_distribution<double>(lo, hi)(rng) * steps) / steps;
    };
    const double scales[] = {1, 1.25, 1.5, 1.75, 2, 2.5, 3.5, 1.3};
    for (int round = 0; round < 150; ++round) {
        const double scale = scales[rng() % 8];
        const ViewSize bounds{pick(0, 30, rng() % 2 ? 1 : 8), pick(0, 30, rng() % 2 ? 1 : 8)};
        CairoSaverPlatform reference(scale);
        SoftwarePlatform software(scale);
        reference.setBounds(bounds);
        software.setBounds(bounds);
        for (int frame = 0; frame < 3; ++frame) {
            ASSERT_TRUE(reference.hasGraphicsContext() && software.hasGraphicsContext());
            for (int k = 0, n = 1 + static_cast<int>(rng() % 6); k < n; ++k) {
                const unsigned kind = rng() % 3;
                if (kind == 0) {
                    const double gray = pick(0, 1, 255), alpha = rng() % 2 ? 1.0 : pick(0, 1, 1000);
                    reference.setFillGray(gray, alpha);
                    software.setFillGray(gray, alpha);
                } else if (kind == 1) {
                    const ViewRect r{pick(-5, bounds.width + 5, 8), pick(-5, bounds.height + 5, 8),
                                     pick(-3, bounds.width + 5, 8), pick(-3, bounds.height + 5, 8)};
                    reference.fillRect(r);
                    software.fillRect(r);
                } else {
                    const int w = 1 + static_cast<int>(rng() % 9), h = 1 + static_cast<int>(rng() % 9);
                    std::vector<uint32_t> px(static_cast<size_t>(w * h));
                    for (uint32_t& p : px) p = static_cast<uint32_t>(rng());
                    const ViewRect r{pick(-3, bounds.width, 4), pick(-3, bounds.height, 4),
                                     pick(0.5, bounds.width + 6, 4), pick(0.5, bounds.height + 6, 4)};
                    reference.setInterpolationNone();
                    software.setInterpolationNone();
                    reference.drawImage(*reference.makeImage(px.data(), w, h), r);
                    software.drawImage(*software.makeImage(px.data(), w, h), r);
                }
            }
            software.finishRedraw();
            ASSERT_EQ(software.deviceWidth(), reference.deviceWidth());
            ASSERT_EQ(software.deviceHeight(), reference.deviceHeight());
            ASSERT_EQ(firstDifference(picture(software), picture(reference), software.deviceWidth()), "")
                << "round " << round << " frame " << frame;
        }
    }
}

}  // namespace
}  // namespace duskmere
