#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "SourceDir.h"
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

// "WxH" as two numbers.
inline bool parseReferenceSize(const std::string& s, int64_t& w, int64_t& h) {
    const auto x = s.find('x');
    if (x == std::string::npos) return false;
    w = std::stoll(s.substr(0, x));
    h = std::stoll(s.substr(x + 1));
    return true;
}

// One case of a reference file: its header, "case SCENE WxH seed N ...", and the lines under it.
struct ReferenceCase {
    std::string label;  // the header
    int64_t width = 0, height = 0;
    uint64_t seed = 0;
    std::string rest;                // the header's words after the seed
    std::vector<std::string> lines;  // up to the next case, blank ones left out
};

// The cases of one scene ("city", "campfire") in a reference file. The figures live in the
// repository, so a file that cannot be read is a broken checkout: a failure, never a skip.
inline std::vector<ReferenceCase> readReferenceCases(const std::string& file, std::string_view sceneName) {
    std::ifstream in(referenceVectorsDir() + file);
    if (!in) ADD_FAILURE() << "no reference vectors at " << referenceVectorsDir() + file;
    std::vector<ReferenceCase> cases;
    bool mine = false;
    for (std::string line; std::getline(in, line);) {
        std::istringstream ls(line);
        std::string word, scene, size;
        ls >> word;
        if (word == "case") {
            ReferenceCase c;
            ls >> scene >> size >> word >> c.seed;
            mine = scene == sceneName && parseReferenceSize(size, c.width, c.height);
            if (!mine) continue;
            c.label = line;
            std::getline(ls >> std::ws, c.rest);
            cases.push_back(c);
        } else if (mine && !line.empty()) {
            cases.back().lines.push_back(line);
        }
    }
    if (cases.empty()) ADD_FAILURE() << "no " << sceneName << " cases in " << file;
    return cases;
}

// "key value key value ..." into a map.
inline std::map<std::string, std::string> referencePairs(const std::string& line) {
    std::istringstream in(line);
    std::map<std::string, std::string> out;
    for (std::string key, value; in >> key >> value;) out[key] = value;
    return out;
}

// The whole numbers a "key value ..." line gives, each against the scene's own.
inline void expectReferenceFigures(const std::string& line,
                                   std::initializer_list<std::pair<const char*, int64_t>> figures) {
    const auto given = referencePairs(line);
    for (const auto& [key, value] : figures) {
        const auto it = given.find(key);
        if (it == given.end()) {
            ADD_FAILURE() << "no " << key << " in " << line;
        } else {
            EXPECT_EQ(value, std::stoll(it->second)) << key;
        }
    }
}

// One case of hashes.txt: a scene at a size and seed, and the hash of every listed frame.
struct ReferenceHashCase {
    std::string label;
    int64_t width = 0, height = 0, frames = 0, every = 1;
    uint64_t seed = 0;
    std::vector<std::pair<int64_t, uint64_t>> hashes;
};

// The cases of one scene in hashes.txt.
inline std::vector<ReferenceHashCase> readReferenceHashes(std::string_view sceneName) {
    std::vector<ReferenceHashCase> cases;
    for (const ReferenceCase& r : readReferenceCases("hashes.txt", sceneName)) {
        ReferenceHashCase c{r.label, r.width, r.height, 0, 0, r.seed, {}};
        std::string k;
        std::istringstream(r.rest) >> k >> c.frames >> k >> c.every;
        if (c.every <= 0) {
            ADD_FAILURE() << "no frame step in " << r.label;
            continue;
        }
        for (const std::string& line : r.lines) {
            std::istringstream ls(line);
            int64_t f = 0;
            std::string hex;
            ls >> k >> f >> hex;
            c.hashes.emplace_back(f, std::stoull(hex, nullptr, 16));
        }
        cases.push_back(c);
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
