// The loop rules of a bank's event walk, shared by the player and the timeline
// so that both follow one definition of where a LoopControl record leads.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "compiler/MmlEvent.h"

namespace tavolin {

// Applies one LoopControl record at `index` and returns the index of the next
// record to read. `counters` holds one counter per nesting level. In export
// mode an endless loop (count -1) starts at 0 and so plays once. Links that
// point outside the list (never written by the compiler) are ignored: the
// walk then simply goes on with the next record.
template <EngineNumType T>
int32_t applyLoopRule(const LoopControlPayload& loop, int32_t index, std::span<const MmlEvent<T>> events,
                      std::array<int32_t, kMaxLoopLevels>& counters, bool exportMode) noexcept {
    if (loop.level < 0 || loop.level >= kMaxLoopLevels) return index + 1;
    const int32_t count = static_cast<int32_t>(events.size());
    const auto validIndex = [count](int32_t i) { return i >= 0 && i < count; };
    int32_t& counter = counters[static_cast<size_t>(loop.level)];
    switch (loop.op) {
    case LoopOp::LoopStart:
        counter = loop.count;
        if (exportMode && counter < 0) counter = 0;
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

}  // namespace tavolin
