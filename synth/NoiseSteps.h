// SPDX-License-Identifier: MIT
// NoiseSteps: noise-filter steps owed by the fast seek, and their payment.
#pragma once

#include <cstdint>
#include <span>

#include "synth/SynthMath.h"

namespace tavolin {

// A stretch of noise-wave samples whose filtered values were discarded: only
// the filter's state after them matters, and it is a function of the
// coefficients and the white values, which the generator's state before the
// first draw fixes.
template <EngineNumType T>
struct NoiseRun {
    NoiseCoefficients<T> coefficients;
    uint32_t fromState = 0;  // generator state before the run's first draw
    uint32_t toState = 0;    // and after its last
    int64_t samples = 0;
    // draws taken after each white one before the next: its own level
    // noise's, and other noise banks' sounding in the same frames
    uint32_t skip = 0;
};

// What a payment did, for tests and benchmarks.
struct NoiseStepStats {
    int chains = 0;          // stretches stepped side by side (1: in order)
    int missedGuesses = 0;   // stretches whose guessed start was not the true state
    int64_t retraced = 0;    // steps taken again from the true state after a miss
    int64_t recalled = 0;    // steps not taken: a remembered state stood for them
};

// The filter after every step of `runs`, in order, from `start`: one plain
// filter step after the other. The reference the payment is held to.
template <EngineNumType T>
NoiseFilter<T> runNoiseStepsInOrder(NoiseFilter<T> start, std::span<const NoiseRun<T>> runs) noexcept;

// The same state, bit for bit, faster. Fix multiplies in 64 bits while its
// values are small enough for that to give the same bits. One step waits for
// the last (a division in Float and Double), so a single chain of steps
// leaves the processor idle most of the time: a long debt is cut into
// stretches stepped side by side. Every stretch but the first starts from a
// guess, the filter run from rest over the samples just before it. The
// filter forgets its start within a few thousand steps in almost every case,
// and a guess is used only after it has been compared with the true state
// where the stretch before it ends; a wrong guess is stepped again from the
// true state until it meets the guessed stretch at one of its checkpoints.
// Allocates nothing.
template <EngineNumType T>
NoiseFilter<T> runNoiseSteps(NoiseFilter<T> start, std::span<const NoiseRun<T>> runs,
                             NoiseStepStats* stats = nullptr) noexcept;

// The same state again, paid as runNoiseSteps pays it, but remembering the
// filter along the way (within a run every 2^20 steps and at its end, keyed
// by the filter at the run's start and the run's coefficients, generator
// state and skip): a later debt that begins with the same run from the
// same filter starts from the furthest state remembered that it reaches. A
// song built again after an edit that leaves its noise bank alone, skipped
// to about where the last one was, so pays seconds instead of minutes. Runs
// shorter than kShortNoiseRun (noise banks sounding by turns, another bank's
// draws between theirs) are paid side by side and not remembered. The
// memory is shared by the whole process, bounded, and guarded by a lock:
// call this on a building thread, never on the audio thread.
inline constexpr int64_t kShortNoiseRun = int64_t{1} << 16;
template <EngineNumType T>
NoiseFilter<T> runNoiseStepsRemembered(NoiseFilter<T> start, std::span<const NoiseRun<T>> runs,
                                       NoiseStepStats* stats = nullptr) noexcept;
// Drops every remembered state (benchmarks measure a first payment with it).
void forgetNoiseSteps() noexcept;
// Payments step their chains in 512-bit vector lanes where the processor
// has them (AVX-512; Fix only for a noise bank of one cutoff); off, in
// 16-byte lanes (Float, Double) or scalar chains (Fix). Tests compare both,
// benchmarks measure both. On by default. Returns whether they are used.
bool useWideLanes(bool on) noexcept;

extern template NoiseFilter<Fix> runNoiseStepsInOrder<Fix>(NoiseFilter<Fix>, std::span<const NoiseRun<Fix>>) noexcept;
extern template NoiseFilter<float> runNoiseStepsInOrder<float>(NoiseFilter<float>, std::span<const NoiseRun<float>>) noexcept;
extern template NoiseFilter<double> runNoiseStepsInOrder<double>(NoiseFilter<double>, std::span<const NoiseRun<double>>) noexcept;
extern template NoiseFilter<Fix> runNoiseSteps<Fix>(NoiseFilter<Fix>, std::span<const NoiseRun<Fix>>, NoiseStepStats*) noexcept;
extern template NoiseFilter<float> runNoiseSteps<float>(NoiseFilter<float>, std::span<const NoiseRun<float>>, NoiseStepStats*) noexcept;
extern template NoiseFilter<double> runNoiseSteps<double>(NoiseFilter<double>, std::span<const NoiseRun<double>>, NoiseStepStats*) noexcept;
extern template NoiseFilter<Fix> runNoiseStepsRemembered<Fix>(NoiseFilter<Fix>, std::span<const NoiseRun<Fix>>, NoiseStepStats*) noexcept;
extern template NoiseFilter<float> runNoiseStepsRemembered<float>(NoiseFilter<float>, std::span<const NoiseRun<float>>, NoiseStepStats*) noexcept;
extern template NoiseFilter<double> runNoiseStepsRemembered<double>(NoiseFilter<double>, std::span<const NoiseRun<double>>, NoiseStepStats*) noexcept;

}  // namespace tavolin
