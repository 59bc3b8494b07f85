// SPDX-License-Identifier: MIT
// Hover texts of commands: which bytes form the command under the caret and what it says of its values.
#include <gtest/gtest.h>

#include "music/CommandHelp.h"
#include "music/DocumentFeatures.h"
#include "music/MmlReference.h"

namespace tavolin::music {
namespace {

TEST(CommandHelp, CommandUnderTheCaret) {
    struct Row {
        const char* text;
        uint32_t offset;
        std::optional<CommandHelp> expected;  // the hover's own lines; the reference's follow them
        const char* reference = nullptr;       // the heads of the reference entry they come from
    } rows[] = {
        {"T120V100", 5, CommandHelp{4, 8, "**V100**\n\n音量 100（0〜255）"}, "V"},
        {"T120V100", 0, CommandHelp{0, 4, "**T120**\n\nテンポ 120（1分間に4分音符 120 個）"}, "T"},
        {"P0", 1, CommandHelp{0, 2, "**P0**\n\nパン 0（0 左、128 中央、256 右）"}, "P"},
        {"O5<C", 2, CommandHelp{2, 3, "**<**\n\nオクターブを1つ下げる"}, "< >"},
        {"L8.C", 1, CommandHelp{0, 3, "**L8.**\n\n長さを省いた音符の長さ: 全音符の 48/256"}, "L"},
        {"[C:D]3", 2, CommandHelp{2, 3, "**:**\n\nループの最後の回はここで抜ける"}, ":"},
        {"[C:D]3", 5, CommandHelp{4, 6, "**]3**\n\nループの終わり: 3 回演奏する"}, "[ ]"},
        {"[C]", 2, CommandHelp{2, 3, "**]**\n\nループの終わり: 終わりなく繰り返す（書き出しでは1回）"}, "[ ]"},
        {"C&D", 1, CommandHelp{1, 2, "**&**\n\nスラー: 前の音符を切らずに次の音符へつなぐ"}, "&"},
        {"@3@E2", 3, CommandHelp{2, 5, "**@E2**\n\nエンベロープ 2 を選ぶ"}, "@E"},
        {"@3@E2", 0, CommandHelp{0, 2, "**@3**\n\n音色 3 を選ぶ"}, "@"},
        {"@ED1:10:20.5:30:255:128 C", 4, CommandHelp{0, 23,
         "**@ED1:10:20.5:30:255:128**\n\nエンベロープ 1 を定義: 10 ms でレベル 255 へ、20.5 ms でレベル 128 へ、離して 30 ms で消える"}, "@ED"},
        {"@W1:2R10C100:25:50", 7, CommandHelp{0, 18,
         "**@W1:2R10C100:25:50**\n\n音色 1 を定義: のこぎり波、デューティ比 25/50 %\n\nR 周波数ゆらぎ %、N 音量ゆらぎ %、C デューティ切り替え ms: R10C100"}, "@W"},
        {"@LTP0:100:50:50:100:20", 2, CommandHelp{0, 22, "**@LTP0:100:50:50:100:20**\n\nピッチ LFO を定義（2 点）\n\n時刻は音符の長さに対する %"}, "@LTP"},
        {"@S4", 1, CommandHelp{0, 3, "**@S4**\n\nポルタメント: スラーの音符の最後の 1/4 で次の音へ移る"}, "@S"},
        {"C8", 0, std::nullopt},    // a note: its own hover
        {"*T120*", 2, std::nullopt},  // a comment
        {"t120", 0, std::nullopt},  // refused by the compiler
        {"", 0, std::nullopt},
    };
    for (const Row& r : rows) {
        auto got = commandHelpAt(r.text, r.offset);
        if (got && r.reference) {
            // "…\n\n`Ln(.)` 長さを省いた…\n\n例: `L8 CDEFGAB>C`": the entry named, its line and example last.
            const MmlReferenceEntry* entry = mmlReferenceFor(std::string_view(r.text).substr(got->begin, got->end - got->begin));
            ASSERT_NE(entry, nullptr) << r.text;
            EXPECT_STREQ(entry->heads, r.reference) << r.text;
            const std::string tail = "\n\n`" + std::string(entry->syntax) + "` " + entry->what + "\n\n例: `" + entry->example + "`";
            EXPECT_TRUE(got->text.ends_with(tail)) << got->text;
            if (got->text.ends_with(tail)) got->text.resize(got->text.size() - tail.size());
        }
        EXPECT_EQ(got, r.expected) << r.text << " @" << r.offset << ": got "
                                   << (got ? std::to_string(got->begin) + ".." + std::to_string(got->end) + " " + got->text : "none");
    }
}

// Commands that begin alike find their own entry: the longest head wins, and @ alone is a tone choice.
TEST(CommandHelp, ReferenceEntryOfACommand) {
    const std::pair<const char*, const char*> rows[] = {
        {"@LTP0:1:2", "@LTP"}, {"@LT0:1:2", "@LT"}, {"@LVP5", "@LVP"}, {"@ED1:1:1:1:1:1", "@ED"}, {"@E3", "@E"},
        {"@12", "@"}, {"@Q", nullptr}, {"@!A", "@!"}, {"!A", "!"}, {">", "< >"}, {"}", "{ }"}, {"N60", "N"}, {"", nullptr},
    };
    for (const auto& [command, heads] : rows) {
        const MmlReferenceEntry* entry = mmlReferenceFor(command);
        EXPECT_STREQ(entry ? entry->heads : nullptr, heads) << command;
    }
}

// Completions in an editor without snippets: defaults written out, the first field selected.
TEST(CommandHelp, SnippetsExpandToTextWithTheFirstFieldSelected) {
    const std::pair<const char*, ExpandedSnippet> rows[] = {
        {"T${1:120}", {"T120", 1, 4}},
        {"@W${1:n}:${2:wave}:${3:duty}", {"@Wn:wave:duty", 2, 3}},
        {"${2:b}x${1:a}", {"bxa", 2, 3}},     // the lowest number first, wherever it stands
        {"[$0]${1:2}", {"[]2", 2, 3}},
        {"{$0}", {"{}", 1, 1}},               // no field: the caret where $0 stands
        {"@!${1:A}$0!", {"@!A!", 2, 3}},
        {"O", {"O", 1, 1}},
        {"T${1:12", {"T", 1, 1}},              // cut short
        {"$", {"$", 1, 1}},
    };
    for (const auto& [snippet, expected] : rows) {
        const ExpandedSnippet got = expandSnippet(snippet);
        EXPECT_EQ(got, expected) << snippet << ": got " << got.text << " " << got.selectBegin << ".." << got.selectEnd;
    }
}

}  // namespace
}  // namespace tavolin::music
