// The saver view that shows the campfire forest.

#include <gtest/gtest.h>

#include "campfire/CampfireSaverView.h"
#include "campfire/CampfireScene.h"
#include "pixels/CanvasHash.h"
#include "support/RecordingPlatform.h"

namespace duskmere {
namespace {

using testing::RecordingPlatform;

TEST(CampfireSaverView, ShowsTheForestAtAbout270Rows) {
    RecordingPlatform platform;
    platform.viewBounds = {1440, 900};
    platform.seeds = {77};
    CampfireSaverView view(platform, PixelSaverView::FromFrame{});
    EXPECT_EQ(view.targetRows(), 270.0);
    view.drawRect();
    ASSERT_NE(view.canvas(), nullptr);
    EXPECT_EQ(view.pixelScale(), 3.0);
    EXPECT_EQ(view.canvas()->width, 480);
    EXPECT_EQ(view.canvas()->height, 300);

    const auto* scene = dynamic_cast<const CampfireScene*>(view.scene());
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->width(), 480);
    EXPECT_EQ(scene->height(), 300);

    // The view's scene is exactly the scene built from the drawn seed.
    CampfireScene same(480, 300, 77);
    Canvas expected(480, 300);
    for (int tick = 0; tick < 40; ++tick) {
        view.animateOneFrame();
        same.step();
    }
    view.drawRect();
    same.draw(expected);
    EXPECT_EQ(canvasHash(*view.canvas()), canvasHash(expected));
}

}  // namespace
}  // namespace duskmere
