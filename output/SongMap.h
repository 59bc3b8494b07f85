// SPDX-License-Identifier: MIT
// The song's map as the window needs it: the document compiled as Play would compile it, with every
// record's source and the song's timeline.
#pragma once

#include <memory>
#include <vector>

#include "output/SongBuilder.h"
#include "synth/Timeline.h"

namespace tavolin::output {

// One compile of the window's inputs. On success `timeline` lists the song as
// exported (endless loops once) at the build's rate, with the notes' sources,
// and `index` answers caret lookups on it. Held by shared_ptr and never moved:
// the index points into the timeline.
struct SongMap {
    CompileResult result;          // code 0: compiled; bank -3: refused, for the reason `refusal` gives
    Refusal refusal = Refusal::None;
    // Every failing bank's first error, in bank order; `result` is the first.
    // Play stops at the first failing bank, but the musician fixing bank A
    // should already see that bank D is broken too. An error in the common
    // text or the internal code stops every bank there: it is listed once.
    std::vector<CompileResult> errors;
    uint32_t sampleRateHz = 0;
    SongTimeline timeline;
    std::unique_ptr<TimelineIndex> index;

    bool ok() const noexcept { return result.code == 0 && result.bank != -3; }
};

// Compiles as Play (or Test) would, with no message and no seek. Any thread.
// The rate outside 8000..192000, no arithmetic, or the current bank on the
// common tab gives a map with code 0 and bank -3 (nothing to play) and says
// which in `refusal`.
std::shared_ptr<const SongMap> buildSongMap(const BuildInputs& inputs, bool testMode, const TimelineOptions& bounds = {});

}  // namespace tavolin::output
