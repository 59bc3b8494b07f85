// SPDX-License-Identifier: MIT
// Offsets through edits, and the frame a rebuilt song continues at.
#include <gtest/gtest.h>

#include <sstream>

#include "session/SwapAnchor.h"
#include "output/SongMap.h"

namespace tavolin::session {
namespace {

std::string show(std::optional<ByteSpan> s) {
    if (!s) return "deleted";
    return "[" + std::to_string(s->offset) + "+" + std::to_string(s->length) + "]";
}

TEST(EditMapping, OffsetsAndSpansFollowTheEdits) {
    struct Row {
        const char* name;
        std::vector<TextEdit> edits;
        std::optional<ByteSpan> expected;  // of the span at 3, 2 bytes long
    };
    const Row rows[] = {
        {"no edit", {}, ByteSpan{3, 2}},
        {"insert before", {{0, 0, 2}}, ByteSpan{5, 2}},
        {"insert at its first byte", {{3, 0, 2}}, ByteSpan{5, 2}},
        {"insert at its end", {{5, 0, 1}}, ByteSpan{3, 2}},
        {"insert inside", {{4, 0, 3}}, ByteSpan{3, 5}},
        {"first byte removed", {{2, 2, 0}}, std::nullopt},
        {"tail replaced", {{4, 3, 1}}, ByteSpan{3, 2}},
        {"tail removed", {{4, 1, 0}}, ByteSpan{3, 1}},
        {"removal after", {{5, 2, 0}}, ByteSpan{3, 2}},
        {"replacement before shrinks", {{0, 3, 1}}, ByteSpan{1, 2}},
        // the second edit counts in the text the first one left
        {"insert then remove it", {{0, 0, 2}, {5, 1, 0}}, std::nullopt},
        {"later edit before", {{10, 0, 4}, {0, 1, 0}}, ByteSpan{2, 2}},
        {"removed text put back", {{3, 2, 0}, {3, 0, 2}}, std::nullopt},
    };
    for (const Row& row : rows) {
        const std::optional<ByteSpan> span = mapSpan(row.edits, ByteSpan{3, 2});
        const std::optional<uint64_t> offset = mapOffset(row.edits, 3);
        EXPECT_EQ(show(span), show(row.expected)) << row.name;
        EXPECT_EQ(offset.has_value(), row.expected.has_value()) << row.name;
        if (offset && row.expected) {
            EXPECT_EQ(*offset, row.expected->offset) << row.name;
        }
    }
}

// An edit as typed: tab 0 common, 1..5 banks A..E; position in the text as
// it stands at that edit.
struct Typed {
    int tab;
    uint64_t position;
    uint64_t removed;
    std::string text;
};

std::shared_ptr<const output::SongMap> songOf(const std::array<std::string, 6>& tabs) {
    output::BuildInputs in;
    in.tabTexts = tabs;
    return output::buildSongMap(in, false);
}

// 48 kHz, and every common text sets T120 L4 (a quarter is 24,000 frames)
// unless the row edits it.
TEST(SwapAnchor, ContinuesOnTheSameNote) {
    struct Row {
        const char* name;
        std::array<std::string, 6> tabs;
        std::vector<Typed> edits;
        uint64_t swapFrame;
        SwapAnchor expected;
    };
    const Row rows[] = {
        {"a note put in front", {"T120L4", "C D E F G"}, {{1, 0, 0, "C "}}, 54000, {78000, 0}},
        {"edit after the playhead", {"T120L4", "C D E F G"}, {{1, 8, 1, "A"}}, 54000, {54000, 0}},
        {"note under the playhead deleted", {"T120L4", "C D E F G"}, {{1, 4, 2, ""}}, 54000, {54000, -1}},
        {"slower tempo in the common text", {"T120L4", "C D E F G"}, {{0, 1, 3, "60"}}, 54000, {102000, 0}},
        {"third pass of a counted loop", {"T120L4", "[C D]3 E"}, {{1, 0, 0, "G "}}, 100000, {124000, 0}},
        {"second replay of a macro", {"T120L4@!AC D!", "!A E !A"}, {{1, 3, 2, ""}}, 100000, {76000, 0}},
        {"the next bank decides", {"T120L4", "C D E F G", "R C D E F"},
         {{1, 4, 2, ""}, {0, 6, 0, "V200"}, {2, 0, 0, "R "}}, 54000, {78000, 1}},
        {"a longer note keeps its start", {"T120L4", "C D E F G"}, {{1, 5, 0, "2"}}, 54000, {54000, 0}},
        {"a shorter note: its last frame", {"T120L4", "C D E F G"}, {{1, 5, 0, "16"}}, 54000, {53999, 0}},
        {"nothing sounds", {"T120L4", "C D"}, {{1, 0, 0, "E "}}, 60000, {60000, -1}},
    };
    for (const Row& row : rows) {
        std::array<std::string, 6> tabs = row.tabs;
        TabEdits edits;
        for (const Typed& e : row.edits) {
            tabs[static_cast<size_t>(e.tab)].replace(e.position, e.removed, e.text);
            edits[static_cast<size_t>(e.tab)].push_back({e.position, e.removed, e.text.size()});
        }
        const auto before = songOf(row.tabs);
        const auto after = songOf(tabs);
        ASSERT_TRUE(before->ok() && after->ok()) << row.name;
        const SwapAnchor got = chooseSwapFrame(before->timeline, row.swapFrame, edits, after->timeline);
        EXPECT_EQ(got, row.expected) << row.name << ": got frame " << got.frame << " bank " << got.bank << ", want "
                                     << row.expected.frame << " bank " << row.expected.bank;
    }
}

}  // namespace
}  // namespace tavolin::session
