// SPDX-License-Identifier: MIT
// Editing notes in MML text: moving a stretch up or down by semitones with octave marks kept
// balanced, and rests for a given length.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavolin::music {

// Replace bytes [begin, end) of the text by `text`.
struct TextReplacement {
    uint32_t begin = 0;
    uint32_t end = 0;
    std::string text;
    friend bool operator==(const TextReplacement&, const TextReplacement&) = default;
};

// Every note of bytes [from, to) of `text` (one tab's text) moved by
// `semitones`; an empty stretch takes the note under `from`. The stretch
// grows to whole commands. A note that crosses an octave gets ">" or "<"
// in front, undone before the next note that does not, before an absolute
// O (which needs none), before loop and macro marks (a loop's body must
// leave the octave as it found it) and at the end, so that nothing outside
// the stretch changes. Letters come out with sharps ("C#"); N moves its
// number. nullopt when the stretch holds no note with a pitch, or an N
// would leave 0..95.
std::optional<TextReplacement> transposeSelection(std::string_view text, uint32_t from, uint32_t to, int semitones);

// Rests that take `units` (1/256 of a whole note), longest first: 96 ->
// "R4R8". Empty when `units` is not a whole number of 256ths above 0.
std::string restsFor(double units);

// A length in 1/256 of a whole note written as the fewest tied parts, each a
// length number with dots, longest first: 64 -> {"4"}, 96 -> {"4."},
// 320 -> {"1", "4"}, 85.33 -> {"3"}. Empty when no four parts make it.
std::vector<std::string> lengthParts(double units);

// When a written note sounds, in 1/256 of a whole note: where it starts in
// its bank and how long it is.
struct NoteTime {
    double unitStart = 0;
    double units = 0;
};
// The time of the note (or rest) whose command starts at byte `begin` of the
// tab's text; nullopt when the compile did not play it from there.
using NoteTimeAt = std::function<std::optional<NoteTime>(uint32_t begin)>;

// The note (or rest) under `offset` (or ending there) written as two tied
// notes: cut at the first bar line (4/4) it crosses, else in halves, each part
// with its length written out ("C2" -> "C4&C4", so a default length or the
// octave around it change nothing). Rests come apart without "&". nullopt off
// a note, inside a tuplet, or when a part has no written length.
std::optional<TextReplacement> splitNote(std::string_view text, uint32_t offset, const NoteTimeAt& timeAt);

// The tie chain of one pitch ("C4 & C8&C8", only white space between) that
// holds `from` written with the fewest parts its whole length needs ("C2");
// nullopt when it is no shorter that way.
std::optional<TextReplacement> joinTiedNotes(std::string_view text, uint32_t from, const NoteTimeAt& timeAt);

}  // namespace tavolin::music
