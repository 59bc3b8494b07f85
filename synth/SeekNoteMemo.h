// SPDX-License-Identifier: MIT
// The fast seek's memo: a note's (or a stretch of it's) state taken whole,
// and the end states of the stretches met so far.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "synth/BankPlayer.h"

namespace tavolin {

// Everything the rest of a note reads or changes, apart from the random
// generator and the noise filter: from one such state on, the next `span`
// samples (at most up to the note's end) move the same fields in the same
// way every time, so a seek that meets it again (a loop repeating a note,
// or two banks' notes cutting each other into the same pieces again) can
// put the end state back instead of stepping. Compared and hashed as bytes: equal bytes are
// equal values, and a byte that differs (padding, -0, a NaN's payload) only
// costs a miss.
template <EngineNumType T>
struct SeekNoteState {
    // changed while the note lasts
    T phase, halfLength, currentDuty;
    int64_t dutyIndex, lfoMsRaw;
    uint32_t lfoMsRemainder;
    int32_t index, elapsed, lfoCounter, halfCycle;
    float dutyValue;
    bool switchPending, silent, noiseCoefficientsValid;
    LfoState<T> pitch, amp;
    T noiseDuty, noiseFrequency, noiseCutoff;
    NoiseCoefficients<T> noiseCoefficients;
    // only read while the note lasts
    const ToneSlot* toneSlot;
    ToneSlot tone;
    T cycle, targetCycle, portamento, switchPeriod, levelNoise, noteFrequency;
    int64_t lfoMsStep;
    uint32_t lfoMsStepRemainder, sampleRate;
    int32_t noteLength, groupLength, count;
    bool hasSlurTarget, hasLevelNoise;
    int64_t span;  // in a key: the samples taken from it (0 in an end state)

    static void take(const BankPlayer<T>& p, SeekNoteState& s) noexcept {
        std::memset(static_cast<void*>(&s), 0, sizeof s);
        s.phase = p.m_phase;
        s.halfLength = p.m_halfLength;
        s.currentDuty = p.m_currentDuty;
        s.dutyIndex = p.m_dutyIndex;
        s.lfoMsRaw = p.m_lfoMsRaw;
        s.lfoMsRemainder = p.m_lfoMsRemainder;
        s.index = p.m_index;
        s.elapsed = p.m_elapsed;
        s.lfoCounter = p.m_lfoCounter;
        s.halfCycle = p.m_halfCycle;
        s.dutyValue = p.m_dutyValue;
        s.switchPending = p.m_switchPending;
        s.silent = p.m_silent;
        s.noiseCoefficientsValid = p.m_noiseCoefficientsValid;
        std::memcpy(static_cast<void*>(&s.pitch), &p.m_pitchLfo, sizeof s.pitch);
        std::memcpy(static_cast<void*>(&s.amp), &p.m_ampLfo, sizeof s.amp);
        s.noiseDuty = p.m_noiseDuty;
        s.noiseFrequency = p.m_noiseFrequency;
        s.noiseCutoff = p.m_noiseCutoff;
        s.noiseCoefficients = p.m_noiseCoefficients;
        s.toneSlot = p.m_toneSlot;
        std::memcpy(static_cast<void*>(&s.tone), p.m_toneSlot, sizeof s.tone);
        s.cycle = p.m_cycle;
        s.targetCycle = p.m_targetCycle;
        s.portamento = p.m_portamento;
        s.switchPeriod = p.m_switchPeriod;
        s.levelNoise = p.m_levelNoise;
        s.noteFrequency = p.m_noteFrequency;
        s.lfoMsStep = p.m_lfoMsStep;
        s.lfoMsStepRemainder = p.m_lfoMsStepRemainder;
        s.sampleRate = p.m_sampleRate;
        s.noteLength = p.m_noteLength;
        s.groupLength = p.m_groupLength;
        s.count = p.m_count;
        s.hasSlurTarget = p.m_hasSlurTarget;
        s.hasLevelNoise = p.m_hasLevelNoise;
    }
    // The fields a note changes; the others are equal by the key.
    void putBack(BankPlayer<T>& p) const noexcept {
        p.m_phase = phase;
        p.m_halfLength = halfLength;
        p.m_currentDuty = currentDuty;
        p.m_dutyIndex = dutyIndex;
        p.m_lfoMsRaw = lfoMsRaw;
        p.m_lfoMsRemainder = lfoMsRemainder;
        p.m_index = index;
        p.m_elapsed = elapsed;
        p.m_lfoCounter = lfoCounter;
        p.m_halfCycle = halfCycle;
        p.m_dutyValue = dutyValue;
        p.m_switchPending = switchPending;
        p.m_silent = silent;
        p.m_noiseCoefficientsValid = noiseCoefficientsValid;
        p.m_pitchLfo = pitch;
        p.m_ampLfo = amp;
        p.m_noiseDuty = noiseDuty;
        p.m_noiseFrequency = noiseFrequency;
        p.m_noiseCutoff = noiseCutoff;
        p.m_noiseCoefficients = noiseCoefficients;
    }
};

template <typename S>
inline uint64_t hashSeekState(const S& s) noexcept {
    static_assert(std::is_trivially_copyable_v<S>);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&s);
    uint64_t h = 0x9E3779B97F4A7C15u;
    size_t i = 0;
    for (; i + 8 <= sizeof s; i += 8) {
        uint64_t w;
        std::memcpy(&w, bytes + i, 8);
        h = (h ^ w) * 0xFF51AFD7ED558CCDu;
        h ^= h >> 29;
    }
    for (; i < sizeof s; ++i) h = (h ^ bytes[i]) * 0x100000001B3u;
    return h;
}

// Stretches of notes met while one bank seeks (one fastSeek call, or the
// whole of a BankSet skip): the state where a stretch began, the state at
// its end and how many of its samples sounded (each drew the noise wave's
// and the level noise's values). Bounded, so a song of ever new notes costs
// a little memory and no more.
template <EngineNumType T>
class SeekNoteMemo {
public:
    struct Entry {
        SeekNoteState<T> from, to;
        int64_t sounding = 0;
    };
    const Entry* find(const SeekNoteState<T>& key, uint64_t hash) const noexcept {
        if (m_slots.empty()) return nullptr;
        for (size_t i = hash & kMask;; i = (i + 1) & kMask) {
            const int32_t e = m_slots[i];
            if (e < 0) return nullptr;
            const Entry& entry = m_entries[static_cast<size_t>(e)];
            if (m_hashes[static_cast<size_t>(e)] == hash && std::memcmp(&entry.from, &key, sizeof key) == 0) return &entry;
        }
    }
    void store(const Entry& entry, uint64_t hash) {
        if (m_entries.size() >= kMaxEntries) return;
        if (m_slots.empty()) m_slots.assign(kSlots, -1);
        size_t i = hash & kMask;
        while (m_slots[i] >= 0) i = (i + 1) & kMask;
        m_slots[i] = static_cast<int32_t>(m_entries.size());
        m_entries.push_back(entry);
        m_hashes.push_back(hash);
    }

private:
    static constexpr size_t kSlots = 2048;  // open addressing, at most half full
    static constexpr size_t kMask = kSlots - 1;
    static constexpr size_t kMaxEntries = kSlots / 2;
    std::vector<int32_t> m_slots;
    std::vector<Entry> m_entries;
    std::vector<uint64_t> m_hashes;
};

}  // namespace tavolin
