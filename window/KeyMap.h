// SPDX-License-Identifier: MIT
// The keys of the commands, the user's own where they chose them: every command a key can run,
// its caption and its key out of the box, which front ends have it, and the rules of changing
// one (a key taken by another command is refused, naming it). One table for the window and the
// page, kept as a short text of the changes (the window's settings, the browser's storage).
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavolin::window {

struct KeyCommand {
    const char* id;           // "play": the window's action and the page's command of that name
    const char* caption;      // as the menus say it (a text to translate)
    const char* keys;         // out of the box, "Ctrl+L" ("" none)
    bool window;              // the window has it
    const char* pageKeys;     // the page's key out of the box (nullptr: the page has no such command)
    const char* also = nullptr;  // a second key the window gives it while it keeps its own ("Ctrl+Shift+Z" for redo)
};

// Every command, in the order the key editors list them.
std::span<const KeyCommand> keyCommands();
const KeyCommand* keyCommand(std::string_view id);

// "ctrl+shift+z", "Shift+Ctrl+Z" -> "Ctrl+Shift+Z": modifiers in one order, the key's name
// with a capital; "" for text that names no key ("Ctrl+", "Ctrl+Shift").
std::string normalizeKeys(std::string_view keys);

enum class KeyFrontEnd { Window, Page };

class KeyMap {
public:
    explicit KeyMap(KeyFrontEnd frontEnd = KeyFrontEnd::Window) : m_frontEnd(frontEnd) {}

    // The commands of this front end, in the table's order.
    std::span<const KeyCommand> commands() const;
    bool has(const KeyCommand& command) const;
    // The key that runs `id` now: the user's, else the default ("" none).
    std::string keysOf(std::string_view id) const;
    std::string defaultKeysOf(const KeyCommand& command) const;
    // Every key that runs `id`: its key, and its second one while it keeps its key out of the box.
    std::vector<std::string> allKeysOf(std::string_view id) const;
    // Gives `id` the key `keys` ("" takes its key away). A key another command has is refused:
    // the answer is that command's id, and nothing changes. nullopt when it was set.
    std::optional<std::string> set(std::string_view id, std::string_view keys);
    // Every command back to its key out of the box.
    void reset() { m_chosen.clear(); }

    // The changes as text, "play=F7;stop=" (an empty key: none); and back. Unknown commands,
    // keys that name nothing and keys taken twice are left out, so a damaged text costs only
    // what it got wrong.
    std::string save() const;
    static KeyMap load(std::string_view saved, KeyFrontEnd frontEnd = KeyFrontEnd::Window);

private:
    KeyFrontEnd m_frontEnd;
    std::map<std::string, std::string, std::less<>> m_chosen;  // id -> normalized key, where not the default
};

// What the key editors say when a key is refused: "「{command}」が使っているキーです: {keys}".
std::string keyTakenText(std::string_view keys, const KeyCommand& holder);

}  // namespace tavolin::window
