#include "RenderOptions.h"

#include <cmath>

#include "ArgumentCursor.h"
#include "CommandLine.h"
#include "catalog/SceneCatalog.h"

namespace duskmere {

namespace {

constexpr int64_t maxSide = 16384;

}  // namespace

const char* const renderUsage =
    "usage: duskmere-render [options]\n"
    "Runs a scene without a display and writes PNG frames or per-frame hashes.\n"
    "  --scene NAME        the scene to run (city, campfire; default city)\n"
    "  --seed N            64-bit seed, decimal or 0x hex (default: random, printed on stderr)\n"
    "  --canvas WxH        build the scene at this canvas size; images are the canvas itself\n"
    "  --bounds WxH[@S]    go through the saver view of W x H points at backing scale S\n"
    "                      (default --bounds 1440x900); images are what the screen would show\n"
    "  --frames N          ticks to run (default 0)\n"
    "  --out PATH          write the frame after the last tick as PNG\n"
    "  --out -             write frame 0 and every frame after it (every K-th with --every) to\n"
    "                      standard output as raw RGBA, 4 bytes a pixel, top row first\n"
    "  --every K           with --out, write frame 0 and every K-th frame; PATH holds one\n"
    "                      integer field such as frame-%06d.png\n"
    "  --hash-every K      print 'frame <n> <fnv1a64>' for frame 0 and every K-th frame\n"
    "  --help              show this text\n"
    "  --version           show the version\n"
    "Sizes are 1 to 16384 per side; backing scales above 0, at most 16. Options may be spelled\n"
    "with one dash or two, and take their value as the next argument or after '=' (--seed=5).\n";

Parsed<RenderOptions> parseRenderOptions(const std::vector<std::string>& args) {
    bool sized = false;
    const auto take = [&](ArgumentCursor& cur, RenderOptions& o) -> std::string {
        const std::string& n = cur.name();
        // Messages name the option in its long spelling, whichever the user chose.
        const std::string flag = "--" + n;
        if (!cur.isOption()) return "unexpected argument '" + cur.spelled() + "' (see --help)";
        if (n == "help" || n == "h" || n == "version") {
            if (cur.hasInlineValue()) return "option " + cur.spelled() + " takes no value";
            (n == "version" ? o.version : o.help) = true;
            return {};
        }
        const bool known = n == "scene" || n == "seed" || n == "canvas" || n == "bounds" || n == "frames" ||
                           n == "out" || n == "every" || n == "hash-every";
        if (!known) return "unknown option '" + cur.spelled() + "' (see --help)";
        const std::optional<std::string> given = cur.value();
        if (!given) return "option " + cur.spelled() + " needs a value";
        const std::string& value = *given;

        if (flag == "--scene") {
            if (!findScene(value)) return "unknown scene '" + value + "' (scenes: " + sceneNames(", ") + ")";
            o.scene = value;
        } else if (flag == "--seed") {
            o.seed = parseSeed(value);
            if (!o.seed) return "malformed seed '" + value + "': give a 64-bit decimal or 0x hex number";
        } else if (flag == "--canvas" || flag == "--bounds") {
            if (sized) return "give only one of --canvas and --bounds";
            sized = true;
            o.throughView = flag == "--bounds";
            std::string size = value;
            if (o.throughView) {
                const size_t at = value.find('@');
                if (at != std::string::npos) {
                    const auto scale = parseScale(std::string_view(value).substr(at + 1), maxBackingScale);
                    if (!scale)
                        return "bad backing scale in '" + value + "': give a number above 0, at most " +
                               std::to_string(static_cast<int>(maxBackingScale));
                    o.backingScale = *scale;
                    size = value.substr(0, at);
                }
            }
            const auto parsed = parseSize(size, maxSide);
            if (!parsed) return "bad size '" + value + "' for " + flag + ": give WxH, each between 1 and 16384";
            o.width = parsed->width;
            o.height = parsed->height;
            if (o.throughView) {
                const std::string tooLarge = deviceBudgetError(static_cast<double>(o.width),
                                                               static_cast<double>(o.height), o.backingScale);
                if (!tooLarge.empty()) return "view '" + value + "' is too large: " + tooLarge;
            }
        } else if (flag == "--frames") {
            const auto n = parseFrameCount(value);
            if (!n) return badFrameCount(value);
            o.frames = *n;
        } else if (flag == "--out") {
            if (value.empty()) return "empty path for --out";
            o.out = value;
        } else {
            const auto k = parseCount(value, 1, INT64_MAX);
            if (!k) return "bad interval '" + value + "' for " + flag + ": give a whole number, 1 or more";
            (flag == "--every" ? o.every : o.hashEvery) = *k;
        }
        return {};
    };
    return parseArguments<RenderOptions>(args, take, [](const RenderOptions& o) -> std::string {
        if (o.help || o.version) return {};
        if (o.every && o.out.empty()) return "--every needs --out with a frame-number pattern";
        if (o.streamsFrames() && o.hashEvery) return "--hash-every and --out - cannot share standard output";
        if (o.every && !o.streamsFrames() && !isFramePattern(o.out))
            return "with --every, --out must hold one integer field such as frame-%06d.png";
        return {};
    });
}

}  // namespace duskmere
