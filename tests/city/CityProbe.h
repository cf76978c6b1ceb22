#pragma once

#include <cstdint>
#include <vector>

#include "city/DuskmereScene.h"

namespace duskmere {

// White-box access to a city scene for the unit tests.
struct CityProbe {
    using Building = DuskmereScene::Building;
    using Spire = DuskmereScene::Spire;

    static RNG& rng(DuskmereScene& s) { return s.rng; }
    static int64_t& frame(DuskmereScene& s) { return s.frame; }
    static std::vector<uint32_t>& buf(DuskmereScene& s) { return s.buf; }
    static std::vector<int16_t>& owner(DuskmereScene& s) { return s.owner; }
    static std::vector<Building>& buildings(DuskmereScene& s) { return s.buildings; }
    static std::vector<Spire>& spires(DuskmereScene& s) { return s.spires; }
    static double& lightAcc(DuskmereScene& s) { return s.lightAcc; }
    static double& starAcc(DuskmereScene& s) { return s.starAcc; }
    static double& rainAcc(DuskmereScene& s) { return s.rainAcc; }
    static Meteors& meteors(DuskmereScene& s) { return s.meteors; }
    static Comets& comets(DuskmereScene& s) { return s.comets; }

    static Building makeBuilding(DuskmereScene& s, bool front) { return s.makeBuilding(front); }
    static int64_t gap(DuskmereScene& s, bool front) { return s.gap(front); }
    static Building place(DuskmereScene& s, bool front, int64_t x, const std::vector<Building>& after,
                          const std::vector<Building>& fronts) {
        return s.place(front, x, after, fronts);
    }
    static void rebuildOwner(DuskmereScene& s) { s.rebuildOwner(); }
    static void pan(DuskmereScene& s) { s.pan(); }
    static void lightWindows(DuskmereScene& s) { s.lightWindows(); }
    static void scatterStars(DuskmereScene& s) { s.scatterStars(); }
    static void eraseDiscs(DuskmereScene& s) { s.eraseDiscs(); }

    static Building building(int64_t x, int64_t widthTiles, int64_t heightTiles, bool front, int64_t style = 0,
                             uint32_t color = DuskmereScene::lightColors[1]) {
        return Building{x, widthTiles, heightTiles, style, color, front, 0, 0};
    }

    // Replaces the skyline with the given buildings (back row first) and maps them.
    static void setSkyline(DuskmereScene& s, std::vector<Building> list) {
        s.buildings = std::move(list);
        s.rebuildOwner();
    }
};

// Generator steps taken between two states: every draw adds the same odd constant.
inline uint64_t drawsBetween(uint64_t before, uint64_t after) {
    constexpr uint64_t golden = 0x9E3779B97F4A7C15ULL;
    uint64_t inverse = golden;
    for (int i = 0; i < 6; ++i) inverse *= 2 - golden * inverse;
    return (after - before) * inverse;
}

}  // namespace duskmere
