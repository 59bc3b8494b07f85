// SPDX-License-Identifier: MIT
// Where a compile error lies as the editor shows the text: tab, line and
// column, the range to underline, and the status bar's line. No threads: the
// live checker, the window and the web page all use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "compiler/ParseMml.h"
#include "document/DocumentFormat.h"

namespace tavolin::music {

// Where a compile error lies in the window: the tab (0 common, 1..5 banks
// A..E; -1 the internal code), the line and column as the editor shows them
// (1-based; a CP932 double-byte character and a CR LF break count one), and
// the editor range (UTF-16 positions in that tab) to underline: from the
// start of the offending command to the last character the compiler read.
struct ErrorPlace {
    int tab = -1;
    uint64_t line = 1;
    uint64_t column = 1;
    size_t underlineStart = 0;
    size_t underlineEnd = 0;
    friend bool operator==(const ErrorPlace&, const ErrorPlace&) = default;
};

// nullopt for success and for a refusal (bank -3).
std::optional<ErrorPlace> placeCompileError(const CompileResult& result, const document::TabTexts& tabs);

// The status bar's line for an error: "B 3:12 ボリューム値が範囲外" (tab, line:column,
// the compiler's message); "共通" for the common text, "内部" for the internal code.
std::string errorStatusText(const CompileResult& result, const ErrorPlace& place);

}  // namespace tavolin::music
