// The fast seek of a bank player: the state stepping would reach, without
// producing samples. Inside a note, the samples between two events that
// change state (a half-cycle boundary, an LFO step that can leave a trace, a
// noise-wave sample, the note's or the seek's last sample) only move clocks;
// those stretches advance in closed form, exactly as the one-sample steps
// would move them in the bank's own arithmetic.
//
//   note start   quiet stretch    boundary   quiet stretch     last sample
//   |stepped|..... closed form ....|stepped|.... closed form ....|stepped|
#include <bit>
#include <cmath>
#include <limits>
#include <type_traits>

#include "synth/PlayerSample.h"

namespace tavolin {
namespace {

// Float and Double: the spacing of the numbers of F around x (x finite and
// > 0), taken from its exponent bits; 0 where that spacing is above 1 or x
// is no such number.
template <typename F>
F spacingAt(F x) noexcept {
    if (!(x > F(0)) || !(x < F(1) / std::numeric_limits<F>::epsilon())) return F(0);
    if constexpr (std::is_same_v<F, float>) {
        const uint32_t e = (std::bit_cast<uint32_t>(x) >> 23) & 0xFFu;
        return e > 23 ? std::bit_cast<float>((e - 23) << 23) : std::numeric_limits<float>::denorm_min();
    } else {
        const uint64_t e = (std::bit_cast<uint64_t>(x) >> 52) & 0x7FFu;
        return e > 52 ? std::bit_cast<double>((e - 52) << 52) : std::numeric_limits<double>::denorm_min();
    }
}

// Float and Double: the weight of x's lowest set bit (x finite and > 0, a
// power of two), so x is a whole multiple of it; 0 where that is not a normal
// number of F.
template <typename F>
F lowestBit(F x) noexcept {
    if (!(x > F(0)) || !std::isfinite(x)) return F(0);
    constexpr int kMantissa = std::numeric_limits<F>::digits - 1;
    using Bits = std::conditional_t<std::is_same_v<F, float>, uint32_t, uint64_t>;
    const Bits bits = std::bit_cast<Bits>(x);
    const Bits exponent = bits >> kMantissa;
    if (exponent == 0) return F(0);  // subnormal
    const Bits mantissa = (bits & ((Bits{1} << kMantissa) - 1)) | (Bits{1} << kMantissa);
    const int shift = std::countr_zero(mantissa);
    if (exponent <= static_cast<Bits>(kMantissa - shift)) return F(0);
    return std::bit_cast<F>(static_cast<Bits>(exponent - static_cast<Bits>(kMantissa - shift)) << kMantissa);
}

// x is a whole multiple of the spacing u (a power of two, at most 1).
template <typename F>
bool onGrid(F x, F u) noexcept {
    const F q = x / u;  // exact: u is a power of two
    return std::trunc(q) == q;
}

// All the sums x + j (j = 0, 1, ... up to the first that exceeds `top`) are
// exact in F: they lie on x's grid below twice the top, where F holds every
// multiple of the spacing at the top. Then j additions of 1 in F, one at a
// time, are the one exact addition x + j.
template <typename F>
bool exactRun(F x, F top) noexcept {
    if (!(x >= F(0)) || !(top >= x)) return false;
    const F u = spacingAt(top + F(2));
    return u > F(0) && onGrid(x, u);
}

// The oscillator phase after `count` samples of one-sample additions.
template <EngineNumType T>
T phaseAfter(T phase, int64_t count) noexcept {
    if constexpr (kIsFix<T>) {
        return Fix::fromRaw(phase.raw() + count * 65536);
    } else {
        if (count > 0 && count < (int64_t{1} << 40) && exactRun(phase, phase + static_cast<T>(count)))
            return phase + static_cast<T>(count);
        for (int64_t i = 0; i < count; ++i) phase += T(1);
        return phase;
    }
}

// How many one-sample additions keep the phase at or below `limit`: the
// samples before the one on which phase > limit holds (0 when it holds now).
// -1 when that cannot be told in closed form.
template <EngineNumType T>
int64_t samplesUpTo(T phase, T limit) noexcept {
    if constexpr (kIsFix<T>) {
        if (phase.raw() > limit.raw()) return 0;
        return (limit.raw() - phase.raw()) / 65536 + 1;
    } else {
        if (phase > limit) return 0;
        if (!exactRun(phase, limit)) return -1;
        // the first j with phase + j > limit, the sums being exact: estimate,
        // then settle it with comparisons in T
        const double estimate = std::floor(static_cast<double>(limit) - static_cast<double>(phase));
        if (!(estimate >= 0.0) || estimate > 4.0e15) return -1;
        auto j = static_cast<int64_t>(estimate) + 1;
        for (int i = 0; i < 4 && j > 1 && phase + static_cast<T>(j - 1) > limit; ++i) --j;
        for (int i = 0; i < 4 && !(phase + static_cast<T>(j) > limit); ++i) ++j;
        if (!(phase + static_cast<T>(j) > limit) || (j > 1 && phase + static_cast<T>(j - 1) > limit)) return -1;
        return j;
    }
}

// The LFO phase after `count` advances of (phase + 1) mod period.
template <EngineNumType T>
T lfoPhaseAfter(T phase, T period, int64_t count) noexcept {
    if (!(period > T{}) || count <= 0) return phase;
    if constexpr (kIsFix<T>) {
        const int64_t p = phase.raw();
        if (p >= 0 && p < (int64_t{1} << 60) && count < (int64_t{1} << 30))
            return Fix::fromRaw((p + count * 65536) % period.raw());
    } else {
        // Phase and period on a grid that stays exact up to period + 1: every
        // step is exact, and the steps are modular arithmetic on the grid.
        // the coarsest grid of 2^-k (k >= 0) holding both phase and period
        T u = std::min(T(1), lowestBit(period));
        if (phase > T(0)) u = std::min(u, lowestBit(phase));
        if (period >= T(1) && phase >= T(0) && phase < period && u > T(0) && spacingAt(period + T(2)) <= u) {
            const double unit = 1.0 / static_cast<double>(u);  // a power of two
            if (unit <= 1099511627776.0) {  // 2^40: the scaled values fit
                const auto P = static_cast<int64_t>(static_cast<double>(period) * unit);
                const auto p = static_cast<int64_t>(static_cast<double>(phase) * unit);
                const auto step = static_cast<int64_t>(unit);
                if (P > 0 && count < (int64_t{1} << 61) / step) {
                    const int64_t r = (p + count * step) % P;  // p < P <= 2^53: no overflow
                    return static_cast<T>(static_cast<double>(r) / unit);
                }
            }
        }
    }
    // otherwise one step at a time, as the per-sample advance takes them
    for (int64_t i = 0; i < count; ++i) {
        if constexpr (kIsFix<T>) {
            int64_t r = phase.raw() + 65536;
            if (r >= period.raw()) r %= period.raw();
            phase = Fix::fromRaw(r);
        } else {
            T r = phase + T(1);
            if (r >= period) r = r < period * T(2) ? r - period : std::fmod(r, period);
            phase = r;
        }
    }
    return phase;
}

}  // namespace

// renderNoteSample<false>(wave, false, m_noise) without its output: the same
// updates, boundary, duty flag, draws and filter step, in the same order.
template <EngineNumType T>
void BankPlayer<T>::seekNoteSample() noexcept {
    if (!m_silent) {
        updateLfo(m_pitchLfo);
        updateLfo(m_ampLfo);
        const int32_t remaining = m_noteLength - m_elapsed;
        bool sounding = true;
        if (m_phase > m_halfLength) sounding = boundaryStep(remaining);
        if (sounding) {
            if (!isZero(m_switchPeriod) && m_switchPeriod * numInt<T>(m_dutyIndex + 1) < numInt<T>(m_elapsed))
                m_switchPending = true;
            if (m_toneSlot->wave == static_cast<int32_t>(Wave::Noise)) {
                const T white = whiteFromDraw<T>(m_random->next());
                refreshNoiseCoefficients();
                (void)noiseFilterStep(m_noise, m_noiseCoefficients, white);
            }
            if (m_hasLevelNoise) (void)m_random->next();
        }
    }
    advanceOneSample<true>();
}

// Samples from the current one on (at most `limit`) on which stepping would
// do nothing but move clocks, draw noise, step the noise filter and maybe
// raise the duty flag: no boundary, no LFO update that leaves a trace. The note's
// last sample and the seek's last one are left to a full step (the LFO
// updates skipped here would store values that one then stores). Only called
// inside a started note.
template <EngineNumType T>
int64_t BankPlayer<T>::quietSamples(int64_t limit) const noexcept {
    const int64_t left = int64_t{m_noteLength} - m_elapsed;
    if (m_silent) return std::min(limit, left);  // rests and silent tails: clocks only
    int64_t m = std::min(limit, left) - 1;
    if (m <= 0) return 0;
    const int64_t toBoundary = samplesUpTo(m_phase, m_halfLength);
    if (toBoundary < 0) return 0;
    m = std::min(m, toBoundary);
    for (const LfoState<T>* lfo : {&m_pitchLfo, &m_ampLfo}) {
        if (lfo->definition == nullptr || lfo->settled) continue;
        if (isZero(lfo->phase)) return 0;  // the period may be stored now
        if (lfo->period > T{}) {
            // the phase cannot land on 0 before it wraps
            if constexpr (kIsFix<T>) {
                m = std::min(m, (lfo->period.raw() - lfo->phase.raw() + 65535) / 65536);
            } else {
                const int64_t toWrap = samplesUpTo(lfo->phase, lfo->period);
                if (toWrap < 0) return 0;
                // samplesUpTo counts the steps with phase <= period; one fewer
                // keeps every step below the period, before the wrap
                m = std::min(m, toWrap - 1);
            }
        }
        if (!lfo->steady) {
            if (lfo->segmentDefinition != lfo->definition || lfo->segmentIndex != lfo->pointIndex) return 0;
            if (lfo->hasNext) {
                if (m_lfoCounter >= lfo->quietUntil) return 0;
                m = std::min(m, lfo->quietUntil - m_lfoCounter);
            }
        }
    }
    return std::max<int64_t>(m, 0);
}

// `count` quiet samples (see quietSamples): clocks in closed form, the noise
// wave's draws and filter steps in a tight loop.
template <EngineNumType T>
void BankPlayer<T>::skipQuietSamples(int64_t count) noexcept {
    if (count <= 0) return;
    if (!m_silent) {
        // the flag only ever turns on while the duty index holds still: the
        // last sample's test decides
        if (!isZero(m_switchPeriod) &&
            m_switchPeriod * numInt<T>(m_dutyIndex + 1) < numInt<T>(int64_t{m_elapsed} + count - 1))
            m_switchPending = true;
        if (m_toneSlot->wave == static_cast<int32_t>(Wave::Noise)) {
            // The filter state is the one thing here that needs every sample:
            // its draws and steps, with the coefficients of this half-cycle.
            refreshNoiseCoefficients();
            const NoiseCoefficients<T> c = m_noiseCoefficients;
            NoiseFilter<T> filter = m_noise;
            RandomSource random = *m_random;
            const bool levelNoise = m_hasLevelNoise;
            for (int64_t i = 0; i < count; ++i) {
                (void)noiseFilterStep(filter, c, whiteFromDraw<T>(random.next()));
                if (levelNoise) (void)random.next();
            }
            m_noise = filter;
            *m_random = random;
        } else if (m_hasLevelNoise) {
            m_random->discard(static_cast<uint64_t>(count));
        }
    }
    m_phase = phaseAfter(m_phase, count);
    m_elapsed = static_cast<int32_t>(m_elapsed + count);
    // Settled LFOs are read by nothing inside this note (a settled pitch LFO
    // only by the vibrato): their clock and phase steps are owed until the
    // next event walk or the seek's end.
    const auto quiet = [](const LfoState<T>& l) { return l.definition == nullptr || l.settled; };
    const bool pitchQuiet = quiet(m_pitchLfo) && (isZero(m_pitchLfo.depth) || !(m_pitchLfo.period > T{}));
    if (quiet(m_pitchLfo) && quiet(m_ampLfo)) m_owedClock += count;
    else advanceLfoClock(count);
    if (pitchQuiet) m_owedPitchPhase += count;
    else m_pitchLfo.phase = lfoPhaseAfter(m_pitchLfo.phase, m_pitchLfo.period, count);
    if (quiet(m_ampLfo)) m_owedAmpPhase += count;
    else m_ampLfo.phase = lfoPhaseAfter(m_ampLfo.phase, m_ampLfo.period, count);
    if (m_elapsed >= m_noteLength) ++m_index;
}

// Pays the clock and phase steps skipQuietSamples left owed. The LFO phase
// steps use the period in force, which cannot change before an event walk.
template <EngineNumType T>
void BankPlayer<T>::flushSeekClocks() noexcept {
    if (m_owedClock != 0) advanceLfoClock(m_owedClock);
    if (m_owedPitchPhase != 0) m_pitchLfo.phase = lfoPhaseAfter(m_pitchLfo.phase, m_pitchLfo.period, m_owedPitchPhase);
    if (m_owedAmpPhase != 0) m_ampLfo.phase = lfoPhaseAfter(m_ampLfo.phase, m_ampLfo.period, m_owedAmpPhase);
    m_owedClock = 0;
    m_owedPitchPhase = 0;
    m_owedAmpPhase = 0;
}

template <EngineNumType T>
uint64_t BankPlayer<T>::fastSeek(uint64_t samples, bool toMarker, bool& markerReached) noexcept {
    markerReached = false;
    uint64_t done = 0;
    if (m_count == 0) {
        markerReached = toMarker;
        return toMarker ? 0 : samples;
    }
    while (done < samples) {
        if (m_index >= m_count) {
            flushSeekClocks();
            if (toMarker) {
                markerReached = true;  // the list ran out: nothing left to skip
                return done;
            }
            (void)advance<false>(false, markerReached);  // a finished bank stays put
            return samples;
        }
        if (m_elapsed < m_noteLength) {
            const int64_t budget = static_cast<int64_t>(std::min<uint64_t>(samples - done, uint64_t{1} << 40));
            const int64_t quiet = quietSamples(budget);
            if (quiet > 0) {
                skipQuietSamples(quiet);
                done += static_cast<uint64_t>(quiet);
                continue;
            }
            seekNoteSample();
            ++done;
            continue;
        }
        // between notes: the event walk, as stepping does it
        flushSeekClocks();
        bool marker = false;
        if (toMarker) {
            (void)advance<true>(false, marker);
            if (marker) {
                markerReached = true;
                return done;
            }
        } else {
            (void)advance<false>(false, marker);
        }
        ++done;
    }
    flushSeekClocks();
    publishIndex();
    return done;
}

#define TAVOLIN_INSTANTIATE(T)                                                    \
    template uint64_t BankPlayer<T>::fastSeek(uint64_t, bool, bool&) noexcept;   \
    template void BankPlayer<T>::seekNoteSample() noexcept;                      \
    template int64_t BankPlayer<T>::quietSamples(int64_t) const noexcept;        \
    template void BankPlayer<T>::skipQuietSamples(int64_t) noexcept;                 \
    template void BankPlayer<T>::flushSeekClocks() noexcept;
TAVOLIN_INSTANTIATE(Fix)
TAVOLIN_INSTANTIATE(float)
TAVOLIN_INSTANTIATE(double)
#undef TAVOLIN_INSTANTIATE

}  // namespace tavolin
