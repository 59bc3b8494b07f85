// SPDX-License-Identifier: MIT
// What a screen reader says on request: the caret's place (bank, bar and beat, the note under
// it) and the playhead's bar. Toolkit-free texts in the display language; the window sends them
// as announcements.
#pragma once

#include <optional>
#include <string>

#include "output/SongMap.h"
#include "synth/Timeline.h"

namespace tavolin::window {

// Bars of four quarter notes (MML has no time signature): bar and beat count from 1.
struct BarBeat {
    int bar = 1;
    int beat = 1;
    friend bool operator==(const BarBeat&, const BarBeat&) = default;
};
// `units` in 1/256 of a whole note from the song's start.
BarBeat barBeatAt(double units) noexcept;

// The note or rest alone: "ド♯ 8分音符, オクターブ 4" / "C sharp eighth, octave 4",
// "付点4分休符" / "dotted quarter rest".
std::string noteSpeech(const TimelineNote& note);

// The caret key's sentence for the note `note` names in tab `tab` (0 common, 1..5 A..E):
// "A, 小節 3 拍 2, ド♯ 8分音符, オクターブ 4". Without a note, or while the document does
// not compile, the tab and why there is nothing to say.
std::string caretSpeech(const output::SongMap* map, int tab, std::optional<TimelineRef> note);

// The playhead's place while playing, from where each bank stands: the bar and beat of
// the first bank that sounds ("再生中 小節 5 拍 1"), or that nothing plays.
std::string playheadSpeech(const SongTimeline* timeline, const std::optional<BankFrames>& frames);

}  // namespace tavolin::window
