// SPDX-License-Identifier: MIT
// The MML reference: every command of the language, in the groups a reader
// learns them in, each with one line on what it does and a short example
// that plays on its own. One table for every place that teaches MML.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tavolin::music {

struct MmlReferenceEntry {
    const char* group;    // its group's title (a text to translate)
    const char* heads;    // the command's heads as the parser reads them, separated by spaces ("C D E F G A B", "@ED")
    const char* syntax;   // how it is written: n a number, (…) optional, … more of the same
    const char* what;     // one line on what it does (a text to translate)
    const char* example;  // a bank's text that plays on its own (no common text needed)
};

// Every entry, grouped: the entries of a group follow each other, groups in
// the order they are best learnt.
std::span<const MmlReferenceEntry> mmlReference();

// The entry that explains a command written out ("T120", "@ED1:2:3:4:5:6",
// "]3"): the one whose head starts it, the longest such head; nullptr for
// none.
const MmlReferenceEntry* mmlReferenceFor(std::string_view command);

// The reference's part of a hover text, in Markdown: how the command is
// written, what it does and its example.
std::string mmlReferenceHover(const MmlReferenceEntry& entry);

// The reference as Markdown in the display language: a third-level heading
// and a table (command, what it does, example) per group.
std::string mmlReferenceMarkdown();

}  // namespace tavolin::music
