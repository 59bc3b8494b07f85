// SPDX-License-Identifier: MIT
// The fast paths of a bank player, beside the per-sample path they must
// equal sample for sample (the run-vs-frame tests hold them to it): a steady
// square held per half-cycle, plain runs with the clocks in registers, and
// Fix's stretch with its divisions carried from sample to sample.
#include <algorithm>
#include <cmath>

#include "synth/PlayerSample.h"

namespace tavolin {

using detail::attackRamp;
using detail::decayRamp;
using detail::panned;
using detail::releaseRamp;

// Adds size/2 samples of the current note into `mix` (interleaved). The
// caller guarantees the note lasts that long; a finished bank adds nothing.
// A square in its sustain with no modulation, noise or duty switching holds
// one output per half-cycle: that value is worked out once (by the same
// formula a single sample uses), and the samples only advance the clocks.
template <EngineNumType T>
void BankPlayer<T>::renderNoteRun(std::span<int32_t> mix) noexcept {
    if (m_index >= m_count) return;
    const size_t n = mix.size() / 2;
    size_t k = 0;
    if (holdsSteadySquare(n)) {
        const T level = m_envelope->sustainLevel;
        const T up = level * numInt<T>(1) * m_volume;
        const T down = level * numInt<T>(-1) * m_volume;
        const StereoSample halves[2] = {panned(m_pan, up), panned(m_pan, down)};
        // Between two boundaries only the phase moves per sample (in T, one
        // step at a time, so Float and Double round exactly as a single
        // sample would); the integer clocks catch up once per stretch.
        while (k < n) {
            if (m_phase > m_halfLength && !boundaryStep(m_noteLength - m_elapsed)) {
                advanceOneSample();  // the sample in which the note fell silent
                ++k;
                break;
            }
            const StereoSample s = halves[m_halfCycle];
            const T halfLength = m_halfLength;
            T phase = m_phase;
            size_t j = k;
            do {
                mix[2 * j] += s.left;
                mix[2 * j + 1] += s.right;
                phase += numInt<T>(1);
                ++j;
            } while (j < n && !(phase > halfLength));
            m_phase = phase;
            advanceClocks(j - k);
            k = j;
        }
    }
    // The tone (so the wave) cannot change inside a note: one loop per wave,
    // each with the wave's branch folded away.
    // A plain run: the amplitude LFO is quiet (settled, or never defined,
    // with depth 0), and the tone has neither duty switching nor level
    // noise. All of that holds until the next note, so those per-sample
    // tests are dropped, and the quiet LFO's phase, which nothing reads
    // then, is stepped once for the whole run.
    const bool plain = (!m_ampLfo.defined() || m_ampLfo.settled) && isZero(m_ampLfo.depth) &&
                       isZero(m_switchPeriod) && !m_hasLevelNoise;
    // The noise filter state is only touched by the noise wave: a run keeps
    // it in a local, so its feedback stays in registers from one sample to
    // the next instead of going through memory.
    const auto run = [&](auto wave) {
        const size_t first = k;
        NoiseFilter<T> filter = m_noise;
        if (plain) {
            for (; k < n; ++k) {
                k = renderQuietStretch(wave(), k, n, mix, filter);
                if (k >= n) break;
                const StereoSample s = renderNoteSample<true>(wave(), k + 1 < n, filter);
                mix[2 * k] += s.left;
                mix[2 * k + 1] += s.right;
            }
            stepLfoPhase(m_ampLfo, static_cast<int64_t>(k - first));
        } else {
            for (; k < n; ++k) {
                const StereoSample s = renderNoteSample<false>(wave(), k + 1 < n, filter);
                mix[2 * k] += s.left;
                mix[2 * k + 1] += s.right;
            }
        }
        m_noise = filter;
    };
    const int32_t wave = m_toneSlot->wave;
    switch (static_cast<Wave>(wave)) {
    case Wave::Square: run([] { return static_cast<int32_t>(Wave::Square); }); break;
    case Wave::Triangle: run([] { return static_cast<int32_t>(Wave::Triangle); }); break;
    case Wave::Sawtooth: run([] { return static_cast<int32_t>(Wave::Sawtooth); }); break;
    case Wave::Sine: run([] { return static_cast<int32_t>(Wave::Sine); }); break;
    case Wave::Noise: run([] { return static_cast<int32_t>(Wave::Noise); }); break;
    default: run([wave] { return wave; }); break;
    }
    publishIndex();
}

// The bulk of a plain run: samples on which the full per-sample path would
// do nothing but produce the sample and step the clocks (no boundary, no
// pitch LFO update with an effect, not the run's last sample). Those clocks
// live in locals here, so they stay in registers instead of going through
// the player's members every sample, and are written back once. It stops
// before any sample that needs more (the caller renders that one the full
// way) and leaves the state exactly as the full path would.
template <EngineNumType T>
TAVOLIN_HOT_INLINE size_t BankPlayer<T>::renderQuietStretch(int32_t wave, size_t k, size_t n, std::span<int32_t> mix,
                                                            NoiseFilter<T>& filter) noexcept {
    if (m_silent || k + 1 >= n) return k;
    LfoState<T>& lfo = m_pitchLfo;
    const bool lfoActive = lfo.defined() && !lfo.settled;
    // An unsettled LFO that is not steady must have its segment in place and
    // be kept off its clock: the counter stays below quietUntil (or no
    // further breakpoint exists).
    const bool lfoSteady = lfo.steady;
    if (lfoActive && !lfoSteady && (lfo.segmentDefinition != lfo.definition || lfo.segmentIndex != lfo.pointIndex))
        return k;
    const bool lfoHasNext = lfoActive && !lfoSteady && lfo.hasNext;
    if constexpr (kIsFix<T>) {
        const int64_t done = renderFixStretch(wave, k, n, mix, filter, lfoActive, lfoHasNext);
        if (done >= 0) return k + static_cast<size_t>(done);
    }
    const int64_t quietUntil = lfo.quietUntil;
    const T lfoPeriod = lfo.period;
    const bool lfoRunning = lfoPeriod > T{};
    T lfoPhase = lfo.phase;
    const T halfLength = m_halfLength;
    const int halfCycle = m_halfCycle;
    const int32_t pan = m_pan;
    const T volume = m_volume;
    T phase = m_phase;
    int32_t elapsed = m_elapsed;
    int32_t counter = m_lfoCounter;
    int64_t msRaw = m_lfoMsRaw;
    uint32_t msRemainder = m_lfoMsRemainder;
    const int64_t msStep = m_lfoMsStep;
    const uint32_t msStepRemainder = m_lfoMsStepRemainder;
    const uint32_t rate = m_sampleRate;
    // Duty and frequency hold still here, and no other bank draws while this
    // one runs: the noise coefficients are checked once, and the generator
    // lives in a register until the stretch ends.
    const bool noise = wave == static_cast<int32_t>(Wave::Noise);
    if (noise) refreshNoiseCoefficients();
    RandomSource random = *m_random;
    // Float and Double sines wait in a small batch (angle and level), so
    // that sinSingleBlock takes several at once; the rest of the sample is
    // the same arithmetic, done when the batch is flushed.
    const bool batchSine = !kIsFix<T> && wave == static_cast<int32_t>(Wave::Sine);
    constexpr size_t kBatch = 32;
    float angles[kBatch], sines[kBatch];
    T levels[kBatch];
    size_t batched = 0;
    const auto flush = [&] {
        if constexpr (!kIsFix<T>) {
            sinSingleBlock(angles, sines, batched);
            for (size_t i = 0, at = k - batched; i < batched; ++i, ++at) {
                const StereoSample s = panned(pan, levels[i] * static_cast<T>(sines[i]) * volume);
                mix[2 * at] += s.left;
                mix[2 * at + 1] += s.right;
            }
        }
        batched = 0;
    };
    // A square in its sustain is one sample over and over until the
    // half-cycle ends (the level and the wave both hold).
    const bool square = wave == static_cast<int32_t>(Wave::Square);
    const int64_t sustainFrom = square ? m_sustainFrom : 0, releaseFrom = square ? m_releaseFrom : 0;
    const StereoSample held =
        square ? panned(pan, m_envelope->sustainLevel * (halfCycle != 0 ? numInt<T>(-1) : numInt<T>(1)) * volume)
               : StereoSample{};
    for (; k + 1 < n; ++k) {
        if (phase > halfLength) break;
        if (lfoActive && (isZero(lfoPhase) || (lfoHasNext && counter >= quietUntil))) break;
        if constexpr (!kIsFix<T>) {
            if (batchSine) {
                if (batched == kBatch) flush();
                angles[batched] = sineAngle(halfCyclePosition(phase, halfLength), halfCycle != 0);
                levels[batched++] = envelopeLevelAt(elapsed);
            }
        }
        if (square && elapsed >= sustainFrom && elapsed < releaseFrom) {
            mix[2 * k] += held.left;
            mix[2 * k + 1] += held.right;
        } else if (!batchSine) {
            const T w = noise ? noiseFilterStep(filter, m_noiseCoefficients, whiteFromDraw<T>(random.next()))
                              : waveValueAt(wave, phase, halfLength, halfCycle, filter);
            const T level = envelopeLevelAt(elapsed);
            const StereoSample s = panned(pan, level * w * volume);
            mix[2 * k] += s.left;
            mix[2 * k + 1] += s.right;
        }
        // the clocks, as advanceOneSample<false> steps them
        phase += numInt<T>(1);
        stepLfoClock(counter, msRaw, msRemainder, msStep, msStepRemainder, rate);
        ++elapsed;
        if (lfoRunning) lfoPhase = nextLfoPhase(lfoPhase, lfoPeriod);
    }
    if (batched > 0) flush();
    m_phase = phase;
    m_elapsed = elapsed;
    m_lfoCounter = counter;
    m_lfoMsRaw = msRaw;
    m_lfoMsRemainder = msRemainder;
    lfo.phase = lfoPhase;
    *m_random = random;
    // the note lasts past the run, whose last sample is never taken here
    return k;
}

// The quiet stretch in Fix, where every clock is an integer: how many samples
// it may take (to the end of the half-cycle, the LFO's next wrap, the next
// breakpoint check, the run's last sample) is known up front, so the loop
// does nothing but produce samples; the clocks move once at the end. The
// divisions of the position along the half-cycle and of the envelope ramps
// are carried from sample to sample (SteppedQuotient). The same samples and
// the same end state as the generic loop; -1 where its value ranges do not
// hold (the generic loop then runs).
template <EngineNumType T>
template <typename U>
    requires kIsFix<U>
TAVOLIN_HOT_INLINE int64_t BankPlayer<T>::renderFixStretch(int32_t wave, size_t k, size_t n, std::span<int32_t> mix,
                                                          NoiseFilter<T>& filter, bool lfoActive,
                                                          bool lfoHasNext) noexcept {
    constexpr int64_t kOne = 65536;
    constexpr int64_t kElapsedLimit = int64_t{1} << 30;  // keeps every numerator below 2^46
    const int64_t h = m_halfLength.raw();
    const int64_t ph = m_phase.raw();
    if (!(ph >= 0 && ph <= h && h > 0 && h < SteppedQuotient::kLimit)) return -1;
    int64_t budget = std::min<int64_t>(static_cast<int64_t>(n - 1 - k), (h - ph) / kOne + 1);
    LfoState<T>& lfo = m_pitchLfo;
    const int64_t lfoPeriod = lfo.period.raw();
    if (lfoActive) {
        const int64_t p0 = lfo.phase.raw();
        if (p0 == 0) return 0;  // the LFO update has work at this sample
        if (lfoPeriod > 0) {
            if (!(p0 > 0 && p0 < lfoPeriod && lfoPeriod < (int64_t{1} << 60))) return -1;
            // samples before the phase next wraps (and may land on 0)
            budget = std::min(budget, (lfoPeriod - p0 + kOne - 1) / kOne);
        }
    }
    if (lfoHasNext) {
        if (m_lfoCounter >= lfo.quietUntil) return 0;
        if (lfo.quietUntil <= INT32_MAX) budget = std::min(budget, lfo.quietUntil - m_lfoCounter);
    }
    const int64_t e0 = m_elapsed;
    if (e0 < 0 || e0 + budget >= kElapsedLimit || int64_t{m_noteLength} >= kElapsedLimit) return -1;
    if (budget <= 0) return 0;

    const bool second = m_halfCycle != 0;
    const bool positional = wave == static_cast<int32_t>(Wave::Triangle) ||
                            wave == static_cast<int32_t>(Wave::Sawtooth) || wave == static_cast<int32_t>(Wave::Sine);
    const bool noise = wave == static_cast<int32_t>(Wave::Noise);
    T flat{};  // the square's (or an unknown wave's) value, fixed for the half-cycle
    if (wave == static_cast<int32_t>(Wave::Square)) flat = second ? numInt<T>(-1) : numInt<T>(1);
    SteppedQuotient position;
    if (positional) position.start(ph, h);  // ph <= h < 2^46: the numerators fit
    if (noise) refreshNoiseCoefficients();
    RandomSource random = *m_random;
    const NoiseCoefficients<T> coefficients = m_noiseCoefficients;
    const int32_t pan = m_pan;
    const T volume = m_volume;
    int32_t* out = mix.data() + 2 * k;

    const auto emit = [&](int64_t count, auto levelAt) TAVOLIN_HOT_INLINE_LAMBDA {
        for (int64_t j = 0; j < count; ++j) {
            T w = flat;
            if (positional) {
                w = positionalWave(wave, Fix::fromRaw(position.quotient), second);
                position.up();
            } else if (noise) {
                w = noiseFilterStep(filter, coefficients, whiteFromDraw<T>(random.next()));
            }
            const StereoSample s = panned(pan, levelAt() * w * volume);
            out[0] += s.left;
            out[1] += s.right;
            out += 2;
        }
    };

    // A held level: with a wave that holds too (a square), one sample over
    // and over.
    const auto emitHeld = [&](int64_t count, T level) TAVOLIN_HOT_INLINE_LAMBDA {
        if (positional || noise) {
            emit(count, [&] { return level; });
            return;
        }
        const StereoSample s = panned(pan, level * flat * volume);
        for (int64_t j = 0; j < count; ++j, out += 2) {
            out[0] += s.left;
            out[1] += s.right;
        }
    };

    // The envelope, one stage at a time: the level is either held, or a
    // ramp whose quotient is carried (the same formulas as envelopeLevelAt).
    const EnvelopeSlot<T>& env = *m_envelope;
    const int64_t attack = env.attack.raw();
    const int64_t decay = env.decay.raw();
    const int64_t release = env.release.raw();
    const bool rampsFit = attack >= 0 && attack < SteppedQuotient::kLimit && decay >= 0 && decay < SteppedQuotient::kLimit;
    // first sample not in the attack, first past the decay (only read when the ramps fit)
    const int64_t attackEnd = rampsFit ? (attack + kOne - 1) / kOne : 0;
    const int64_t decayEnd = rampsFit ? (attack + decay + kOne - 1) / kOne : 0;
    int64_t done = 0;
    while (done < budget) {
        const int64_t e = e0 + done;
        int64_t count = budget - done;
        SteppedQuotient ramp;
        if (e >= m_sustainFrom) {
            if (e < m_releaseFrom) {
                count = std::min(count, m_releaseFrom - e);
                emitHeld(count, env.sustainLevel);
            } else if (release > 0 && release < SteppedQuotient::kLimit) {
                ramp.start((m_noteLength - e) * kOne, release);  // falls by one sample each step, stays > 0
                emit(count, [&] {
                    const T x = Fix::fromRaw(ramp.quotient);
                    ramp.down();
                    return releaseRamp(x, env);
                });
            } else {
                int64_t at = e;
                emit(count, [&] { return envelopeLevelAt(static_cast<int32_t>(at++)); });
            }
        } else {
            count = std::min(count, m_sustainFrom - e);
            if (m_continuation) {
                emitHeld(count, env.sustainLevel);
            } else if (!rampsFit) {
                int64_t at = e;
                emit(count, [&] { return envelopeLevelAt(static_cast<int32_t>(at++)); });
            } else if (e < attackEnd) {
                count = std::min(count, attackEnd - e);
                ramp.start(e * kOne, attack);
                emit(count, [&] {
                    const T x = Fix::fromRaw(ramp.quotient);
                    ramp.up();
                    return attackRamp(x, env);
                });
            } else if (e < decayEnd) {
                count = std::min(count, decayEnd - e);
                ramp.start(e * kOne - attack, decay);
                emit(count, [&] {
                    const T x = Fix::fromRaw(ramp.quotient);
                    ramp.up();
                    return decayRamp(x, env);
                });
            } else {
                emitHeld(count, env.sustainLevel);
            }
        }
        done += count;
    }

    m_phase = Fix::fromRaw(ph + budget * kOne);
    m_elapsed = static_cast<int32_t>(e0 + budget);
    advanceLfoClock(budget);
    stepLfoPhase(lfo, budget);
    *m_random = random;
    return budget;
}

template <EngineNumType T>
bool BankPlayer<T>::holdsSteadySquare(size_t samples) const noexcept {
    const auto quiet = [](const LfoState<T>& l) { return (!l.defined() || l.settled) && isZero(l.depth); };
    return !m_silent && m_toneSlot->wave == static_cast<int32_t>(Wave::Square) && m_toneSlot->freqNoise == 0.0f &&
           !m_hasLevelNoise && isZero(m_switchPeriod) && quiet(m_pitchLfo) && quiet(m_ampLfo) &&
           m_elapsed >= m_sustainFrom && int64_t{m_elapsed} + static_cast<int64_t>(samples) <= m_releaseFrom;
}

// The clocks of `samples` consecutive samples of the current note, the phase
// excepted (the caller has stepped it): the same end state as that many
// advanceOneSample calls. The caller guarantees the note lasts that long.
template <EngineNumType T>
void BankPlayer<T>::advanceClocks(size_t samples) noexcept {
    const int64_t count = static_cast<int64_t>(samples);
    advanceLfoClock(count);
    m_elapsed = static_cast<int32_t>(m_elapsed + count);
    stepLfoPhase(m_pitchLfo, count);
    stepLfoPhase(m_ampLfo, count);
    if (m_elapsed >= m_noteLength) ++m_index;
}

template void BankPlayer<Fix>::renderNoteRun(std::span<int32_t>) noexcept;
template void BankPlayer<float>::renderNoteRun(std::span<int32_t>) noexcept;
template void BankPlayer<double>::renderNoteRun(std::span<int32_t>) noexcept;
template bool BankPlayer<Fix>::holdsSteadySquare(size_t) const noexcept;
template bool BankPlayer<float>::holdsSteadySquare(size_t) const noexcept;
template bool BankPlayer<double>::holdsSteadySquare(size_t) const noexcept;
template void BankPlayer<Fix>::advanceClocks(size_t) noexcept;
template void BankPlayer<float>::advanceClocks(size_t) noexcept;
template void BankPlayer<double>::advanceClocks(size_t) noexcept;

}  // namespace tavolin
