// The city against the reference figures kept beside the sources: the state right after
// construction, and per-frame canvas hashes over long runs.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "city/DuskmereScene.h"
#include "support/ReferenceVectors.h"

namespace duskmere {
namespace {

using testing::openReferenceFile;
using testing::parseReferenceSize;

struct ConstructionCase {
    std::string label;
    int64_t w = 0, h = 0;
    uint64_t seed = 0;
    int64_t tile = 0, edge = 0, skylineTop = 0;
    double scale = 0;
    uint64_t rngState = 0;
    struct B {
        int64_t x, widthTiles, heightTiles, style;
        uint32_t color;
        bool front;
        int64_t visible;
    };
    std::vector<B> buildings;
    struct S {
        int64_t building, x, y, height, phase;
    };
    std::vector<S> spires;
};

std::vector<ConstructionCase> readConstruction(std::istream& in) {
    std::vector<ConstructionCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string word;
        ls >> word;
        if (word == "case") {
            std::string scene, size, seedWord;
            ConstructionCase c;
            ls >> scene >> size >> seedWord >> c.seed;
            if (scene != "city" || !parseReferenceSize(size, c.w, c.h)) continue;
            c.label = line;
            cases.push_back(c);
        } else if (cases.empty()) {
            continue;
        } else if (word == "w") {
            ConstructionCase& c = cases.back();
            std::string k;
            int64_t w, h;
            ls >> w >> k >> h >> k >> c.tile >> k >> c.edge >> k >> c.scale >> k >> c.skylineTop;
        } else if (word == "rng") {
            std::string k, hex;
            ls >> k >> k >> k >> hex;
            cases.back().rngState = std::stoull(hex, nullptr, 16);
        } else if (word == "buildings") {
            std::size_t n = 0;
            ls >> n;
            for (std::size_t i = 0; i < n && std::getline(in, line); ++i) {
                std::istringstream bs(line);
                ConstructionCase::B b{};
                std::string color, row;
                bs >> b.x >> b.widthTiles >> b.heightTiles >> b.style >> color >> row >> b.visible;
                b.color = static_cast<uint32_t>(std::stoul(color, nullptr, 16));
                b.front = row == "front";
                cases.back().buildings.push_back(b);
            }
        } else if (word == "spires") {
            std::size_t n = 0;
            ls >> n;
            for (std::size_t i = 0; i < n && std::getline(in, line); ++i) {
                std::istringstream ss(line);
                ConstructionCase::S s{};
                ss >> s.building >> s.x >> s.y >> s.height >> s.phase;
                cases.back().spires.push_back(s);
            }
        }
    }
    return cases;
}

TEST(CityVectors, ConstructionMatchesReference) {
    std::ifstream in;
    std::string why;
    ASSERT_TRUE(openReferenceFile("city-construction.txt", in, why)) << why;
    const auto cases = readConstruction(in);
    ASSERT_FALSE(cases.empty()) << "no city cases in city-construction.txt";

    for (const ConstructionCase& c : cases) {
        SCOPED_TRACE(c.label);
        const DuskmereScene scene(c.w, c.h, c.seed);
        EXPECT_EQ(scene.width(), c.w);
        EXPECT_EQ(scene.height(), c.h);
        EXPECT_EQ(scene.tileSize(), c.tile);
        EXPECT_EQ(scene.edgeSize(), c.edge);
        EXPECT_DOUBLE_EQ(scene.cityScale(), c.scale);
        EXPECT_EQ(scene.skylineTopRow(), c.skylineTop);
        EXPECT_EQ(scene.rngState(), c.rngState);

        const auto& buildings = scene.allBuildings();
        ASSERT_EQ(buildings.size(), c.buildings.size());
        for (std::size_t i = 0; i < buildings.size(); ++i) {
            SCOPED_TRACE("building " + std::to_string(i));
            const auto& want = c.buildings[i];
            EXPECT_EQ(buildings[i].x, want.x);
            EXPECT_EQ(buildings[i].widthTiles, want.widthTiles);
            EXPECT_EQ(buildings[i].heightTiles, want.heightTiles);
            EXPECT_EQ(buildings[i].style, want.style);
            EXPECT_EQ(buildings[i].color, want.color);
            EXPECT_EQ(buildings[i].front, want.front);
            EXPECT_EQ(buildings[i].visible, want.visible);
        }
        const auto& spires = scene.allSpires();
        ASSERT_EQ(spires.size(), c.spires.size());
        for (std::size_t i = 0; i < spires.size(); ++i) {
            SCOPED_TRACE("spire " + std::to_string(i));
            EXPECT_EQ(spires[i].building, c.spires[i].building);
            EXPECT_EQ(spires[i].x, c.spires[i].x);
            EXPECT_EQ(spires[i].y, c.spires[i].y);
            EXPECT_EQ(spires[i].height, c.spires[i].height);
            EXPECT_EQ(spires[i].phase, c.spires[i].phase);
        }
    }
}

TEST(CityVectors, FrameHashesMatchReference) {
    std::ifstream in;
    std::string why;
    ASSERT_TRUE(openReferenceFile("hashes.txt", in, why)) << why;
    const auto cases = testing::readReferenceHashes(in, "city");
    ASSERT_FALSE(cases.empty()) << "no city cases in hashes.txt";
    for (const auto& c : cases) {
        DuskmereScene scene(c.width, c.height, c.seed);
        testing::expectReferenceHashes(scene, c);
    }
}

}  // namespace
}  // namespace duskmere
