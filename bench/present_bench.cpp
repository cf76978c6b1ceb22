// The software presenter at 1920 x 1080 device pixels: a full redraw, and a redraw after a few
// canvas pixels changed, at backing scale 1 (canvas 960 x 540) and 1.25 (canvas 768 x 432).
#include <benchmark/benchmark.h>

#include <string>

#include "host/PixelSaverView.h"
#include "host/SoftwareSaverPlatform.h"
#include "pixels/Canvas.h"

namespace {

using namespace duskmere;

class BenchPlatform : public SoftwareSaverPlatform {
public:
    using SoftwareSaverPlatform::SoftwareSaverPlatform;
    void setNeedsDisplay() override {}
    void setAnimationInterval(double) override {}
    void observeDistributedNotification(const std::string&, std::function<void()>) override {}
    std::string processName() const override { return "bench"; }
    void exitProcess(int) override {}
    uint64_t secureRandomSeed() override { return 1; }
};

// A busy picture in which each step moves a handful of dots, as a night sky does.
class DotsScene : public PixelScene {
public:
    DotsScene(int64_t w, int64_t h) : w_(w), h_(h), base_(static_cast<size_t>(w * h)) {
        for (size_t i = 0; i < base_.size(); ++i) base_[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    }
    void step() override { ++frame_; }
    void draw(Canvas& canvas) override {
        canvas.px = base_;
        for (int64_t k = 0; k < 40; ++k) {
            const int64_t x = (frame_ * 7 + k * 23) % w_, y = (k * 13 + frame_) % h_;
            canvas.px[static_cast<size_t>(y * w_ + x)] = 0xFFFFFFFFu;
        }
    }

private:
    int64_t w_, h_, frame_ = 0;
    std::vector<uint32_t> base_;
};

class DotsView : public PixelSaverView {
public:
    using PixelSaverView::PixelSaverView;
    double targetRows() const override { return 432.0; }
    std::unique_ptr<PixelScene> makeScene(int64_t w, int64_t h, uint64_t) override {
        return std::make_unique<DotsScene>(w, h);
    }
};

void run(benchmark::State& state, bool full) {
    const double scale = state.range(0) == 0 ? 1.0 : 1.25;
    BenchPlatform platform(scale);
    platform.setBounds(scale == 1.0 ? ViewSize{1920, 1080} : ViewSize{1536, 864});
    DotsView view(platform, PixelSaverView::FromFrame{}, false);
    view.drawRect();
    platform.finishRedraw();
    for (auto _ : state) {
        // Only the painting is timed: the scene and the view's copies are the same for any host.
        state.PauseTiming();
        view.animateOneFrame();
        if (full) platform.repaintAll();
        view.drawRect();
        state.ResumeTiming();
        benchmark::DoNotOptimize(platform.finishRedraw().size());
    }
    state.SetLabel(std::to_string(platform.deviceWidth()) + "x" + std::to_string(platform.deviceHeight()) + "@" +
                   (scale == 1.0 ? "1" : "1.25"));
}

void BM_PresentFull(benchmark::State& state) { run(state, true); }
void BM_PresentChanged(benchmark::State& state) { run(state, false); }
BENCHMARK(BM_PresentFull)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresentChanged)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
