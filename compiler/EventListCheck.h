// SPDX-License-Identifier: MIT
// A check of the guarantees a compiled event list gives the player (for tests, fuzzing and debug builds).
#pragma once

#include <string>

#include "compiler/MmlEvent.h"

namespace tavolin {

// Every broken guarantee of a bank's list, as text; empty when none. Checks
// the prologue, slur targets (a later Note with a frequency) and group
// lengths, loop partners, counts and levels (0..31, one per open loop, a
// note in every closed loop; a loop left open has count 0 and leads to the
// text's end), value ranges, LFO point order, and the start marker: exactly
// one when `expectMarker` (an EndMarker only as the last record), else none.
template <EngineNumType T>
std::string eventListViolations(const EventList<T>& list, bool expectMarker);

extern template std::string eventListViolations<Fix>(const EventList<Fix>&, bool);
extern template std::string eventListViolations<float>(const EventList<float>&, bool);
extern template std::string eventListViolations<double>(const EventList<double>&, bool);

}  // namespace tavolin
