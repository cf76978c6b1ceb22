// The city against the reference figures kept beside the sources: the state right after
// construction, and per-frame canvas hashes over long runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "city/DuskmereScene.h"
#include "pixels/CanvasHash.h"

namespace duskmere {
namespace {

std::string vectorsDir() {
    const char* src = std::getenv("DUSKMERE_SOURCE_DIR");
    return src ? std::string(src) + "/../shared/vectors/" : std::string();
}

// Opens a reference file, or explains why the test cannot run.
bool openVectors(const std::string& name, std::ifstream& in, std::string& why) {
    const std::string dir = vectorsDir();
    if (dir.empty()) {
        why = "DUSKMERE_SOURCE_DIR is not set; run through ctest to check the reference vectors";
        return false;
    }
    in.open(dir + name);
    if (!in) {
        why = "no reference vectors at " + dir + name;
        return false;
    }
    return true;
}

bool parseSize(const std::string& s, int64_t& w, int64_t& h) {
    const auto x = s.find('x');
    if (x == std::string::npos) return false;
    w = std::stoll(s.substr(0, x));
    h = std::stoll(s.substr(x + 1));
    return true;
}

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
            if (scene != "city" || !parseSize(size, c.w, c.h)) continue;
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
    if (!openVectors("city-construction.txt", in, why)) GTEST_SKIP() << why;
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

struct HashCase {
    std::string label;
    int64_t w = 0, h = 0, frames = 0, every = 1;
    uint64_t seed = 0;
    std::vector<std::pair<int64_t, uint64_t>> hashes;
};

std::vector<HashCase> readCityHashes(std::istream& in) {
    std::vector<HashCase> cases;
    bool city = false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string word;
        ls >> word;
        if (word == "case") {
            std::string scene, size, k;
            HashCase c;
            ls >> scene >> size >> k >> c.seed >> k >> c.frames >> k >> c.every;
            city = scene == "city" && parseSize(size, c.w, c.h) && c.every > 0;
            if (city) {
                c.label = line;
                cases.push_back(c);
            }
        } else if (word == "frame" && city) {
            int64_t f = 0;
            std::string hex;
            ls >> f >> hex;
            cases.back().hashes.emplace_back(f, std::stoull(hex, nullptr, 16));
        }
    }
    return cases;
}

TEST(CityVectors, FrameHashesMatchReference) {
    std::ifstream in;
    std::string why;
    if (!openVectors("hashes.txt", in, why)) GTEST_SKIP() << why;
    const auto cases = readCityHashes(in);
    ASSERT_FALSE(cases.empty()) << "no city cases in hashes.txt";

    for (const HashCase& c : cases) {
        SCOPED_TRACE(c.label);
        DuskmereScene scene(c.w, c.h, c.seed);
        Canvas canvas(c.w, c.h);
        std::vector<std::pair<int64_t, uint64_t>> got;
        scene.draw(canvas);
        got.emplace_back(0, canvasHash(canvas));
        for (int64_t f = 1; f <= c.frames; ++f) {
            scene.step();
            if (f % c.every != 0) continue;
            scene.draw(canvas);
            got.emplace_back(f, canvasHash(canvas));
        }
        ASSERT_EQ(got.size(), c.hashes.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i].first, c.hashes[i].first);
            ASSERT_EQ(got[i].second, c.hashes[i].second) << "first difference at frame " << got[i].first;
        }
    }
}

}  // namespace
}  // namespace duskmere
