// The city's frame costs against a plain copy of one canvas worth of bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "city/DuskmereScene.h"
#include "pixels/Canvas.h"

namespace {

using duskmere::Canvas;
using duskmere::DuskmereScene;

constexpr int64_t sizes[][2] = {{720, 450}, {960, 540}};

void sizeArgs(benchmark::internal::Benchmark* b) {
    for (const auto& s : sizes) b->Args({s[0], s[1]});
}

// One measured iteration is a whole pan period, so the average per step includes one pan.
void BM_CityStep(benchmark::State& state) {
    DuskmereScene scene(state.range(0), state.range(1), 0xC17Cu);
    for (auto _ : state) {
        for (int64_t f = 0; f < DuskmereScene::panFrames; ++f) scene.step();
        benchmark::DoNotOptimize(scene.picture().data());
    }
    state.counters["per_step"] = benchmark::Counter(static_cast<double>(DuskmereScene::panFrames),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}
BENCHMARK(BM_CityStep)->Apply(sizeArgs)->Unit(benchmark::kMillisecond);

// Drawn mid-animation: stars, lit windows, and a comet in flight after its first wait.
void BM_CityDraw(benchmark::State& state) {
    DuskmereScene scene(state.range(0), state.range(1), 0xC17Cu);
    for (int f = 0; f < 1500; ++f) scene.step();
    Canvas canvas(state.range(0), state.range(1));
    for (auto _ : state) {
        scene.draw(canvas);
        benchmark::DoNotOptimize(canvas.px.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CityDraw)->Apply(sizeArgs)->Unit(benchmark::kMicrosecond);

void BM_CityConstruct(benchmark::State& state) {
    uint64_t seed = 1;
    for (auto _ : state) {
        DuskmereScene scene(state.range(0), state.range(1), seed++);
        benchmark::DoNotOptimize(scene.ownerMap().data());
    }
}
BENCHMARK(BM_CityConstruct)->Apply(sizeArgs)->Unit(benchmark::kMicrosecond);

// The reference: a canvas worth of bytes copied with memcpy.
void BM_CanvasCopy(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0) * state.range(1));
    const std::vector<uint32_t> from(n, 0xFF000000u);
    std::vector<uint32_t> to(n);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), n * sizeof(uint32_t));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CanvasCopy)->Apply(sizeArgs)->Unit(benchmark::kMicrosecond);

}  // namespace
