// SPDX-License-Identifier: MIT
// The commands' keys and the user's changes to them.
#include "window/KeyMap.h"

#include <algorithm>
#include <array>
#include <map>
#include <cctype>
#include <vector>

#include "compiler/UiText.h"
#include "document/UserTexts.h"

namespace tavolin::window {
namespace {

#define TR(text) TAVOLIN_TR_NOOP("Texts", text)

// The page leaves Ctrl+N to the browser, which keeps it for a new window.
constexpr std::array kCommands{
    KeyCommand{"play", TR("再生"), "F5", true, "F5"},
    KeyCommand{"stop", TR("停止"), "F6", true, "F6"},
    KeyCommand{"loopPassage", TR("選択範囲をループ再生"), "Ctrl+L", true, "Ctrl+L"},
    KeyCommand{"new", TR("新規作成"), "Ctrl+N", true, ""},
    KeyCommand{"open", TR("開く"), "Ctrl+O", true, "Ctrl+O"},
    KeyCommand{"save", TR("保存"), "Ctrl+S", true, "Ctrl+S"},
    KeyCommand{"saveAs", TR("名前を付けて保存"), "", true, nullptr},
    KeyCommand{"export", TR("Wav出力"), "", true, ""},
    KeyCommand{"midiExport", TR("MIDI出力"), "", true, ""},
    KeyCommand{"midiImport", TR("MIDI読み込み…"), "", true, ""},
    KeyCommand{"exit", TR("終了"), "Alt+F4", true, nullptr},
    KeyCommand{"undo", TR("元に戻す"), "Ctrl+Z", true, nullptr},
    KeyCommand{"redo", TR("やり直し"), "Ctrl+Y", true, nullptr, "Ctrl+Shift+Z"},
    KeyCommand{"cut", TR("切り取り"), "Ctrl+X", true, nullptr},
    KeyCommand{"copy", TR("コピー"), "Ctrl+C", true, nullptr},
    KeyCommand{"paste", TR("貼り付け"), "Ctrl+V", true, nullptr},
    KeyCommand{"selectAll", TR("すべて選択"), "Ctrl+A", true, nullptr},
    KeyCommand{"find", TR("検索"), "Ctrl+F", true, nullptr},
    KeyCommand{"findNext", TR("次を検索"), "F3", true, nullptr},
    KeyCommand{"findPrevious", TR("前を検索"), "Shift+F3", true, nullptr},
    KeyCommand{"zoomIn", TR("文字を大きく"), "Ctrl++", true, nullptr, "Ctrl+="},
    KeyCommand{"zoomOut", TR("文字を小さく"), "Ctrl+-", true, nullptr},
    KeyCommand{"zoomReset", TR("文字を標準の大きさに"), "Ctrl+0", true, nullptr},
    KeyCommand{"speakCaret", TR("カーソル位置を読み上げ"), "F8", true, nullptr},
    KeyCommand{"speakPlayhead", TR("再生位置を読み上げ"), "Shift+F8", true, nullptr},
    KeyCommand{"reference", TR("MMLリファレンス"), "", true, ""},
    KeyCommand{"firstSteps", TR("はじめの一歩"), "", true, ""},
};

#undef TR

constexpr std::array<std::string_view, 4> kModifiers = {"Ctrl", "Alt", "Shift", "Meta"};

bool sameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::span<const KeyCommand> keyCommands() { return kCommands; }

const KeyCommand* keyCommand(std::string_view id) {
    for (const KeyCommand& c : kCommands)
        if (c.id == id) return &c;
    return nullptr;
}

std::string normalizeKeys(std::string_view keys) {
    // "Ctrl++" names the plus key: a "+" that follows a "+" (or starts the text) is the key.
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i < keys.size(); ++i) {
        const char c = keys[i];
        if (c == ' ') continue;
        if (c == '+' && !part.empty()) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    bool held[kModifiers.size()] = {};
    std::string key;
    for (const std::string& p : parts) {
        const auto m = std::find_if(kModifiers.begin(), kModifiers.end(), [&](std::string_view name) {
            return sameLetters(p, name) || (name == "Ctrl" && sameLetters(p, "Control"));
        });
        if (m != kModifiers.end()) {
            held[m - kModifiers.begin()] = true;
        } else {
            if (!key.empty()) return {};  // two keys at once
            key = p;
        }
    }
    if (key.empty()) return {};
    // "f5" -> "F5", "pgdown" -> "Pgdown"; a letter alone upper case.
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    key[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])));
    std::string out;
    for (size_t i = 0; i < kModifiers.size(); ++i)
        if (held[i]) out.append(kModifiers[i]).append("+");
    return out + key;
}

std::span<const KeyCommand> KeyMap::commands() const { return kCommands; }

bool KeyMap::has(const KeyCommand& command) const {
    return m_frontEnd == KeyFrontEnd::Window ? command.window : command.pageKeys != nullptr;
}

std::string KeyMap::defaultKeysOf(const KeyCommand& command) const {
    return m_frontEnd == KeyFrontEnd::Window ? command.keys : command.pageKeys ? command.pageKeys : "";
}

std::string KeyMap::keysOf(std::string_view id) const {
    if (const auto it = m_chosen.find(id); it != m_chosen.end()) return it->second;
    const KeyCommand* c = keyCommand(id);
    return c && has(*c) ? defaultKeysOf(*c) : std::string();
}

std::vector<std::string> KeyMap::allKeysOf(std::string_view id) const {
    std::vector<std::string> out;
    const KeyCommand* c = keyCommand(id);
    if (!c || !has(*c)) return out;
    const std::string keys = keysOf(id);
    if (!keys.empty()) out.push_back(keys);
    if (c->also && m_frontEnd == KeyFrontEnd::Window && !m_chosen.count(c->id)) out.emplace_back(c->also);
    return out;
}

std::optional<std::string> KeyMap::set(std::string_view id, std::string_view keys) {
    const KeyCommand* command = keyCommand(id);
    if (!command || !has(*command)) return std::string(id);
    const std::string wanted = normalizeKeys(keys);
    if (!wanted.empty()) {
        for (const KeyCommand& other : kCommands) {
            if (other.id == id || !has(other)) continue;
            const std::vector<std::string> taken = allKeysOf(other.id);
            if (std::find(taken.begin(), taken.end(), wanted) != taken.end()) return std::string(other.id);
        }
    }
    if (wanted == defaultKeysOf(*command)) m_chosen.erase(std::string(id));
    else m_chosen[std::string(id)] = wanted;
    return std::nullopt;
}

std::string KeyMap::save() const {
    std::string out;
    for (const auto& [id, keys] : m_chosen) out.append(out.empty() ? "" : ";").append(id).append("=").append(keys);
    return out;
}

KeyMap KeyMap::load(std::string_view saved, KeyFrontEnd frontEnd) {
    KeyMap map(frontEnd);
    for (size_t at = 0; at < saved.size();) {
        const size_t end = std::min(saved.find(';', at), saved.size());
        const std::string_view entry = saved.substr(at, end - at);
        at = end + 1;
        const size_t eq = entry.find('=');
        if (eq == std::string_view::npos) continue;
        const KeyCommand* command = keyCommand(entry.substr(0, eq));
        const std::string keys = normalizeKeys(entry.substr(eq + 1));
        if (!command || !map.has(*command) || (keys.empty() && eq + 1 < entry.size())) continue;
        if (keys == map.defaultKeysOf(*command)) map.m_chosen.erase(std::string(command->id));
        else map.m_chosen[std::string(command->id)] = keys;
    }
    // Two commands on one key (a text written by hand, or a default that moved onto a chosen
    // key): the later chosen one goes back to its default, until every key runs one command.
    for (bool clash = true; clash;) {
        clash = false;
        std::map<std::string, const KeyCommand*> holders;
        for (const KeyCommand& c : kCommands) {
            if (!map.has(c)) continue;
            const std::string keys = map.keysOf(c.id);
            if (keys.empty()) continue;
            const auto [it, fresh] = holders.emplace(keys, &c);
            if (fresh) continue;
            const bool laterChosen = map.m_chosen.count(c.id) != 0;
            const KeyCommand* undo = laterChosen ? &c : it->second;
            if (!map.m_chosen.erase(undo->id)) continue;  // both defaults: the table never does that
            clash = true;
            break;
        }
    }
    return map;
}

std::string keyTakenText(std::string_view keys, const KeyCommand& holder) {
    std::string text = uiText(TAVOLIN_TR_NOOP("Texts", "{keys} は「{command}」が使っています。先にそちらのキーを変えてください。"));
    text = document::fillIn(text, "keys", keys);
    return document::fillIn(text, "command", uiText(holder.caption));
}

}  // namespace tavolin::window
