// SPDX-License-Identifier: MIT
// The window's English texts for the front ends without Qt (the command line,
// the language server, the page): a table compiled from its translation file.
#pragma once

#include <string>

namespace tavolin::texts {

// The English of a Japanese display text, from the window's translation file
// (app/qt/translations/tavolin_en.ts, compiled into a table); the source itself
// when the file has none.
std::string englishText(const char* source);

}  // namespace tavolin::texts
