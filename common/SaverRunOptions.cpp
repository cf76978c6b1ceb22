#include "SaverRunOptions.h"

#include "CommandLine.h"
#include "catalog/SceneCatalog.h"

namespace duskmere {

std::optional<std::string> takeSaverRunOption(ArgumentCursor& cur, SaverRunOptions& o) {
    const std::string& n = cur.name();
    const std::string& s = cur.spelled();
    const char* what = n == "scene"           ? "a scene name"
                       : n == "seed"          ? "a seed"
                       : n == "backing-scale" ? "a scale"
                       : n == "frames"        ? "a number of frames"
                       : n == "capture"       ? "a file name"
                                              : nullptr;
    if (!cur.isOption() || !what) return std::nullopt;
    const std::optional<std::string> v = cur.value();
    if (!v) return s + " needs " + what;
    if (n == "scene") {
        if (!findScene(*v)) return "unknown scene '" + *v + "' (" + sceneNames(" or ") + ")";
        o.scene = *v;
    } else if (n == "seed") {
        o.seed = parseSeed(*v);
        if (!o.seed) return s + " needs a number, decimal or 0x hex, not '" + *v + "'";
    } else if (n == "backing-scale") {
        o.backingScale = parseScale(*v, maxBackingScale);
        if (!o.backingScale) return s + " needs a number above 0 and at most 16, not '" + *v + "'";
    } else if (n == "frames") {
        o.frames = parseFrameCount(*v);
        if (!o.frames) return badFrameCount(*v);
    } else {
        if (v->empty()) return s + " needs a file name";
        o.capture = *v;
    }
    return std::string();
}

}  // namespace duskmere
