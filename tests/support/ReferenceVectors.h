#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/PixelScene.h"
#include "pixels/Canvas.h"
#include "pixels/CanvasHash.h"

namespace duskmere::testing {

// The reference figures of an independent model, kept in the repository's test data: in the
// sources the test was built from, or those DUSKMERE_SOURCE_DIR names.
inline std::string referenceVectorsDir() {
    const char* source = std::getenv("DUSKMERE_SOURCE_DIR");
    return std::string(source && *source ? source : DUSKMERE_SOURCE_DIR) + "/tests/data/vectors/";
}

// Opens a reference file, or says why it cannot: the figures live in the repository, so a missing
// file is a broken checkout, a failure and never a skip.
inline bool openReferenceFile(const std::string& name, std::ifstream& in, std::string& why) {
    in.open(referenceVectorsDir() + name);
    if (!in) why = "no reference vectors at " + referenceVectorsDir() + name;
    return static_cast<bool>(in);
}

// "WxH" as two numbers.
inline bool parseReferenceSize(const std::string& s, int64_t& w, int64_t& h) {
    const auto x = s.find('x');
    if (x == std::string::npos) return false;
    w = std::stoll(s.substr(0, x));
    h = std::stoll(s.substr(x + 1));
    return true;
}

// One case of hashes.txt: a scene at a size and seed, and the hash of every listed frame.
struct ReferenceHashCase {
    std::string label;
    int64_t width = 0, height = 0, frames = 0, every = 1;
    uint64_t seed = 0;
    std::vector<std::pair<int64_t, uint64_t>> hashes;
};

// The cases of one scene ("city", "campfire") in hashes.txt.
inline std::vector<ReferenceHashCase> readReferenceHashes(std::istream& in, std::string_view sceneName) {
    std::vector<ReferenceHashCase> cases;
    bool mine = false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string word;
        ls >> word;
        if (word == "case") {
            std::string scene, size, k;
            ReferenceHashCase c;
            ls >> scene >> size >> k >> c.seed >> k >> c.frames >> k >> c.every;
            mine = scene == sceneName && parseReferenceSize(size, c.width, c.height) && c.every > 0;
            if (mine) {
                c.label = line;
                cases.push_back(c);
            }
        } else if (word == "frame" && mine) {
            int64_t f = 0;
            std::string hex;
            ls >> f >> hex;
            cases.back().hashes.emplace_back(f, std::stoull(hex, nullptr, 16));
        }
    }
    return cases;
}

// Draws frame 0 and every `every`-th frame of a freshly built scene, as duskmere-render
// --hash-every does, and checks each hash, stopping at the first difference.
inline void expectReferenceHashes(PixelScene& scene, const ReferenceHashCase& c) {
    SCOPED_TRACE(c.label);
    std::vector<int64_t> listed;
    for (const auto& h : c.hashes) listed.push_back(h.first);
    std::vector<int64_t> drawn;
    for (int64_t f = 0; f <= c.frames; f += c.every) drawn.push_back(f);
    ASSERT_EQ(listed, drawn) << "the case lists other frames than its header says";

    Canvas canvas(c.width, c.height);
    std::size_t next = 0;
    for (int64_t f = 0; f <= c.frames; ++f) {
        if (f > 0) scene.step();
        if (f % c.every != 0) continue;
        scene.draw(canvas);
        ASSERT_EQ(canvasHash(canvas), c.hashes[next].second)
            << "first difference at frame " << f << " after " << next << " matching frames";
        ++next;
    }
}

}  // namespace duskmere::testing
