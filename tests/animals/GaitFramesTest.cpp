#include "animals/Animals.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/ReferenceVectors.h"

namespace duskmere {
namespace {

// One frame of the reference file: its header figures and, where given, its rows.
struct ReferenceFrame {
    int64_t width = 0;
    int64_t height = 0;
    int64_t bitsSet = 0;
    std::vector<std::string> rows;
};

std::string referencePath() { return testing::referenceVectorsDir() + "sprites.txt"; }

// Reads "<species> frame <k>: <W>x<H>, <N> bits set" headers, each followed by zero or more
// bitmap rows indented by two spaces.
std::map<std::pair<std::string, int>, ReferenceFrame> readReference(std::istream& in) {
    std::map<std::pair<std::string, int>, ReferenceFrame> frames;
    ReferenceFrame* open = nullptr;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("  ", 0) == 0) {
            if (open) open->rows.push_back(line.substr(2));
            continue;
        }
        std::istringstream header(line);
        std::string species, word;
        int k = -1;
        char colon = 0, times = 0, comma = 0;
        ReferenceFrame frame;
        header >> species >> word >> k >> colon >> frame.width >> times >> frame.height >> comma >>
            frame.bitsSet;
        if (!header || word != "frame" || colon != ':' || times != 'x' || comma != ',') {
            ADD_FAILURE() << "unreadable line: " << line;
            open = nullptr;
            continue;
        }
        open = &(frames[{species, k}] = frame);
    }
    return frames;
}

TEST(GaitFrames, MatchTheReferenceFramesAtScaleOne) {
    std::ifstream in(referencePath());
    ASSERT_TRUE(in) << "reference frames not found at " << referencePath();
    const auto reference = readReference(in);
    ASSERT_EQ(reference.size(), 24u);

    int64_t bitmapsCompared = 0;
    for (Species species : allSpecies) {
        const std::vector<Sprite> frames = Animals::gaitFrames(species, 1.0);
        ASSERT_EQ(frames.size(), 8u);
        for (int k = 0; k < 8; ++k) {
            const std::string name = std::string(rawValue(species)) + " frame " + std::to_string(k);
            auto found = reference.find({std::string(rawValue(species)), k});
            ASSERT_NE(found, reference.end()) << name;
            const ReferenceFrame& want = found->second;
            const Sprite& got = frames[static_cast<std::size_t>(k)];
            ASSERT_EQ(got.width(), want.width) << name;
            ASSERT_EQ(got.height(), want.height) << name;

            int64_t set = 0;
            std::vector<std::string> rows;
            for (int64_t y = 0; y < got.height(); ++y) {
                std::string row;
                for (int64_t x = 0; x < got.width(); ++x) {
                    row += got.bit(x, y) ? '#' : '.';
                    set += got.bit(x, y) ? 1 : 0;
                }
                rows.push_back(row);
            }
            EXPECT_EQ(set, want.bitsSet) << name;
            if (!want.rows.empty()) {
                ASSERT_EQ(want.rows.size(), static_cast<std::size_t>(want.height)) << name;
                for (std::size_t y = 0; y < rows.size(); ++y) {
                    EXPECT_EQ(rows[y], want.rows[y]) << name << " row " << y;
                }
                ++bitmapsCompared;
            }
        }
    }
    EXPECT_GT(bitmapsCompared, 0);
}

}  // namespace
}  // namespace duskmere
