// SPDX-License-Identifier: MIT
// Placing a compile error in the editor's lines, columns and UTF-16 ranges.
#include "music/ErrorPlace.h"

#include <algorithm>

#include "compiler/ErrorTable.h"
#include "compiler/UiText.h"
#include "document/CaretMapping.h"
#include "music/MmlClasses.h"
#include "output/SongBuilder.h"

namespace tavolin::music {

std::optional<ErrorPlace> placeCompileError(const CompileResult& result, const document::TabTexts& tabs) {
    if (result.code == 0 || result.bank == -3) return std::nullopt;
    ErrorPlace place;
    if (result.bank < -1 || result.bank >= kBankCount) {
        place.column = result.position;  // the internal code is one line
        return place;
    }
    place.tab = static_cast<int>(result.bank + 1);
    const std::string_view bytes = tabs[static_cast<size_t>(place.tab)];
    // The last byte the compiler read, which the error jump selects too; the
    // report of Play names the same line and column.
    const uint64_t at = std::min<uint64_t>(result.position == 0 ? 0 : result.position - 1, bytes.size());
    const output::TextPlace where = output::errorTextPlace(bytes, result.position);
    place.line = where.line;
    place.column = where.column;
    const size_t lineStart = static_cast<size_t>(where.lineStart);
    // Underline the whole command: classify its line and take the range that
    // holds the byte (a command never spans lines).
    size_t lineEnd = bytes.find_first_of("\r\n", lineStart);
    if (lineEnd == std::string_view::npos) lineEnd = bytes.size();
    MmlClassState state;
    uint64_t from = at;
    for (const MmlClassRange& r : classifyMml(bytes.substr(lineStart, lineEnd - lineStart), state)) {
        if (lineStart + r.begin <= at && at < lineStart + r.begin + r.length) {
            from = lineStart + r.begin;
            break;
        }
    }
    place.underlineStart = document::byteOffsetToUnit(bytes, from);
    place.underlineEnd = std::max(place.underlineStart + 1, document::byteOffsetToUnit(bytes, at + 1, true));
    return place;
}

std::string errorStatusText(const CompileResult& result, const ErrorPlace& place) {
    std::string label = place.tab < 0    ? uiText(TAVOLIN_TR_NOOP("Texts", "内部"))
                        : place.tab == 0 ? uiText(TAVOLIN_TR_NOOP("Texts", "共通"))
                                         : std::string(1, static_cast<char>('A' + place.tab - 1));
    return label + " " + std::to_string(place.line) + ":" + std::to_string(place.column) + " " +
           uiText(errorMessage(result.code));
}

}  // namespace tavolin::music
