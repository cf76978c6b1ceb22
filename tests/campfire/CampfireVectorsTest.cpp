// Checks the campfire scene against the reference figures of an independent model: the state
// right after construction and the per-frame canvas hashes.

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "campfire/CampfireScene.h"
#include "pixels/Canvas.h"
#include "support/ReferenceVectors.h"

namespace duskmere {
namespace {

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

TEST(CampfireVectors, ConstructionMatchesTheReference) {
    for (const testing::ReferenceCase& c : testing::readReferenceCases("campfire-construction.txt", "campfire")) {
        SCOPED_TRACE(c.label);
        const CampfireScene scene(c.width, c.height, c.seed);
        bool inTrees = false;
        std::size_t treeRow = 0;
        for (const std::string& line : c.lines) {
            if (line.rfind("w ", 0) == 0) {
                testing::expectReferenceFigures(
                    line, {{"w", scene.width()}, {"h", scene.height()}, {"ww", scene.workWidth()},
                           {"groundY", scene.groundRow()}, {"fireBase", scene.fireBaseRow()},
                           {"fw", scene.fireWidth()}, {"fh", scene.fireHeight()}, {"maxDecay", scene.maxHeatDecay()},
                           {"blockSize", scene.blockSide()}, {"tile", scene.tileSize()},
                           {"panFrames", scene.framesPerPan()}});
                EXPECT_EQ(scene.sceneScale(), std::stod(testing::referencePairs(line)["s"]));
            } else if (line.rfind("rng state after construction ", 0) == 0) {
                EXPECT_EQ(scene.rngState(), hex(line.substr(line.rfind(' ') + 1)));
            } else if (line.rfind("trees ", 0) == 0) {
                testing::expectReferenceFigures(
                    line, {{"trees", static_cast<int64_t>(scene.allTrees().size())}, {"treeTop", scene.treeTopRow()},
                           {"nextCampX", scene.nextCampColumn()}, {"lit", static_cast<int64_t>(scene.litPoints().size())},
                           {"overlay", static_cast<int64_t>(scene.overlayPixels().size())},
                           {"moon", static_cast<int64_t>(scene.moonPixels().size())}});
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
    const auto cases = testing::readReferenceHashes("campfire");
    ASSERT_EQ(cases.size(), 3u);
    for (const auto& c : cases) {
        ASSERT_FALSE(c.hashes.empty());
        CampfireScene scene(c.width, c.height, c.seed);
        testing::expectReferenceHashes(scene, c);
    }
}

}  // namespace
}  // namespace duskmere
