// SPDX-License-Identifier: MIT
// TimingLedger: drift-free conversion of note lengths to sample counts.
#pragma once

#include <cstdint>

#include "synth/SynthMath.h"

namespace tavolin {

// One stretch of the song at one tempo: its accumulated note length (1/256
// whole notes) and the truncated sample count of that total.
template <EngineNumType T>
struct TempoSegment {
    int32_t tempo = 0;
    T accumulatedLength{};
    uint64_t sampleCount = 0;
};

// A note's sample count is the difference of two truncated running totals,
// so rounding never accumulates: n quarter notes at one tempo always last
// trunc(n * exact) samples. A tempo change opens a new segment (rounding
// restarts there). Only the last segment ever changes, so the closed ones are
// kept as their 32-bit wrapping sum: the same numbers as summing every
// segment at each note start, in constant time and without allocating.
template <EngineNumType T>
class TimingLedger {
public:
    void clear() noexcept { *this = TimingLedger{}; }

    // Books a note of `length` units at `tempo` and returns its samples.
    int32_t addNote(int32_t tempo, T length, uint32_t sampleRate) noexcept {
        const uint32_t before = totalSamples();
        if (m_segments == 0 || m_last.tempo != tempo) {
            m_closedSum += static_cast<uint32_t>(m_last.sampleCount);
            m_last = TempoSegment<T>{tempo, T{}, 0};
            ++m_segments;
        }
        m_last.accumulatedLength += length;
        m_last.sampleCount = ledgerSampleCount<T>(sampleRate, tempo, m_last.accumulatedLength);
        return static_cast<int32_t>(totalSamples() - before);
    }

    // Sum of every segment's sample count, wrapping in 32 bits.
    uint32_t totalSamples() const noexcept { return m_closedSum + static_cast<uint32_t>(m_last.sampleCount); }
    uint64_t segmentCount() const noexcept { return m_segments; }
    const TempoSegment<T>& lastSegment() const noexcept { return m_last; }

    // Equal when every future note gets the same sample count (the number
    // of closed segments does not matter, only their sum).
    friend bool operator==(const TimingLedger& a, const TimingLedger& b) noexcept {
        return a.m_closedSum == b.m_closedSum && (a.m_segments == 0) == (b.m_segments == 0) && a.m_last.tempo == b.m_last.tempo &&
               a.m_last.accumulatedLength == b.m_last.accumulatedLength && a.m_last.sampleCount == b.m_last.sampleCount;
    }

private:
    uint32_t m_closedSum = 0;
    TempoSegment<T> m_last{};
    uint64_t m_segments = 0;
};

}  // namespace tavolin
