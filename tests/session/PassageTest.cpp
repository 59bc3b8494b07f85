// SPDX-License-Identifier: MIT
// Which stretch of the song a selection or a ruler drag loops: one pass of
// the picked notes, the one under the playhead or else the first.
#include <gtest/gtest.h>

#include "output/Passage.h"
#include "output/SongMap.h"
#include "session/Passage.h"

namespace tavolin::session {
namespace {

std::string show(const std::optional<LoopSpan>& s) {
    if (!s) return "nothing";
    std::string text = "[";
    text += std::to_string(s->from);
    text += ", ";
    text += std::to_string(s->to);
    return text + ")";
}

// 48 kHz: at T120 a quarter is 24,000 frames, at T60 48,000.
TEST(PassageLoop, SelectionsAndDragsNameTheirStretch) {
    struct Row {
        const char* name;
        std::array<std::string, 6> tabs;
        LoopPick pick;
        std::optional<LoopSpan> expected;
        std::optional<uint64_t> playhead = std::nullopt;
    };
    const auto drag = [](int tab, double a, double b) {
        LoopPick p;
        p.tab = tab;
        p.frames = std::pair(a, b);
        return p;
    };
    const Row rows[] = {
        {"two notes of bank A", {"T120L4", "C D E F G"}, {1, 2, 5}, LoopSpan{24000, 72000}},
        {"a partly selected note counts", {"T120L4", "C D8 E F G"}, {1, 3, 4}, LoopSpan{24000, 36000}},
        {"caret on a note", {"T120L4", "C D E F G"}, {1, 4, 4}, LoopSpan{48000, 72000}},
        {"caret on a space", {"T120L4", "C D E F G"}, {1, 1, 1}, std::nullopt},
        {"the common text's note in every bank", {"T120L4C", "D", "E F"}, {0, 6, 7}, LoopSpan{0, 24000}},
        {"bank B's own text", {"T120L4", "C D", "E F G"}, {2, 2, 5}, LoopSpan{24000, 72000}},
        {"a tab without that note", {"T120L4", "C D", "E F G"}, {3, 0, 3}, std::nullopt},
        {"a rest alone", {"T120L4", "C R D"}, {1, 2, 3}, std::nullopt},
        {"a rest beside a note", {"T120L4", "C R D"}, {1, 0, 3}, LoopSpan{0, 48000}},
        {"a counted loop's first pass", {"T120L4", "[C D]3 E"}, {1, 3, 4}, LoopSpan{24000, 48000}},
        {"the pass under the playhead", {"T120L4", "[C D]3 E"}, {1, 3, 4}, LoopSpan{72000, 96000}, 80000},
        {"the playhead on no pass: the first", {"T120L4", "[C D]3 E"}, {1, 3, 4}, LoopSpan{24000, 48000}, 50000},
        {"the playhead past the song", {"T120L4", "[C D]3 E"}, {1, 3, 4}, LoopSpan{24000, 48000}, 999999},
        {"three notes of a loop, as --from A:11 --to A:14", {"T120", "L8 O5 [CDEFGAB>C<]16"}, {1, 11, 14},
         LoopSpan{48000, 84000}},
        {"the same while its tenth pass plays", {"T120", "L8 O5 [CDEFGAB>C<]16"}, {1, 11, 14},
         LoopSpan{48000 + 9 * 96000, 84000 + 9 * 96000}, 48000 + 9 * 96000 + 100},
        {"an inner loop with what follows it", {"T120L4", "[[C D]2 E]2"}, {1, 4, 10}, LoopSpan{24000, 120000}},
        {"an inner loop alone, second pass", {"T120L4", "[[C D]2 E]2"}, {1, 2, 5}, LoopSpan{48000, 96000}, 50000},
        {"a pass a break cuts short", {"T120L4", "[C D : E]2"}, {1, 3, 9}, LoopSpan{24000, 72000}},
        {"the pass a break cut short, under the playhead", {"T120L4", "[C D : E]2"}, {1, 3, 9}, LoopSpan{96000, 120000},
         100000},
        {"a common-text note in a loop of every bank", {"T120L4[C D]2", "E", "F"}, {0, 9, 10}, LoopSpan{24000, 48000}},
        {"after a tempo change", {"T120L4", "C T60 D E"}, {1, 8, 9}, LoopSpan{72000, 120000}},
        {"a tempo command is no note", {"T120L4", "C T60 D E"}, {1, 2, 5}, std::nullopt},
        {"a loop that slows down, first pass", {"T120L4", "[C T60 D]2"}, {1, 1, 2}, LoopSpan{0, 24000}},
        {"a loop that slows down, second pass", {"T120L4", "[C T60 D]2"}, {1, 1, 2}, LoopSpan{72000, 120000}, 72000},
        {"an endless loop once", {"T120L4", "C [D E]"}, {1, 3, 4}, LoopSpan{24000, 48000}},
        {"a drag", {"T120L4", "C D E"}, drag(1, 1000, 30000), LoopSpan{1000, 30000}},
        {"a drag from right to left", {"T120L4", "C D E"}, drag(3, 30000, 1000.4), LoopSpan{1000, 30000}},
        {"a drag past both ends", {"T120L4", "C D E"}, drag(1, -500, 1e9), LoopSpan{0, 72000}},
        {"a drag after the song", {"T120L4", "C D E"}, drag(1, 80000, 90000), std::nullopt},
    };
    for (const Row& row : rows) {
        output::BuildInputs in;
        in.tabTexts = row.tabs;
        const auto map = output::buildSongMap(in, false);
        ASSERT_TRUE(map->ok()) << row.name;
        EXPECT_EQ(show(loopSpanOf(map->timeline, row.pick, row.playhead)), show(row.expected)) << row.name;
    }
}

// --from and --to (and the protocol's and the page's from/to): points, each
// where it says; around notes of one pass, the stretch a selection names.
TEST(PassageBetween, PointsNameTheSameStretchAsASelection) {
    struct Row {
        const char* name;
        const char* from;  // "" none
        const char* to;
        std::optional<LoopSpan> expected;  // nullopt: a point is unreadable
        PassageBetween::Problem problem = PassageBetween::Problem::None;
        const char* says = "";  // the words every front end gives (a part of them)
    };
    using P = PassageBetween::Problem;
    const Row rows[] = {
        {"carets around three notes a loop repeats", "A:11", "A:14", LoopSpan{48000, 84000}},
        {"carets around a loop: every pass", "A:6", "A:17", LoopSpan{0, 1536001}},
        {"the same by song times", "1", "1.75", LoopSpan{48000, 84000}},
        {"a caret and a time", "A:11", "0:01.750", LoopSpan{48000, 84000}},
        {"carets in two tabs stand alone", "A:11", "B:0", LoopSpan{48000, 0}, P::Empty,
         "the passage is empty: --to (0:00.000) must come after --from (0:01.000)"},
        {"from a caret to the end", "A:11", "", LoopSpan{48000, 1536001}},
        {"reversed carets", "A:14", "A:11", LoopSpan{84000, 48000}, P::Empty, "--to (0:01.000) must come after --from (0:01.750)"},
        {"past the end", "0", "40", LoopSpan{0, 1920000}, P::PastEnd, "--to lies past the song's end (0:40.000 > 0:32.000)"},
        {"carets before the first note", "A:0", "A:6", LoopSpan{0, 0}, P::Empty, "the passage is empty"},
        {"an unreadable time", "1:75", "", std::nullopt, P::Empty, "--from wants a song time (1:23.5 or 83.5) or a caret TAB:OFFSET (A:120), not '1:75'"},
        {"a caret in no tab", "", "F:1", std::nullopt, P::Empty, "--to wants a song time"},
    };
    output::BuildInputs in;
    in.tabTexts = {"T120", "L8 O5 [CDEFGAB>C<]16", "R1"};
    const auto map = output::buildSongMap(in, false);
    ASSERT_TRUE(map->ok());
    const auto point = [](const char* text) {
        return *text ? output::parsePassagePoint(text) : std::nullopt;
    };
    for (const Row& row : rows) {
        // Every front end's words come from the same place.
        const NamedPassage named = passageNamed(*map, row.from, row.to, "--from", "--to");
        EXPECT_NE(named.problem.find(row.says), std::string::npos) << row.name << ": " << named.problem;
        EXPECT_EQ(named.problem.empty(), row.problem == P::None) << row.name;
        EXPECT_EQ(named.span.has_value(), row.problem == P::None) << row.name;
        if (!row.expected) continue;  // unreadable: no frames to compare
        const PassageBetween p = passageBetween(*map, point(row.from), point(row.to));
        EXPECT_EQ(p.problem, row.problem) << row.name;
        EXPECT_EQ(show(p.frames), show(row.expected)) << row.name;
        EXPECT_EQ(p.span().has_value(), row.problem == P::None) << row.name;
        if (named.span) {
            EXPECT_EQ(show(named.span), show(row.expected)) << row.name;
        }
    }
}

TEST(PassageLoop, StatusLineNamesBothEnds) {
    EXPECT_EQ(loopStatusText({48000, 150000}, 48000), "ループ再生中: 0:01.000 – 0:03.125");
    EXPECT_EQ(loopStatusText({0, 48000 * 61 + 1}, 48000), "ループ再生中: 0:00.000 – 1:01.000");
}

}  // namespace
}  // namespace tavolin::session
