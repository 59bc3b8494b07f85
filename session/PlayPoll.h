// SPDX-License-Identifier: MIT
// What a playing session tells a front end's timer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "music/DocumentFeatures.h"
#include "output/SongMap.h"

namespace tavolin::session {

// A swap the listener has reached since the last poll.
struct SwapHeard {
    uint64_t streamFrame = 0;  // the stream frame the new song was heard from
    uint64_t songFrame = 0;    // the new song's own frame there
};

// Where the music stands, for a front end's timer: the status time, the
// roll's playheads, the lit notes, and what happened since the last poll.
struct PlayPoll {
    bool playing = false;  // a stream is open (paused or not)
    bool ended = false;    // it has been heard to its end: nothing more will sound
    // The song followed (the one heard, or about to be once its swap lands);
    // null when nothing is followed (Test).
    std::shared_ptr<const output::SongMap> map;
    // Its frame heard now (wrapped by Loop or the passage); while paused, the
    // frame where the music waits.
    std::optional<uint64_t> frame;
    // Where each bank stands in map's timeline: a passage plays every bank
    // at its frame, the whole song wraps each bank in its own endless loop.
    std::optional<BankFrames> banks;
    // The text of each note sounding, in the texts given to poll() (a note in
    // a stretch edited since the song was compiled is left out).
    std::vector<music::SoundingSource> lit;
    std::optional<SwapHeard> swapped;
};

}  // namespace tavolin::session
