// SPDX-License-Identifier: MIT
// tavolin-cli's display language: the window's English texts (app/texts), without Qt.
#pragma once

#include <string>

namespace tavolin::cli {

// Chooses the language from LC_ALL, LC_MESSAGES and LANG and installs it for every
// text the layers below show.
void useLocaleLanguage();

}  // namespace tavolin::cli
