// SPDX-License-Identifier: MIT
// The checkpoints kept along a song: a song started from the nearest one
// plays exactly as one skipped from the start, in every play setting and
// type; after an edit the shelf serves the new song, never the old one's
// state past the edit; and however long the song, the shelf stays bounded.
#include <gtest/gtest.h>

#include "session/Checkpoints.h"
#include "session/Passage.h"
#include "tests/output/OutputTestSupport.h"

namespace tavolin::testing {
namespace {

using session::CheckpointMode;
using session::CheckpointShelf;

constexpr uint32_t kRate = 8000;

void fill(CheckpointShelf& shelf, const output::BuildInputs& in, CheckpointMode mode, uint64_t frames) {
    ASSERT_TRUE(shelf.begin(in, mode, frames));
    while (shelf.step(kRate * 3)) {
    }
}

// `frames` frames from `at` on, the song started from the shelf (or, with
// no shelf, skipped from its start), and where it started from.
std::vector<int16_t> playFrom(const output::BuildInputs& in, CheckpointMode mode, uint64_t at, int64_t frames,
                              const CheckpointShelf* shelf, uint64_t* from = nullptr) {
    auto song = buildOrFail(in);
    if (!song) return {};
    session::setPlayMode(*song, mode.loop, mode.passage);
    const uint64_t start = shelf ? shelf->adoptNearest(*song, at).value_or(0) : 0;
    if (from) *from = start;
    song->Skip(at - start);
    return song->Render(frames);
}

// Two banks draw random numbers side by side (frequency noise and the noise
// wave), bank A slurs under vibrato, bank C repeats an endless loop (once
// in a passage, for ever otherwise): every kind of state a checkpoint holds.
TEST(Checkpoints, ASongStartedFromTheShelfPlaysAsOneSkippedFromTheStart) {
    const std::string common = "T150@W11:1R1.5:50@W12:4N25:0@ED1:4:90:60:255:170@S3L8";
    const std::vector<std::string> banks = {"@E1@LT0:120:20O5" + times("C&D&E&F&", 24) + " G2",
                                            "@11O3" + times("C C >C <C ", 24), "O4[E G ]", "",
                                            "@12V120" + times("O1C8O7C16R16O4C8O7C16R16", 24)};
    struct Row {
        const char* name;
        CheckpointMode mode;
        double seconds;  // where the song starts
    };
    const Row rows[] = {
        {"a passage between two checkpoints", {false, true}, 9.3},
        {"a passage on a checkpoint", {false, true}, 8.0},
        {"Loop off, before the first checkpoint", {false, false}, 1.0},
        {"Loop off, late in the song", {false, false}, 21.7},
        {"Loop on", {true, false}, 13.1},
    };
    for (int arith = 0; arith < 3; ++arith) {
        const output::BuildInputs in = songInputs(common, banks, arith, kRate);
        for (const Row& row : rows) {
            const std::string name = std::string(row.name) + ", arith " + std::to_string(arith);
            CheckpointShelf shelf;
            fill(shelf, in, row.mode, kRate * 26);
            EXPECT_EQ(shelf.spacing(), kRate * CheckpointShelf::kMinSpacingSeconds) << name;
            EXPECT_EQ(shelf.count(), 12u) << name;  // at 2, 4, ... 24 s of the 26
            const auto at = static_cast<uint64_t>(row.seconds * kRate);
            uint64_t from = 0;
            const std::vector<int16_t> a = playFrom(in, row.mode, at, kRate, &shelf, &from);
            EXPECT_EQ(from, at / shelf.spacing() * shelf.spacing()) << name;
            const std::vector<int16_t> b = playFrom(in, row.mode, at, kRate, nullptr);
            ASSERT_FALSE(b.empty()) << name;
            EXPECT_TRUE(a == b) << name << "\n" << firstDifference(a, b);
        }
    }
}

// The shelf taken again after an edit keeps the checkpoints before it and
// walks on from there: every later checkpoint must be the new song's. A
// stale one would play the old note.
TEST(Checkpoints, AfterAnEditTheShelfServesTheNewSong) {
    const std::string common = "T120@ED1:4:90:60:255:170L8";
    const std::string before = "@E1@LT0:120:20O5" + times("CDEFGAB>C<", 20);
    output::BuildInputs oldIn = songInputs(common, {before, "@11O3" + times("C E G ", 40)}, 1, kRate);
    output::BuildInputs newIn = oldIn;
    newIn.tabTexts[1].replace(newIn.tabTexts[1].find("CDEFGAB>C<", 60), 10, "CDEFGAB>D<");  // the D at 11.75 s
    const CheckpointMode mode{false, true};
    CheckpointShelf shelf;
    fill(shelf, oldIn, mode, kRate * 20);
    fill(shelf, newIn, mode, kRate * 20);
    struct Row {
        const output::BuildInputs* song;
        double seconds;
        double startsAt;  // the checkpoint it starts from
    };
    // The old song, played again, takes up the checkpoints before the edit only.
    for (const Row& row : {Row{&newIn, 5.0, 4}, Row{&newIn, 7.5, 6}, Row{&newIn, 15.2, 14}, Row{&oldIn, 15.2, 10}}) {
        const auto at = static_cast<uint64_t>(row.seconds * kRate);
        uint64_t from = 0;
        const std::vector<int16_t> a = playFrom(*row.song, mode, at, kRate / 2, &shelf, &from);
        const std::vector<int16_t> b = playFrom(*row.song, mode, at, kRate / 2, nullptr);
        EXPECT_EQ(from, static_cast<uint64_t>(row.startsAt * kRate)) << row.seconds;
        EXPECT_TRUE(a == b) << row.seconds << "\n" << firstDifference(a, b);
    }
}

// A ten-minute song keeps at most kMaxCheckpoints, evenly spread; the keeper
// takes them on its own thread and drops them when cleared (a new document).
TEST(Checkpoints, TheKeeperKeepsABoundedShelfOfTheLatestSong) {
    const output::BuildInputs in = songInputs("T120L4", {"O4" + times("CDEFGAB>C<", 150)}, 0, kRate);
    session::CheckpointKeeper keeper;
    keeper.compiled(in, {});
    keeper.waitIdle();
    const CheckpointShelf& shelf = keeper.shelf();
    EXPECT_LE(shelf.count(), CheckpointShelf::kMaxCheckpoints);
    EXPECT_GE(shelf.count(), CheckpointShelf::kMaxCheckpoints / 2);
    EXPECT_GT(shelf.bytes(), 0u);
    keeper.clear();
    keeper.waitIdle();
    EXPECT_EQ(shelf.count(), 0u);
}

}  // namespace
}  // namespace tavolin::testing
