// SPDX-License-Identifier: MIT
// A passage of the song: where it starts and ends, given as a song time or as
// a caret in a tab's text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "output/SongMap.h"

namespace tavolin::output {

// "1:23.5" or "83.5" (seconds), or a caret "A:120" (tab common or A..E, any
// case, and a byte offset in that tab's text).
struct PassagePoint {
    bool caret = false;
    double seconds = 0;   // a time
    int tab = 0;          // a caret: -1 common, 0..4 banks A..E
    uint64_t offset = 0;  // a caret: bytes
};

// nullopt for anything else (negative or empty numbers, a minute field
// without seconds, seconds of 60 or more after a minute field, trailing text).
std::optional<PassagePoint> parsePassagePoint(std::string_view text);

// The frame of the song that `map` describes (its timeline, endless loops
// played as the export plays them) at which the point lies: a time to the
// nearest frame; a caret at the start of the note under or after it that
// sounds first, or the song's end when no note follows the caret.
uint64_t passageFrame(const SongMap& map, const PassagePoint& point);

// A frame of the song as a time a person reads and the passage options take
// back: "m:ss.mmm" (milliseconds cut, not rounded).
std::string songTimeText(uint64_t frame, uint32_t rate);

}  // namespace tavolin::output
