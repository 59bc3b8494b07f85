// Which stretch of the song a selection or a ruler drag loops.
#include <gtest/gtest.h>

#include "editor/PassageLoop.h"
#include "output/SongMap.h"

namespace tavolin::editor {
namespace {

std::string show(const std::optional<LoopSpan>& s) {
    return s ? "[" + std::to_string(s->from) + ", " + std::to_string(s->to) + ")" : "nothing";
}

// 48 kHz: at T120 a quarter is 24,000 frames, at T60 48,000.
TEST(PassageLoop, SelectionsAndDragsNameTheirStretch) {
    struct Row {
        const char* name;
        std::array<std::string, 6> tabs;
        LoopPick pick;
        std::optional<LoopSpan> expected;
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
        {"every pass of a counted loop", {"T120L4", "[C D]3 E"}, {1, 3, 4}, LoopSpan{24000, 144000}},
        {"after a tempo change", {"T120L4", "C T60 D E"}, {1, 8, 9}, LoopSpan{72000, 120000}},
        {"a tempo command is no note", {"T120L4", "C T60 D E"}, {1, 2, 5}, std::nullopt},
        {"across a loop that slows down", {"T120L4", "[C T60 D]2"}, {1, 1, 2}, LoopSpan{0, 120000}},
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
        EXPECT_EQ(show(loopSpanOf(map->timeline, row.pick)), show(row.expected)) << row.name;
    }
    EXPECT_EQ(loopStatusText({48000, 150000}, 48000), "ループ再生中: 0:01.000 – 0:03.125");
}

}  // namespace
}  // namespace tavolin::editor
