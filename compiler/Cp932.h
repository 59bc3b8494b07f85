// SPDX-License-Identifier: MIT
// Conversion between CP932 byte strings (how documents are stored) and UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavolin {

// True for the first byte of a CP932 double-byte character.
constexpr bool isCp932LeadByte(unsigned char c) noexcept {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// True for a byte that can follow a lead byte as the second of a double-byte character.
constexpr bool isCp932TrailByte(unsigned char c) noexcept {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// UTF-8 -> CP932; nullopt when a character has no CP932 form or the input is
// not valid UTF-8 (nothing is dropped silently).
std::optional<std::string> utf8ToCp932(std::string_view utf8);

// CP932 -> UTF-8; bytes that do not form a CP932 character become U+FFFD.
std::string cp932ToUtf8(std::string_view cp932);

}  // namespace tavolin
