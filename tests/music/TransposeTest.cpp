// SPDX-License-Identifier: MIT
// Transposing a stretch of text: names, octave marks, and what must stay as it was outside the stretch.
#include <gtest/gtest.h>

#include "music/DocumentFeatures.h"
#include "music/Transpose.h"

namespace tavolin::music {
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

TEST(Transpose, LengthsAsTiedParts) {
    const std::pair<double, const char*> rows[] = {
        {64, "4"}, {96, "4."}, {448, "1.."}, {320, "1 4"}, {256.0 / 3, "3"}, {512, "1 1"}, {255, "2... 32..."}, {160, "2 8"},
        {0.5, "512"}, {0.25, ""}, {0, ""}, {-64, ""}, {1e7, ""},
    };
    for (const auto& [units, expected] : rows) {
        std::string got;
        for (const std::string& part : lengthParts(units)) got += (got.empty() ? "" : " ") + part;
        EXPECT_EQ(got, expected) << units;
    }
}

// Split and join on text compiled for real, so that default lengths, the
// common text and bar lines come from the song as it plays.
TEST(Transpose, SplitAndJoinTiedNotes) {
    enum Action { Split, Join };
    struct Row {
        Action action;
        const char* common;
        const char* bankA;
        int tab;  // 0 common, 1 bank A: where the caret is
        uint32_t offset;
        const char* expected;  // that tab's text after the edit; nullptr: no edit
        int arith = 1;
    } rows[] = {
        {Split, "", "C2", 1, 0, "C4&C4"},
        {Split, "L8", "C D", 1, 0, "C16&C16 D"},              // the default length written out
        {Split, "", "O5C4.", 1, 2, "O5C8.&C8."},
        {Split, "", "C2.C1", 1, 3, "C2.C4&C2."},              // cut at the bar line it crosses
        {Split, "", "C3", 1, 0, "C6&C6"},
        {Split, "", "C3", 1, 0, "C6&C6", 0},                  // Fix truncates a third
        {Split, "", "C4 D", 1, 2, "C8&C8 D"},                 // the caret just after the note
        {Split, "", "N60:4", 1, 0, "N60:8&N60:8"},
        {Split, "", "R1", 1, 0, "R2R2"},                      // rests need no tie
        {Split, "", "C4&C4", 1, 0, "C8&C8&C4"},
        {Split, "C2", "D", 0, 0, "C4&C4"},                    // a note of the common text
        {Split, "", "C256", 1, 0, "C512&C512"},
        {Split, "", "C512", 1, 0, nullptr},                   // no length writes half of it
        {Split, "", "{CDE}", 1, 1, nullptr},                  // a tuplet's notes take no length
        {Split, "", "T120 V9", 1, 1, nullptr},
        {Split, "@!AC2!", "!A", 1, 1, nullptr},               // a call is no note
        {Join, "", "C4&C4", 1, 0, "C2"},
        {Join, "", "C4 & C8&C8", 1, 8, "C2"},
        {Join, "", "C4&C8", 1, 3, "C4."},
        {Join, "L8", "C&C", 1, 0, "C4"},
        {Join, "", "C4&C4&C8", 1, 0, "C2&C8"},                // fewer parts where one will not do
        {Join, "", "C2&C8", 1, 0, nullptr},                   // already as short as it gets
        {Join, "", "C4&C4&D4", 1, 6, nullptr},                // a slur to another pitch
        {Join, "", "C4&C4&D4", 1, 0, "C2&D4"},
        {Join, "", "C4&C4 C4&C4", 1, 7, "C4&C4 C2"},          // only the chain under the caret
        {Join, "", "C4&>C4", 1, 0, nullptr},
        {Join, "", "N60:4&N60:4", 1, 0, "N60:2"},
        {Join, "", "C4C4", 1, 0, nullptr},                    // no tie
        {Join, "", "R4R4", 1, 0, nullptr},                     // rests are not tied
    };
    for (const Row& r : rows) {
        output::BuildInputs in;
        in.arith = static_cast<Arith>(r.arith);
        in.tabTexts[0] = r.common;
        in.tabTexts[1] = r.bankA;
        const auto map = output::buildSongMap(in, false);
        ASSERT_TRUE(map->ok()) << r.bankA;
        const std::string& text = in.tabTexts[static_cast<size_t>(r.tab)];
        const NoteTimeAt times = writtenNoteTimes(*map, r.tab);
        const auto edit = r.action == Split ? splitNote(text, r.offset, times) : joinTiedNotes(text, r.offset, times);
        std::string got = "(no edit)";
        if (edit) {
            got = text;
            got.replace(edit->begin, edit->end - edit->begin, edit->text);
        }
        EXPECT_EQ(got, r.expected ? r.expected : "(no edit)")
            << (r.action == Split ? "split " : "join ") << r.common << ";" << r.bankA << " at " << r.tab << ":" << r.offset;
    }
}

}  // namespace
}  // namespace tavolin::music
