// SPDX-License-Identifier: MIT
// Note start of a bank player: the note's samples from the timing ledger,
// pitch, tone and envelope for the note, and a new note group unless the
// note continues a slur.
#include <algorithm>

#include "synth/PlayerSample.h"

namespace tavolin {

template <EngineNumType T>
void BankPlayer<T>::startNote(const NotePayload<T>& note) noexcept {
    // 1. timing
    m_noteLength = m_ledger.addNote(m_tempo, note.length, m_sampleRate);
    m_elapsed = 0;
    // 2. duty list back to its first entry, for every note
    m_dutyIndex = 0;
    m_switchPending = false;
    // 3. pitch
    m_noteFrequency = note.frequency;
    if (!isZero(note.frequency)) {
        m_silent = false;
        m_cycle = cycleLengthFor(m_sampleRate, note.frequency);
    } else {
        m_silent = true;
        m_cycle = T{};
    }
    m_toneSlot = &m_tones[static_cast<size_t>(m_tone)];
    m_envelope = &m_envelopes[static_cast<size_t>(m_envelopeIndex)];
    m_switchPeriod = switchPeriodSamples<T>(m_sampleRate, m_toneSlot->dutySwitchMs);
    m_hasLevelNoise = m_toneSlot->levelNoise != 0.0f;
    m_levelNoise = numFloat<T>(m_toneSlot->levelNoise);
    // 4. a slur from the previous note continues its voice
    m_continuation = !isZero(m_targetCycle);
    // 5. otherwise a new note group begins
    if (!m_continuation) {
        restartLfo(m_pitchLfo);
        restartLfo(m_ampLfo);
        m_halfCycle = 0;
        m_phase = T{};
        m_groupLength = groupSampleCount<T>(m_sampleRate, m_tempo, note.groupLength);
        m_lfoCounter = 0;
        m_lfoMsRaw = 0;
        m_lfoMsRemainder = 0;
        m_dutyValue = m_toneSlot->duty(0);
        m_currentDuty = numFloat<T>(m_dutyValue);
        m_halfLength = halfLengthFor(0, m_cycle);
    }
    // 6. the slur target's pitch, for portamento and the next note
    m_targetCycle = T{};
    m_hasSlurTarget = false;
    if (note.slurTarget >= 0 && note.slurTarget < m_count) {
        m_readTo = std::max(m_readTo, int64_t{note.slurTarget} + 1);
        const MmlEvent<T>& target = m_events[static_cast<size_t>(note.slurTarget)];
        if (target.kind == EventKind::Note) {
            m_targetCycle = cycleLengthFor(m_sampleRate, target.note.frequency);
            m_hasSlurTarget = !isZero(m_targetCycle);
        }
    }
    findEnvelopeStages();
}

template void BankPlayer<Fix>::startNote(const NotePayload<Fix>&) noexcept;
template void BankPlayer<float>::startNote(const NotePayload<float>&) noexcept;
template void BankPlayer<double>::startNote(const NotePayload<double>&) noexcept;

}  // namespace tavolin
