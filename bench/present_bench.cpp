// The software presenter at 1920 x 1080 device pixels: a full redraw, a redraw after a few
// canvas pixels changed (with and without the scene noting where), and one after the picture
// scrolled a column (with the host taking shifts), at backing scale 1 (canvas 960 x 540) and
// 1.25 (canvas 768 x 432). Timed: the view's redraw (the presenter taking the canvas as an
// image) and finishRedraw(), not the scene's step and drawing. The counter `reported` is the
// share of the picture the host is given to copy.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "host/PixelSaverView.h"
#include "host/SoftwareSaverPlatform.h"
#include "pixels/Canvas.h"

namespace {

using namespace duskmere;

class BenchPlatform : public SoftwareSaverPlatform {
public:
    using SoftwareSaverPlatform::SoftwareSaverPlatform;
    std::string processName() const override { return "bench"; }
    void exitProcess(int) override {}

private:
    uint64_t systemSeed() override { return 1; }
};

// A busy picture in which each step moves a handful of dots, as a night sky does; when it
// scrolls, the picture also moves a column to the left, as the forest does.
class DotsScene : public PixelScene {
public:
    DotsScene(int64_t w, int64_t h, bool scrolls) : w_(w), h_(h), scrolls_(scrolls), base_(static_cast<size_t>(w * h)) {
        for (size_t i = 0; i < base_.size(); ++i) base_[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    }
    void step() override {
        ++frame_;
        if (scrolls_)
            for (int64_t y = 0; y < h_; ++y) {
                const auto row = base_.begin() + y * w_;
                std::rotate(row, row + 1, row + w_);
            }
    }
    void draw(Canvas& canvas) override {
        if (state) state->PauseTiming();
        canvas.px = base_;
        // The dots of this frame and of the one before are all that changed.
        spans_.assign(notes && drawn_ ? static_cast<size_t>(h_) : 0, RowSpan{});
        for (int64_t f = frame_ - 1; f <= frame_; ++f)
            for (int64_t k = 0; k < 40; ++k) {
                const int64_t x = (f * 7 + k * 23) % w_, y = (k * 13 + f) % h_;
                if (f == frame_) canvas.px[static_cast<size_t>(y * w_ + x)] = 0xFFFFFFFFu;
                if (!spans_.empty() && f >= 0) spans_[static_cast<size_t>(y)].add(static_cast<int32_t>(x), static_cast<int32_t>(x + 1));
            }
        drawn_ = true;
        if (state) state->ResumeTiming();
    }
    std::span<const RowSpan> changedSpans() const override { return spans_; }
    benchmark::State* state = nullptr;
    bool notes = false;

private:
    int64_t w_, h_;
    bool scrolls_;
    int64_t frame_ = 0;
    std::vector<uint32_t> base_;
    std::vector<RowSpan> spans_;
    bool drawn_ = false;
};

class DotsView : public PixelSaverView {
public:
    using PixelSaverView::PixelSaverView;
    double targetRows() const override { return 432.0; }
    bool scrolls = false, notes = false;
    DotsScene* scene = nullptr;
    std::unique_ptr<PixelScene> makeScene(int64_t w, int64_t h, uint64_t) override {
        auto made = std::make_unique<DotsScene>(w, h, scrolls);
        made->notes = notes;
        scene = made.get();
        return made;
    }
};

enum class Kind { full, changed, noted, scroll };

void run(benchmark::State& state, Kind kind) {
    const double scale = state.range(0) == 0 ? 1.0 : 1.25;
    BenchPlatform platform(scale);
    platform.setBounds(scale == 1.0 ? ViewSize{1920, 1080} : ViewSize{1536, 864});
    platform.acceptShifts(true);
    DotsView view(platform, PixelSaverView::FromFrame{});
    view.scrolls = kind == Kind::scroll;
    view.notes = kind == Kind::noted;
    view.drawRect();
    platform.finishRedraw();
    view.scene->state = &state;
    double reported = 0;
    for (auto _ : state) {
        state.PauseTiming();
        view.animateOneFrame();
        if (kind == Kind::full) platform.repaintAll();
        state.ResumeTiming();
        view.drawRect();
        const std::vector<DeviceBox>& boxes = platform.finishRedraw();
        for (const DeviceBox& b : boxes) reported += static_cast<double>(b.x1 - b.x0) * (b.y1 - b.y0);
    }
    const double all = static_cast<double>(platform.deviceWidth()) * platform.deviceHeight();
    state.counters["reported"] = benchmark::Counter(reported / all / static_cast<double>(state.iterations()));
    state.SetLabel(std::to_string(platform.deviceWidth()) + "x" + std::to_string(platform.deviceHeight()) + "@" +
                   (scale == 1.0 ? "1" : "1.25"));
}

void BM_PresentFull(benchmark::State& state) { run(state, Kind::full); }
void BM_PresentChanged(benchmark::State& state) { run(state, Kind::changed); }
void BM_PresentNoted(benchmark::State& state) { run(state, Kind::noted); }
void BM_PresentScroll(benchmark::State& state) { run(state, Kind::scroll); }
BENCHMARK(BM_PresentFull)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresentChanged)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresentNoted)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresentScroll)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
