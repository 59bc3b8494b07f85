// SPDX-License-Identifier: MIT
// Where a rebuilt song takes over from the one playing: the frame that keeps
// the listener on the same note after the text was edited.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "output/SongBuilder.h"
#include "session/EditMapping.h"
#include "session/Passage.h"
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

// The inputs a swap builds: no cursor (the swap seeks on its own), played
// as playback plays them.
output::BuildInputs swapInputs(output::BuildInputs inputs);
// A compile of `a` may take over a song of `b`: the same arithmetic, rate and
// bank mode (results for other settings are not swapped in).
bool sameSwapSettings(const output::BuildInputs& a, const output::BuildInputs& b) noexcept;

// Where a song rebuilt from edited texts goes on when the old one stands at
// `oldFrame`: the anchor (chooseSwapFrame), and the passage it plays: `given`,
// else the old passage with its ends following their notes, else none.
struct SwapPlace {
    SwapAnchor anchor;
    std::optional<LivePassage> passage;
};
SwapPlace placeSwap(const SongTimeline& oldLine, uint64_t oldFrame, const TabEdits& edits, const SongTimeline& newLine,
                    const std::optional<LivePassage>& oldPassage, std::optional<LivePassage> given = std::nullopt);
// Puts the rebuilt `song` there, by the one recipe (Passage.h); `skip` seeks
// it (the live swap starts from a checkpoint).
void enterSwap(output::GeneratorWrapper& song, const SwapPlace& place, bool loop, const SkipTo& skip = {});
// A song's own frame (counted on from its start without wrapping) as a frame
// of its timeline: wrapped by its looping passage, or by Loop at the song's
// `frames`.
uint64_t wrapOwnFrame(uint64_t own, bool loop, const std::optional<LivePassage>& passage, uint64_t frames) noexcept;

}  // namespace tavolin::session
