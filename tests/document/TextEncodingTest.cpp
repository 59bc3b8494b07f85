// SPDX-License-Identifier: MIT
// Telling UTF-8 documents from CP932 ones on real-world samples, and converting them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compiler/Cp932.h"
#include "document/TextEncoding.h"
#include "tests/document/DocumentTestSupport.h"

namespace tavolin::document {
namespace {

std::string cp932(const std::string& utf8) { return utf8ToCp932(utf8).value(); }

TEST(TextEncoding, DetectsOnRealWorldSamples) {
    const auto Cp = FileEncoding::Cp932;
    const auto U8 = FileEncoding::Utf8;
    struct Row { const char* name; std::string bytes; FileEncoding expected; };
    const std::vector<Row> rows = {
        {"empty", "", Cp},
        {"ASCII only: the same bytes either way", "SMML@T150;MML@O4CDEFG,,,,;", Cp},
        {"BOM before ASCII", "\xEF\xBB\xBFSMML@;MML@C,,,,;", U8},
        {"BOM before text that is no UTF-8: the BOM is noise", "\xEF\xBB\xBF" + cp932("ドレミ"), Cp},
        // Written by a Linux editor.
        {"UTF-8 kana comment", "MML@C /* ドレミ */,,,,;", U8},
        {"UTF-8 kanji and full-width", "SMML@T150 /* 主旋律：Ａメロ */;MML@CDE,,,,;", U8},
        {"UTF-8 symbols only", "MML@C8 /* ♪ */;", U8},
        {"UTF-8 hiragana that is also well-formed CP932", "MML@/* あい */C;", U8},
        {"UTF-8 kanji that reads as level-2 kanji and kana", "/* 表 */", U8},
        {"UTF-8 emoji", "MML@C /* \xF0\x9F\x8E\xB5 */;", U8},
        {"UTF-8 Cyrillic title", "/* Катюша */ CDE", U8},
        // Stored by this program or another CP932 editor.
        {"CP932 kana comment", "MML@C /* " + cp932("ドレミ") + " */,,,,;", Cp},
        {"CP932 kanji comment", "SMML@T150 /* " + cp932("主旋律：Ａメロ") + " */;MML@,,,,;", Cp},
        {"CP932 half-width kana", "/* " + cp932("ﾃﾞｨﾚｲ") + " */", Cp},
        // CP932 text that happens to be valid UTF-8 as well.
        {"CP932 ﾃｨ reads as UTF-8 è", "/* " + cp932("ﾃｨ") + " */ C", Cp},
        {"CP932 ﾂア reads as a UTF-8 control character", "/* " + cp932("ﾂア") + " */", Cp},
        {"CP932 ﾃス reads as UTF-8 ÃX", "/* " + cp932("ﾃス") + " */", Cp},
        {"CP932 ﾏｲ reads as Greek", "MML@C /* " + cp932("ﾏｲ") + " */;", Cp},
        {"UTF-8 Latin-1 ties with half-width kana: stays CP932", "/* caf\xC3\xA9 */", Cp},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(detectEncoding(r.bytes), r.expected) << r.name << " " << test::escapeBytes(r.bytes);
    }
    // The samples above that claim to be valid UTF-8 really are.
    for (const char* sample : {"ﾃｨ", "ﾂア", "ﾃス", "ﾏｲ"}) EXPECT_TRUE(isValidUtf8(cp932(sample))) << sample;
}

TEST(TextEncoding, Utf8Validity) {
    struct Row { std::string bytes; bool valid; };
    const std::vector<Row> rows = {
        {"abc", true},           {"\xE3\x81\x82", true},       {"\xE3\x81", false},
        {"\xC0\xAF", false},     {"\xED\xA0\x80", false},      {"\xF4\x90\x80\x80", false},
        {"\x80", false},         {"\xF0\x9F\x8E\xB5", true},   {"\xE0\x80\xAF", false},
    };
    for (const auto& r : rows) EXPECT_EQ(isValidUtf8(r.bytes), r.valid) << test::escapeBytes(r.bytes);
}

TEST(TextEncoding, DecodesFiles) {
    struct Row {
        const char* name;
        std::string file;
        FileEncoding encoding;
        std::string bytes;
        std::vector<UnencodableChar> unencodable;
    };
    const std::vector<Row> rows = {
        {"CP932 bytes stay exactly", "MML@C /* " + cp932("ドレミ") + " */\r\n;", FileEncoding::Cp932,
         "MML@C /* " + cp932("ドレミ") + " */\r\n;", {}},
        {"UTF-8 converted, line breaks kept", "MML@C /* ドレミ */\r\nD;", FileEncoding::Utf8,
         "MML@C /* " + cp932("ドレミ") + " */\r\nD;", {}},
        {"BOM dropped", "\xEF\xBB\xBFMML@C /* 〜 */;", FileEncoding::Utf8, "MML@C /* " + cp932("〜") + " */;", {}},
        {"unencodable characters with their lines; nothing converted",
         "MML@C /* ドレミ */\nD /* \xF0\x9F\x8E\xB5 */\r\nE \xED\x95\x9C \xED\x95\x9C;", FileEncoding::Utf8, "",
         {{2, "\xF0\x9F\x8E\xB5"}, {3, "\xED\x95\x9C"}, {3, "\xED\x95\x9C"}}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const DecodedFile d = decodeDocumentFile(r.file);
        EXPECT_EQ(d.encoding, r.encoding);
        EXPECT_TRUE(test::bytesEqual(d.bytes, r.bytes));
        EXPECT_EQ(d.unencodable, r.unencodable);
        EXPECT_EQ(d.ok(), r.unencodable.empty());
    }
}

// The whole sentence, then one row per line of the file with its characters
// once each, rows and characters capped so that no row outgrows the box.
TEST(TextEncoding, UnencodableReport) {
    const std::string head = "「/x.mml」は UTF-8 で書かれていますが、CP932 で表せない文字があるため開きませんでした"
                             "（ファイルは変更していません）:";
    const std::string han = "\xED\x95\x9C", guk = "\xEA\xB5\xAD", note = "\xF0\x9F\x8E\xB5";
    std::vector<UnencodableChar> twelveLines;
    for (size_t line = 1; line <= 12; ++line) twelveLines.push_back({line, han});
    const std::vector<UnencodableChar> longLine = {{7, "가"}, {7, "각"}, {7, "갂"}, {7, "갃"}, {7, "간"}};
    struct Row {
        const char* name;
        std::vector<UnencodableChar> chars;
        std::string rows;
    };
    const Row rows[] = {
        {"one row per line, file order", {{2, note}, {3, han}, {3, guk}}, "\n2 行目: " + note + "\n3 行目: " + han + " " + guk},
        {"a character once per line", {{3, han}, {3, han}, {3, guk}, {4, han}}, "\n3 行目: " + han + " " + guk + "\n4 行目: " + han},
        {"rows capped, the rest counted", twelveLines, "\n1 行目: " + han + "\n2 行目: " + han + "\nほか 10 行"},
        {"a long line ends in an ellipsis", longLine, "\n7 行目: 가 각 갂 …"},
    };
    for (const Row& r : rows) EXPECT_EQ(unencodableMessage("/x.mml", r.chars, 2, 3), head + r.rows) << r.name;
}

}  // namespace
}  // namespace tavolin::document
