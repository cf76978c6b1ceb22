#include <gtest/gtest.h>

#include <algorithm>

#include "CityProbe.h"

namespace duskmere {
namespace {

using Building = CityProbe::Building;

Building B(int64_t x, int64_t widthTiles, int64_t heightTiles, bool front, int64_t style = 0) {
    return CityProbe::building(x, widthTiles, heightTiles, front, style);
}

std::size_t rowCount(const DuskmereScene& s, bool front) {
    return static_cast<std::size_t>(
        std::count_if(s.allBuildings().begin(), s.allBuildings().end(), [&](const auto& b) { return b.front == front; }));
}

TEST(CityPan, ShiftsThePictureOnePixelLeft) {
    for (const int64_t w : {1, 2, 37}) {
        DuskmereScene scene(w, 20, 4);
        auto& buf = CityProbe::buf(scene);
        for (std::size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<uint32_t>(i + 1);
        const std::vector<uint32_t> before = buf;
        CityProbe::pan(scene);
        for (int64_t y = 0; y < 20; ++y) {
            for (int64_t x = 0; x + 1 < w; ++x)
                ASSERT_EQ(buf[static_cast<std::size_t>(y * w + x)], before[static_cast<std::size_t>(y * w + x + 1)]);
            ASSERT_EQ(buf[static_cast<std::size_t>(y * w + w - 1)], DuskmereScene::black);
        }
    }
}

TEST(CityPan, BuildingsLeaveOnceTheirRightEndReachesColumnZero) {
    DuskmereScene scene(200, 480, 9);  // tile 8
    // After the shift: right ends 0 (leaves) and 1 (stays, still owning column 0).
    CityProbe::setSkyline(scene, {B(-79, 10, 30, false, 1), B(-78, 10, 20, false, 2), B(-40, 10, 5, true),
                                  B(60, 10, 8, true, 3)});
    CityProbe::pan(scene);
    const auto& all = scene.allBuildings();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].x, -79);
    EXPECT_EQ(all[0].heightTiles, 20);
    EXPECT_FALSE(all[1].front);  // the replacement goes before the front row
    EXPECT_GE(all[1].x, 200);
    EXPECT_EQ(all[2].x, -41);
    EXPECT_EQ(all[3].x, 59);
    EXPECT_EQ(scene.ownerMap()[479 * 200 + 0], 2);  // the front building covers the back one
    EXPECT_EQ(scene.ownerMap()[330 * 200 + 0], 0);
    EXPECT_EQ(all[1].visible, 0);
}

TEST(CityPan, AReplacementNeverStartsInsideTheScreen) {
    DuskmereScene scene(200, 480, 9);
    // The back row ends at 40 after the shift: far short of the edge.
    CityProbe::setSkyline(scene, {B(-79, 10, 30, false), B(-39, 10, 20, false), B(0, 5, 3, true)});
    CityProbe::pan(scene);
    EXPECT_EQ(scene.allBuildings()[1].x, 200);

    // The only building of a row leaves: it is followed at the edge plus the gap.
    DuskmereScene lone(200, 480, 10);
    CityProbe::setSkyline(lone, {B(-79, 10, 30, false), B(0, 5, 3, true)});
    RNG replay = CityProbe::rng(lone);
    const int64_t gap = 8 * replay.intBelow(6);
    CityProbe::pan(lone);
    EXPECT_EQ(lone.allBuildings()[0].x, 200 + gap);

    // A row running past the edge continues after its last building.
    DuskmereScene past(200, 480, 11);
    CityProbe::setSkyline(past, {B(-7, 5, 3, true), B(-39, 5, 2, true), B(150, 10, 4, true)});
    RNG again = CityProbe::rng(past);
    const int64_t gap2 = 8 * again.intBelow(3);
    CityProbe::pan(past);
    const auto& all = past.allBuildings();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[2].x, 149 + 80 + gap2);
    EXPECT_TRUE(all[2].front);
}

TEST(CityPan, NoDeparturesNoDraws) {
    DuskmereScene scene(200, 480, 12);
    CityProbe::setSkyline(scene, {B(-78, 10, 30, false), B(-1, 5, 3, true)});
    const uint64_t before = scene.rngState();
    CityProbe::pan(scene);
    EXPECT_EQ(scene.rngState(), before);
    EXPECT_EQ(scene.allBuildings()[0].x, -79);
    EXPECT_EQ(scene.allBuildings()[1].x, -2);
}

TEST(CityPan, RowsKeepTheirSizeAndOrderOverManyPans) {
    for (const auto& size : {std::pair<int64_t, int64_t>{160, 90}, {1, 1}, {3000, 2}}) {
        DuskmereScene a(size.first, size.second, 21), b(size.first, size.second, 21);
        const std::size_t fronts = rowCount(a, true), backs = rowCount(a, false);
        const int64_t tile = a.tileSize();
        uint64_t departures = 0;
        for (int p = 0; p < 400; ++p) {
            const uint64_t before = a.rngState();
            CityProbe::pan(a);
            CityProbe::pan(b);
            departures += a.rngState() != before;
            ASSERT_EQ(rowCount(a, true), fronts);
            ASSERT_EQ(rowCount(a, false), backs);
            const auto& all = a.allBuildings();
            ASSERT_TRUE(std::is_partitioned(all.begin(), all.end(), [](const auto& x) { return !x.front; }));
            for (const bool front : {true, false}) {
                std::vector<std::pair<int64_t, int64_t>> row;
                for (const auto& x : all)
                    if (x.front == front) row.emplace_back(x.x, x.x + x.widthTiles * tile);
                std::sort(row.begin(), row.end());
                ASSERT_GT(row.front().second, 0);
                for (std::size_t i = 1; i < row.size(); ++i) ASSERT_LE(row[i - 1].second, row[i].first);
            }
        }
        EXPECT_GT(departures, 0u);
        EXPECT_EQ(a.ownerMap(), b.ownerMap());
        EXPECT_EQ(a.rngState(), b.rngState());
    }
}

}  // namespace
}  // namespace duskmere
