// SPDX-License-Identifier: MIT
// Paying the fast seek's owed noise-filter steps: nanoseconds per step, one
// step after the other and in stretches side by side, per arithmetic type
// (rows 3 to 5: the same with the 512-bit lanes turned off), and the debt
// cut into short runs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "synth/NoiseSteps.h"

namespace tavolin {
namespace {

// Ten million steps at 48 kHz with the cutoff of duty 0 (the noise drum's),
// in one run or cut into runs of `cut` steps whose skips alternate, as a
// bank drawing at every half-cycle beside the noise wave cuts its debt.
template <EngineNumType T>
void payDebt(benchmark::State& state, bool inOrder, const char* name, int64_t cut = 0) {
    constexpr int64_t kSteps = 10'000'000;
    std::vector<NoiseRun<T>> runs;
    for (int64_t done = 0; done < kSteps;) {
        NoiseRun<T> run;
        run.coefficients = noiseCoefficients<T>(48000, Num<T>::fromDouble(23800));
        run.fromState = 1 + static_cast<uint32_t>(runs.size()) * 7919u;
        run.samples = cut > 0 ? std::min(cut, kSteps - done) : kSteps;
        run.skip = cut > 0 ? static_cast<uint32_t>(runs.size() % 2) + 1 : 0;
        done += run.samples;
        runs.push_back(run);
    }
    NoiseStepStats stats;
    for (auto _ : state) {
        const NoiseFilter<T> f = inOrder ? runNoiseStepsInOrder<T>({}, runs) : runNoiseSteps<T>({}, runs, &stats);
        benchmark::DoNotOptimize(f);
    }
    state.counters["ns/step"] = benchmark::Counter(static_cast<double>(kSteps) * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(std::string(name) + (cut > 0 ? ", runs of " + std::to_string(cut) : "") +
                   (inOrder ? " in order" : " side by side, chains " + std::to_string(stats.chains) + ", missed " +
                                                std::to_string(stats.missedGuesses)));
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

// The debt cut into runs of a few dozen steps (at most 65536 runs, as the
// seek pays them).
void BM_NoiseStepsCut(benchmark::State& state) {
    const int64_t cut = state.range(1);
    switch (state.range(0)) {
    case 0: payDebt<Fix>(state, false, "Fix", cut); break;
    case 1: payDebt<float>(state, false, "Float", cut); break;
    default: payDebt<double>(state, false, "Double", cut); break;
    }
}
BENCHMARK(BM_NoiseStepsCut)->ArgsProduct({{0, 1, 2}, {30, 150}})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavolin
