// SPDX-License-Identifier: MIT
// The amplitude envelope of a bank player: the level per sample (linear
// attack and decay, sustain, the release inside the note) and the samples
// where its stages change.
#pragma once

#include <algorithm>
#include <cmath>

#include "synth/BankPlayer.h"
#include "synth/HotInline.h"

namespace tavolin {
namespace detail {

// The envelope's ramps at their position x (0..1) in the stage: shared by the
// per-sample level and the Fix stretch, which carries x instead of dividing.
template <EngineNumType T>
TAVOLIN_HOT_INLINE T attackRamp(T x, const EnvelopeSlot<T>& env) noexcept { return x * env.attackLevel; }
template <EngineNumType T>
TAVOLIN_HOT_INLINE T decayRamp(T x, const EnvelopeSlot<T>& env) noexcept {
    return (numInt<T>(1) - x) * env.attackLevel + env.sustainLevel * x;
}
template <EngineNumType T>
TAVOLIN_HOT_INLINE T releaseRamp(T x, const EnvelopeSlot<T>& env) noexcept { return x * env.sustainLevel; }

}  // namespace detail

// Linear attack and decay, then sustain with the release inside the note's
// own length. A slurred continuation starts at the sustain level.
template <EngineNumType T>
TAVOLIN_HOT_INLINE T BankPlayer<T>::envelopeLevelAt(int32_t elapsed) const noexcept {
    const EnvelopeSlot<T>& env = *m_envelope;
    if (elapsed >= m_sustainFrom) [[likely]] {
        if (elapsed < m_releaseFrom) return env.sustainLevel;
        return detail::releaseRamp(quot(numInt<T>(m_noteLength - elapsed), env.release), env);
    }
    const T e = numInt<T>(elapsed);
    if (env.attack > e) return m_continuation ? env.sustainLevel : detail::attackRamp(quot(e, env.attack), env);
    if (env.attack + env.decay > e) return m_continuation ? env.sustainLevel : detail::decayRamp(quot(e - env.attack, env.decay), env);
    return env.sustainLevel;  // not reached: m_sustainFrom marks this sample
}

// The first sample of the sustain (attack and decay over) and of the release
// for the current note, found with the very comparisons the level uses, so
// the per-sample test is a pair of integer compares.
template <EngineNumType T>
void BankPlayer<T>::findEnvelopeStages() noexcept {
    const EnvelopeSlot<T>& env = *m_envelope;
    const auto inAttackOrDecay = [&](int64_t e) {
        const T te = numInt<T>(e);
        return env.attack > te || env.attack + env.decay > te;
    };
    const double span = std::max(Num<T>::toDouble(env.attack), Num<T>::toDouble(env.attack + env.decay));
    int64_t c = std::isfinite(span) ? static_cast<int64_t>(std::clamp(std::ceil(span), 0.0, 4.0e9)) : 0;
    for (int i = 0; i < 64 && c > 0 && !inAttackOrDecay(c - 1); ++i) --c;
    for (int i = 0; i < 64 && inAttackOrDecay(c); ++i) ++c;
    m_sustainFrom = c;
    m_releaseFrom = INT64_MAX;
    if (m_hasSlurTarget) return;
    const auto inRelease = [&](int64_t e) { return env.release > numInt<T>(m_noteLength - e); };
    const double r = Num<T>::toDouble(env.release);
    int64_t d = int64_t{m_noteLength} - (std::isfinite(r) ? static_cast<int64_t>(std::clamp(std::ceil(r), 0.0, 4.0e9)) : 0) + 1;
    d = std::clamp<int64_t>(d, 0, m_noteLength);
    for (int i = 0; i < 64 && d > 0 && inRelease(d - 1); ++i) --d;
    for (int i = 0; i < 64 && d < m_noteLength && !inRelease(d); ++i) ++d;
    m_releaseFrom = d;
}

}  // namespace tavolin
