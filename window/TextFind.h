// SPDX-License-Identifier: MIT
// Find in the current tab: the next or previous place of a text, around the end.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace tavolin::window {

struct FoundRange {
    size_t start = 0;
    size_t end = 0;
    friend bool operator==(const FoundRange&, const FoundRange&) = default;
};

// Where `needle` occurs in `text` (UTF-16, as the editor holds it), ASCII
// letters matched without regard to case. Forward: the first place at or
// after the selection's end (a found text is selected, so the next search
// moves on); backward: the last place starting before the selection's start.
// Either way around the end of the text when nothing lies beyond. nullopt for
// an empty needle or none at all.
std::optional<FoundRange> findText(std::u16string_view text, std::u16string_view needle, size_t selectionStart,
                                   size_t selectionEnd, bool backward);

}  // namespace tavolin::window
