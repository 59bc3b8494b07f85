// SPDX-License-Identifier: MIT
// Positions between a document file's lines and UTF-16 columns and the tabs' byte offsets.
#include <gtest/gtest.h>

#include <optional>

#include "document/DocumentMap.h"

namespace tavolin::document {
namespace {

// Common "T1*あ*" CR CR LF "V1" (a stored CR LF), bank A "C*あ*D", bank B CR LF "E".
// Bytes: 5 T, 8-9 あ, 11 CR, 12-13 CR LF, 14 V, 16 ;, 21 C, 23-24 あ, 26 D, 27 ",", 28-29 CR LF, 30 E, 31 ;.
constexpr std::string_view kFile = "SMML@T1*\x82\xA0*\r\r\nV1;MML@C*\x82\xA0*D,\r\nE;";

struct Row {
    const char* name;
    FilePosition position;
    std::optional<TabOffset> expected;
    bool roundTrip;  // the tab offset maps back to the same position
};

TEST(DocumentMap, PositionsToTabOffsetsAndBack) {
    const Row rows[] = {
        {"common's first byte", {0, 5}, TabOffset{0, 0}, true},
        {"double-byte char is one column", {0, 8}, TabOffset{0, 3}, true},
        {"after the double-byte char", {0, 9}, TabOffset{0, 5}, true},
        {"lone CR of CR CR LF stays in the tab", {0, 10}, TabOffset{0, 6}, true},
        {"CR LF is the tab's LF", {1, 0}, TabOffset{0, 7}, true},
        {"line after CR CR LF", {2, 0}, TabOffset{0, 8}, true},
        {"common's end is its ;", {2, 2}, TabOffset{0, 10}, true},
        {"bank tag belongs to no tab", {2, 3}, std::nullopt, false},
        {"bank A's first byte", {2, 7}, TabOffset{1, 0}, true},
        {"double-byte char in bank A", {2, 9}, TabOffset{1, 2}, true},
        {"after the comment", {2, 11}, TabOffset{1, 5}, true},
        {"bank A's end is its comma", {2, 12}, TabOffset{1, 6}, true},
        {"line end is bank B's leading break", {2, 13}, TabOffset{2, 0}, true},
        {"column past the line's end clamps", {2, 99}, TabOffset{2, 0}, false},
        {"bank B after CR LF", {3, 0}, TabOffset{2, 1}, true},
        {"bank B's end", {3, 1}, TabOffset{2, 2}, true},
        {"end of file", {3, 2}, std::nullopt, false},
        {"line past the end", {9, 0}, std::nullopt, false},
    };
    const DocumentMap map(kFile);
    const TabTexts want = readDocumentBytes(kFile);
    EXPECT_EQ(map.tabs(), want);
    for (const Row& r : rows) {
        const auto got = map.tabOffsetOf(r.position);
        EXPECT_EQ(got, r.expected) << r.name << ": got " << (got ? std::to_string(got->tab) + "/" + std::to_string(got->offset) : "none");
        if (r.roundTrip && r.expected) {
            const FilePosition back = map.positionOf(*r.expected);
            EXPECT_EQ(back, r.position) << r.name << ": back to " << back.line << ":" << back.column;
        }
    }
}

// The tabs equal what Open reads, whatever the file holds.
TEST(DocumentMap, TabsAsOpenReadsThem) {
    const std::string_view files[] = {
        "",
        "SMML@;MML@,,,,;",
        "smml@t120;mml@c\td,e\r\n;junk",
        "before MML@C,D,E,F,G,H,I;",
        "MML@C*\x82\xA0*\r\r\nD\x1A,E;",
        "MML@C SMML@T1; D,E;",
        "no record at all\r\n",
        "SMML@T1",
    };
    for (std::string_view f : files) {
        const DocumentMap map(f);
        EXPECT_EQ(map.tabs(), readDocumentBytes(f)) << f;
        // Every tab byte maps to a file byte holding the same letter (case aside) or the LF of a break.
        for (int tab = 0; tab < kTabCount; ++tab) {
            const std::string& t = map.tabs()[static_cast<size_t>(tab)];
            for (uint32_t i = 0; i < t.size(); ++i) {
                const uint32_t at = map.fileOffsetOf(TabOffset{tab, i});
                const char c = f[at];
                const bool same = c == t[i] || (c >= 'a' && c <= 'z' && c - 'a' + 'A' == t[i]) || (c == '\r' && t[i] == '\n');
                EXPECT_TRUE(same) << f << " tab " << tab << " byte " << i;
                EXPECT_EQ(map.tabOffsetOf(at), (TabOffset{tab, i})) << f << " tab " << tab << " byte " << i;
            }
        }
    }
}

TEST(DocumentMap, Utf8TextToFileBytes) {
    size_t replaced = 9;
    EXPECT_EQ(utf8ToDocumentBytes("MML@C*\xE3\x81\x82*;", &replaced), "MML@C*\x82\xA0*;");
    EXPECT_EQ(replaced, 0u);
    // An emoji is two UTF-16 units, a character CP932 lacks one: columns stay.
    EXPECT_EQ(utf8ToDocumentBytes("C*\xF0\x9F\x98\x80\xC3\xA5\xE3\x81\x82*", &replaced), "C*???\x82\xA0*");
    EXPECT_EQ(replaced, 2u);
}

}  // namespace
}  // namespace tavolin::document
