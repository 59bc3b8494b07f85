// SPDX-License-Identifier: MIT
// The user's keys: how a key is written, a key taken refused by name, what is kept and what a
// damaged text costs.
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "window/KeyMap.h"

namespace tavolin::window {
namespace {

TEST(KeyMap, KeysAreWrittenOneWay) {
    const std::pair<const char*, const char*> rows[] = {
        {"ctrl+shift+z", "Ctrl+Shift+Z"}, {"Shift+Ctrl+Z", "Ctrl+Shift+Z"}, {"control+l", "Ctrl+L"}, {"f5", "F5"},
        {"Meta+Alt+F4", "Alt+Meta+F4"}, {"Ctrl++", "Ctrl++"}, {"Ctrl + -", "Ctrl+-"}, {"Ctrl+", ""}, {"Ctrl+Shift", ""},
        {"A+B", ""}, {"", ""},
    };
    for (const auto& [typed, wanted] : rows) EXPECT_EQ(normalizeKeys(typed), wanted) << typed;
}

// Each row changes the map in turn: the command refused (the one holding the key) or none,
// then the keys of play, stop and loopPassage and the saved text.
TEST(KeyMap, ChangesRefuseATakenKeyByName) {
    struct Row {
        const char* id;
        const char* keys;
        const char* refusedBy;  // nullptr: set
        const char* play;
        const char* stop;
        const char* saved;
    } rows[] = {
        {"play", "f7", nullptr, "F7", "F6", "play=F7"},
        {"stop", "F7", "play", "F7", "F6", "play=F7"},
        {"stop", "ctrl+l", "loopPassage", "F7", "F6", "play=F7"},
        {"play", "", nullptr, "", "F6", "play="},            // no key at all
        {"stop", "F5", nullptr, "", "F5", "play=;stop=F5"},  // F5 is free now
        {"play", "F5", "stop", "", "F5", "play=;stop=F5"},
        {"stop", "F6", nullptr, "", "F6", "play="},          // back to the default: not kept
        {"nothing", "F9", "nothing", "", "F6", "play="},
        {"find", "Ctrl+Shift+Z", "redo", "", "F6", "play="},  // redo's second key
        {"redo", "Ctrl+R", nullptr, "", "F6", "play=;redo=Ctrl+R"},
        {"find", "Ctrl+Shift+Z", nullptr, "", "F6", "find=Ctrl+Shift+Z;play=;redo=Ctrl+R"},  // free once redo has its own
    };
    KeyMap map;
    for (const Row& r : rows) {
        const auto refused = map.set(r.id, r.keys);
        EXPECT_EQ(refused.value_or("(set)"), r.refusedBy ? r.refusedBy : "(set)") << r.id << "=" << r.keys;
        EXPECT_EQ(map.keysOf("play"), r.play) << r.id << "=" << r.keys;
        EXPECT_EQ(map.keysOf("stop"), r.stop) << r.id << "=" << r.keys;
        EXPECT_EQ(map.save(), r.saved) << r.id << "=" << r.keys;
        EXPECT_EQ(KeyMap::load(map.save()).save(), map.save()) << "kept as it was";
    }
    map.reset();
    EXPECT_EQ(map.keysOf("play"), "F5");
    EXPECT_EQ(map.save(), "");
}

TEST(KeyMap, LoadingKeepsWhatItCanOfADamagedText) {
    const std::pair<const char*, const char*> rows[] = {
        {"play=F6;stop=F5", "play=F6;stop=F5"},        // swapped in one go
        {"play=F6", ""},                               // F6 is stop's: play keeps F5
        {"play=F9;stop=F9", "play=F9"},                // taken twice: the later goes back
        {"play=Ctrl+;bogus=F2;stop", ""},              // no key, an unknown command, no "="
        {"exit=Ctrl+Q;;find=ctrl+g", "exit=Ctrl+Q;find=Ctrl+G"},
    };
    for (const auto& [text, kept] : rows) EXPECT_EQ(KeyMap::load(text).save(), kept) << text;
}

// The page has fewer commands and leaves Ctrl+N to the browser.
TEST(KeyMap, ThePageHasItsOwnCommands) {
    KeyMap page(KeyFrontEnd::Page);
    EXPECT_EQ(page.keysOf("play"), "F5");
    EXPECT_EQ(page.keysOf("new"), "");
    EXPECT_EQ(page.set("exit", "Ctrl+Q").value_or(""), "exit") << "the page has no Exit";
    EXPECT_FALSE(page.set("new", "Ctrl+Alt+N")) << "Ctrl+Alt+N is the browser's to leave";
    EXPECT_EQ(KeyMap::load("exit=Ctrl+Q;new=Ctrl+Alt+N", KeyFrontEnd::Page).save(), "new=Ctrl+Alt+N");
}

// docs/keys.md lists every command with its keys in both front ends, as the table has them.
TEST(KeyMap, TheKeysPageListsTheTable) {
    std::ifstream in(std::string(TAVOLIN_SOURCE_DIR) + "/docs/keys.md");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("| `")) lines.push_back(line);
    const KeyMap page(KeyFrontEnd::Page);
    ASSERT_EQ(lines.size(), keyCommands().size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const KeyCommand& c = keyCommands()[i];
        const auto shown = [](std::string keys) { return keys.empty() ? std::string("none") : keys; };
        const std::string head = "| `" + std::string(c.id) + "` | " + c.caption + " (";
        const std::string tail = ") | " + shown(c.keys) + " | " + (page.has(c) ? shown(page.defaultKeysOf(c)) : "—") + " |";
        EXPECT_TRUE(lines[i].starts_with(head) && lines[i].ends_with(tail)) << lines[i] << "\nwanted " << head << "… " << tail;
    }
}

}  // namespace
}  // namespace tavolin::window
