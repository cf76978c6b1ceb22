// Every scene at every awkward size, stepped past its first pans or scrolls, meteor, comet and
// animal and drawn on every frame. This is mainly a sanitizer run: that build turns any overflow or
// out-of-range index into a failure. In every build, a second scene of the same seed, stepped as
// far without drawing and drawn once at the end, must show the same picture: what the renderer
// relies on when it draws only the frames it writes, and what an unset value or a draw that
// changes the scene would break. Each draw changes nothing outside the columns it reports, and a
// campfire keeps its invariants at every size. DUSKMERE_SWEEP=full runs every size from 1 x 1 to
// 48 x 48; the default is a sample that fits in CI.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "campfire/CampfireInvariants.h"
#include "catalog/SceneCatalog.h"
#include "pixels/CanvasHash.h"

namespace duskmere {
namespace {

bool fullSweep() {
    const char* v = std::getenv("DUSKMERE_SWEEP");
    return v && std::string(v) == "full";
}

// Frames each scene needs to show everything it has: the city pans at 9000, the campfire has
// scrolled, spawned its first animal (300) and its first comet (1201) by 1300.
int64_t framesFor(std::string_view scene) { return scene == "city" ? 9001 : 1301; }

// Draws, and checks that every pixel the draw changed lies in the columns the scene says it may
// have changed (when it says): the presenter reads nothing else.
void drawChecked(PixelScene& scene, Canvas& canvas, int64_t frame) {
    const std::vector<uint32_t> before = canvas.px;
    scene.draw(canvas);
    const std::span<const RowSpan> spans = scene.changedSpans();
    if (spans.empty()) return;
    ASSERT_EQ(spans.size(), static_cast<size_t>(canvas.height));
    for (int64_t y = 0; y < canvas.height; ++y)
        for (int64_t x = 0; x < canvas.width; ++x) {
            const RowSpan& s = spans[static_cast<size_t>(y)];
            const size_t i = static_cast<size_t>(y * canvas.width + x);
            if (before[i] != canvas.px[i] && (x < s.x0 || x >= s.x1))
                FAIL() << "frame " << frame << ": pixel " << x << "," << y << " changed outside its row's span";
        }
}

// The hash of the last frame, drawn after every step or only at the end.
uint64_t lastFrame(const SceneEntry& entry, int64_t w, int64_t h, int64_t frames, bool drawEveryFrame) {
    std::unique_ptr<PixelScene> scene = entry.makeScene(w, h, static_cast<uint64_t>(w * 7919 + h));
    Canvas canvas(w, h);
    if (drawEveryFrame) drawChecked(*scene, canvas, 0);
    for (int64_t f = 0; f < frames; ++f) {
        scene->step();
        if (drawEveryFrame) drawChecked(*scene, canvas, f + 1);
    }
    if (!drawEveryFrame) scene->draw(canvas);
    if (const auto* campfire = dynamic_cast<const CampfireScene*>(scene.get())) expectInvariants(*campfire);
    return canvasHash(canvas);
}

void run(const SceneEntry& entry, int64_t w, int64_t h, int64_t frames) {
    EXPECT_EQ(lastFrame(entry, w, h, frames, true), lastFrame(entry, w, h, frames, false));
}

class SizeSweep : public ::testing::TestWithParam<std::string_view> {
protected:
    const SceneEntry& entry() const { return *findScene(GetParam()); }
};

TEST_P(SizeSweep, SmallCanvases) {
    const int64_t stride = fullSweep() ? 1 : 7;
    for (int64_t h = 1; h <= 48; h += stride)
        for (int64_t w = 1; w <= 48; w += stride) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
            run(entry(), w, h, framesFor(GetParam()));
        }
    run(entry(), 48, 48, framesFor(GetParam()));
}

TEST_P(SizeSweep, TallWideAndLargeCanvases) {
    struct Size {
        int64_t w, h;
    };
    // A column and a row, a few of either, a 4K-wide strip and a full canvas. The row is a thousand
    // wide (the full sweep adds 2000 x 1): its cost grows with the width, its kind does not.
    std::vector<Size> sizes = {{1, 2000}, {1000, 1}, {7, 1000}, {1000, 7}, {3840, 2}, {960, 540}};
    if (fullSweep()) sizes.insert(sizes.end(), {{2000, 1}, {1920, 1080}, {4096, 2304}});
    for (const Size& s : sizes) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
        // Large canvases cost a lot per frame under the sanitizers: the short form runs them past
        // their first meteor, scroll and animal, the full form as far as the small ones.
        const int64_t frames = fullSweep() || s.w * s.h <= 8000 ? framesFor(GetParam()) : 320;
        run(entry(), s.w, s.h, frames);
    }
}

std::vector<std::string_view> sceneNames() {
    std::vector<std::string_view> names;
    for (const SceneEntry& e : sceneCatalog()) names.push_back(e.name);
    return names;
}

INSTANTIATE_TEST_SUITE_P(AllScenes, SizeSweep, ::testing::ValuesIn(sceneNames()),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace duskmere
