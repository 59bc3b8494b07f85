// SPDX-License-Identifier: MIT
// Paying the fast seek's owed noise-filter steps: nanoseconds per step, one
// step after the other and in stretches side by side, per arithmetic type
// (rows 3 to 5: the same with the 512-bit lanes turned off).
#include <benchmark/benchmark.h>

#include <string>

#include "synth/NoiseSteps.h"

namespace tavolin {
namespace {

// Ten million steps at 48 kHz with the cutoff of duty 0 (the noise drum's).
template <EngineNumType T>
void payDebt(benchmark::State& state, bool inOrder, const char* name) {
    NoiseRun<T> run;
    run.coefficients = noiseCoefficients<T>(48000, Num<T>::fromDouble(23800));
    run.fromState = 1;
    run.samples = 10'000'000;
    NoiseStepStats stats;
    for (auto _ : state) {
        const NoiseFilter<T> f = inOrder ? runNoiseStepsInOrder<T>({}, std::span(&run, 1))
                                         : runNoiseSteps<T>({}, std::span(&run, 1), &stats);
        benchmark::DoNotOptimize(f);
    }
    state.counters["ns/step"] = benchmark::Counter(static_cast<double>(run.samples) * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(std::string(name) + (inOrder ? " in order" : " side by side, chains " + std::to_string(stats.chains) +
                                                                    ", missed " + std::to_string(stats.missedGuesses)));
}

void BM_NoiseSteps(benchmark::State& state) {
    const bool inOrder = state.range(1) != 0;
    const bool narrow = state.range(0) >= 3;
    if (narrow) (void)useWideLanes(false);
    switch (state.range(0) % 3) {
    case 0: payDebt<Fix>(state, inOrder, narrow ? "Fix, no wide lanes" : "Fix"); break;
    case 1: payDebt<float>(state, inOrder, narrow ? "Float, no wide lanes" : "Float"); break;
    default: payDebt<double>(state, inOrder, narrow ? "Double, no wide lanes" : "Double"); break;
    }
    (void)useWideLanes(true);
}
BENCHMARK(BM_NoiseSteps)->ArgsProduct({{0, 1, 2}, {1, 0}})->ArgsProduct({{3, 4, 5}, {0}})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavolin
