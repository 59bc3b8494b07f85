// SPDX-License-Identifier: MIT
// What an MML command does with the values written in it, in one or two lines of the display
// language, for hovering over a command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "music/DocumentFeatures.h"

namespace tavolin::music {

struct CommandHelp {
    uint32_t begin = 0;  // the command's bytes in the text
    uint32_t end = 0;
    std::string text;    // Markdown: the command in bold, what it does
    friend bool operator==(const CommandHelp&, const CommandHelp&) = default;
};

// The command that holds byte `offset` of `text` (one tab's text). Notes,
// rests, comments, macro marks and bytes the compiler refuses have none.
std::optional<CommandHelp> commandHelpAt(std::string_view text, uint32_t offset);

// What a macro mark does ("@!A", "!A", "!").
std::string macroMarkHelp(const MacroMark& mark);

}  // namespace tavolin::music
