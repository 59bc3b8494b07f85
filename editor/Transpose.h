// Editing notes in MML text: moving a stretch up or down by semitones with octave marks kept
// balanced, and rests for a given length.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavolin::editor {

// Replace bytes [begin, end) of the text by `text`.
struct TextEdit {
    uint32_t begin = 0;
    uint32_t end = 0;
    std::string text;
    friend bool operator==(const TextEdit&, const TextEdit&) = default;
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
std::optional<TextEdit> transposeSelection(std::string_view text, uint32_t from, uint32_t to, int semitones);

// Rests that take `units` (1/256 of a whole note), longest first: 96 ->
// "R4R8". Empty when `units` is not a whole number of 256ths above 0.
std::string restsFor(double units);

}  // namespace tavolin::editor
