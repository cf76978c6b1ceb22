#include "host/SoftwareSaverPlatform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/SceneCatalog.h"
#include "support/PresenterPictures.h"

namespace duskmere {
namespace {

constexpr uint64_t seed = 0x5EED5u;

// The presenter under test, every scene seeded alike.
class SoftwarePlatform : public QuietPresenter {
public:
    explicit SoftwarePlatform(double backingScale = 1.0) : QuietPresenter(backingScale, duskmere::seed) {}
};

struct Case {
    const char* scene;
    double width, height, scale;
};

// Sizes whose canvas overhangs the view, a 1 x 1 view, preview panes, every pixel scale the
// views reach, integer backing scales 1..16 and the fractional ones of desktop DPI settings
// and browsers. Views at the large scales are narrow: their height sets the pixel scale, and
// more width adds only pixels of the same kind.
const Case cases[] = {
    {"campfire", 1, 1, 1},       {"campfire", 1, 1, 1.25},     {"city", 1, 1, 16},
    {"city", 3, 2, 1.5},         {"city", 296, 184, 1},        {"city", 296, 184, 2},
    {"campfire", 296, 184, 1.25}, {"city", 901, 901, 1},       {"city", 901, 901, 1.25},
    {"city", 1349, 1351, 1},     {"campfire", 401, 551, 1},    {"campfire", 401, 551, 1.25},
    {"campfire", 401, 551, 1.5}, {"campfire", 401, 551, 1.75}, {"campfire", 401, 551, 2},
    {"campfire", 401, 551, 2.25}, {"campfire", 401, 551, 2.5}, {"campfire", 401, 551, 3.5},
    {"campfire", 811, 811, 1},   {"campfire", 811, 811, 1.25}, {"campfire", 811, 811, 1.75},
    {"campfire", 99, 811, 3},    {"campfire", 100, 540, 4},    {"campfire", 40, 540, 8},
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
        // Every frame drawn on a host's copy (shifts and boxes); against cairo at frames 0, 1, 6
        // and 7: the first full redraw, then redraws of what changed, the forest's scroll (at
        // frame 6) among them. Both draw the same frames, since edge pixels partly covered blend
        // with what was there; frames 2 to 4 are only stepped, so frame 5 redraws four steps.
        std::vector<uint32_t> screen;
        for (int frame = 0; frame < 8; ++frame) {
            if (frame >= 2 && frame <= 4) {
                referenceView->animateOneFrame();
                softwareView->animateOneFrame();
                continue;
            }
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
// The shift only where the host accepts it, and only at whole enlargements; past the boxes a
// host says it copies at most, their one bounding box.
TEST(SoftwareSaverPlatform, ReportedBoxesCarryEveryChange) {
    struct Host {
        bool shifts;
        size_t mostBoxes;
    };
    for (const auto& [shifts, mostBoxes] : {Host{false, SIZE_MAX}, Host{true, SIZE_MAX}, Host{false, 3}})
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
                std::vector<DeviceBox> boxes = software.finishRedraw();
                limitBoxes(boxes, mostBoxes);
                EXPECT_LE(boxes.size(), mostBoxes);
                const size_t area = present(screen, software, boxes);
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

}  // namespace
}  // namespace duskmere
