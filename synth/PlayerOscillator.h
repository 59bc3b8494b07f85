// SPDX-License-Identifier: MIT
// The oscillator of a bank player: half-cycle lengths, the boundary step
// (portamento, vibrato, duty list, the silent tail), the five wave shapes and
// the noise filter's coefficients.
#pragma once

#include "synth/BankPlayer.h"
#include "synth/HotInline.h"

namespace tavolin {

template <EngineNumType T>
T BankPlayer<T>::halfLengthFor(int half, T cycle) noexcept {
    const ToneSlot& tone = *m_toneSlot;
    if (tone.freqNoise != 0.0f) {
        const T u = uniformFromDraw<T>(m_random->next());
        return noisyHalfLength(numFloat<T>(tone.freqNoise), u, cycle);
    }
    const T share = half == 0 ? numFloat<T>(m_dutyValue) : secondHalfDuty<T>(m_dutyValue);
    return dutyHalfLength(share, cycle);
}

// A half-cycle has run out: carry the remainder over, work out the cycle
// length for the next half (portamento glide, then vibrato) and take the next
// duty. At the end of a full cycle a note that cannot fit another whole cycle
// (and does not slur on) falls silent for the rest of its length.
template <EngineNumType T>
bool BankPlayer<T>::boundaryStep(int32_t remaining) noexcept {
    m_phase -= m_halfLength;
    T cycle = m_cycle;
    if (m_hasSlurTarget) {
        const T glideSpan = numInt<T>(m_noteLength) * m_portamento;
        const T left = numInt<T>(remaining);
        if (glideSpan >= left && glideSpan > T{}) {
            const T g = quot(left, glideSpan);
            cycle = g * m_cycle + (numInt<T>(1) - g) * m_targetCycle;
        }
    }
    if (!isZero(m_pitchLfo.depth) && m_pitchLfo.period > T{})
        cycle = applyVibrato(cycle, m_vibratoMemo.factor(m_pitchLfo.phase, m_pitchLfo.period, m_pitchLfo.depth));
    if (m_halfCycle == 1) {
        if (numInt<T>(remaining) < cycle && !m_hasSlurTarget) {
            m_silent = true;
            return false;
        }
        if (m_toneSlot->dutySwitchMs == 0.0f || m_switchPending) {
            ++m_dutyIndex;
            m_switchPending = false;
        }
    }
    m_halfCycle ^= 1;
    m_dutyValue = m_toneSlot->duty(m_dutyIndex);
    m_currentDuty = numFloat<T>(m_dutyValue);
    m_halfLength = halfLengthFor(m_halfCycle, cycle);
    return true;
}

template <EngineNumType T>
TAVOLIN_HOT_INLINE T BankPlayer<T>::waveValue(int32_t wave, NoiseFilter<T>& filter) noexcept {
    return waveValueAt(wave, m_phase, m_halfLength, m_halfCycle, filter);
}

template <EngineNumType T>
TAVOLIN_HOT_INLINE T BankPlayer<T>::waveValueAt(int32_t wave, T phase, T halfLength, int halfCycle,
                                                NoiseFilter<T>& filter) noexcept {
    const bool second = halfCycle != 0;
    switch (static_cast<Wave>(wave)) {
    case Wave::Square: return second ? numInt<T>(-1) : numInt<T>(1);
    case Wave::Triangle:
    case Wave::Sawtooth:
    case Wave::Sine: return positionalWave(wave, halfCyclePosition(phase, halfLength), second);
    case Wave::Noise: {
        const T white = whiteFromDraw<T>(m_random->next());
        refreshNoiseCoefficients();
        return noiseFilterStep(filter, m_noiseCoefficients, white);
    }
    }
    return T{};  // an unknown wave number is silent
}

// Triangle, sawtooth and sine at position x (0..1) of the half-cycle.
template <EngineNumType T>
TAVOLIN_HOT_INLINE T BankPlayer<T>::positionalWave(int32_t wave, T x, bool second) noexcept {
    switch (static_cast<Wave>(wave)) {
    case Wave::Triangle: {
        const T hump = numInt<T>(1) - numInt<T>(2) * absValue(x - Num<T>::fromDouble(0.5));
        return second ? -hump : hump;
    }
    case Wave::Sawtooth: return second ? x : x - numInt<T>(1);
    case Wave::Sine: return sineWave(x, second);
    default: return T{};
    }
}

// The noise low-pass follows the duty and the note's frequency, which only
// change at a boundary or a note start; the coefficients are worked out again
// only when one of them has moved.
template <EngineNumType T>
TAVOLIN_HOT_INLINE void BankPlayer<T>::refreshNoiseCoefficients() noexcept {
    if (m_noiseCoefficientsValid && m_currentDuty == m_noiseDuty && m_noteFrequency == m_noiseFrequency) [[likely]]
        return;
    const T cutoff = noiseCutoff(m_sampleRate, m_currentDuty, m_noteFrequency);
    if (!m_noiseCoefficientsValid || !(cutoff == m_noiseCutoff)) m_noiseCoefficients = noiseCoefficients(m_sampleRate, cutoff);
    m_noiseCutoff = cutoff;
    m_noiseDuty = m_currentDuty;
    m_noiseFrequency = m_noteFrequency;
    m_noiseCoefficientsValid = true;
}

}  // namespace tavolin
