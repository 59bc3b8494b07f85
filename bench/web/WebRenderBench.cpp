// SPDX-License-Identifier: MIT
// The web engine's render (document bytes in, WAV bytes out) compiled
// natively: the yardstick for the same call in WebAssembly
// (bench/web/render-speed.mjs; bench/web/compare.sh runs both).
#include <fstream>
#include <iterator>
#include <string>

#include <benchmark/benchmark.h>

#include "app/web/WebEngine.h"

namespace {

std::string demoBytes() {
    std::ifstream in(TAVOLIN_SOURCE_DIR "/examples/demo.mml", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Arg: arithmetic (0 Fix, 1 Float, 2 Double), at 48 kHz.
void BM_WebRenderDemo(benchmark::State& state) {
    const std::string doc = demoBytes();
    tavolin::web::Settings settings;
    settings.arith = static_cast<tavolin::Arith>(state.range(0));
    std::string error;
    size_t bytes = 0;
    for (auto _ : state) {
        const std::vector<uint8_t> wav = tavolin::web::renderDocument(doc, settings, error);
        bytes = wav.size();
        benchmark::DoNotOptimize(wav.data());
    }
    if (!error.empty() || bytes <= 44) state.SkipWithError("the demo did not render");
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>((bytes - 44) / 4) * static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WebRenderDemo)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
