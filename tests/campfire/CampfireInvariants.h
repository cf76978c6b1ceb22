#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "campfire/CampfireScene.h"

namespace duskmere {

// The invariants every campfire scene keeps after construction and after every frame.
inline void expectInvariants(const CampfireScene& scene) {
    const int64_t ww = scene.workWidth();
    const int64_t h = scene.height();
    for (std::size_t size : scene.gridSizes()) EXPECT_EQ(size, static_cast<std::size_t>(ww * h));
    EXPECT_LE(scene.width(), ww);
    EXPECT_GE(scene.skyRows().size(), static_cast<std::size_t>(h));

    EXPECT_FALSE(scene.pendingTrees()[0].front);
    EXPECT_TRUE(scene.pendingTrees()[1].front);
    for (std::size_t row = 0; row < 2; ++row) {
        EXPECT_LE(scene.recentTrees()[row].size(), 2u);
        for (const auto& t : scene.recentTrees()[row]) EXPECT_EQ(t.front, row == 1);
        EXPECT_GE(scene.pendingTrees()[row].style, 0);
        EXPECT_LT(scene.pendingTrees()[row].style, 6);
    }

    const auto& trees = scene.allTrees();
    for (const auto& t : trees) {
        EXPECT_GE(t.style, 0);
        EXPECT_LT(t.style, 6);
        EXPECT_LE(scene.treeTopRow(), std::max<int64_t>(0, t.baseY - t.height));
    }
    EXPECT_GE(scene.treeTopRow(), 0);
    EXPECT_LT(scene.treeTopRow(), std::max<int64_t>(h, 1));

    int64_t bad = 0;
    for (int64_t y = 0; y < h; ++y) {
        for (int64_t x = 0; x < ww; ++x) {
            const int32_t o = scene.ownerAt(x, y);
            if (o < -1 || o >= static_cast<int64_t>(trees.size())) ++bad;
            if (scene.tentAt(x, y) && (o != -1 || scene.skyAt(x, y) || scene.stickAt(x, y))) ++bad;
            if (scene.paintedAt(x, y) && o < 0) ++bad;
        }
    }
    EXPECT_EQ(bad, 0) << "grid cells breaking an invariant";

    const auto& camps = scene.allCamps();
    for (std::size_t i = 0; i < camps.size(); ++i) {
        EXPECT_EQ(camps[i].heat.size(), static_cast<std::size_t>(scene.fireWidth() * scene.fireHeight()));
        EXPECT_LE(*std::max_element(camps[i].heat.begin(), camps[i].heat.end()), 35);
        EXPECT_LT(camps[i].centerX, scene.nextCampColumn());
        if (i > 0) { EXPECT_LT(camps[i - 1].centerX, camps[i].centerX); }
    }
    for (const auto& p : scene.litPoints()) {
        EXPECT_GE(p.x, 0);
        EXPECT_LT(p.x, ww);
        EXPECT_GE(p.y, 0);
        EXPECT_LT(p.y, h);
    }
    for (const auto& p : scene.moonPixels()) {
        EXPECT_TRUE(p.x >= 0 && p.x < scene.width() && p.y >= 0 && p.y < scene.groundRow());
    }
}

}  // namespace duskmere
