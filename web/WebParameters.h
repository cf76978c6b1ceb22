#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "CommandLine.h"
#include "catalog/SceneCatalog.h"

namespace duskmere {

// What the page was asked for in its URL fragment (#scene=campfire&seed=0x2a), checked in full
// before anything runs, with the same rules as duskmere-render's options.
struct WebParameters {
    const SceneEntry* scene = &sceneCatalog().front();
    std::optional<uint64_t> seed;
    std::optional<PixelSize> canvas;  // build this canvas and show it 1:1, without the view
    std::optional<int64_t> frames;    // run this many frames at once, then stop on the last
    int64_t hashEvery = 0;            // with frames: a hash line for frame 0 and every K-th frame
};

// Reads the page's address. The fragment holds name=value pairs separated by '&', each name and
// value percent-decoded (%26 is '&', %2B '+'); '+' is itself, not a space. A '%' without two hex
// digits after it stands for itself. The query (after '?') is not read: when it names one of the
// parameters, that is an error line saying they go after '#'; anything else in it (a host's or a
// link tracker's) is none of the page's business.
class WebParameterParser {
public:
    // The query and fragment without their '?' and '#'; the first error line, or empty when every
    // pair is good (finish() still to be called).
    std::string read(std::string_view query, std::string_view fragment);
    // One decoded pair; an error line, or empty when the pair is good.
    std::string add(std::string_view name, std::string_view value);
    // Checks what depends on several pairs; an error line, or empty.
    std::string finish();
    const WebParameters& parameters() const { return p_; }

    static constexpr int64_t maxCanvasSide = 4096;  // larger canvases outgrow a page's memory

private:
    WebParameters p_;
    unsigned seen_ = 0;
};

}  // namespace duskmere
