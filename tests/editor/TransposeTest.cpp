// Transposing a stretch of text: names, octave marks, and what must stay as it was outside the stretch.
#include <gtest/gtest.h>

#include "editor/Transpose.h"

namespace tavolin::editor {
namespace {

TEST(Transpose, NotesMoveAndTheOctaveComesBack) {
    struct Row {
        const char* text;
        uint32_t from, to;
        int semitones;
        const char* expected;  // the whole text after the edit; nullptr: no edit
    } rows[] = {
        {"CDE", 0, 3, 1, "C#D#F"},
        {"C4D8.E", 0, 6, 2, "D4E8.F#"},
        {"B4C", 0, 3, 1, ">C4<C#"},               // B crosses up, the C after it does not
        {"C-D+", 0, 4, 1, "CE"},                   // C- is the B below: one up is C
        {"CDE", 0, 3, -1, "<B>C#D#"},
        {"CDE", 0, 3, 12, ">CDE<"},                // one mark each way for a run
        {"CDE", 0, 3, -12, "<CDE>"},
        {"C O5D E", 0, 7, 12, ">C O5>D E<"},       // an absolute octave needs no undoing
        {"[CD]2E", 0, 6, 12, "[>CD<]2>E<"},        // the loop's body leaves the octave as it found it
        {"CR8X440D", 0, 8, 12, ">CR8X440D<"},      // rests and frequencies stay
        {"N60:8C", 0, 6, -1, "N59:8<B>"},
        {"T120 C8 D", 6, 6, 1, "T120 C#8 D"},     // no selection: the note under the caret with its length
        {"T120 C8 D", 5, 7, 1, "T120 C#8 D"},     // part of a note: the whole note
        {"*CDE* C", 0, 7, 1, "*CDE* C#"},          // comments untouched
        {"C&D", 0, 3, 12, ">C&D<"},
        {"{CB}", 0, 4, 1, "{C#>C}<"},
        {"T120 V100", 0, 9, 1, nullptr},           // nothing to move
        {"N95", 0, 3, 1, nullptr},                 // N beyond the table
        {"", 0, 0, 1, nullptr},
    };
    for (const Row& r : rows) {
        const auto edit = transposeSelection(r.text, r.from, r.to, r.semitones);
        std::string got = "(no edit)";
        if (edit) {
            got = r.text;
            got.replace(edit->begin, edit->end - edit->begin, edit->text);
        }
        EXPECT_EQ(got, r.expected ? r.expected : "(no edit)") << r.text << " [" << r.from << "," << r.to << ") by " << r.semitones;
    }
}

TEST(Transpose, RestsForALength) {
    const std::pair<double, const char*> rows[] = {
        {96, "R4R8"}, {256, "R1"}, {255, "R2R4R8R16R32R64R128R256"}, {1, "R256"}, {0, ""}, {-64, ""}, {21.5, ""}, {64.0000000001, "R4"},
    };
    for (const auto& [units, expected] : rows) EXPECT_EQ(restsFor(units), expected) << units;
}

}  // namespace
}  // namespace tavolin::editor
