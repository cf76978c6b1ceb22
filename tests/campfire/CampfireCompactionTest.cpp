// The tree list is compacted as the forest scrolls by, without changing a single pixel.

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "CampfireInvariants.h"
#include "CampfireProbe.h"
#include "campfire/CampfireScene.h"
#include "pixels/Canvas.h"
#include "pixels/CanvasHash.h"

namespace duskmere {
namespace {

TEST(CampfireCompaction, FramesAreTheSameWithAndWithoutCompaction) {
    struct Size {
        int64_t w, h, frames;
    };
    for (Size size : {Size{64, 48, 30000}, Size{240, 135, 8000}}) {
        SCOPED_TRACE(std::to_string(size.w) + "x" + std::to_string(size.h));
        CampfireScene compacted(size.w, size.h, 31), full(size.w, size.h, 31);
        CampfireProbe(full).neverCompact();
        Canvas a(size.w, size.h), b(size.w, size.h);
        for (int64_t frame = 1; frame <= size.frames; ++frame) {
            compacted.step();
            full.step();
            if (frame % 97 != 0) continue;
            compacted.draw(a);
            full.draw(b);
            ASSERT_EQ(canvasHash(a), canvasHash(b)) << "frame " << frame;
            ASSERT_EQ(compacted.rngState(), full.rngState()) << "frame " << frame;
        }
        EXPECT_GT(compacted.droppedTrees(), 0);
        EXPECT_EQ(full.droppedTrees(), 0);
        EXPECT_EQ(static_cast<int64_t>(compacted.allTrees().size()) + compacted.droppedTrees(),
                  static_cast<int64_t>(full.allTrees().size()));
        EXPECT_LT(compacted.allTrees().size(), full.allTrees().size());
        expectInvariants(compacted);
    }
}

TEST(CampfireCompaction, TheListStaysBoundedOverALongRun) {
    CampfireScene scene(64, 48, 32);
    std::size_t longest = 0;
    for (int64_t frame = 1; frame <= 200000; ++frame) {
        scene.step();
        longest = std::max(longest, scene.allTrees().size());
    }
    // Thousands of trees have been committed; a few dozen are ever kept.
    EXPECT_GT(scene.droppedTrees(), 5000);
    EXPECT_LE(longest, 256u);
    expectInvariants(scene);

    // Every kept tree but the newest few still owns a pixel.
    std::set<int32_t> owners;
    for (int64_t y = 0; y < scene.height(); ++y) {
        for (int64_t x = 0; x < scene.workWidth(); ++x) owners.insert(scene.ownerAt(x, y));
    }
    EXPECT_GE(owners.size() * 2 + 64, scene.allTrees().size());
}

}  // namespace
}  // namespace duskmere
