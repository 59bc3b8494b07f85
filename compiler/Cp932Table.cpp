// CP932 by tables: decoding reads them directly; encoding inverts them once, then applies the
// sequences iconv prefers where a character has several.
#include "compiler/Cp932Table.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

#include "compiler/Cp932.h"

namespace tavolin {
namespace {

#include "compiler/Cp932Table.inc"

constexpr uint16_t kNone = 0xFFFF;
constexpr int kTrails = 0xFC - 0x40 + 1;

int leadIndex(unsigned char c) { return c <= 0x9F ? c - 0x81 : c - 0xE0 + (0x9F - 0x81 + 1); }

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The code point at `i` and its length; length 0 for a malformed sequence (overlong, surrogate,
// beyond U+10FFFF, cut short), which iconv refuses too.
size_t readUtf8(std::string_view s, size_t i, char32_t& cp) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    cp = n == 1 ? c : c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        const auto t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (t & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// Code point -> bytes (a byte, or lead << 8 | trail), kNone for none.
const std::array<uint16_t, 0x10000>& encodeTable() {
    static const auto table = [] {
        auto t = std::make_unique<std::array<uint16_t, 0x10000>>();
        t->fill(kNone);
        for (int b = 0xFF; b >= 0; --b) {
            if (kCp932Single[b] != kNone) (*t)[kCp932Single[b]] = static_cast<uint16_t>(b);
        }
        // Backwards, so that the first sequence decoding to a code point is the one kept.
        for (int i = static_cast<int>(std::size(kCp932Double)) - 1; i >= 0; --i) {
            const uint16_t cp = kCp932Double[i];
            if (cp == kNone) continue;
            const int leadIdx = i / kTrails;
            const int lead = leadIdx < 0x9F - 0x81 + 1 ? 0x81 + leadIdx : 0xE0 + leadIdx - (0x9F - 0x81 + 1);
            const bool singleFirst = (*t)[cp] != kNone && (*t)[cp] < 0x100;
            if (!singleFirst) (*t)[cp] = static_cast<uint16_t>(lead << 8 | (0x40 + i % kTrails));
        }
        for (const auto& [cp, bytes] : kCp932EncodeExceptions) (*t)[cp] = bytes;
        return t;
    }();
    return *table;
}

}  // namespace

std::optional<std::string> utf8ToCp932ByTable(std::string_view utf8) {
    const auto& table = encodeTable();
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        const size_t n = readUtf8(utf8, i, cp);
        if (n == 0 || cp > 0xFFFF || table[cp] == kNone) return std::nullopt;
        const uint16_t bytes = table[cp];
        if (bytes >= 0x100) out += static_cast<char>(bytes >> 8);
        out += static_cast<char>(bytes & 0xFF);
        i += n;
    }
    return out;
}

std::string cp932ToUtf8ByTable(std::string_view cp932) {
    std::string out;
    out.reserve(cp932.size() * 3 / 2);
    for (size_t i = 0; i < cp932.size();) {
        const auto c = static_cast<unsigned char>(cp932[i]);
        uint16_t cp = kNone;
        size_t used = 1;
        if (isCp932LeadByte(c)) {
            // A lead byte and whatever follows it make one character, or one bad one.
            used = std::min<size_t>(2, cp932.size() - i);
            const auto t = used == 2 ? static_cast<unsigned char>(cp932[i + 1]) : 0;
            if (used == 2 && t >= 0x40 && t <= 0xFC) cp = kCp932Double[leadIndex(c) * kTrails + (t - 0x40)];
        } else {
            cp = kCp932Single[c];
        }
        appendUtf8(out, cp == kNone ? U'\uFFFD' : cp);
        i += used;
    }
    return out;
}

}  // namespace tavolin
