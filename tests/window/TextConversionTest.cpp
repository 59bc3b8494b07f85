// SPDX-License-Identifier: MIT
// Editor positions vs. CP932 byte offsets, and the window's number reading/writing.
#include <gtest/gtest.h>

#include <random>

#include "FakeView.h"
#include "compiler/Cp932.h"
#include "document/CaretMapping.h"
#include "music/NumberText.h"

namespace tavolin::window {
namespace {

struct PositionRow {
    const char* name;
    std::string utf8;       // the editor's text ("\n" breaks)
    size_t unitPos;         // an editor position
    uint64_t byteOffset;    // the same place in the stored bytes
};

TEST(CaretMapping, EditorPositionsMatchByteOffsets) {
    const PositionRow rows[] = {
        {"ascii", "CDE", 2, 2},
        {"after break", "C\nD", 2, 3},                         // C CR LF | D
        {"after two breaks", "C\n\nD", 3, 5},
        {"after kanji", "音色C", 2, 4},                         // 2 double-byte characters
        {"after comment line", "/*テスト*/\nC", 8, 12},           // 4 ascii + 3*2 + CR LF
        {"half-width kana is one byte", "ｱC", 1, 1},
        {"end", "あ\nい", 3, 6},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string bytes = document::editorTextToBytes(r.utf8).value();
        EXPECT_EQ(document::unitToByteOffset(bytes, r.unitPos), r.byteOffset);
        EXPECT_EQ(document::byteOffsetToUnit(bytes, r.byteOffset), r.unitPos);
        EXPECT_EQ(document::unitCount(bytes), document::utf16Length(r.utf8));
        EXPECT_EQ(document::bytesToEditorText(bytes), r.utf8);
    }
}

TEST(CaretMapping, OffsetsInsideAUnitRoundTheAskedWay) {
    const std::string bytes = document::editorTextToBytes("あ\nC").value();  // 82 A0 | 0D 0A | 43
    EXPECT_EQ(document::byteOffsetToUnit(bytes, 1, false), 0u);  // inside "あ"
    EXPECT_EQ(document::byteOffsetToUnit(bytes, 1, true), 1u);
    EXPECT_EQ(document::byteOffsetToUnit(bytes, 3, false), 1u);  // between CR and LF
    EXPECT_EQ(document::byteOffsetToUnit(bytes, 3, true), 2u);
    EXPECT_EQ(document::byteOffsetToUnit(bytes, 99, true), 3u);  // past the end
    EXPECT_EQ(document::unitToByteOffset(bytes, 99), bytes.size());
}

TEST(CaretMapping, StoredTextUsesCrLfAndRejectsWhatCp932CannotHold) {
    EXPECT_EQ(document::editorTextToBytes("C\nD"), std::optional<std::string>("C\r\nD"));
    EXPECT_EQ(document::editorTextToBytes("C\r\nD\rE"), std::optional<std::string>("C\r\nD\r\nE"));
    EXPECT_EQ(document::editorTextToBytes("C😀"), std::nullopt);
    EXPECT_EQ(document::editorTextToBytes("Cé"), std::nullopt);
    EXPECT_EQ(document::firstUnencodableChar("CDé😀"), "é");
    EXPECT_EQ(document::firstUnencodableChar("CDあ"), "");
    EXPECT_EQ(document::utf16Length("C😀あ"), 4u);
}

TEST(CaretMapping, LoneBreakBytesAndBrokenLeadBytesAreOneUnitEach) {
    // A lone CR, a lone LF, a lead byte without a trail (before a space and at the end).
    const std::string bytes = std::string("C\rD\nE\x82 ") + "\x82";
    EXPECT_EQ(document::unitCount(bytes), 8u);
    const std::string shown = document::bytesToEditorText(bytes);
    EXPECT_EQ(shown, "C\nD\nE\xEF\xBF\xBD \xEF\xBF\xBD");
    EXPECT_EQ(document::utf16Length(shown), document::unitCount(bytes));
}

// Every single byte and every lead/trail pair shows as exactly one UTF-16 unit, so a
// position can never drift, whatever a loaded file holds.
TEST(CaretMapping, EveryByteAndPairIsOneEditorCharacter) {
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        ASSERT_EQ(document::utf16Length(document::bytesToEditorText(one)), document::unitCount(one)) << "byte " << b;
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isCp932LeadByte(static_cast<unsigned char>(lead))) continue;
        for (int trail = 0; trail < 256; ++trail) {
            const std::string two{static_cast<char>(lead), static_cast<char>(trail)};
            ASSERT_EQ(document::utf16Length(document::bytesToEditorText(two)), document::unitCount(two)) << lead << "," << trail;
        }
    }
}

TEST(CaretMapping, RandomBytesMapBothWaysConsistently) {
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        const int n = round % 40;
        for (int i = 0; i < n; ++i) bytes += static_cast<char>(byte(gen));
        const size_t units = document::unitCount(bytes);
        ASSERT_EQ(document::utf16Length(document::bytesToEditorText(bytes)), units);
        for (size_t u = 0; u <= units; ++u) ASSERT_EQ(document::byteOffsetToUnit(bytes, document::unitToByteOffset(bytes, u)), u);
    }
}

TEST(CaretMapping, UpperCasingTouchesOnlyAsciiLetters) {
    EXPECT_EQ(document::upperCaseAscii("cde t120 あａz"), "CDE T120 あａZ");
}

struct CompactRow {
    const char* name;
    double value;
    std::string compact;
    std::string sixDecimals;
};

TEST(NumberText, CompactAndFixedForms) {
    const CompactRow rows[] = {
        {"integer", 50, "50", "50.000000"},
        {"half", 12.5, "12.5", "12.500000"},
        {"quarter", 0.25, "0.25", "0.250000"},
        {"hundred keeps its zeros", 100, "100", "100.000000"},
        {"zero", 0, "0", "0.000000"},
        {"float tenth", static_cast<double>(0.1f), "0.1", "0.100000"},
        {"rounds at six", 1.0000004, "1", "1.000000"},
        {"negative", -2.5, "-2.5", "-2.500000"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(music::compactNumber(r.value), r.compact);
        EXPECT_EQ(music::fixedSixDecimals(r.value), r.sixDecimals);
    }
}

struct ReadRow {
    const char* text;
    int32_t asInt;
    double asDouble;
};

TEST(NumberText, LeadingNumbersLikeTheRuntimeLibrary) {
    const ReadRow rows[] = {
        {"", 0, 0},           {"abc", 0, 0},          {"42", 42, 42},     {"  7x", 7, 7},
        {"-12", -12, -12},    {"+3", 3, 3},           {"12.5", 12, 12.5}, {"1e2", 1, 100},
        {"99999999999", 2147483647, 99999999999.0},   {"-99999999999", -2147483647 - 1, -99999999999.0},
        {".5", 0, 0.5},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(music::atoiLike(r.text), r.asInt);
        EXPECT_DOUBLE_EQ(music::atofLike(r.text), r.asDouble);
    }
}

}  // namespace
}  // namespace tavolin::window
