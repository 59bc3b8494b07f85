// SPDX-License-Identifier: MIT
// The timeline against the renderer: the same note boundaries and song length, and the lookups on it.
#include <optional>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "SynthTestUtil.h"
#include "synth/BankSet.h"
#include "synth/Timeline.h"
#include "tests/compiler/TextGenerator.h"

namespace tavolin::test {
namespace {

template <EngineNumType T>
struct Compiled {
    CompileResult result;
    std::array<EventList<T>, kBankCount> lists;
    std::array<SourceSpans, kBankCount> spans;
    uint64_t commonLength = 0;
};

template <EngineNumType T>
Compiled<T> compileTexts(const std::string& common, const std::array<std::string, kBankCount>& banks) {
    Compiled<T> c;
    std::array<std::string_view, kBankCount> views;
    for (size_t i = 0; i < banks.size(); ++i) views[i] = banks[i];
    c.result = CompileBanks<T>(common, views, -1, 0, c.lists, &c.spans);
    c.commonLength = common.size();
    return c;
}

// What the player does with one bank, frame by frame in export mode: the
// (start, frames) of every note that takes time, and the frames until the
// bank has finished. A note starts in a frame where the ledger books a note
// and the player stands at the note's first sample afterwards.
struct Rendered {
    std::vector<std::pair<uint64_t, uint32_t>> notes;
    uint64_t endFrame = 0;
};
template <EngineNumType T>
Rendered renderBank(const EventList<T>& list, uint32_t rate, int32_t exportPasses) {
    Rendered r;
    if (list.empty()) return r;
    auto p = std::make_unique<BankPlayer<T>>();
    p->loadToneTable(defaultToneTable());
    p->events() = list;
    p->prepare(rate);
    p->setExportPasses(exportPasses);
    uint64_t frame = 0;
    while (p->hasEventsLeft()) {
        const uint32_t booked = p->ledger().totalSamples();
        const uint64_t segments = p->ledger().segmentCount();
        p->renderFrame(false);
        if (p->elapsedSamples() == 1 && (p->ledger().totalSamples() != booked || p->ledger().segmentCount() != segments))
            r.notes.push_back({frame, static_cast<uint32_t>(p->noteLengthSamples())});
        ++frame;
    }
    r.endFrame = frame;
    return r;
}

// The timeline's notes that take time, in the same form.
std::vector<std::pair<uint64_t, uint32_t>> timedNotes(const BankTimeline& bank) {
    std::vector<std::pair<uint64_t, uint32_t>> out;
    for (const auto& n : bank.notes)
        if (n.frames > 0) out.push_back({n.start, n.frames});
    return out;
}

// Every bank of the timeline equals its render; the song's length is the
// longest bank's, as an export ends when the last bank has finished.
template <EngineNumType T>
void expectTimelineMatchesRender(const Compiled<T>& c, const SongTimeline& t, uint32_t rate, const std::string& what,
                                 int32_t exportPasses = 1) {
    uint64_t longest = 0;
    for (size_t b = 0; b < kBankCount; ++b) {
        const Rendered r = renderBank<T>(c.lists[b], rate, exportPasses);
        EXPECT_EQ(timedNotes(t.banks[b]), r.notes) << what << " bank " << b;
        EXPECT_EQ(t.banks[b].endFrame, r.endFrame) << what << " bank " << b;
        longest = std::max(longest, r.endFrame);
    }
    EXPECT_EQ(t.frames, longest) << what;
}

template <typename T>
class Timeline : public ::testing::Test {};
TYPED_TEST_SUITE(Timeline, EngineTypes);

struct TimelineRow {
    const char* name;
    std::string common;
    std::string bankA;
    // Bank A's notes as "start+frames" at 48 kHz; empty: only compared with the render.
    std::string expected;
};

std::string notesText(const BankTimeline& bank) {
    std::string s;
    for (const auto& n : bank.notes) s += (s.empty() ? "" : " ") + std::to_string(n.start) + "+" + std::to_string(n.frames);
    return s;
}

TYPED_TEST(Timeline, NotesSoundWhereTheRendererPlaysThem) {
    using T = TypeParam;
    const TimelineRow rows[] = {
        {"plain notes", "", "C D8 E", "0+24000 24000+12000 36000+24000"},
        {"counted loop", "", "[C]3", "0+24000 24000+24000 48000+24000"},
        {"loop with a break", "", "[C8:D8]3", "0+12000 12000+12000 24000+12000 36000+12000 48000+12000"},
        {"nested loops", "", "[[C8]2D8]2", "0+12000 12000+12000 24000+12000 36000+12000 48000+12000 60000+12000"},
        {"endless loop plays once", "", "[C]D", "0+24000 24000+24000"},
        {"tempo change", "", "C T240 C T60 C", "0+24000 24000+12000 36000+48000"},
        {"rests and slurs", "", "C8&D8 R4 E", "0+12000 12000+12000 24000+24000 48000+24000"},
        {"macro replay", "@!AC8!", "D!A", "0+24000 24000+12000"},
        {"tempo 133 rounds on a running total", "T133", "CCCCCCCCCCCCCCC",
         "0+21654 21654+21654 43308+21654 64962+21654 86616+21654 108270+21654 129924+21654 151578+21655 "
         "173233+21654 194887+21654 216541+21654 238195+21654 259849+21654 281503+21654 303157+21655"},
        {"tuplet rounding", "", "{CDE}{CDEFGAB}L12{CDEFG}", ""},
        {"dotted and tiny lengths", "T999", "C64... D128 E1. L64 {CDEFGABCDEFGABCDEFGABCDEFGABCDEF}", ""},
        {"notes of one sample and of none", "T999",
         "L999{CDEFGABCDEFGABCDEFGABCDEFGABCDEF}L255{CDEFGABCDEFGABCDEFGABCDEFGABCDEF}C", ""},
        {"trailing records cost a frame", "", "C V100", "0+24000"},
        {"break in an endless loop", "", "[C:D]E", "0+24000 24000+24000"},
        {"loop of rests and tempi", "", "[R16T200R32T90]5C", ""},
        {"passes that skip every note spend silent frames", "", "[[:C]1]999 D", ""},
    };
    for (const auto& row : rows) {
        const auto c = compileTexts<T>(row.common, {row.bankA, "", "", "", ""});
        ASSERT_EQ(c.result.code, 0) << row.name;
        const SongTimeline t = buildTimeline<T>(c.lists, &c.spans, c.commonLength);
        if (!row.expected.empty()) {
            EXPECT_EQ(notesText(t.banks[0]), row.expected) << row.name;
        }
        EXPECT_FALSE(t.truncated) << row.name;
        expectTimelineMatchesRender(c, t, 48000, row.name);
    }
}

TYPED_TEST(Timeline, NotesCarryTheirSettingsAndSources) {
    using T = TypeParam;
    const auto c = compileTexts<T>("@!AC8!", {"V200 P40 @3 D&E !A", "", "O3C2", "", ""});
    ASSERT_EQ(c.result.code, 0);
    const SongTimeline t = buildTimeline<T>(c.lists, &c.spans, c.commonLength);
    ASSERT_EQ(t.banks[0].notes.size(), 3u);
    const TimelineNote& d = t.banks[0].notes[0];
    EXPECT_EQ(std::make_tuple(d.volume, d.pan, d.tone, d.slurred), std::make_tuple(200, 40, 3, true));
    EXPECT_EQ(t.tabSpan(d.source.command, 0), (TabSpan{0, 12, 1}));
    EXPECT_NEAR(d.frequency, 293.665, 0.01);
    const TimelineNote& replay = t.banks[0].notes[2];
    EXPECT_EQ(t.tabSpan(replay.source.command, 0), (TabSpan{-1, 3, 2}));
    EXPECT_EQ(t.tabSpan(replay.source.call, 0), (TabSpan{0, 16, 2}));
    EXPECT_FALSE(replay.slurred);
    EXPECT_TRUE(t.banks[1].notes.empty());
    ASSERT_EQ(t.banks[2].notes.size(), 1u);
    EXPECT_EQ(t.banks[2].notes[0].frames, 48000u);
    EXPECT_EQ(t.frames, 60000u);  // bank A: 24000 + 24000 + 12000
}

// Without export mode an endless loop never ends: the walk stops at its
// bound, every bank is cut at the same frame, and the flag says so. A pass
// that can never reach a note ends the bank (as the player does) instead.
TYPED_TEST(Timeline, EndlessSongsAreCutAtTheBound) {
    using T = TypeParam;
    const auto c = compileTexts<T>("", {"[C8]", "C1C1C1C1", "[[R:C]2]", "", ""});
    ASSERT_EQ(c.result.code, 0);
    TimelineOptions o;
    o.exportPasses = 0;
    o.maxNotes = 10;
    const SongTimeline t = buildTimeline<T>(c.lists, &c.spans, 0, o);
    EXPECT_TRUE(t.truncated);
    EXPECT_EQ(t.frames, 120000u);  // ten eighth notes of bank A
    EXPECT_EQ(t.banks[0].notes.size(), 10u);
    EXPECT_EQ(notesText(t.banks[1]), "0+96000 96000+96000");
    EXPECT_EQ(t.banks[1].endFrame, 120000u);
    // In export mode every endless loop plays once.
    const auto once = buildTimeline<T>(c.lists, &c.spans, 0, TimelineOptions{});
    EXPECT_FALSE(once.truncated);
    expectTimelineMatchesRender(c, once, 48000, "export mode");
    // An endless loop whose passes skip their only note ends its bank.
    const auto skip = compileTexts<T>("", {"[[:C]1]", "", "", "", ""});
    const auto ended = buildTimeline<T>(skip.lists, &skip.spans, 0, o);
    EXPECT_FALSE(ended.truncated);
    expectTimelineMatchesRender(skip, ended, 48000, "no note reachable", 0);
}

// An export that plays every endless loop n times: the player and the
// timeline agree, a break leaves the loop in its last pass as in a counted
// loop, and the end of the n-th pass of the first endless loop is marked.
TYPED_TEST(Timeline, EndlessLoopsPlayTheAskedPasses) {
    using T = TypeParam;
    struct Row {
        const char* mml;
        int32_t passes;
        std::string expected;  // bank A's notes as "start+frames"
        std::optional<uint64_t> passEnd;  // where pass `passes - 1` ends (marked with markPasses)
    };
    const Row rows[] = {
        {"V255C[D]E", 1, "0+24000 24000+24000 48000+24000", std::nullopt},
        {"V255C[D]E", 2, "0+24000 24000+24000 48000+24000 72000+24000", 48000},
        {"V255C[D]E", 3, "0+24000 24000+24000 48000+24000 72000+24000 96000+24000", 72000},
        {"[C8:D8]E", 3, "0+12000 12000+12000 24000+12000 36000+12000 48000+12000 60000+24000", 48000},
        {"[C8[D8]]", 2, "0+12000 12000+12000 24000+12000 36000+12000 48000+12000 60000+12000", 24000},
        {"C[D8]3[E8]", 2, "0+24000 24000+12000 36000+12000 48000+12000 60000+12000 72000+12000", 72000},
    };
    for (const Row& row : rows) {
        const auto c = compileTexts<T>("", {row.mml, "", "", "", ""});
        ASSERT_EQ(c.result.code, 0) << row.mml;
        TimelineOptions o;
        o.exportPasses = row.passes;
        o.markPasses = row.passes - 1;
        const SongTimeline t = buildTimeline<T>(c.lists, &c.spans, 0, o);
        const std::string what = std::string(row.mml) + " x" + std::to_string(row.passes);
        EXPECT_EQ(notesText(t.banks[0]), row.expected) << what;
        EXPECT_EQ(t.banks[0].endlessPassEnd, row.passEnd) << what;
        expectTimelineMatchesRender(c, t, 48000, what, row.passes);
    }
}

// Playback repeats endless loops: each bank wraps in its own loop, and the
// note the timeline shows there is the one the player is playing at that
// frame (same record of the list), with "Loop" on or off.
TYPED_TEST(Timeline, PlaybackFramesWrapEachBankInItsLoop) {
    using T = TypeParam;
    struct Song {
        std::array<std::string, kBankCount> banks;
    };
    // A: an intro, then two notes for ever; B: one note for ever; C: ends;
    // D: a break leaves its endless loop in the first pass, then it ends; E: silent.
    const Song looping{{"C [D E]", "[F]", "G G G", "[A:B]C", ""}};
    const Song ending{{"C D E", "G", "", "", ""}};
    const Song noTimeLoop{{"C [[:D]1]", "E E", "", "", ""}};
    struct Row {
        const Song* song;
        uint64_t played;
        bool loopSong;
        std::string expected;  // per bank: its frame, or "-"
    };
    const Row rows[] = {
        {&looping, 10000, false, "10000 10000 10000 10000 10000"},
        {&looping, 30000, false, "30000 6000 30000 30000 30000"},
        {&looping, 100000, false, "52000 4000 100000 100000 100000"},
        {&looping, 100000, true, "52000 4000 100000 100000 100000"},
        {&looping, 1000000, false, "40000 16000 1000000 1000000 1000000"},
        {&ending, 50000, true, "50000 50000 50000 50000 50000"},
        {&ending, 100000, true, "28000 28000 28000 28000 28000"},
        {&ending, 100000, false, "100000 100000 100000 100000 100000"},
        {&noTimeLoop, 10000, false, "10000 10000 10000 10000 10000"},
        {&noTimeLoop, 30000, false, "- 30000 30000 30000 30000"},
    };
    for (const Row& row : rows) {
        const auto c = compileTexts<T>("T120", row.song->banks);
        ASSERT_EQ(c.result.code, 0);
        const SongTimeline t = buildTimeline<T>(c.lists, &c.spans, c.commonLength);
        const BankFrames frames = playbackFrames(t, row.played, row.loopSong);
        std::string got;
        for (const auto& f : frames) got += (got.empty() ? "" : " ") + (f ? std::to_string(*f) : std::string("-"));
        const std::string what = row.song->banks[0] + " at " + std::to_string(row.played) + (row.loopSong ? " looping" : "");
        EXPECT_EQ(got, row.expected) << what;
        if (row.song == &noTimeLoop) continue;  // the player's guard ends such a pass; nothing to compare
        // The player in playback mode, up to and including frame `played`.
        auto set = std::make_unique<BankSet<T>>();
        for (int b = 0; b < kBankCount; ++b) {
            auto& p = set->player(b);
            p.loadToneTable(defaultToneTable());
            p.events() = c.lists[static_cast<size_t>(b)];
            if (!p.events().empty()) p.prepare(48000);
            p.setLoopSong(row.loopSong);
        }
        (void)set->Render(static_cast<int64_t>(row.played + 1));
        const auto sounding = notesSoundingAt(t, frames);
        for (size_t b = 0; b < kBankCount; ++b) {
            const auto& p = set->player(static_cast<int>(b));
            const int32_t playing = p.hasEventsLeft() ? p.eventIndex() : -1;
            EXPECT_EQ(sounding[b] ? t.banks[b].notes[*sounding[b]].eventIndex : -1, playing) << what << " bank " << b;
        }
    }
}

// What a MIDI file needs of each note: its tempo, its wave, whether its pitch
// is a note-table entry, and exact running totals of musical time.
TYPED_TEST(Timeline, NotesCarryTempoWaveKeyAndMusicalTime) {
    using T = TypeParam;
    const auto c = compileTexts<T>("T150", {"O4CD8 @W1:1:50 @1 X300 T90 {CDE} N57", "", "", "", ""});
    ASSERT_EQ(c.result.code, 0);
    const SongTimeline t = buildTimeline<T>(c.lists, &c.spans, 0);
    std::string got;
    for (const TimelineNote& n : t.banks[0].notes) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "%s[t%d w%d k%d %.4f+%.4f]", got.empty() ? "" : " ", n.tempo, n.wave, n.noteIndex,
                      n.unitStart, n.units);
        got += buf;
    }
    EXPECT_EQ(got,
              "[t150 w0 k48 0.0000+64.0000] [t150 w0 k50 64.0000+32.0000] [t150 w1 k-1 96.0000+64.0000] "
              "[t90 w1 k48 160.0000+21.3333] [t90 w1 k50 181.3333+21.3333] [t90 w1 k52 202.6667+21.3333] "
              "[t90 w1 k57 224.0000+64.0000]");
}

// Random songs in all three types: every note boundary and every bank's end
// fall on the frames the renderer produces.
TYPED_TEST(Timeline, RandomSongsMatchTheRender) {
    using T = TypeParam;
    TextGenerator gen(4242);
    // A text built from a few random pieces that each compile on their own.
    const auto piecesThatCompile = [&gen](int pieces) {
        std::string text;
        for (int p = 0; p < pieces; ++p) {
            for (int tries = 0; tries < 20; ++tries) {
                std::string piece = gen.text();
                if (compileTexts<double>("", {piece, "", "", "", ""}).result.code == 0) {
                    text += piece;
                    break;
                }
            }
        }
        return text;
    };
    int compared = 0;
    for (int n = 0; n < 2500 && compared < 150; ++n) {
        std::string common = gen.pick(0, 3) ? "" : piecesThatCompile(1);
        std::array<std::string, kBankCount> banks;
        for (auto& b : banks) b = gen.pick(0, 2) ? piecesThatCompile(gen.pick(1, 4)) : "";
        // Most random texts hold an error somewhere: drop the failing text
        // until the song compiles.
        auto c = compileTexts<T>(common, banks);
        for (int tries = 0; c.result.code != 0 && tries < kBankCount + 1; ++tries) {
            if (c.result.bank >= 0) banks[static_cast<size_t>(c.result.bank)].clear();
            else common.clear();
            c = compileTexts<T>(common, banks);
        }
        if (c.result.code != 0) continue;
        const uint32_t rate = 8000;
        TimelineOptions o;
        o.sampleRate = rate;
        const SongTimeline t = buildTimeline<T>(c.lists, &c.spans, c.commonLength, o);
        if (t.truncated || t.frames > 400000) continue;  // keeps the frame-by-frame render short
        ++compared;
        expectTimelineMatchesRender(c, t, rate, common + " | " + banks[0] + " | " + banks[1]);
        if (this->HasFailure()) return;
    }
    EXPECT_GE(compared, 100);
}

TEST(TimelineLookup, CaretsAndFramesFindTheirNotes) {
    // Bank A: D (A0), the macro's C8 (common 3, call A2), F twice; bank B: the C8 first, then E.
    const auto c = compileTexts<double>("@!AC8!", {"D !A [F]2", "!A E", "", "", ""});
    ASSERT_EQ(c.result.code, 0);
    const SongTimeline t = buildTimeline<double>(c.lists, &c.spans, c.commonLength);
    const TimelineIndex index(t);
    struct Row {
        const char* name;
        int tab;
        uint64_t offset;
        std::optional<TimelineRef> at;
        std::optional<TimelineRef> atOrAfter;
    };
    const Row rows[] = {
        {"a note", 0, 0, TimelineRef{0, 0}, TimelineRef{0, 0}},
        {"between commands", 0, 1, std::nullopt, TimelineRef{0, 1}},
        {"on a macro call", 0, 3, TimelineRef{0, 1}, TimelineRef{0, 1}},
        {"a repeated note: its first pass", 0, 6, TimelineRef{0, 2}, TimelineRef{0, 2}},
        {"loop end", 0, 7, std::nullopt, std::nullopt},
        {"past the text", 0, 40, std::nullopt, std::nullopt},
        {"the recorded command: every bank plays it, the earliest wins", -1, 4, TimelineRef{1, 0}, TimelineRef{1, 0}},
        {"the recording's start holds no note", -1, 0, std::nullopt, TimelineRef{1, 0}},
        {"other bank", 1, 3, TimelineRef{1, 1}, TimelineRef{1, 1}},
        {"a silent bank", 2, 0, std::nullopt, std::nullopt},
        {"no such tab", 7, 0, std::nullopt, std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(index.noteAt(row.tab, row.offset), row.at) << row.name;
        EXPECT_EQ(index.noteAtOrAfter(row.tab, row.offset), row.atOrAfter) << row.name;
    }
    // Bank A: D 0..24000, C8 24000..36000, F 36000.., F 60000..84000; bank B: C8 0..12000, E 12000..36000.
    using Sounding = std::array<std::optional<size_t>, kBankCount>;
    EXPECT_EQ(notesSoundingAt(t, 0), (Sounding{0, 0, {}, {}, {}}));
    EXPECT_EQ(notesSoundingAt(t, 35999), (Sounding{1, 1, {}, {}, {}}));
    EXPECT_EQ(notesSoundingAt(t, 36000), (Sounding{2, {}, {}, {}, {}}));
    EXPECT_EQ(notesSoundingAt(t, 84000), (Sounding{}));
    EXPECT_EQ(notesStartingIn(t.banks[0], 24000, 60001), (std::pair<size_t, size_t>{1, 4}));
    EXPECT_EQ(notesStartingIn(t.banks[0], 90000, 10), (std::pair<size_t, size_t>{4, 4}));
}

}  // namespace
}  // namespace tavolin::test
