// SPDX-License-Identifier: MIT
// The two LFOs of a bank player: restart, breakpoint update, the clocks
// (time counter and phase) and their advance over many samples at once.
#pragma once

#include <algorithm>
#include <cmath>

#include "synth/BankPlayer.h"
#include "synth/HotInline.h"
#include "synth/LfoPhase.h"

namespace tavolin {

template <EngineNumType T>
void BankPlayer<T>::restartLfo(LfoState<T>& lfo) noexcept {
    lfo.pointIndex = -1;
    lfo.phase = T{};
    lfo.depth = T{};
    lfo.steady = false;
    lfo.settled = false;
    lfo.segmentIndex = -2;  // a new group: the percent time base may differ
}

template <EngineNumType T>
TAVOLIN_HOT_INLINE void BankPlayer<T>::updateLfo(LfoState<T>& lfo) noexcept {
    if (!lfo.defined() || lfo.settled) return;
    if (lfo.steady) {
        lfo.depth = lfo.steadyDepth;
        if (isZero(lfo.phase)) lfo.period = lfo.steadyPeriod;
        // From here on every update would store these same two values.
        lfo.settled = lfo.period == lfo.steadyPeriod;
        return;
    }
    const LfoDefPayload* def = &lfoDefinition(lfo);
    const T t = lfoTime(*def);
    if (lfo.segmentDefinition != lfo.definition || lfo.segmentIndex != lfo.pointIndex) findLfoSegment(lfo);
    if (lfo.hasNext && t >= lfo.nextTime) {
        ++lfo.pointIndex;
        findLfoSegment(lfo);
    }
    using Segment = typename LfoState<T>::Segment;
    if (lfo.segment == Segment::Idle) return;  // no modulation before the first point
    // The first point's values before it is reached (a fade-in from depth 0),
    // else those of the point reached.
    const LfoPoint& p = def->points[static_cast<size_t>(std::max(lfo.pointIndex, 0))];
    if (lfo.segment == Segment::Step) {
        lfo.depth = storeLfoValue<T>(p.depth);
        if (isZero(lfo.phase)) lfo.period = lfoPeriodSamples<T>(m_sampleRate, p.periodMs);
        if (lfo.pointIndex == std::clamp(def->pointCount, 1, kMaxLfoPoints) - 1) {
            lfo.steady = true;
            lfo.steadyDepth = lfo.depth;
            lfo.steadyPeriod = lfoPeriodSamples<T>(m_sampleRate, p.periodMs);
        }
        return;
    }
    const float g = lfoRampFactor(lfo.ramp, t);
    if (lfo.pointIndex < 0) {
        lfo.depth = storeLfoValue<T>(g * p.depth);
        if (isZero(lfo.phase)) lfo.period = lfoPeriodSamples<T>(m_sampleRate, p.periodMs);
        return;
    }
    const LfoPoint& q = def->points[static_cast<size_t>(lfo.pointIndex) + 1];
    lfo.depth = storeLfoValue<T>((1.0f - g) * p.depth + g * q.depth);
    if (isZero(lfo.phase)) lfo.period = lfoPeriodSamples<T>(m_sampleRate, (1.0f - g) * p.periodMs + g * q.periodMs);
}

// The LFO clock: percent of the note group, or milliseconds.
template <EngineNumType T>
TAVOLIN_HOT_INLINE T BankPlayer<T>::lfoTime(const LfoDefPayload& def) const noexcept {
    if (def.mode > 1) return lfoTimePercent<T>(m_lfoCounter, m_groupLength);
    if constexpr (kIsFix<T>) return Fix::fromRaw(m_lfoMsRaw);
    else return lfoTimeMs<T>(m_lfoCounter, m_sampleRate);
}

// The same clock at another counter value (the Fix millisecond clock kept
// by quotient and remainder is exactly (counter * 65536000) / rate).
template <EngineNumType T>
T BankPlayer<T>::lfoTimeAt(const LfoDefPayload& def, int32_t counter) const noexcept {
    if (def.mode > 1) return lfoTimePercent<T>(counter, m_groupLength);
    if constexpr (kIsFix<T>) return Fix::fromRaw(m_sampleRate == 0 ? 0 : int64_t{counter} * 65536000 / m_sampleRate);
    else return lfoTimeMs<T>(counter, m_sampleRate);
}

// Inside a run (not at its last sample), the pitch LFO's update is only
// carried out where it can leave a trace: where its breakpoint index moves
// on, where its phase is 0 (the period can be stored), or where a boundary
// follows in this sample (the vibrato reads the depth). Elsewhere it would
// only store a depth that the next update overwrites before anything reads
// it. Once steady, every update stores the same depth, and the period only
// at phase 0. The run's last sample always updates, so between runs the
// state is exactly that of sample-by-sample rendering.
template <EngineNumType T>
TAVOLIN_HOT_INLINE void BankPlayer<T>::updatePitchLfoLazily() noexcept {
    LfoState<T>& lfo = m_pitchLfo;
    if (!lfo.defined() || lfo.settled) return;
    if (isZero(lfo.phase) || m_phase > m_halfLength) {
        updateLfo(lfo);
        return;
    }
    if (lfo.steady) return;
    if (lfo.segmentDefinition != lfo.definition || lfo.segmentIndex != lfo.pointIndex) findLfoSegment(lfo);
    if (lfo.hasNext && m_lfoCounter >= lfo.quietUntil && lfoTime(lfoDefinition(lfo)) >= lfo.nextTime) updateLfo(lfo);
}

// The breakpoints around the LFO's point index: the next time to reach and
// how the values between are formed (a fade-in ramp before the first point
// when it interpolates, a ramp toward an interpolating next point, else a
// step to the point's own values).
template <EngineNumType T>
void BankPlayer<T>::findLfoSegment(LfoState<T>& lfo) noexcept {
    using Segment = typename LfoState<T>::Segment;
    const LfoDefPayload& def = lfoDefinition(lfo);
    const int32_t count = std::clamp(def.pointCount, 1, kMaxLfoPoints);
    const int32_t i = lfo.pointIndex;
    lfo.segmentDefinition = lfo.definition;
    lfo.segmentIndex = i;
    lfo.hasNext = i < count - 1;
    lfo.quietUntil = 0;
    if (lfo.hasNext) {
        lfo.nextTime = numFloat<T>(def.points[static_cast<size_t>(i + 1)].time);
        // The clock never goes back as the counter grows, so once one
        // counter value is shown to lie before the next time, all smaller
        // ones do: the lazy update need not read the clock below it.
        const double perSample = def.mode > 1 ? (m_groupLength > 0 ? 100.0 / m_groupLength : 0.0)
                                              : (m_sampleRate > 0 ? 1000.0 / m_sampleRate : 0.0);
        const double estimate = perSample > 0.0 ? Num<T>::toDouble(lfo.nextTime) / perSample - 2.0 : 0.0;
        if (estimate >= 1.0) {
            const int32_t c = static_cast<int32_t>(std::min(estimate, 2.0e9));
            if (lfoTimeAt(def, c) < lfo.nextTime) lfo.quietUntil = int64_t{c} + 1;
        }
    }
    if (i < 0) {
        const LfoPoint& first = def.points[0];
        lfo.segment = first.interpolate == 1 ? Segment::Ramp : Segment::Idle;
        lfo.ramp = lfoRamp<T>(0.0f, first.time);
    } else if (lfo.hasNext && def.points[static_cast<size_t>(i + 1)].interpolate != 0) {
        lfo.segment = Segment::Ramp;
        lfo.ramp = lfoRamp<T>(def.points[static_cast<size_t>(i)].time, def.points[static_cast<size_t>(i + 1)].time);
    } else {
        lfo.segment = Segment::Step;
    }
}

// phase = (phase + 1) mod period, for a running LFO. When the step crosses
// the period once, the subtraction is exact (and equals the remainder), so
// the remainder function is only needed for periods under one sample.
template <EngineNumType T>
TAVOLIN_HOT_INLINE void BankPlayer<T>::advanceLfoPhase(LfoState<T>& lfo) noexcept {
    if (!(lfo.period > T{})) return;
    lfo.phase = nextLfoPhase(lfo.phase, lfo.period);
}

template <EngineNumType T>
TAVOLIN_HOT_INLINE T BankPlayer<T>::nextLfoPhase(T phase, T period) noexcept {
    if constexpr (kIsFix<T>) {
        int64_t p = phase.raw() + 65536;
        if (p >= period.raw()) p %= period.raw();
        return Fix::fromRaw(p);
    } else {
        T p = phase + T(1);
        if (p >= period) p = p < period * T(2) ? p - period : std::fmod(p, period);
        return p;
    }
}

// The LFO time counter (and Fix's millisecond clock) after `count` samples.
template <EngineNumType T>
void BankPlayer<T>::advanceLfoClock(int64_t count) noexcept {
    if (m_lfoCounter == INT32_MAX) return;
    const int64_t steps = std::min<int64_t>(count, int64_t{INT32_MAX} - m_lfoCounter);
    m_lfoCounter = static_cast<int32_t>(m_lfoCounter + steps);
    if constexpr (kIsFix<T>) {
        if (m_sampleRate != 0) {
            // remainder < rate before and after every single step, so the
            // carries of `steps` steps are this one quotient
            const uint64_t rem = m_lfoMsRemainder + static_cast<uint64_t>(steps) * m_lfoMsStepRemainder;
            m_lfoMsRaw += steps * m_lfoMsStep + static_cast<int64_t>(rem / m_sampleRate);
            m_lfoMsRemainder = static_cast<uint32_t>(rem % m_sampleRate);
        }
    }
}

// `count` phase advances of one LFO, the same end state as that many
// advanceLfoPhase calls.
template <EngineNumType T>
void BankPlayer<T>::stepLfoPhase(LfoState<T>& lfo, int64_t count) noexcept {
    lfo.phase = lfoPhaseAfter(lfo.phase, lfo.period, count);
}

}  // namespace tavolin
