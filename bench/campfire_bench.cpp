// Cost of the campfire scene per frame, against a plain copy of the visible pixels.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "campfire/CampfireScene.h"
#include "pixels/Canvas.h"

namespace {

using duskmere::CampfireScene;
using duskmere::Canvas;

// A scene that has run for a while: trees revealed, stars out, a second camp in the margin.
CampfireScene warmScene(int64_t w, int64_t h) {
    CampfireScene scene(w, h, 0x5EED);
    for (int i = 0; i < 1800; ++i) scene.step();
    return scene;
}

void CampfireStep(benchmark::State& state) {
    CampfireScene scene = warmScene(state.range(0), state.range(1));
    for (auto _ : state) {
        scene.step();
        benchmark::ClobberMemory();
    }
    state.counters["scrolls"] = static_cast<double>(scene.panCount());
}

void CampfireDraw(benchmark::State& state) {
    CampfireScene scene = warmScene(state.range(0), state.range(1));
    Canvas canvas(state.range(0), state.range(1));
    for (auto _ : state) {
        scene.draw(canvas);
        benchmark::DoNotOptimize(canvas.px.data());
        benchmark::ClobberMemory();
    }
}

// The reference: copying the visible canvas bytes once, nothing else.
void PlainCopy(benchmark::State& state) {
    const auto pixels = static_cast<std::size_t>(state.range(0) * state.range(1));
    std::vector<uint32_t> source(pixels, 0xFF123456u);
    Canvas canvas(state.range(0), state.range(1));
    for (auto _ : state) {
        std::memcpy(canvas.px.data(), source.data(), pixels * sizeof(uint32_t));
        benchmark::DoNotOptimize(canvas.px.data());
        benchmark::ClobberMemory();
    }
}

void CampfireConstruct(benchmark::State& state) {
    uint64_t seed = 1;
    for (auto _ : state) {
        CampfireScene scene(state.range(0), state.range(1), seed++);
        benchmark::DoNotOptimize(scene.rngState());
    }
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Args({480, 270})->Args({960, 540});
}

BENCHMARK(PlainCopy)->Apply(sizes);
BENCHMARK(CampfireDraw)->Apply(sizes);
BENCHMARK(CampfireStep)->Apply(sizes);
BENCHMARK(CampfireConstruct)->Apply(sizes)->Unit(benchmark::kMillisecond);

}  // namespace
