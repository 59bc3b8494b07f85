// SPDX-License-Identifier: MIT
// CP932 <-> UTF-8 by tables, stepping through the bytes as the iconv-based
// conversion does (compiler/Cp932.cpp), so that both give the same text.
#include "app/web/Cp932Table.h"

#include <algorithm>
#include <cstdint>

#include "compiler/Cp932.h"
#include "compiler/Utf8.h"

namespace tavolin::cp932table {
namespace {

#include "cp932_table.inc"

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// A byte the conversion reads as the first of two: no character alone, the
// start of some pair.
bool startsPair(unsigned char b) {
    if (b < 0x80 || kCp932Single[b] != 0xFFFF) return false;
    const uint16_t* row = kCp932Double + (b - 0x80) * 256;
    return std::any_of(row, row + 256, [](uint16_t cp) { return cp != 0; });
}

// The next code point of strict UTF-8, or -1.
long nextCodePoint(std::string_view s, size_t& i) {
    const Utf8Char c = decodeUtf8(s, i);
    if (c.length == 0) return -1;
    i += c.length;
    return static_cast<long>(c.codePoint);
}

}  // namespace

std::optional<std::string> fromUtf8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const long cp = nextCodePoint(utf8, i);
        if (cp < 0 || cp > 0xFFFF) return std::nullopt;
        const auto it = std::lower_bound(std::begin(kCp932Encode), std::end(kCp932Encode), cp,
                                         [](const Cp932Code& c, long v) { return c.codePoint < v; });
        if (it == std::end(kCp932Encode) || it->codePoint != cp) return std::nullopt;
        if (it->bytes > 0xFF) out += static_cast<char>(it->bytes >> 8);
        out += static_cast<char>(it->bytes & 0xFF);
    }
    return out;
}

std::string toUtf8(std::string_view in) {
    std::string out;
    out.reserve(in.size() * 3 / 2);
    for (size_t i = 0; i < in.size();) {
        const auto b = static_cast<unsigned char>(in[i]);
        if (kCp932Single[b] != 0xFFFF) {
            appendUtf8(out, kCp932Single[b]);
            ++i;
            continue;
        }
        if (startsPair(b) && i + 1 < in.size()) {
            const uint16_t cp = kCp932Double[(b - 0x80) * 256 + static_cast<unsigned char>(in[i + 1])];
            if (cp != 0) {
                appendUtf8(out, cp);
                i += 2;
                continue;
            }
        }
        // What the iconv-based conversion does at a bad sequence: one U+FFFD,
        // a lead byte taking its second byte with it.
        out += "\xEF\xBF\xBD";
        i += (in.size() - i >= 2 && isCp932LeadByte(b)) ? 2 : 1;
    }
    return out;
}

}  // namespace tavolin::cp932table
