#include "SaverRunOptions.h"

#include "CommandLine.h"
#include "catalog/SceneCatalog.h"

namespace duskmere {

bool takeSaverRunOption(ArgumentCursor& cur, SaverRunOptions& o, std::string& error) {
    const std::string& n = cur.name();
    const std::string& s = cur.spelled();
    const char* what = n == "scene"           ? "a scene name"
                       : n == "seed"          ? "a seed"
                       : n == "backing-scale" ? "a scale"
                       : n == "frames"        ? "a number of frames"
                       : n == "capture"       ? "a file name"
                                              : nullptr;
    if (!cur.isOption() || !what) return false;
    const std::optional<std::string> v = cur.value();
    if (!v) {
        error = s + " needs " + what;
    } else if (n == "scene") {
        if (findScene(*v)) o.scene = *v;
        else error = "unknown scene '" + *v + "' (" + sceneNames(" or ") + ")";
    } else if (n == "seed") {
        o.seed = parseSeed(*v);
        if (!o.seed) error = s + " needs a number, decimal or 0x hex, not '" + *v + "'";
    } else if (n == "backing-scale") {
        o.backingScale = parseScale(*v, maxBackingScale);
        if (!o.backingScale) error = s + " needs a number above 0 and at most 16, not '" + *v + "'";
    } else if (n == "frames") {
        o.frames = parseFrameCount(*v);
        if (!o.frames) error = badFrameCount(*v);
    } else if (v->empty()) {
        error = s + " needs a file name";
    } else {
        o.capture = *v;
    }
    return true;
}

}  // namespace duskmere
