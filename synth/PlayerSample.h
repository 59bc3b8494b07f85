// SPDX-License-Identifier: MIT
// The reference per-sample path of a bank player: one sample of the current
// note (LFO update, boundary, duty switch, wave, envelope, level noise,
// tremolo, volume and pan), the clocks after it, and renderFrame, which walks
// the events between notes. The note runs (NoteRun.cpp) are proven equal to it.
#pragma once

#include "synth/BankPlayer.h"
#include "synth/HotInline.h"
#include "synth/PlayerEnvelope.h"
#include "synth/PlayerLfo.h"
#include "synth/PlayerOscillator.h"

namespace tavolin {
namespace detail {

// The two sides of a sample under the linear pan law; the centre (the
// default pan) weighs both sides alike, so one side is enough there.
template <EngineNumType T>
TAVOLIN_HOT_INLINE StereoSample panned(int32_t pan, T value) noexcept {
    const int16_t left = panSide<T>(256 - pan, value);
    return {left, pan == 128 ? left : panSide<T>(pan, value)};
}

}  // namespace detail

// The hot path: inside a note nothing but the sample itself has to happen.
template <EngineNumType T>
TAVOLIN_HOT_INLINE StereoSample BankPlayer<T>::nextFrame(bool anyPlaying) noexcept {
    if (m_elapsed < m_noteLength && m_index < m_count) [[likely]] {
        const StereoSample s = renderNoteSample<false>(m_toneSlot->wave, false, m_noise);
        publishIndex();
        return s;
    }
    bool marker = false;
    return advance<false>(anyPlaying, marker);
}

template <EngineNumType T>
template <bool kPlain>
TAVOLIN_HOT_INLINE StereoSample BankPlayer<T>::renderNoteSample(int32_t wave, bool lazyPitch, NoiseFilter<T>& filter) noexcept {
    StereoSample out{};
    if (!m_silent) {
        if (lazyPitch) updatePitchLfoLazily();
        else updateLfo(m_pitchLfo);
        if constexpr (!kPlain) updateLfo(m_ampLfo);
        const int32_t remaining = m_noteLength - m_elapsed;
        bool sounding = true;
        if (m_phase > m_halfLength) sounding = boundaryStep(remaining);
        if (sounding) {
            if (!kPlain && !isZero(m_switchPeriod) && m_switchPeriod * numInt<T>(m_dutyIndex + 1) < numInt<T>(m_elapsed))
                m_switchPending = true;
            T w = waveValue(wave, filter);
            const T level = envelopeLevel();
            if (!kPlain && m_hasLevelNoise) {
                const T u = uniformFromDraw<T>(m_random->next());
                w = w * (numInt<T>(1) - divByInt(u * m_levelNoise, 100));
            }
            if (!kPlain && !isZero(m_ampLfo.depth) && m_ampLfo.period > T{})
                w = w * (numInt<T>(1) - m_ampLfo.depth * lfoSine(m_ampLfo.phase, m_ampLfo.period));
            out = detail::panned(m_pan, level * w * m_volume);
        }
    }
    advanceOneSample<!kPlain>();
    return out;
}

// After every sample of a note event, sounding or not.
template <EngineNumType T>
template <bool kAmpPhase>
TAVOLIN_HOT_INLINE void BankPlayer<T>::advanceOneSample() noexcept {
    m_phase += numInt<T>(1);
    stepLfoClock(m_lfoCounter, m_lfoMsRaw, m_lfoMsRemainder, m_lfoMsStep, m_lfoMsStepRemainder, m_sampleRate);
    ++m_elapsed;
    advanceLfoPhase(m_pitchLfo);
    if constexpr (kAmpPhase) advanceLfoPhase(m_ampLfo);
    if (m_elapsed >= m_noteLength) ++m_index;
}

}  // namespace tavolin
