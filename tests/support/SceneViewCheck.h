#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "host/PixelSaverView.h"
#include "pixels/Canvas.h"
#include "support/RecordingPlatform.h"

namespace duskmere::testing {

// A scene's view on a 1440 x 900 point screen that draws `seed`: it aims at `rows` canvas rows,
// picks a w x h canvas, and shows, first and after 40 frames, what the Scene built from that size
// and seed draws.
template <class View, class Scene>
void expectViewShowsItsScene(double rows, int64_t w, int64_t h, uint64_t seed) {
    RecordingPlatform platform;
    platform.viewBounds = {1440, 900};
    platform.seeds = {seed};
    View view(platform, PixelSaverView::FromFrame{});
    EXPECT_EQ(view.targetRows(), rows);
    view.drawRect();
    ASSERT_NE(view.canvas(), nullptr);
    EXPECT_EQ(view.pixelScale(), 1440.0 / static_cast<double>(w));
    EXPECT_EQ(view.canvas()->width, w);
    EXPECT_EQ(view.canvas()->height, h);
    ASSERT_NE(dynamic_cast<const Scene*>(view.scene()), nullptr);

    Scene same(w, h, seed);
    Canvas expected(w, h);
    same.draw(expected);
    ASSERT_EQ(platform.images.size(), 1u);
    EXPECT_EQ(platform.images[0].pixels, expected.px);
    for (int tick = 0; tick < 40; ++tick) {
        view.animateOneFrame();
        same.step();
    }
    view.drawRect();
    same.draw(expected);
    EXPECT_EQ(platform.images.back().pixels, expected.px);
}

}  // namespace duskmere::testing
