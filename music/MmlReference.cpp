// SPDX-License-Identifier: MIT
// The reference's table. The Japanese lines are the source texts; their
// English lives with every other translation.
#include "music/MmlReference.h"

#include <algorithm>
#include <array>

#include "compiler/UiText.h"
#include "document/UserTexts.h"

namespace tavolin::music {
namespace {

#define TR(text) TAVOLIN_TR_NOOP("Texts", text)

constexpr const char* kNotes = TR("音符と休符");
constexpr const char* kOctaves = TR("オクターブと長さ");
constexpr const char* kLevels = TR("テンポ・音量・パン");
constexpr const char* kTones = TR("音色とエンベロープ");
constexpr const char* kSlurs = TR("スラーとポルタメント");
constexpr const char* kLfos = TR("LFO（ビブラートとトレモロ）");
constexpr const char* kLoops = TR("ループ");
constexpr const char* kTuplets = TR("連符");
constexpr const char* kMacros = TR("マクロ");
constexpr const char* kComments = TR("コメント");

constexpr std::array kEntries{
    MmlReferenceEntry{kNotes, "C D E F G A B", "C D E F G A B (# + -)(n)(.)",
                      TR("今のオクターブの音符: # か + で半音上げ、- で半音下げ、数字で長さ（4 で4分音符）、. で付点"), "O4 CDEFGAB>C2"},
    MmlReferenceEntry{kNotes, "N", "Nn(:)(n)(.)", TR("番号で音符: n = オクターブ × 12 + 半音（N57 が 440 Hz の A4）"), "N48 N52 N55 N60:2"},
    MmlReferenceEntry{kNotes, "X", "Xf(:)(n)(.)", TR("周波数 f Hz の音（小数も書ける）"), "X440:4 X550:4 X660:2"},
    MmlReferenceEntry{kNotes, "R", "R(n)(.)", TR("休符"), "C8R8C8R8 E8R8G4"},
    MmlReferenceEntry{kOctaves, "O", "On", TR("オクターブを n にする（最初は 4）"), "O3C O4C O5C2"},
    MmlReferenceEntry{kOctaves, "< >", "< >", TR("オクターブを1つ下げる（<）、上げる（>）"), "C>C>C<<C2"},
    MmlReferenceEntry{kOctaves, "L", "Ln(.)", TR("長さを省いた音符の長さ（最初は L4）"), "L8 CDEFGAB>C"},
    MmlReferenceEntry{kLevels, "T", "Tn", TR("テンポ: 1分間に4分音符 n 個（最初は 120）"), "T180 CDEF T90 GAB>C"},
    MmlReferenceEntry{kLevels, "V", "Vn", TR("音量 0〜255（最初は 128）"), "V60 C V120 C V200 C V255 C"},
    MmlReferenceEntry{kLevels, "P", "Pn", TR("パン: 0 で左、128 で中央、256 で右"), "P0 CE P256 GE P128 C2"},
    MmlReferenceEntry{kTones, "@", "@n", TR("音色 n（0〜31）を選ぶ: 0 矩形波、1 三角波、2 のこぎり波、3 正弦波、4 ノイズ"), "@0 C @1 C @2 C @3 C"},
    MmlReferenceEntry{kTones, "@W", "@Wt:w(Rf)(Nl)(Cs):d(:d…)",
                      TR("音色 t を定義: 波形 w（0 矩形、1 三角、2 のこぎり、3 正弦、4 ノイズ）、周波数ゆらぎ R %、音量ゆらぎ N %、デューティ切り替え C ms、デューティ比 %"),
                      "@W10:0C100:12.5:25:50 @10 C1"},
    MmlReferenceEntry{kTones, "@E", "@En", TR("エンベロープ n（0〜255）を選ぶ"), "@ED1:1:200:100:255:0 @E1 C E G"},
    MmlReferenceEntry{kTones, "@ED", "@EDe:a:d:r:al:sl",
                      TR("エンベロープ e を定義: アタック a ms、ディケイ d ms、リリース r ms、アタックレベル al、サステインレベル sl（0〜255）"),
                      "@ED2:300:200:400:255:120 @E2 C2 G2"},
    MmlReferenceEntry{kSlurs, "&", "&", TR("スラー: 音を切らずに次の音符へつなぐ（同じ高さならタイ）"), "C2&C4 C&E&G2"},
    MmlReferenceEntry{kSlurs, "@S", "@Sn", TR("ポルタメント: スラーの音符の最後の 1/n で次の音へ移る（最初は 4）"), "@S1 C&G&>C2"},
    MmlReferenceEntry{kLfos, "@LT", "@LTt(S|L):p:d(:…)", TR("ピッチ LFO（ビブラート）: 時刻 t ms、周期 p ms、深さ d セント、点は6つまで"),
                      "@LT0S:150:0:200L:150:40 C1"},
    MmlReferenceEntry{kLfos, "@LV", "@LVt(S|L):p:d(:…)", TR("音量 LFO（トレモロ）: 深さ d は最大音量に対する %"), "@LV0:120:30 C1"},
    MmlReferenceEntry{kLfos, "@LTP", "@LTPt(S|L):p:d(:…)", TR("ピッチ LFO、時刻は音符のまとまりの長さに対する %"), "@LTP0S:100:0:50L:100:40 C1&C1"},
    MmlReferenceEntry{kLfos, "@LVP", "@LVPt(S|L):p:d(:…)", TR("音量 LFO、時刻は音符のまとまりの長さに対する %"), "@LVP0:200:0:100L:100:60 C1"},
    MmlReferenceEntry{kLoops, "[ ]", "[…](n)", TR("囲んだ部分を n 回演奏する（n がなければ終わりなく繰り返す）"), "[CE]3 G2"},
    MmlReferenceEntry{kLoops, ":", "[…:…]n", TR("ループの最後の回はここで抜ける"), "[CD:E]3 F2"},
    MmlReferenceEntry{kTuplets, "{ }", "{…}", TR("囲んだ音符で既定の長さ1つを等分する（連符）"), "L4 {CDE}{FGA} B2"},
    MmlReferenceEntry{kMacros, "@!", "@!X…!", TR("マクロ X（A〜Z）を記録する（次の ! まで、演奏はしない）"), "@!AL8CEG! !A !A C2"},
    MmlReferenceEntry{kMacros, "!", "!X", TR("マクロ X を演奏する"), "@!BO5L16CDEF! !B!B!B G2"},
    MmlReferenceEntry{kComments, "*", "*…*", TR("コメント: * から次の * まで（日本語も書ける）"), "*MELODY* CDE *END* F2"},
};

#undef TR

std::string cell(std::string text) {
    std::string out;
    for (char c : text) out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out;
}

}  // namespace

std::span<const MmlReferenceEntry> mmlReference() { return kEntries; }

const MmlReferenceEntry* mmlReferenceFor(std::string_view command) {
    const MmlReferenceEntry* best = nullptr;
    size_t bestLength = 0;
    for (const MmlReferenceEntry& e : kEntries) {
        const std::string_view heads = e.heads;
        for (size_t at = 0; at < heads.size();) {
            const size_t end = std::min(heads.find(' ', at), heads.size());
            const std::string_view head = heads.substr(at, end - at);
            // "@" alone is a tone choice: "@3", not "@Q".
            const bool fits = command.starts_with(head) &&
                              (head != "@" || (command.size() > 1 && command[1] >= '0' && command[1] <= '9'));
            if (fits && head.size() > bestLength) {
                best = &e;
                bestLength = head.size();
            }
            at = end + 1;
        }
    }
    return best;
}

std::string mmlReferenceHover(const MmlReferenceEntry& entry) {
    // Appended piece by piece: g++ 12 sees a false overlap in chained concatenations.
    std::string code = "`";
    code.append(entry.example).append("`");
    std::string out = "`";
    out.append(entry.syntax).append("` ").append(uiText(entry.what)).append("\n\n");
    out.append(document::fillIn(uiText(TAVOLIN_TR_NOOP("Texts", "例: {example}")), "example", code));
    return out;
}

std::string mmlReferenceMarkdown() {
    std::string out;
    const char* group = nullptr;
    for (const MmlReferenceEntry& e : kEntries) {
        if (e.group != group) {
            group = e.group;
            out += (out.empty() ? "### " : "\n### ") + uiText(group) + "\n\n| | | |\n|---|---|---|\n";
        }
        out += "| `" + cell(e.syntax) + "` | " + cell(uiText(e.what)) + " | `" + cell(e.example) + "` |\n";
    }
    return out;
}

}  // namespace tavolin::music
