// SPDX-License-Identifier: MIT
// Hover texts of commands: which bytes form the command under the caret and what it says of its values.
#include <gtest/gtest.h>

#include "music/CommandHelp.h"

namespace tavolin::music {
namespace {

TEST(CommandHelp, CommandUnderTheCaret) {
    struct Row {
        const char* text;
        uint32_t offset;
        std::optional<CommandHelp> expected;
    } rows[] = {
        {"T120V100", 5, CommandHelp{4, 8, "**V100**\n\n音量 100（0〜255）"}},
        {"T120V100", 0, CommandHelp{0, 4, "**T120**\n\nテンポ 120（1分間に4分音符 120 個）"}},
        {"P0", 1, CommandHelp{0, 2, "**P0**\n\nパン 0（0 左、128 中央、256 右）"}},
        {"O5<C", 2, CommandHelp{2, 3, "**<**\n\nオクターブを1つ下げる"}},
        {"L8.C", 1, CommandHelp{0, 3, "**L8.**\n\n長さを省いた音符の長さ: 全音符の 48/256"}},
        {"[C:D]3", 2, CommandHelp{2, 3, "**:**\n\nループの最後の回はここで抜ける"}},
        {"[C:D]3", 5, CommandHelp{4, 6, "**]3**\n\nループの終わり: 3 回演奏する"}},
        {"[C]", 2, CommandHelp{2, 3, "**]**\n\nループの終わり: 終わりなく繰り返す（書き出しでは1回）"}},
        {"C&D", 1, CommandHelp{1, 2, "**&**\n\nスラー: 前の音符を切らずに次の音符へつなぐ"}},
        {"@3@E2", 3, CommandHelp{2, 5, "**@E2**\n\nエンベロープ 2 を選ぶ"}},
        {"@3@E2", 0, CommandHelp{0, 2, "**@3**\n\n音色 3 を選ぶ"}},
        {"@ED1:10:20.5:30:255:128 C", 4, CommandHelp{0, 23,
         "**@ED1:10:20.5:30:255:128**\n\nエンベロープ 1 を定義: 10 ms でレベル 255 へ、20.5 ms でレベル 128 へ、離して 30 ms で消える"}},
        {"@W1:2R10C100:25:50", 7, CommandHelp{0, 18,
         "**@W1:2R10C100:25:50**\n\n音色 1 を定義: のこぎり波、デューティ比 25/50 %\n\nR 周波数ゆらぎ %、N 音量ゆらぎ %、C デューティ切り替え ms: R10C100"}},
        {"@LTP0:100:50:50:100:20", 2, CommandHelp{0, 22, "**@LTP0:100:50:50:100:20**\n\nピッチ LFO を定義（2 点）\n\n時刻は音符の長さに対する %"}},
        {"@S4", 1, CommandHelp{0, 3, "**@S4**\n\nポルタメント: スラーの音符の最後の 1/4 で次の音へ移る"}},
        {"C8", 0, std::nullopt},    // a note: its own hover
        {"*T120*", 2, std::nullopt},  // a comment
        {"t120", 0, std::nullopt},  // refused by the compiler
        {"", 0, std::nullopt},
    };
    for (const Row& r : rows) {
        const auto got = commandHelpAt(r.text, r.offset);
        EXPECT_EQ(got, r.expected) << r.text << " @" << r.offset << ": got "
                                   << (got ? std::to_string(got->begin) + ".." + std::to_string(got->end) + " " + got->text : "none");
    }
}

}  // namespace
}  // namespace tavolin::music
