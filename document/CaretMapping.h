// SPDX-License-Identifier: MIT
// Exact conversion between the editor's Unicode text (UTF-16 positions, "\n" breaks)
// and the stored CP932 tab text (byte offsets, CR LF breaks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavolin::document {

// The stored bytes are walked in "units", each of which the editor shows as exactly
// one UTF-16 code unit (CP932 has no character outside the Basic Multilingual Plane):
//   CR LF, a lone CR, a lone LF        -> one "\n"
//   a lead byte followed by a trail byte -> one character (U+FFFD when unmapped)
//   any other single byte              -> one character (U+FFFD when unmapped)
// A lead byte without a valid trail byte is a one-byte unit of its own.

// Length in bytes of the unit that starts at `offset` (0 at the end).
size_t unitLengthAt(std::string_view bytes, size_t offset) noexcept;

// Number of units (= UTF-16 length of the editor text) of the whole byte text.
size_t unitCount(std::string_view bytes) noexcept;

// Editor position (UTF-16 units) -> byte offset; positions past the end give the size.
uint64_t unitToByteOffset(std::string_view bytes, size_t unitPos) noexcept;

// Byte offset -> editor position. An offset inside a unit (between CR and LF, or
// between lead and trail byte) rounds down, or up when `roundUp`; offsets past the
// end give the unit count.
size_t byteOffsetToUnit(std::string_view bytes, uint64_t byteOffset, bool roundUp = false) noexcept;

// Stored bytes -> editor text (UTF-8, "\n" breaks), one character per unit.
std::string bytesToEditorText(std::string_view bytes);

// Editor text (UTF-8; "\n", "\r\n" or a lone "\r" as breaks) -> stored bytes with
// CR LF breaks; nullopt when a character has no CP932 form (never dropped silently).
std::optional<std::string> editorTextToBytes(std::string_view utf8);

// Number of UTF-16 code units of a UTF-8 text (the widget's position measure).
size_t utf16Length(std::string_view utf8) noexcept;

// The first character of `utf8` that CP932 cannot hold, as UTF-8; empty when all fit.
std::string firstUnencodableChar(std::string_view utf8);

// The editor's upper-casing of entering UTF-8 text: a to z become A to Z; every other
// character (full-width letters in comments included) stays as typed.
std::string upperCaseAscii(std::string_view text);

}  // namespace tavolin::document
