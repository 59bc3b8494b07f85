// SPDX-License-Identifier: MIT
// The loop rules of a bank's event walk, shared by the player and the timeline
// so that both follow one definition of where a LoopControl record leads.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "compiler/MmlEvent.h"
#include "synth/TimingLedger.h"

namespace tavolin {

// Applies one LoopControl record at `index` and returns the index of the next
// record to read. `counters` holds one counter per nesting level.
// `exportPasses` is the number of passes an endless loop (count -1) plays: 0
// leaves it endless, as playback does; 1 starts its counter at 0, which a
// LoopEnd neither decreases nor jumps back from, so it plays once; n >= 2
// starts it at n, so it plays exactly like a loop counted n (a break leaves
// it during its last pass). Links that
// point outside the list (never written by the compiler) are ignored: the
// walk then simply goes on with the next record.
template <EngineNumType T>
int32_t applyLoopRule(const LoopControlPayload& loop, int32_t index, std::span<const MmlEvent<T>> events,
                      std::array<int32_t, kMaxLoopLevels>& counters, int32_t exportPasses) noexcept {
    if (loop.level < 0 || loop.level >= kMaxLoopLevels) return index + 1;
    const int32_t count = static_cast<int32_t>(events.size());
    const auto validIndex = [count](int32_t i) { return i >= 0 && i < count; };
    int32_t& counter = counters[static_cast<size_t>(loop.level)];
    switch (loop.op) {
    case LoopOp::LoopStart:
        counter = loop.count;
        if (exportPasses > 0 && counter < 0) counter = exportPasses > 1 ? exportPasses : 0;
        return index + 1;
    case LoopOp::LoopEnd:
        if (counter > 0) --counter;
        return counter != 0 && validIndex(loop.partner) ? loop.partner + 1 : index + 1;
    case LoopOp::LoopBreak:
        if (counter <= 1 && validIndex(loop.partner)) {
            const MmlEvent<T>& start = events[static_cast<size_t>(loop.partner)];
            if (start.kind == EventKind::LoopControl && validIndex(start.loop.partner)) return start.loop.partner + 1;
        }
        return index + 1;
    }
    return index + 1;
}

// Everything that decides which record a bank reads next and how long its
// next note is. If it repeats while no sample has been produced, the walk is
// caught in a loop that can never reach a sounding note.
template <EngineNumType T>
struct WalkControlState {
    int32_t index;
    int32_t tempo;
    std::array<int32_t, kMaxLoopLevels> counters;
    TimingLedger<T> ledger;
    friend bool operator==(const WalkControlState&, const WalkControlState&) = default;
};

// Brent's cycle check over the control states of a walk that produces no
// sample: the walker starts it after applying more records than a list could
// hold between two notes and feeds it one state per record applied; it stays
// on until a sample is produced (reset()).
template <EngineNumType T>
class NoSampleCycleGuard {
public:
    bool tracking() const noexcept { return m_tracking; }
    void reset() noexcept { m_tracking = false; }
    // True when `now` repeats an earlier state of this walk.
    bool repeats(const WalkControlState<T>& now) noexcept {
        if (!m_tracking) {
            m_tracking = true;
            m_mark = now;
            m_power = 1;
            m_steps = 0;
            return false;
        }
        if (now == m_mark) return true;
        if (++m_steps == m_power) {
            m_mark = now;
            m_power *= 2;
            m_steps = 0;
        }
        return false;
    }

private:
    bool m_tracking = false;
    WalkControlState<T> m_mark{};
    uint64_t m_power = 1;
    uint64_t m_steps = 0;
};

// The walk's limits between two samples: past `trackAfter` records applied
// the cycle check runs; past `cap` the call gives up its frame as silence and
// the next call carries on (so one call stays bounded).
inline int64_t cycleTrackAfter(int32_t count) noexcept { return int64_t{count} + 16; }
inline int64_t silentFrameCap(int32_t count) noexcept { return int64_t{count} * 8 + 256; }

}  // namespace tavolin
