// SPDX-License-Identifier: MIT
// Positions through edits: where a byte of a tab's text, as it was when the
// song was compiled, stands after the edits made since.
#pragma once

#include <cstdint>
#include <string_view>
#include <optional>
#include <span>

namespace tavolin::session {

// One change of a text: `removed` bytes at `position` replaced by `inserted`
// bytes. `position` counts in the text as it stood just before this change.
struct TextEdit {
    uint64_t position = 0;
    uint64_t removed = 0;
    uint64_t inserted = 0;
    friend bool operator==(const TextEdit&, const TextEdit&) = default;
};

// A stretch of bytes [offset, offset + length).
struct ByteSpan {
    uint64_t offset = 0;
    uint64_t length = 0;
    friend bool operator==(const ByteSpan&, const ByteSpan&) = default;
};

// The new offset of the byte at old `offset` after `edits` (in the order
// they were made), or nullopt when an edit removed it. Text inserted right
// at a byte goes in front of it, so the byte moves on.
std::optional<uint64_t> mapOffset(std::span<const TextEdit> edits, uint64_t offset) noexcept;

// The span after the edits: it lives as long as its first byte does (a
// command is known by where it starts; its digits may change). Its end
// follows the byte after it, and bytes inserted inside it belong to it; when
// an edit removes its end, the span ends where that edit's new text ends.
std::optional<ByteSpan> mapSpan(std::span<const TextEdit> edits, ByteSpan span) noexcept;

// The one change that turns `before` into `after`, keeping their common
// start and their common end (the rest of the common end when the two
// overlap): what a whole-file save tells of an edit. Removed 0 and
// inserted 0 when the texts are equal.
TextEdit changeBetween(std::string_view before, std::string_view after) noexcept;

}  // namespace tavolin::session
