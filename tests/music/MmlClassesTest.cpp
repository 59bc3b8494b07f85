// SPDX-License-Identifier: MIT
// Colour classes of MML text, byte by byte, and their agreement when a text is classified line by line.
#include <gtest/gtest.h>

#include "music/MmlClasses.h"
#include "tests/compiler/TextGenerator.h"

namespace tavolin::music {
namespace {

// One class letter per byte; also checks that the ranges cover the text in order.
std::string letters(std::string_view text, MmlClassState& state) {
    std::string out;
    for (const MmlClassRange& r : classifyMml(text, state)) {
        if (r.begin != out.size()) return "gap or overlap at " + std::to_string(out.size());
        out.append(r.length, mmlClassLetter(r.cls));
    }
    if (out.size() != text.size()) return "ranges end at " + std::to_string(out.size());
    return out;
}

struct ClassRow {
    const char* name;
    std::string text;
    std::string classes;  // " nlos@[{!&*?": plain, note, length, octave, setting, sound, loop, tuplet, macro, slur, comment, unknown
};

TEST(MmlClasses, EveryCommandKindGetsItsClass) {
    const ClassRow rows[] = {
        {"notes, accidentals, lengths, dots", "C8. D#4 E-", "nll nnl nn"},
        {"rests, N and X with their pitch", "R4.. N60:8 X440.5:16.", "nlll nnnnl nnnnnnnlll"},
        {"octave and default length", "O4 < > L8.", "oo o o ooo"},
        {"tempo, volume, pan", "T120 V100 P64", "ssss ssss sss"},
        {"@ commands", "@3 @S4.5 @E1 @ED0:1:2:3:4:5", "@@ @@@@@ @@@ @@@@@@@@@@@@@@"},
        {"tone definition, then a note", "@W1:2R10N5C100:25:50C", "@@@@@@@@@@@@@@@@@@@@n"},
        {"LFO points, then a note", "@LTP0S:10:5:100:20:30 C", "@@@@@@@@@@@@@@@@@@@@@ n"},
        {"a lone @", "@ C", "@ n"},
        {"loops and tuplets", "[C:D]3 {EF}", "[n[n[[ {nn{"},
        {"macro recording, its end, a call", "@!AC!!A", "!!!n!!!"},
        {"slur", "C&D", "n&n"},
        {"a Japanese comment (CP932)", "*\x83\x52\x83\x81*C", "******n"},
        {"an unclosed comment runs to the end", "C *D E", "n ****"},
        {"what the compiler refuses", "c\tC5 9", "??nl ?"},
        {"a trail byte is never a command", "\x83\x43" "C", "??n"},
        {"the editor's form: one byte per character", "*\x80\x80*\x80", "****?"},
    };
    for (const auto& row : rows) {
        MmlClassState state;
        EXPECT_EQ(letters(row.text, state), row.classes) << row.name;
    }
}

// Line by line, with the state carried from one line to the next (as the
// editor's highlighter does), the classes are those of the whole text.
TEST(MmlClasses, LineByLineEqualsTheWholeText) {
    test::TextGenerator gen(99);
    for (int n = 0; n < 400; ++n) {
        std::string text;
        for (int line = gen.pick(1, 5); line > 0; --line) text += gen.text() + (gen.pick(0, 3) ? "*" : "") + "\r\n";
        MmlClassState whole;
        const std::string expected = letters(text, whole);
        MmlClassState state;
        std::string joined;
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            end = end == std::string::npos ? text.size() : end + 1;
            const int carried = state.toInt();
            state = MmlClassState::fromInt(carried);
            joined += letters(std::string_view(text).substr(start, end - start), state);
            start = end;
        }
        ASSERT_EQ(joined, expected) << text;
        EXPECT_EQ(state, whole) << text;
    }
}

}  // namespace
}  // namespace tavolin::music
