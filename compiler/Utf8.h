// SPDX-License-Identifier: MIT
// Reading UTF-8 one character at a time, strictly: the one decoder of the
// editor's text, the files read as UTF-8, the page's text and the CP932 tables.
#pragma once

#include <cstddef>
#include <string_view>

namespace tavolin {

struct Utf8Char {
    char32_t codePoint = 0;
    std::size_t length = 0;  // bytes; 0: no character starts here (malformed, overlong, a surrogate, cut off)
};

// The character that starts at s[i] (i < s.size()). Only shortest forms of
// U+0000..U+10FFFF outside the surrogates count.
constexpr Utf8Char decodeUtf8(std::string_view s, std::size_t i) noexcept {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) return {b0, 1};
    std::size_t len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1Fu;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0Fu;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07u;
        min = 0x10000;
    } else {
        return {};
    }
    if (i + len > s.size()) return {};
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return {};
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {};
    return {cp, len};
}

// The bytes to step over at s[i]: the character's length, or 1 for a byte
// that starts none, so that a walk over text that may be malformed moves on.
constexpr std::size_t utf8StepAt(std::string_view s, std::size_t i) noexcept {
    const std::size_t length = decodeUtf8(s, i).length;
    return length == 0 ? 1 : length;
}

}  // namespace tavolin
