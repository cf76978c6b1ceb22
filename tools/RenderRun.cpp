#include "RenderRun.h"

#include <cinttypes>
#include <string>

#include "CommandLine.h"
#include "cairo/CairoSaverPlatform.h"
#include "cairo/PngFile.h"
#include "catalog/SceneCatalog.h"
#include "pixels/CanvasHash.h"

namespace duskmere {

namespace {

// Decides which frames are hashed and written, and does both.
class FrameOutput {
public:
    FrameOutput(const RenderOptions& o, std::FILE* out, std::FILE* err) : o_(o), out_(out), err_(err) {}

    bool hashes(int64_t n) const { return o_.hashEvery > 0 && n % o_.hashEvery == 0; }
    bool writes(int64_t n) const {
        if (o_.out.empty()) return false;
        return o_.every > 0 ? n % o_.every == 0 : n == o_.frames;
    }
    bool wanted(int64_t n) const { return hashes(n) || writes(n); }
    std::FILE* errors() const { return err_; }

    // Emits frame n from the drawn canvas and the image that shows it; false on a write error.
    bool emit(int64_t n, const Canvas& canvas, cairo_surface_t* image) {
        if (hashes(n)) std::fprintf(out_, "frame %" PRId64 " %016" PRIx64 "\n", n, canvasHash(canvas));
        if (!writes(n)) return true;
        const std::string path = o_.every > 0 ? formatFramePath(o_.out, n) : o_.out;
        std::string error;
        if (image && writePngAtomically(image, path, error)) return true;
        std::fprintf(err_, "duskmere-render: %s\n", image ? error.c_str() : "cannot make an image of the frame");
        return false;
    }

private:
    const RenderOptions& o_;
    std::FILE* out_;
    std::FILE* err_;
};

int renderCanvas(const RenderOptions& o, const SceneEntry& entry, uint64_t seed, FrameOutput& output) {
    std::unique_ptr<PixelScene> scene = entry.makeScene(o.width, o.height, seed);
    Canvas canvas(o.width, o.height);
    for (int64_t n = 0; n <= o.frames; ++n) {
        if (n > 0) scene->step();
        if (!output.wanted(n)) continue;
        scene->draw(canvas);
        CairoSurface image = output.writes(n) ? makeCairoImage(canvas.px.data(), canvas.width, canvas.height) : nullptr;
        if (!output.emit(n, canvas, image.get())) return 1;
    }
    return 0;
}

int renderView(const RenderOptions& o, const SceneEntry& entry, uint64_t seed, FrameOutput& output) {
    CairoSaverPlatform platform(o.backingScale);
    platform.setBounds({static_cast<double>(o.width), static_cast<double>(o.height)});
    platform.fixSeed(seed);
    std::unique_ptr<PixelSaverView> view = entry.makeView(platform);
    view->drawRect();  // the first redraw builds canvas and scene; ticks before it step nothing
    for (int64_t n = 0; n <= o.frames; ++n) {
        if (n > 0) view->animateOneFrame();
        if (!output.wanted(n)) continue;
        if (n > 0) view->drawRect();  // frame 0 is the first redraw's
        if (!view->canvas()) {
            std::fputs("duskmere-render: the view made no canvas\n", output.errors());
            return 1;
        }
        if (!output.emit(n, *view->canvas(), platform.surface())) return 1;
    }
    return 0;
}

}  // namespace

int runRender(const RenderOptions& o, std::FILE* out, std::FILE* err) {
    const SceneEntry* entry = findScene(o.scene);
    if (!entry) {
        std::fprintf(err, "duskmere-render: unknown scene '%s'\n", o.scene.c_str());
        return 2;
    }
    if (!o.out.empty()) {
        std::string error;
        // An output nobody can write is a bad argument: say so before any work starts.
        if (!folderIsWritable(o.out, error)) {
            std::fprintf(err, "duskmere-render: %s\n", error.c_str());
            return 2;
        }
    }
    uint64_t seed;
    if (o.seed) {
        seed = *o.seed;
    } else {
        seed = CairoSaverPlatform().secureRandomSeed();
        std::fprintf(err, "duskmere-render: seed 0x%016" PRIx64 "\n", seed);
    }
    FrameOutput output(o, out, err);
    const int status = o.throughView ? renderView(o, *entry, seed, output) : renderCanvas(o, *entry, seed, output);
    std::fflush(out);
    return status;
}

}  // namespace duskmere
