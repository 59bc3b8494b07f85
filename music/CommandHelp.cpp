// SPDX-License-Identifier: MIT
// Hover texts of MML commands: the command's bytes found by its colour class, its values read as written.
#include "music/CommandHelp.h"

#include <vector>

#include "compiler/UiText.h"
#include "music/MmlClasses.h"
#include "music/MmlReference.h"
#include "document/UserTexts.h"

namespace tavolin::music {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Bytes of the command starting at text[i] inside a range ending at `end`.
uint32_t commandEnd(std::string_view text, uint32_t i, uint32_t end) {
    const char c = text[i];
    uint32_t j = i + 1;
    auto digits = [&] {
        while (j < end && isDigit(text[j])) ++j;
    };
    switch (c) {
    case 'T': case 'V': case 'P': case 'O': case ']': digits(); break;
    case 'L':
        digits();
        while (j < end && text[j] == '.') ++j;
        break;
    case '@':
        while (j < end && text[j] != '@') ++j;  // a sound range holds whole @ commands
        break;
    default: break;
    }
    return j;
}

// The values of a command split at ":" after its head ("@ED1:2:3" -> 1, 2, 3).
std::vector<std::string> fields(std::string_view body) {
    std::vector<std::string> out(1);
    for (char c : body) {
        if (c == ':') out.emplace_back();
        else out.back() += c;
    }
    return out;
}

std::string fill(const char* pattern, std::initializer_list<std::pair<const char*, std::string>> values) {
    std::string text = uiText(pattern);
    for (const auto& [key, value] : values) text = document::fillIn(text, key, value);
    return text;
}

std::string waveName(const std::string& w) {
    static constexpr const char* kWaves[] = {
        TAVOLIN_TR_NOOP("Texts", "矩形波"), TAVOLIN_TR_NOOP("Texts", "三角波"), TAVOLIN_TR_NOOP("Texts", "のこぎり波"),
        TAVOLIN_TR_NOOP("Texts", "正弦波"), TAVOLIN_TR_NOOP("Texts", "ノイズ")};
    return w.size() == 1 && w[0] >= '0' && w[0] <= '4' ? uiText(kWaves[w[0] - '0']) : w;
}

// Whole note = 256 units: L n with its dots.
std::string lengthUnits(std::string_view number, size_t dots) {
    int n = 0;
    for (char c : number) n = n * 10 + (c - '0');
    if (n == 0 || number.size() > 4) return "?";
    double units = 256.0 / n, add = units;
    for (size_t k = 0; k < dots; ++k) units += (add /= 2);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", units);
    return buf;
}

std::string describe(std::string_view cmd) {
    const std::string value(cmd.substr(1));
    switch (cmd[0]) {
    case 'T': return fill(TAVOLIN_TR_NOOP("Texts", "テンポ {n}（1分間に4分音符 {n} 個）"), {{"n", value}});
    case 'V': return fill(TAVOLIN_TR_NOOP("Texts", "音量 {n}（0〜255）"), {{"n", value}});
    case 'P': return fill(TAVOLIN_TR_NOOP("Texts", "パン {n}（0 左、128 中央、256 右）"), {{"n", value}});
    case 'O': return fill(TAVOLIN_TR_NOOP("Texts", "オクターブ {n}"), {{"n", value}});
    case '<': return uiText(TAVOLIN_TR_NOOP("Texts", "オクターブを1つ下げる"));
    case '>': return uiText(TAVOLIN_TR_NOOP("Texts", "オクターブを1つ上げる"));
    case 'L': {
        const size_t dots = value.size() - value.find_last_not_of('.') - 1;
        const std::string number = value.substr(0, value.size() - dots);
        return fill(TAVOLIN_TR_NOOP("Texts", "長さを省いた音符の長さ: 全音符の {units}/256"), {{"units", lengthUnits(number, dots)}});
    }
    case '[': return uiText(TAVOLIN_TR_NOOP("Texts", "ループの始まり"));
    case ':': return uiText(TAVOLIN_TR_NOOP("Texts", "ループの最後の回はここで抜ける"));
    case ']':
        return value.empty() ? uiText(TAVOLIN_TR_NOOP("Texts", "ループの終わり: 終わりなく繰り返す（書き出しでは1回）"))
                             : fill(TAVOLIN_TR_NOOP("Texts", "ループの終わり: {n} 回演奏する"), {{"n", value}});
    case '{': return uiText(TAVOLIN_TR_NOOP("Texts", "連符の始まり: } までの音符で既定の長さ1つを等分する"));
    case '}': return uiText(TAVOLIN_TR_NOOP("Texts", "連符の終わり"));
    case '&': return uiText(TAVOLIN_TR_NOOP("Texts", "スラー: 前の音符を切らずに次の音符へつなぐ"));
    default: break;
    }
    // @ commands.
    if (cmd.size() >= 2 && isDigit(cmd[1])) return fill(TAVOLIN_TR_NOOP("Texts", "音色 {n} を選ぶ"), {{"n", value}});
    if (cmd.starts_with("@S")) return fill(TAVOLIN_TR_NOOP("Texts", "ポルタメント: スラーの音符の最後の 1/{n} で次の音へ移る"), {{"n", std::string(cmd.substr(2))}});
    if (cmd.starts_with("@ED")) {
        const auto f = fields(cmd.substr(3));
        if (f.size() < 6) return {};
        return fill(TAVOLIN_TR_NOOP("Texts", "エンベロープ {e} を定義: {a} ms でレベル {al} へ、{d} ms でレベル {sl} へ、離して {r} ms で消える"),
                    {{"e", f[0]}, {"a", f[1]}, {"d", f[2]}, {"r", f[3]}, {"al", f[4]}, {"sl", f[5]}});
    }
    if (cmd.starts_with("@E")) return fill(TAVOLIN_TR_NOOP("Texts", "エンベロープ {n} を選ぶ"), {{"n", std::string(cmd.substr(2))}});
    if (cmd.starts_with("@W")) {
        const auto f = fields(cmd.substr(2));
        if (f.size() < 3) return {};
        // The wave number and its options: "2R10N20C100".
        std::string wave = f[1], options;
        if (const size_t at = wave.find_first_of("RNC"); at != std::string::npos) {
            options = wave.substr(at);
            wave.erase(at);
        }
        std::string duties;
        for (size_t k = 2; k < f.size(); ++k) duties += (k > 2 ? "/" : "") + f[k];
        std::string text = fill(TAVOLIN_TR_NOOP("Texts", "音色 {t} を定義: {wave}、デューティ比 {duties} %"),
                                {{"t", f[0]}, {"wave", waveName(wave)}, {"duties", duties}});
        if (!options.empty()) text += "\n\n" + fill(TAVOLIN_TR_NOOP("Texts", "R 周波数ゆらぎ %、N 音量ゆらぎ %、C デューティ切り替え ms: {options}"), {{"options", options}});
        return text;
    }
    if (cmd.starts_with("@L") && cmd.size() >= 3) {
        size_t points = 0;
        const auto f = fields(cmd.substr(3));
        points = (f.size() + 2) / 3;
        const bool percent = cmd.size() >= 4 && cmd[3] == 'P';
        std::string text = fill(cmd[2] == 'T' ? TAVOLIN_TR_NOOP("Texts", "ピッチ LFO を定義（{n} 点）") : TAVOLIN_TR_NOOP("Texts", "音量 LFO を定義（{n} 点）"),
                                {{"n", std::to_string(points)}});
        if (percent) text += "\n\n" + uiText(TAVOLIN_TR_NOOP("Texts", "時刻は音符の長さに対する %"));
        return text;
    }
    return {};
}

}  // namespace

std::optional<CommandHelp> commandHelpAt(std::string_view text, uint32_t offset) {
    MmlClassState state;
    for (const MmlClassRange& r : classifyMml(text, state)) {
        const uint32_t end = r.begin + r.length;
        if (offset < r.begin || offset >= end) continue;
        switch (r.cls) {
        case MmlClass::Octave: case MmlClass::Setting: case MmlClass::Sound: case MmlClass::Loop: case MmlClass::Tuplet: case MmlClass::Slur: break;
        default: return std::nullopt;
        }
        // Neighbours of one class share a range ("T120V100"): find the command.
        for (uint32_t i = r.begin; i < end;) {
            const uint32_t j = commandEnd(text, i, end);
            if (offset < j) {
                const std::string_view cmd = text.substr(i, j - i);
                std::string what = describe(cmd);
                if (what.empty()) return std::nullopt;
                // The value read as written, then the reference's general line and example.
                if (const MmlReferenceEntry* entry = mmlReferenceFor(cmd)) what += "\n\n" + mmlReferenceHover(*entry);
                return CommandHelp{i, j, "**" + std::string(cmd) + "**\n\n" + what};
            }
            i = j;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::string macroMarkHelp(const MacroMark& mark) {
    const std::string letter(mark.letter ? 1 : 0, mark.letter);
    switch (mark.kind) {
    case MacroMarkKind::Record: return fill(TAVOLIN_TR_NOOP("Texts", "マクロ {x} の記録を始める（次の ! まで）"), {{"x", letter}});
    case MacroMarkKind::Call: return fill(TAVOLIN_TR_NOOP("Texts", "マクロ {x} を演奏する"), {{"x", letter}});
    case MacroMarkKind::End: return uiText(TAVOLIN_TR_NOOP("Texts", "マクロの記録を終える"));
    }
    return {};
}

}  // namespace tavolin::music
