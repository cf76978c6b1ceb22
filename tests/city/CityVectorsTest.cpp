// The city against the reference figures kept beside the sources: the state right after
// construction, and per-frame canvas hashes over long runs.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include "city/DuskmereScene.h"
#include "support/ReferenceVectors.h"

namespace duskmere {
namespace {

// The state right after construction, line by line: the sizes, the generator, then a row for each
// building and each spire under their headers.
TEST(CityVectors, ConstructionMatchesReference) {
    for (const testing::ReferenceCase& c : testing::readReferenceCases("city-construction.txt", "city")) {
        SCOPED_TRACE(c.label);
        const DuskmereScene scene(c.width, c.height, c.seed);
        const auto& buildings = scene.allBuildings();
        const auto& spires = scene.allSpires();
        std::string section;
        std::map<std::string, std::size_t> rows;  // compared under each header
        for (const std::string& line : c.lines) {
            std::istringstream ls(line);
            const bool header = line.rfind("  ", 0) != 0;
            if (header) ls >> section;
            if (section == "w") {
                testing::expectReferenceFigures(line, {{"w", scene.width()},
                                                       {"h", scene.height()},
                                                       {"tile", scene.tileSize()},
                                                       {"edge", scene.edgeSize()},
                                                       {"skylineTop", scene.skylineTopRow()}});
                EXPECT_DOUBLE_EQ(scene.cityScale(), std::stod(testing::referencePairs(line)["scale"]));
            } else if (section == "rng") {
                EXPECT_EQ(scene.rngState(), std::stoull(line.substr(line.rfind(' ') + 1), nullptr, 16));
            } else if (!header && section == "buildings") {
                const std::size_t i = rows[section]++;
                ASSERT_LT(i, buildings.size());
                const auto& b = buildings[i];
                int64_t x, widthTiles, heightTiles, style, visible;
                std::string color, front;
                ls >> x >> widthTiles >> heightTiles >> style >> color >> front >> visible;
                EXPECT_EQ(std::make_tuple(b.x, b.widthTiles, b.heightTiles, b.style, b.visible),
                          std::make_tuple(x, widthTiles, heightTiles, style, visible)) << "building " << i;
                EXPECT_EQ(b.color, static_cast<uint32_t>(std::stoul(color, nullptr, 16))) << "building " << i;
                EXPECT_EQ(b.front, front == "front") << "building " << i;
            } else if (!header && section == "spires") {
                const std::size_t i = rows[section]++;
                ASSERT_LT(i, spires.size());
                const auto& sp = spires[i];
                int64_t building, x, y, height, phase;
                ls >> building >> x >> y >> height >> phase;
                EXPECT_EQ(std::make_tuple(sp.building, sp.x, sp.y, sp.height, sp.phase), std::make_tuple(building, x, y, height, phase))
                    << "spire " << i;
            }
        }
        EXPECT_EQ(rows["buildings"], buildings.size());
        EXPECT_EQ(rows["spires"], spires.size());
    }
}

TEST(CityVectors, FrameHashesMatchReference) {
    for (const auto& c : testing::readReferenceHashes("city")) {
        DuskmereScene scene(c.width, c.height, c.seed);
        testing::expectReferenceHashes(scene, c);
    }
}

}  // namespace
}  // namespace duskmere
