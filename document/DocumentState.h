// SPDX-License-Identifier: MIT
// The document a window holds: its texts, file, modified flag and clean state.
#pragma once

#include <optional>
#include <string>

#include "document/DocumentFormat.h"

namespace tavolin::document {

// The window's document. The window model owns it; the commands change it.
struct DocumentState {
    TabTexts tabTexts;     // CP932, line breaks CR LF
    std::string filePath;  // full path, empty = untitled
    bool modified = false;
    int selectedTab = 0;   // 0 common, 1..5 banks; the commands never change it
    // The texts as last saved, opened or cleared: an edit that brings the
    // texts back to them (undo, retyping) leaves the document clean. None
    // when no clean state is known (a recovered document).
    std::optional<TabTexts> cleanTexts = TabTexts{};
};

}  // namespace tavolin::document
