// SPDX-License-Identifier: MIT
// Find in the current tab.
#include "window/TextFind.h"

#include <algorithm>

namespace tavolin::window {
namespace {

char16_t folded(char16_t c) noexcept { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool matchesAt(std::u16string_view text, std::u16string_view needle, size_t at) noexcept {
    for (size_t i = 0; i < needle.size(); ++i)
        if (folded(text[at + i]) != folded(needle[i])) return false;
    return true;
}

}  // namespace

std::optional<FoundRange> findText(std::u16string_view text, std::u16string_view needle, size_t selectionStart,
                                   size_t selectionEnd, bool backward) {
    if (needle.empty() || needle.size() > text.size()) return std::nullopt;
    const size_t places = text.size() - needle.size() + 1;  // starts 0 .. places - 1
    // Every start once: from beside the selection on, then around the end.
    const size_t first = backward ? std::min(selectionStart, places) : std::min(selectionEnd, places);
    for (size_t k = 0; k < places; ++k) {
        const size_t at = backward ? (first + places - 1 - k) % places : (first + k) % places;
        if (matchesAt(text, needle, at)) return FoundRange{at, at + needle.size()};
    }
    return std::nullopt;
}

}  // namespace tavolin::window
