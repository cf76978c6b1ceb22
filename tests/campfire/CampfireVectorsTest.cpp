// Checks the campfire scene against the reference figures of an independent model: the state
// right after construction and the per-frame canvas hashes.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "campfire/CampfireScene.h"
#include "pixels/Canvas.h"
#include "support/ReferenceVectors.h"

namespace duskmere {
namespace {

std::filesystem::path vectorsDir() { return testing::referenceVectorsDir(); }

std::vector<std::string> readLines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// "key value key value ..." into a map.
std::map<std::string, std::string> pairs(const std::string& line) {
    std::istringstream in(line);
    std::map<std::string, std::string> out;
    for (std::string key, value; in >> key >> value;) out[key] = value;
    return out;
}

uint64_t hex(const std::string& text) { return std::stoull(text, nullptr, 16); }

// The values inside every "( ... )" group of a line, split on spaces.
std::vector<std::vector<std::string>> groups(const std::string& line) {
    std::vector<std::vector<std::string>> out;
    std::size_t at = 0;
    while ((at = line.find('(', at)) != std::string::npos) {
        const std::size_t end = line.find(')', at);
        std::istringstream in(line.substr(at + 1, end - at - 1));
        std::vector<std::string> words;
        for (std::string word; in >> word;) words.push_back(word);
        out.push_back(words);
        at = end;
    }
    return out;
}

struct ConstructionCase {
    int64_t width = 0;
    int64_t height = 0;
    uint64_t seed = 0;
    std::vector<std::string> lines;
};

std::vector<ConstructionCase> constructionCases(const std::filesystem::path& path) {
    std::vector<ConstructionCase> cases;
    for (const std::string& line : readLines(path)) {
        if (line.rfind("case campfire ", 0) == 0) {
            std::istringstream in(line);
            std::string word, size;
            ConstructionCase c;
            in >> word >> word >> size >> word >> c.seed;
            c.width = std::stoll(size.substr(0, size.find('x')));
            c.height = std::stoll(size.substr(size.find('x') + 1));
            cases.push_back(c);
        } else if (!cases.empty() && !line.empty()) {
            cases.back().lines.push_back(line);
        }
    }
    return cases;
}

#define NEED_VECTORS(file)                                                              \
    const std::filesystem::path path = vectorsDir() / (file);                           \
    ASSERT_TRUE(std::filesystem::exists(path)) << "reference vectors not found: " << path;

TEST(CampfireVectors, ConstructionMatchesTheReference) {
    NEED_VECTORS("campfire-construction.txt");
    const auto cases = constructionCases(path);
    ASSERT_FALSE(cases.empty());
    for (const ConstructionCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " seed " +
                     std::to_string(c.seed));
        const CampfireScene scene(c.width, c.height, c.seed);
        bool inTrees = false;
        std::size_t treeRow = 0;
        for (const std::string& line : c.lines) {
            if (line.rfind("w ", 0) == 0) {
                auto f = pairs(line);
                EXPECT_EQ(scene.width(), std::stoll(f["w"]));
                EXPECT_EQ(scene.height(), std::stoll(f["h"]));
                EXPECT_EQ(scene.workWidth(), std::stoll(f["ww"]));
                EXPECT_EQ(scene.sceneScale(), std::stod(f["s"]));
                EXPECT_EQ(scene.groundRow(), std::stoll(f["groundY"]));
                EXPECT_EQ(scene.fireBaseRow(), std::stoll(f["fireBase"]));
                EXPECT_EQ(scene.fireWidth(), std::stoll(f["fw"]));
                EXPECT_EQ(scene.fireHeight(), std::stoll(f["fh"]));
                EXPECT_EQ(scene.maxHeatDecay(), std::stoll(f["maxDecay"]));
                EXPECT_EQ(scene.blockSide(), std::stoll(f["blockSize"]));
                EXPECT_EQ(scene.tileSize(), std::stoll(f["tile"]));
                EXPECT_EQ(scene.framesPerPan(), std::stoll(f["panFrames"]));
            } else if (line.rfind("rng state after construction ", 0) == 0) {
                EXPECT_EQ(scene.rngState(), hex(line.substr(line.rfind(' ') + 1)));
            } else if (line.rfind("trees ", 0) == 0) {
                auto f = pairs(line);
                EXPECT_EQ(static_cast<int64_t>(scene.allTrees().size()), std::stoll(f["trees"]));
                EXPECT_EQ(scene.treeTopRow(), std::stoll(f["treeTop"]));
                EXPECT_EQ(scene.nextCampColumn(), std::stoll(f["nextCampX"]));
                EXPECT_EQ(static_cast<int64_t>(scene.litPoints().size()), std::stoll(f["lit"]));
                EXPECT_EQ(static_cast<int64_t>(scene.overlayPixels().size()), std::stoll(f["overlay"]));
                EXPECT_EQ(static_cast<int64_t>(scene.moonPixels().size()), std::stoll(f["moon"]));
            } else if (line.rfind("camps:", 0) == 0) {
                const auto camps = groups(line);
                ASSERT_EQ(scene.allCamps().size(), camps.size());
                for (std::size_t i = 0; i < camps.size(); ++i) {
                    EXPECT_EQ(scene.allCamps()[i].centerX, std::stoll(camps[i][1]));
                    EXPECT_EQ(scene.allCamps()[i].fireX, std::stoll(camps[i][3]));
                }
            } else if (line.rfind("fireflies", 0) == 0) {
                const auto flies = groups(line.substr(line.find(':')));
                ASSERT_EQ(scene.fireflies().size(), flies.size());
                for (std::size_t i = 0; i < flies.size(); ++i) {
                    EXPECT_EQ(scene.fireflies()[i].x, std::stod(flies[i][0]));
                    EXPECT_EQ(scene.fireflies()[i].y, std::stod(flies[i][1]));
                    EXPECT_EQ(scene.fireflies()[i].timer, std::stoll(flies[i][2]));
                }
            } else if (line.rfind("first ", 0) == 0) {
                inTrees = true;
            } else if (line.rfind("pending:", 0) == 0) {
                inTrees = false;
                const auto pending = groups(line);
                ASSERT_EQ(pending.size(), 2u);
                for (std::size_t L = 0; L < 2; ++L) {
                    EXPECT_EQ(scene.pendingTrees()[L].cx, std::stoll(pending[L][1]));
                    EXPECT_EQ(scene.pendingTrees()[L].height, std::stoll(pending[L][3]));
                }
            } else if (inTrees) {
                std::istringstream in(line);
                int64_t cx, baseY, height, style;
                double spread;
                std::string color, row;
                in >> cx >> baseY >> height >> spread >> style >> color >> row;
                ASSERT_LT(treeRow, scene.allTrees().size());
                const auto& t = scene.allTrees()[treeRow++];
                EXPECT_EQ(t.cx, cx);
                EXPECT_EQ(t.baseY, baseY);
                EXPECT_EQ(t.height, height);
                EXPECT_EQ(t.spread, spread);
                EXPECT_EQ(t.style, style);
                EXPECT_EQ(t.color, static_cast<uint32_t>(hex(color)));
                EXPECT_EQ(t.front, row == "front");
            }
        }
        EXPECT_GT(treeRow, 0u);
    }
}

TEST(CampfireVectors, FrameHashesMatchTheReference) {
    std::ifstream in;
    std::string why;
    ASSERT_TRUE(testing::openReferenceFile("hashes.txt", in, why)) << why;
    const auto cases = testing::readReferenceHashes(in, "campfire");
    ASSERT_EQ(cases.size(), 3u);
    for (const auto& c : cases) {
        ASSERT_FALSE(c.hashes.empty());
        CampfireScene scene(c.width, c.height, c.seed);
        testing::expectReferenceHashes(scene, c);
    }
}

}  // namespace
}  // namespace duskmere
