// SPDX-License-Identifier: MIT
// The piano roll's model: clicks to source spans, the caret to notes, the bar grid across tempo changes, zoom and scroll.
#include <gtest/gtest.h>

#include <sstream>

#include "window/PianoRoll.h"

namespace tavolin::window {
namespace {

// Tempo 120: a quarter is 24000 frames. Bank A, by units and frames:
//   C 0..64 (0..24000), D8 ..96 (..36000), R8 ..128 (..48000), E2 ..256 (..96000),
//   then tempo 60: R2 ..384 (..192000), G1 ..640 (..384000): 8 seconds.
// Bank B plays the common text's macro twice: G16 at 0 and at 6000.
const std::string kCommon = "T120 @!AG16!";
const std::string kBankA = "CD8R8\r\nE2T60R2G1";
const std::string kBankB = "O5!A!A";

std::shared_ptr<const output::SongMap> songOf(const std::string& common, const std::string& a, const std::string& b) {
    output::BuildInputs in;
    in.tabTexts[0] = common;
    in.tabTexts[1] = a;
    in.tabTexts[2] = b;
    return output::buildSongMap(in, false);
}

document::TabTexts texts() { return {kCommon, kBankA, kBankB, "", "", ""}; }

class PianoRollTest : public ::testing::Test {
protected:
    void SetUp() override {
        map = songOf(kCommon, kBankA, kBankB);
        ASSERT_TRUE(map->ok());
        roll.resize(1028, 418);  // a plot 1000 pixels wide: 125 pixels a second, fitted
        roll.setSong(map);
    }
    // The middle of a pitch's row at a frame.
    std::pair<double, double> at(int bank, double frame, double pitch) const {
        return {roll.xOfFrame(frame), roll.yOfPitch(bank, pitch) + roll.rowHeight(bank) / 2};
    }
    std::shared_ptr<const output::SongMap> map;
    PianoRoll roll;
};

TEST_F(PianoRollTest, ClicksSelectTheNotesSource) {
    struct Row {
        const char* name;
        int bank;
        double frame;
        double pitch;  // C4 = 48
        std::optional<RollSelection> expected;
    };
    const double g = PianoRoll::pitchOf(map->timeline.banks[1].notes.at(0));
    const Row rows[] = {
        {"C", 0, 12000, 48, RollSelection{1, {0, 1}}},
        {"D8 at its first frame", 0, 24000, 50, RollSelection{1, {1, 3}}},
        {"E2 after CR LF: editor units, not bytes", 0, 50000, 52, RollSelection{1, {6, 8}}},
        {"G1 after the tempo change", 0, 300000, 55, RollSelection{1, {13, 15}}},
        {"a rest is a gap", 0, 40000, 50, std::nullopt},
        {"above the note", 0, 50000, 56, std::nullopt},
        {"a macro's second replay selects the recorded note", 1, 9000, g, RollSelection{0, {8, 11}}},
        {"a silent bank's lane", 2, 12000, 48, std::nullopt},
    };
    for (const Row& r : rows) {
        const auto [x, y] = at(r.bank, r.frame, r.pitch);
        EXPECT_EQ(roll.selectionAt(x, y, texts()), r.expected) << r.name;
    }
    EXPECT_EQ(roll.selectionAt(PianoRoll::kHeaderWidth - 1, at(0, 0, 48).second, texts()), std::nullopt) << "the lane header";
}

// The keys walk the notes: along a bank past its rests, and to the bank above or below at the
// same moment (the nearest note when none sounds then), banks without notes passed over.
TEST_F(PianoRollTest, KeysStepFromNoteToNote) {
    using Step = PianoRoll::Step;
    struct Row {
        std::optional<TimelineRef> from;
        Step how;
        std::optional<TimelineRef> to;
    } rows[] = {
        {std::nullopt, Step::Next, TimelineRef{0, 0}},  // none yet: the first note in view
        {TimelineRef{0, 0}, Step::Next, TimelineRef{0, 1}},
        {TimelineRef{0, 1}, Step::Next, TimelineRef{0, 3}},  // past the rest
        {TimelineRef{0, 3}, Step::Previous, TimelineRef{0, 1}},
        {TimelineRef{0, 0}, Step::Previous, std::nullopt},
        {TimelineRef{0, 5}, Step::Next, std::nullopt},
        {TimelineRef{0, 1}, Step::BankBelow, TimelineRef{1, 1}},  // B is silent by then: its last note
        {TimelineRef{1, 1}, Step::BankAbove, TimelineRef{0, 0}},  // A's C sounds at 6000
        {TimelineRef{1, 0}, Step::BankBelow, std::nullopt},       // C to E hold no note
        {TimelineRef{0, 0}, Step::BankAbove, std::nullopt},
    };
    for (const Row& r : rows) {
        roll.setHighlight(r.from);
        const auto got = roll.step(r.how);
        EXPECT_EQ(got, r.to) << (r.from ? std::to_string(r.from->bank) + ":" + std::to_string(r.from->note) : "none") << " step "
                             << static_cast<int>(r.how) << " -> " << (got ? std::to_string(got->bank) + ":" + std::to_string(got->note) : "none");
    }
}

// Shift+arrows stretch from the note highlighted when the stretch began; a plain step or a click
// in between starts a new one.
TEST_F(PianoRollTest, ShiftStepsStretchFromWhereTheyBegan) {
    using Step = PianoRoll::Step;
    struct Row {
        std::optional<TimelineRef> clicked;  // set before the step, as a click sets it
        Step how;
        bool extend;
        size_t first, last;
    } rows[] = {
        {TimelineRef{0, 0}, Step::Next, true, 0, 1},
        {std::nullopt, Step::Next, true, 0, 3},
        {std::nullopt, Step::Previous, false, 1, 1},
        {TimelineRef{0, 5}, Step::Previous, true, 3, 5},
    };
    for (const Row& r : rows) {
        if (r.clicked) roll.setHighlight(r.clicked);
        const auto got = roll.stepTo(r.how, r.extend);
        ASSERT_TRUE(got);
        EXPECT_EQ(std::make_pair(got->first, got->last), std::make_pair(r.first, r.last)) << static_cast<int>(r.how) << r.extend;
        EXPECT_EQ(roll.highlight(), (TimelineRef{0, r.how == Step::Next ? got->last : got->first}));
    }
}

TEST_F(PianoRollTest, TheCaretHighlightsItsNoteAndScrollsToIt) {
    struct Row {
        const char* name;
        int tab;
        uint64_t byte;
        std::optional<TimelineRef> expected;
    };
    const Row rows[] = {
        {"on C", 1, 0, TimelineRef{0, 0}},
        {"on D8's length", 1, 2, TimelineRef{0, 1}},
        {"on the rest", 1, 3, TimelineRef{0, 2}},
        {"at the line break: the note after", 1, 5, TimelineRef{0, 3}},
        {"on T60: the rest after it", 1, 9, TimelineRef{0, 4}},
        {"after the last note", 1, 16, TimelineRef{0, 5}},
        {"the macro's note: its first replay", 0, 8, TimelineRef{1, 0}},
        {"a bank without notes", 3, 0, std::nullopt},
    };
    for (const Row& r : rows) {
        roll.setCaret(r.tab, r.byte);
        EXPECT_EQ(roll.highlight(), r.expected) << r.name;
    }
    // A clicked note keeps its highlight while the caret sits on its command.
    roll.setHighlight(TimelineRef{1, 1});
    EXPECT_FALSE(roll.setCaret(0, 9));
    EXPECT_EQ(roll.highlight(), (TimelineRef{1, 1}));
    // So it does through a new compile of the same text; a changed text drops it.
    roll.setSong(songOf(kCommon, kBankA, kBankB));
    EXPECT_EQ(roll.highlight(), (TimelineRef{1, 1}));
    roll.setSong(songOf(kCommon, kBankA, "O5 !A!A"));
    EXPECT_EQ(roll.highlight(), std::nullopt);
    roll.setSong(map);

    // Zoomed in, a note out of sight comes into view a quarter from the left.
    roll.zoomAt(PianoRoll::kHeaderWidth, 8);
    ASSERT_EQ(roll.viewStartSeconds(), 0);
    EXPECT_TRUE(roll.setCaret(1, 14));
    EXPECT_EQ(roll.highlight(), (TimelineRef{0, 5}));
    EXPECT_DOUBLE_EQ(roll.xOfFrame(192000), PianoRoll::kHeaderWidth + roll.plotWidth() / 4);
    EXPECT_FALSE(roll.setCaret(1, 15)) << "already shown";
    // A note that starts in sight is not moved, though it runs past the edge.
    const double before = roll.viewStartSeconds();
    roll.setHighlight(std::nullopt);
    EXPECT_TRUE(roll.setCaret(1, 14));
    EXPECT_EQ(roll.viewStartSeconds(), before);
}

TEST_F(PianoRollTest, BarsAndBeatsFollowTheTempoChanges) {
    struct Row {
        const char* name;
        double zoom;  // on the fitted view
        std::string expected;  // frame, or frame:bar for a numbered bar line
    };
    const Row rows[] = {
        {"fitted: every beat", 1, "0:1 24000 48000 72000 96000:2 144000 192000 240000 288000:3 336000"},
        // 10 pixels a second: bars at tempo 120 are 20 pixels apart and every
        // other one is numbered; at tempo 60 beats come back.
        {"zoomed out", 0.08, "0:1 96000:2 144000 192000 240000 288000:3 336000"},
    };
    for (const Row& r : rows) {
        PianoRoll fresh;
        fresh.resize(1028, 418);
        fresh.setSong(map);
        fresh.zoomAt(PianoRoll::kHeaderWidth, r.zoom);
        std::ostringstream got;
        for (const RollGridLine& g : fresh.gridLines(0)) {
            got << (got.tellp() ? " " : "") << std::llround(fresh.frameAtX(g.x));
            if (g.bar) got << ':' << g.bar;
        }
        EXPECT_EQ(got.str(), r.expected) << r.name;
    }
    // A bank without notes has no grid.
    EXPECT_TRUE(roll.gridLines(2).empty());
}

TEST_F(PianoRollTest, ZoomKeepsThePointUnderTheMouseAndScrollStaysInTheSong) {
    EXPECT_DOUBLE_EQ(roll.pixelsPerSecond(), 125);
    EXPECT_DOUBLE_EQ(roll.scrollRangePixels(), 0);
    struct Row {
        double x;
        double factor;
    };
    for (const Row& r : {Row{528, 4}, Row{100, 2}, Row{900, 0.5}, Row{300, 1.25}}) {
        const double frame = roll.frameAtX(r.x);
        const double pps = roll.pixelsPerSecond();
        roll.zoomAt(r.x, r.factor);
        EXPECT_DOUBLE_EQ(roll.pixelsPerSecond(), pps * r.factor) << r.x;
        EXPECT_NEAR(roll.frameAtX(r.x), frame, 1e-6) << r.x;
    }
    // Zoomed 5x: 5000 pixels of song in a 1000-pixel plot.
    EXPECT_DOUBLE_EQ(roll.scrollRangePixels(), 4000);
    roll.scrollBy(-1e9);
    EXPECT_EQ(roll.scrollPixels(), 0);
    roll.scrollBy(1e9);
    EXPECT_DOUBLE_EQ(roll.scrollPixels(), 4000);
    // Zooming out at the end cannot show time after the song.
    roll.zoomAt(528, 0.25);
    EXPECT_DOUBLE_EQ(roll.xOfFrame(384000), 1028);

    // Only what shows is listed; rests stay gaps. 1.0 s to 1.8 s: E2 alone.
    roll.zoomAt(PianoRoll::kHeaderWidth, 1250 / roll.pixelsPerSecond());
    roll.setScrollPixels(1250);
    std::vector<size_t> shown;
    for (const RollNote& n : roll.visibleNotes(0)) shown.push_back(n.ref.note);
    EXPECT_EQ(shown, std::vector<size_t>{3});
    roll.fitSong();
    shown.clear();
    for (const RollNote& n : roll.visibleNotes(0)) shown.push_back(n.ref.note);
    EXPECT_EQ(shown, (std::vector<size_t>{0, 1, 3, 5}));

    // 600 notes a fifth of a pixel wide each, alternating two pitches in a
    // 100-pixel plot: each column lists each pitch once.
    PianoRoll dense;
    dense.resize(PianoRoll::kHeaderWidth + 100, 418);
    dense.setSong(songOf("", "L64[CD]300", ""));
    const auto notes = dense.visibleNotes(0);
    EXPECT_GE(notes.size(), 200u);
    EXPECT_LE(notes.size(), 202u);
    EXPECT_GE(notes.back().ref.note, 595u) << "the last column (notes 595..599) still shows";
}

TEST_F(PianoRollTest, PlayheadFollowsAndABrokenCompileKeepsTheLastSong) {
    EXPECT_EQ(roll.playheadX(96000), 28 + 2 * 125.0);
    EXPECT_FALSE(roll.follow(96000)) << "the whole song shows";
    roll.zoomAt(PianoRoll::kHeaderWidth, 10);  // 0.8 s in view
    EXPECT_EQ(roll.playheadX(144000), std::nullopt);
    EXPECT_TRUE(roll.follow(144000));
    EXPECT_DOUBLE_EQ(*roll.playheadX(144000), PianoRoll::kHeaderWidth + 100);
    EXPECT_FALSE(roll.follow(150000));

    roll.setCaret(1, 0);
    const auto broken = songOf(kCommon, "CV300", "");
    ASSERT_FALSE(broken->ok());
    roll.setSong(broken);
    EXPECT_TRUE(roll.stale());
    EXPECT_EQ(roll.song(), map.get());
    const auto [x, y] = at(0, 144000, 55);
    EXPECT_EQ(roll.selectionAt(x, y, texts()), std::nullopt);
    roll.setCaret(1, 0);
    EXPECT_EQ(roll.highlight(), std::nullopt);
    roll.setSong(map);
    EXPECT_FALSE(roll.stale());
}

}  // namespace
}  // namespace tavolin::window
