// tavolin-cli's display language: the window's English texts, without Qt.
#pragma once

#include <string>

namespace tavolin::cli {

// The English of a Japanese display text, from the window's translation file
// (app/qt/translations/tavolin_en.ts, compiled into a table); the source itself
// when the file has none.
std::string englishText(const char* source);

// Chooses the language from LC_ALL, LC_MESSAGES and LANG and installs it for every
// text the layers below show.
void useLocaleLanguage();

}  // namespace tavolin::cli
