// Where a rebuilt song takes over from the one playing: the frame that keeps
// the listener on the same note after the text was edited.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "session/EditMapping.h"
#include "synth/Timeline.h"

namespace tavolin::session {

// The edits made to each tab since the playing song was compiled, each
// tab's in the order they were made: index 0 the common text, 1..5 banks A..E.
using TabEdits = std::array<std::vector<TextEdit>, 6>;

struct SwapAnchor {
    uint64_t frame = 0;  // where the new song goes on, in its own frames
    int bank = -1;       // the bank whose note fixed it; -1: none, the same song time
    friend bool operator==(const SwapAnchor&, const SwapAnchor&) = default;
};

// The frame of `newSong` at which to continue when `oldSong` has played to
// `swapFrame`. Banks A to E in turn: the note (or rest) the bank sounds at
// `swapFrame`, found again in the new song by where its command (and the
// macro call that replayed it) now stands and by how many times the same
// command had sounded before in that bank (its pass through loops); the new
// song goes on at that note's start plus the same time into it (at most to
// its last frame). The first bank whose note survived decides for all banks,
// so they stay together. With no such note (deleted, or nothing sounds) the
// song time stays the same.
SwapAnchor chooseSwapFrame(const SongTimeline& oldSong, uint64_t swapFrame, const TabEdits& edits,
                           const SongTimeline& newSong);

}  // namespace tavolin::session
