// Check as you type: errors placed as the editor shows them, the debounce, and stale results dropped.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "editor/LiveCheck.h"
#include "editor/LiveEditor.h"

namespace tavolin::editor {
namespace {

using namespace std::chrono_literals;

output::BuildInputs documentInputs(const std::string& common, const std::string& bankA, const std::string& bankB = "") {
    output::BuildInputs in;
    in.tabTexts[0] = common;
    in.tabTexts[1] = bankA;
    in.tabTexts[2] = bankB;
    return in;
}

TEST(LiveCheck, ErrorsArePlacedInLinesAndCharacters) {
    struct Row {
        const char* name;
        output::BuildInputs inputs;
        std::string status;
        ErrorPlace place;
    };
    const Row rows[] = {
        {"second line of bank B, CR LF counting one", documentInputs("", "C", "CDE\r\n  V300"), "B 2:6 ボリューム値が範囲外",
         {2, 2, 6, 6, 10}},
        {"a Japanese comment counts one character", documentInputs("", "*\x82\xa0*V999"), "A 1:7 ボリューム値が範囲外", {1, 1, 7, 3, 7}},
        {"the common text", documentInputs("C\r\n\r\nT0", ""), "共通 3:2 テンポの値が不正", {0, 3, 2, 3, 5}},
        {"a slur error underlines the command that broke it", documentInputs("", "C&V100"),
         "A 1:3 スラーのあとに続けれるコマンドではない", {1, 1, 3, 2, 3}},
    };
    for (const auto& row : rows) {
        const auto map = output::buildSongMap(row.inputs, false);
        ASSERT_FALSE(map->ok()) << row.name;
        const auto place = placeCompileError(map->result, row.inputs.tabTexts);
        ASSERT_TRUE(place) << row.name;
        EXPECT_EQ(*place, row.place) << row.name << ": " << place->tab << " " << place->line << ":" << place->column << " ["
                                     << place->underlineStart << "," << place->underlineEnd << ")";
        EXPECT_EQ(errorStatusText(map->result, *place), row.status) << row.name;
    }
    const auto good = output::buildSongMap(documentInputs("T150", "CDE"), false);
    EXPECT_TRUE(good->ok());
    EXPECT_FALSE(placeCompileError(good->result, documentInputs("T150", "CDE").tabTexts));
    EXPECT_EQ(good->timeline.banks[0].notes.size(), 3u);
}

// A compile that waits at a gate, so the test decides when it finishes.
struct GatedCompile {
    std::atomic<int> started{0};
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    LiveCheck::Compile fn() {
        return [this](const output::BuildInputs& in) {
            if (started++ == 0) open.wait();
            return output::buildSongMap(in, false);
        };
    }
};

TEST(LiveCheck, CompilesAfterTheDebounceAndDropsStaleResults) {
    GatedCompile compile;
    LiveCheck check(compile.fn(), 150ms);
    const auto t0 = LiveCheck::Clock::time_point{} + 1h;

    check.edited(documentInputs("", "C"), t0);
    EXPECT_EQ(check.poll(t0 + 100ms), t0 + 150ms);  // still typing: nothing compiles yet
    EXPECT_EQ(compile.started.load(), 0);
    EXPECT_EQ(check.poll(t0 + 150ms), std::nullopt);  // due: handed to the worker (which waits at the gate)

    check.edited(documentInputs("", "C V300"), t0 + 200ms);  // typed on while the first compile runs
    compile.gate.set_value();
    check.waitIdle();
    EXPECT_EQ(check.takeResult(), nullptr);  // the first text's result is stale
    EXPECT_EQ(compile.started.load(), 1);

    check.poll(t0 + 350ms);
    check.waitIdle();
    const auto map = check.takeResult();
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->result.code, static_cast<int32_t>(0x80000014));
    EXPECT_EQ(check.takeResult(), nullptr);  // handed over once
    EXPECT_EQ(compile.started.load(), 2);
}

WindowSnapshot snapshotOf(const std::string& common, const std::string& bankA) {
    WindowSnapshot s;
    s.rateText = "48,000";
    s.arithmetic = 1;
    s.tabTexts[0] = common;
    s.tabTexts[1] = bankA;
    return s;
}

// The editor's live state after a compile: caret times, lit notes, the error.
TEST(LiveEditor, ShowsTimesNotesAndErrorsOfTheLatestCompile) {
    LiveEditor live(LiveEditor::defaultCompile(), 0ms);
    const auto now = LiveCheck::Clock::now();
    const auto compile = [&](const std::string& common, const std::string& bankA) {
        live.changed(snapshotOf(common, bankA), now);
        const bool early = live.poll(now);  // the compile may be done already
        live.waitIdle();
        return live.poll(now) || early;
    };
    const std::string bankA = "C D8\r\nE!A";
    ASSERT_TRUE(compile("@!AG16!", bankA));
    EXPECT_FALSE(live.error());
    struct Caret {
        size_t unit;
        std::string status;
    };
    // C 0..24000, D8 ..36000, E ..60000, the macro's G16 ..66000 (1.375 s).
    for (const Caret& c : {Caret{0, "1:1  0:00.00 / 0:01.37"}, Caret{1, "1:2  0:00.50 / 0:01.37"}, Caret{5, "2:1  0:00.75 / 0:01.37"},
                           Caret{6, "2:2  0:01.25 / 0:01.37"}, Caret{8, "2:4  - / 0:01.37"}})
        EXPECT_EQ(live.caretStatus(1, bankA, c.unit), c.status) << c.unit;
    EXPECT_EQ(live.playingRanges(1, bankA, 30000), (std::vector<EditorRange>{{2, 4}}));
    EXPECT_EQ(live.playingRanges(1, bankA, 61000), (std::vector<EditorRange>{{6, 8}}));  // the call
    EXPECT_EQ(live.playingRanges(0, "@!AG16!", 61000), (std::vector<EditorRange>{{3, 6}}));  // the recorded note
    EXPECT_TRUE(live.playingRanges(2, "", 30000).empty());

    ASSERT_TRUE(compile("", "C V300"));
    ASSERT_TRUE(live.error());
    EXPECT_TRUE(live.tabHasError(1));
    EXPECT_FALSE(live.tabHasError(0));
    EXPECT_EQ(live.errorText(), "A 1:6 ボリューム値が範囲外");
    EXPECT_EQ(live.caretStatus(1, "C V300", 2), "1:3");
    EXPECT_TRUE(live.playingRanges(1, "C V300", 0).empty());

    // While a song plays, its notes stay lit through edits that break the text.
    ASSERT_TRUE(compile("@!AG16!", bankA));
    live.playStarted();
    ASSERT_TRUE(compile("", "C V300"));
    EXPECT_TRUE(live.error());
    EXPECT_EQ(live.playingRanges(1, bankA, 30000), (std::vector<EditorRange>{{2, 4}}));
    // Lit where the notes are now: an edit before them shifts them, one on them hides them.
    EXPECT_EQ(live.playingRanges(1, "V9 " + bankA, 30000), (std::vector<EditorRange>{{5, 7}}));
    EXPECT_EQ(live.playingRanges(1, "V9 " + bankA, 61000), (std::vector<EditorRange>{{9, 11}}));
    EXPECT_TRUE(live.playingRanges(1, "C D4\r\nE!A", 30000).empty());
    live.playStopped();
    EXPECT_TRUE(live.playingRanges(1, bankA, 30000).empty());
}

}  // namespace
}  // namespace tavolin::editor
