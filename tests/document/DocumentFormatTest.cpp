// SPDX-License-Identifier: MIT
// The document record: text-mode bytes, the reader's split and CP932-safe searches.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "document/DocumentFormat.h"
#include "tests/document/DocumentTestSupport.h"

namespace tavolin::document {
namespace {

using test::bytesEqual;
using test::tabsEqual;

struct BytesRow {
    const char* name;
    std::string input;
    std::string expected;
};

TEST(DocumentFormat, TextModeRead) {
    const std::vector<BytesRow> rows = {
        {"crlf becomes lf", "C\r\nD", "C\nD"},
        {"lone cr stays", "C\rD", "C\rD"},
        {"cr cr lf becomes cr lf", "C\r\r\nD", "C\r\nD"},
        {"cr at the end stays", "C\r", "C\r"},
        {"lone lf stays", "C\nD", "C\nD"},
        {"ctrl-z ends the text", std::string("C\x1A" "D\r\n", 5), "C"},
        {"nul ends the text", std::string("C\0D", 3), "C"},
        {"cr before nul stays", std::string("C\r\0\n", 4), "C\r"},
        {"high bytes pass", "\x83\x54\x81\x1a", "\x83\x54\x81"},
    };
    for (const auto& r : rows) EXPECT_TRUE(bytesEqual(textModeRead(r.input), r.expected)) << r.name;
}

TEST(DocumentFormat, TextModeWrite) {
    const std::vector<BytesRow> rows = {
        {"lf becomes crlf", "C\nD", "C\r\nD"},
        {"editor crlf becomes cr cr lf", "C\r\nD", "C\r\r\nD"},
        {"lone cr stays", "C\rD", "C\rD"},
        {"two line breaks", "\r\n\r\n", "\r\r\n\r\r\n"},
    };
    for (const auto& r : rows) EXPECT_TRUE(bytesEqual(textModeWrite(r.input), r.expected)) << r.name;
}

TEST(DocumentFormat, UpperCaseNeverTouchesDoubleByteCharacters) {
    const std::vector<BytesRow> rows = {
        {"ascii", "t120v15cde@e1", "T120V15CDE@E1"},
        {"trail byte in a..z kept", "a\x82\x61z", "A\x82\x61Z"},
        {"trail byte z kept", "\x88\x7A" "b", "\x88\x7A" "B"},
        {"half-width katakana single bytes", "\xB1" "a", "\xB1" "A"},
        {"stray lead byte before a non-trail", "\x81\n" "a", "\x81\n" "A"},
        {"stray lead byte at the end", "a\x81", "A\x81"},
        {"lead byte pairs with next lead byte", "\x81\x81" "a", "\x81\x81" "A"},
    };
    for (const auto& r : rows) EXPECT_TRUE(bytesEqual(upperCaseCp932(r.input), r.expected)) << r.name;
}

TEST(DocumentFormat, WriteRecord) {
    TabTexts empty;
    std::string bytes = writeDocumentBytes(empty);
    EXPECT_EQ(bytes.size(), 15u);
    EXPECT_TRUE(bytesEqual(bytes, "SMML@;MML@,,,,;"));

    TabTexts twoLines{"T150", "C\r\nD", "", "", "", "E"};
    EXPECT_TRUE(bytesEqual(writeDocumentBytes(twoLines), "SMML@T150;MML@C\r\r\nD,,,,E;"));
    // Nothing is escaped: separators inside texts are written as they are.
    TabTexts separators{"T150;V100", "A,B", "", "", "", ""};
    EXPECT_TRUE(bytesEqual(formatDocument(separators), "SMML@T150;V100;MML@A,B,,,,;"));
}

struct ReadRow {
    const char* name;
    std::string fileBytes;
    TabTexts expected;
};

TEST(DocumentFormat, ReadRecord) {
    const std::vector<ReadRow> rows = {
        {"empty document", "SMML@;MML@,,,,;", {}},
        {"two lines come back as crlf", "SMML@;MML@C\r\r\nD,,,,;", {"", "C\r\nD", "", "", "", ""}},
        {"only bank tag", "MML@C,D;", {"", "C", "D", "", "", ""}},
        {"no tags at all, lower case and tabs", "t1\t20 c\r\nd", {"", "T120 C\nD", "", "", "", ""}},
        {"semicolon in common text ends it", "SMML@T150;V100;MML@C,,,,;", {"T150", "C", "", "", "", ""}},
        {"comma in bank text shifts banks", "SMML@;MML@A,B,C,D,E,F;", {"", "A", "B", "C", "D", "E"}},
        {"semicolon in bank ends document", "SMML@;MML@C;D,E,,,;", {"", "C", "", "", "", ""}},
        {"tabs kept in common, removed in banks", "SMML@\tT120;MML@\tC\t,\t,,,;", {"\tT120", "C", "", "", "", ""}},
        {"lower-case file", "smml@t120;mml@cde,,,,;", {"T120", "CDE", "", "", "", ""}},
        {"text around the common block is joined", "XSMML@C;MML@D,,,,;", {"C", "D", "", "", "", ""}},
        {"common tag without semicolon takes nothing", "SMML@T120", {"", "T120", "", "", "", ""}},
        {"text after the final semicolon ignored", "SMML@;MML@C,,,,;GARBAGE", {"", "C", "", "", "", ""}},
        {"ctrl-z ends the file", "SMML@O4;MML@C,D,,,;\x1A" "trailing", {"O4", "C", "D", "", "", ""}},
        {"nul ends the file", std::string("SMML@;MML@C,D\0,E;", 18), {"", "C", "D", "", "", ""}},
        // 0x82 0x4D is one character; the "MML@" that starts on its trail byte is not a tag.
        {"tag hidden in a trail byte", "\x82MML@C,D;", {"", "\x82MML@C", "D", "", "", ""}},
        {"japanese comment in banks", "SMML@*\x83\x54*;MML@*\x83\x56\x82\x61*c,,,,;",
         {"*\x83\x54*", "*\x83\x56\x82\x61*C", "", "", "", ""}},
        {"stray lead byte before comma", "MML@\x81,c;", {"", "\x81", "C", "", "", ""}},
        // Removing the TAB pairs 0xF6 with 0x8E, which leaves "d" a single-byte letter.
        {"tab removal re-pairs a stray lead byte", "MML@\xF6\t\x8E" "d;", {"", "\xF6\x8E" "D", "", "", "", ""}},
    };
    for (const auto& r : rows) EXPECT_TRUE(tabsEqual(readDocumentBytes(r.fileBytes), r.expected)) << r.name;
}

TEST(DocumentFormat, SaveThenOpenTwoLineBank) {
    TabTexts doc{"", "C\r\nD", "", "", "", ""};
    EXPECT_TRUE(tabsEqual(readDocumentBytes(writeDocumentBytes(doc)), doc));
}

// Random texts built only from what the record can carry: no lower case outside
// double-byte characters, no "," or ";", no TAB in banks, no NUL or Ctrl+Z, no tag.
std::string randomText(std::mt19937& rng, bool allowTab) {
    static const std::string ascii =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 !\"#$%&'()*+-./:<=>?@[\\]^_`{|}~\r\n";
    std::uniform_int_distribution<int> lengthDist(0, 40), kindDist(0, 9), byteDist(0, 255);
    std::string text;
    int length = lengthDist(rng);
    for (int i = 0; i < length; ++i) {
        int kind = kindDist(rng);
        if (kind <= 5) {
            text += ascii[static_cast<std::size_t>(byteDist(rng)) % ascii.size()];
        } else if (kind == 6 && allowTab) {
            text += '\t';
        } else if (kind <= 8) {
            // A double-byte character: any lead byte, any trail byte (lower-case trails included).
            int lead = byteDist(rng) % 2 ? 0x81 + byteDist(rng) % 31 : 0xE0 + byteDist(rng) % 29;
            int trail = 0x40 + byteDist(rng) % 189;
            if (trail == 0x7F) trail = 0x80;
            text += static_cast<char>(lead);
            text += static_cast<char>(trail);
        } else {
            // Single high bytes: half-width katakana and bytes that lead nothing.
            static const unsigned char singles[] = {0x80, 0xA0, 0xA1, 0xB1, 0xDF, 0xFD, 0xFE, 0xFF};
            text += static_cast<char>(singles[static_cast<std::size_t>(byteDist(rng)) % sizeof singles]);
        }
    }
    return text;
}

TEST(DocumentFormat, RoundTripIsByteIdentical) {
    std::mt19937 rng(20261207);
    int checked = 0;
    for (int iteration = 0; iteration < 3000; ++iteration) {
        TabTexts doc;
        bool carriable = true;
        for (int t = 0; t < kTabCount; ++t) {
            doc[t] = randomText(rng, t == 0);
            if (findCp932(doc[t], "MML@") != std::string::npos) carriable = false;
        }
        if (!carriable) continue;
        ++checked;
        std::string saved = writeDocumentBytes(doc);
        ASSERT_TRUE(tabsEqual(readDocumentBytes(saved), doc))
            << "iteration " << iteration << ", file " << test::escapeBytes(saved);
        // Saving the reopened document gives the same file again.
        ASSERT_EQ(writeDocumentBytes(readDocumentBytes(saved)), saved) << "iteration " << iteration;
    }
    EXPECT_GT(checked, 2500);
}

TEST(DocumentFormat, SearchesStepOverDoubleByteCharacters) {
    struct Row { const char* name; std::string text; std::string needle; std::size_t expected; };
    const std::vector<Row> rows = {
        {"plain", "AB;C", ";", 2},
        {"trail byte equal to needle", "\x83\x54T", "T", 2},
        {"tag after a double-byte char", "\x83\x54MML@", "MML@", 2},
        {"tag starting on a trail byte", "\x82MML@", "MML@", std::string::npos},
        {"needle after stray lead byte", "\x81;", ";", 1},
        {"nothing", "ABC", ",", std::string::npos},
    };
    for (const auto& r : rows) EXPECT_EQ(findCp932(r.text, r.needle), r.expected) << r.name;
}

}  // namespace
}  // namespace tavolin::document
