// SPDX-License-Identifier: MIT
// Check as you type: errors placed as the editor shows them, the debounce, and stale results dropped.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "session/LiveCheck.h"
#include "window/LiveEditor.h"
#include "window/WindowLayers.h"

namespace tavolin::window {
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
        music::ErrorPlace place;
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
        const auto place = music::placeCompileError(map->result, row.inputs.tabTexts);
        ASSERT_TRUE(place) << row.name;
        EXPECT_EQ(*place, row.place) << row.name << ": " << place->tab << " " << place->line << ":" << place->column << " ["
                                     << place->underlineStart << "," << place->underlineEnd << ")";
        EXPECT_EQ(music::errorStatusText(map->result, *place), row.status) << row.name;
    }
    const auto good = output::buildSongMap(documentInputs("T150", "CDE"), false);
    EXPECT_TRUE(good->ok());
    EXPECT_FALSE(music::placeCompileError(good->result, documentInputs("T150", "CDE").tabTexts));
    EXPECT_EQ(good->timeline.banks[0].notes.size(), 3u);
}

// A compile that waits at a gate, so the test decides when it finishes.
struct GatedCompile {
    std::atomic<int> started{0};
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    session::LiveCheck::Compile fn() {
        return [this](const output::BuildInputs& in) {
            if (started++ == 0) open.wait();
            return output::buildSongMap(in, false);
        };
    }
};

// Still for the pace's wait, a compile starts; a result made stale by a later
// key is dropped; an error waits for the calm, a result that compiles does not.
TEST(LiveCheck, CompilesOnceStillDropsStaleResultsAndHoldsErrorsForTheCalm) {
    GatedCompile compile;
    session::LiveCheck check(compile.fn(), 150ms);
    const auto t0 = session::LiveCheck::Clock::time_point{} + 1h;
    const auto wait = check.compileWait();
    EXPECT_EQ(wait, session::CheckPace::kShortest);  // nothing compiled yet

    check.edited(documentInputs("", "C"), t0);
    EXPECT_EQ(check.poll(t0 + wait - 1ms), t0 + wait);  // still typing: nothing compiles yet
    EXPECT_EQ(compile.started.load(), 0);
    EXPECT_EQ(check.poll(t0 + wait), std::nullopt);  // due: handed to the worker (which waits at the gate)

    const auto t1 = t0 + 50ms;
    check.edited(documentInputs("", "C V300"), t1);  // typed on while the first compile runs
    compile.gate.set_value();
    check.waitIdle();
    EXPECT_EQ(check.takeResult(t1 + 1s), nullptr);  // the first text's result is stale
    EXPECT_EQ(compile.started.load(), 1);

    check.poll(t1 + check.compileWait());
    check.waitIdle();
    EXPECT_EQ(check.takeResult(t1 + 149ms), nullptr);  // an error, within its calm
    EXPECT_EQ(check.poll(t1 + 149ms), t1 + 150ms);     // poll again when it ends
    const auto map = check.takeResult(t1 + 150ms);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->result.code, static_cast<int32_t>(0x80000014));
    EXPECT_EQ(check.takeResult(t1 + 150ms), nullptr);  // handed over once
    EXPECT_EQ(compile.started.load(), 2);

    const auto t2 = t1 + 1s;
    check.edited(documentInputs("", "C V30"), t2);
    const auto due = t2 + check.compileWait();
    check.poll(due);
    check.waitIdle();
    const auto fixed = check.takeResult(due);  // compiled: at once, no calm
    ASSERT_NE(fixed, nullptr);
    EXPECT_TRUE(fixed->ok());
}

TEST(LiveCheck, PaceFollowsTheRecentCompileTime) {
    struct Row {
        std::vector<std::chrono::milliseconds> compiles;
        std::chrono::milliseconds longest, wait;
    };
    const Row rows[] = {
        {{}, 150ms, 20ms},                // before any compile
        {{1ms, 1ms, 1ms}, 150ms, 20ms},   // a quick song: the shortest wait
        {{40ms}, 150ms, 80ms},            // twice a slow compile
        {{40ms, 4ms}, 150ms, 62ms},       // one quick compile lowers it slowly
        {{40ms, 4ms, 4ms, 4ms, 4ms, 4ms, 4ms, 4ms, 4ms, 4ms, 4ms}, 150ms, 20ms},
        {{300ms}, 150ms, 150ms},          // never past the longest
        {{40ms}, 0ms, 0ms},               // no wait at all (tests)
    };
    for (const Row& r : rows) {
        session::CheckPace pace(r.longest);
        for (auto c : r.compiles) pace.compiled(c);
        EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(pace.wait()), r.wait) << r.compiles.size() << " compiles";
        const auto edit = session::CheckPace::Clock::time_point{} + 1h;
        EXPECT_EQ(pace.showAt(true, edit), edit + r.longest);
        EXPECT_LE(pace.showAt(false, edit), edit);  // a result that compiles: at once
    }
}

WindowSnapshot snapshotOf(const std::string& common, const std::string& bankA) {
    WindowSnapshot s;
    s.inputs.tabTexts[0] = common;
    s.inputs.tabTexts[1] = bankA;
    return s;
}

// The editor's live state after a compile: caret times, lit notes, the error.
TEST(LiveEditor, ShowsTimesNotesAndErrorsOfTheLatestCompile) {
    LiveEditor live(LiveEditor::defaultCompile(), 0ms);
    const auto now = session::LiveCheck::Clock::now();
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
                           Caret{6, "2:2  0:01.25 / 0:01.37"}, Caret{8, "2:4  0:01.25 / 0:01.37"}})
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

    // A song that follows the text: lit from the map Play compiled (whatever
    // the check last saw), then from each compile that took over.
    const WindowSnapshot played = snapshotOf("T120", "E F G");
    const auto map = output::buildSongMap(played.inputs, false);
    live.playStarted(map, played.inputs.tabTexts, false);
    EXPECT_EQ(live.litMap(), map.get());
    EXPECT_EQ(live.playingRanges(1, "E F G", 30000), (std::vector<EditorRange>{{2, 3}}));
    ASSERT_TRUE(compile("", "C D"));
    EXPECT_EQ(live.litMap(), map.get());
    live.playFollowsLatest();
    EXPECT_EQ(live.litMap(), live.map());
    live.playStopped();
}

// What is heard, step by step: each bank wraps in its own endless loop, a
// pause keeps the last place, "Loop" starts a song without endless loops
// over; the lit notes and the status's time follow.
TEST(LiveEditor, FollowsPlaybackThroughEndlessLoopsAndPauses) {
    LiveEditor live(LiveEditor::defaultCompile(), 0ms);
    const auto now = session::LiveCheck::Clock::now();
    const auto compile = [&](const std::string& bankA, const std::string& bankB) {
        WindowSnapshot s = snapshotOf("T120", bankA);
        s.inputs.tabTexts[2] = bankB;
        live.changed(s, now);
        live.poll(now);
        live.waitIdle();
        live.poll(now);
        ASSERT_TRUE(live.map() && live.map()->ok());
    };
    struct Step {
        const char* name;
        std::optional<std::pair<uint64_t, bool>> start;  // playStarted(frame, loop) first
        std::optional<uint64_t> heard;
        bool paused;
        std::string frames;  // banks A, B, C: their frames, or "none"
        std::string lit;     // bank A's lit ranges in its tab
        std::string played;  // the status's time, "" when none
    };
    // A: C, then D E for ever (from 24000, 48000 a pass); B: F for ever; C: silent.
    const std::string bankA = "C [D E]";
    const Step repeating[] = {
        {"first pass", std::pair<uint64_t, bool>{0, false}, 30000, false, "30000 6000 30000", "3-4", "0:00.62"},
        {"paused: the place stays", std::nullopt, std::nullopt, true, "30000 6000 30000", "3-4", "0:00.62"},
        {"nothing heard, not paused", std::nullopt, std::nullopt, false, "none", "", ""},
        {"third pass of A, fifth of B", std::nullopt, 100000, false, "52000 4000 100000", "5-6", "0:02.08"},
        {"from the cursor, Loop on: the loops keep it from starting over", std::pair<uint64_t, bool>{24000, true}, 100000, false,
         "28000 4000 124000", "3-4", "0:02.58"},
    };
    const auto run = [&](const Step& step, const std::string& textA) {
        SCOPED_TRACE(step.name);
        if (step.start) live.playStarted(step.start->first, step.start->second);
        const auto frames = live.playingFrames(step.heard, step.paused);
        std::string got = "none";
        std::string lit;
        if (frames) {
            got.clear();
            for (size_t b = 0; b < 3; ++b) got += (b ? " " : "") + ((*frames)[b] ? std::to_string(*(*frames)[b]) : std::string("-"));
            for (const EditorRange& r : live.playingRanges(1, textA, *frames))
                lit += std::to_string(r.start) + "-" + std::to_string(r.end);
        }
        EXPECT_EQ(got, step.frames);
        EXPECT_EQ(lit, step.lit);
        const std::string status = live.caretStatus(1, bankA, 0);
        const size_t mark = status.find("\u25b6 ");
        EXPECT_EQ(mark == std::string::npos ? "" : status.substr(mark + 4), step.played) << status;
    };
    compile(bankA, "[F]");
    for (const Step& step : repeating) run(step, bankA);

    // Without endless loops "Loop" starts the song over at its end (C D E: 72000 frames).
    compile("C D E", "");
    const Step ending[] = {
        {"Loop: the second time round", std::pair<uint64_t, bool>{0, true}, 100000, false, "28000 28000 28000", "2-3", "0:00.58"},
        {"no Loop: past the end", std::pair<uint64_t, bool>{0, false}, 100000, false, "100000 100000 100000", "", "0:02.08"},
    };
    for (const Step& step : ending) run(step, "C D E");
    live.playStopped();
    EXPECT_EQ(live.caretStatus(1, bankA, 0).find("\u25b6"), std::string::npos);
}

// The note the caret names, for the status and the roll alike: a clicked pass
// or macro replay stays named while the caret is on its text.
TEST(LiveEditor, TheCaretNamesTheClickedPassAndReplay) {
    LiveEditor live(LiveEditor::defaultCompile(), 0ms);
    const auto now = session::LiveCheck::Clock::now();
    // C D three times (quarters, 24000 frames), then the macro's G16 twice (6000).
    const std::string bank = "[C D]3 !A!A";
    live.changed(snapshotOf("@!AG16!", bank), now);
    live.poll(now);
    live.waitIdle();
    live.poll(now);
    ASSERT_TRUE(live.map() && live.map()->ok());
    struct Row {
        const char* name;
        int tab;
        uint64_t byte;
        std::optional<TimelineRef> kept, named;
    };
    const Row rows[] = {
        {"on C: its first pass", 1, 1, std::nullopt, TimelineRef{0, 0}},
        {"the clicked third pass stays", 1, 1, TimelineRef{0, 4}, TimelineRef{0, 4}},
        {"off its command the pass goes", 1, 3, TimelineRef{0, 4}, TimelineRef{0, 1}},
        {"the second call", 1, 9, std::nullopt, TimelineRef{0, 7}},
        {"the recorded note: the first replay", 0, 3, std::nullopt, TimelineRef{0, 6}},
        {"the recorded note, the second replay clicked", 0, 3, TimelineRef{0, 7}, TimelineRef{0, 7}},
        {"after the last note: that note", 1, 11, std::nullopt, TimelineRef{0, 7}},
        {"a kept note the song does not have", 1, 1, TimelineRef{0, 99}, TimelineRef{0, 0}},
        {"a bank without notes", 3, 0, std::nullopt, std::nullopt},
    };
    for (const Row& r : rows) EXPECT_EQ(caretNote(*live.map(), r.tab, r.byte, r.kept), r.named) << r.name;
    // The caret after a click's selection: the status names the clicked note.
    EXPECT_EQ(live.caretStatus(1, bank, 2, TimelineRef{0, 4}), "1:3  0:02.00 / 0:03.25");
    EXPECT_EQ(live.caretStatus(1, bank, 2, std::nullopt), "1:3  - / 0:03.25");
    EXPECT_EQ(live.caretStatus(1, bank, 11), "1:12  0:03.12 / 0:03.25");
}

// Each bank is checked on its own: every failing bank gets its mark, the
// status names the first, and an error the banks share is listed once.
TEST(LiveEditor, MarksEveryFailingBank) {
    struct Row {
        const char* name;
        std::string common;
        std::array<std::string, kBankCount> banks;
        std::string marks;   // the tabs with a mark
        std::string errors;  // "tab line:column [underline)" per error
        std::string status;
    };
    const Row rows[] = {
        {"A and D", "", {"V300", "C", "C", "C\r\nCQ", "C"}, "14", "1 1:4 [0,4) 4 2:2 [3,4)", "A 1:4 ボリューム値が範囲外"},
        {"D alone", "", {"C", "C", "C", "CQ", ""}, "4", "4 1:2 [1,2)", "D 1:2 不明なコマンド"},
        {"the common text stops every bank once", "T0", {"V300", "", "", "CQ", ""}, "0", "0 1:2 [0,2)", "共通 1:2 テンポの値が不正"},
        {"B, C and E with the common text in front", "L8", {"C", "C&V1", "CQ", "C", "V999"}, "235",
         "2 1:3 [2,3) 3 1:2 [1,2) 5 1:4 [0,4)", "B 1:3 スラーのあとに続けれるコマンドではない"},
        {"none", "L8", {"C", "D", "", "", ""}, "", "", ""},
    };
    for (const Row& r : rows) {
        LiveEditor live(LiveEditor::defaultCompile(), 0ms);
        WindowSnapshot s = snapshotOf(r.common, "");
        for (int b = 0; b < kBankCount; ++b) s.inputs.tabTexts[static_cast<size_t>(b + 1)] = r.banks[static_cast<size_t>(b)];
        const auto now = session::LiveCheck::Clock::now();
        live.changed(s, now);
        live.poll(now);
        live.waitIdle();
        live.poll(now);
        std::string errors;
        for (const music::ErrorPlace& e : live.errors())
            errors += (errors.empty() ? "" : " ") + std::to_string(e.tab) + " " + std::to_string(e.line) + ":" +
                      std::to_string(e.column) + " [" + std::to_string(e.underlineStart) + "," + std::to_string(e.underlineEnd) + ")";
        EXPECT_EQ(errors, r.errors) << r.name;
        EXPECT_EQ(live.errorText(), r.status) << r.name;
        std::string marks;
        for (int tab = 0; tab < document::kTabCount; ++tab)
            if (live.tabHasError(tab)) marks += std::to_string(tab);
        EXPECT_EQ(marks, r.marks) << r.name;
    }
}

}  // namespace
}  // namespace tavolin::window
