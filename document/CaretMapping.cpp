// SPDX-License-Identifier: MIT
// Unit walk over CP932 bytes: the one place where editor positions meet byte offsets.
#include "document/CaretMapping.h"

#include "compiler/Cp932.h"
#include "compiler/Utf8.h"
#include "document/DocumentFormat.h"

namespace tavolin::document {
namespace {

constexpr bool isTrailByte(unsigned char c) noexcept { return isCp932TrailByte(c); }

// Decodes one UTF-8 sequence at `i`; returns its length (1 for a byte that
// starts none) and the code point (U+FFFD for such a byte).
size_t decodeUtf8(std::string_view s, size_t i, char32_t& cp) noexcept {
    const Utf8Char c = tavolin::decodeUtf8(s, i);
    cp = c.length == 0 ? char32_t{0xFFFD} : c.codePoint;
    return utf8StepAt(s, i);
}

}  // namespace

size_t unitLengthAt(std::string_view bytes, size_t offset) noexcept {
    if (offset >= bytes.size()) return 0;
    const auto c = static_cast<unsigned char>(bytes[offset]);
    const bool hasNext = offset + 1 < bytes.size();
    if (c == '\r') return hasNext && bytes[offset + 1] == '\n' ? 2 : 1;
    if (isCp932LeadByte(c) && hasNext && isTrailByte(static_cast<unsigned char>(bytes[offset + 1]))) return 2;
    return 1;
}

size_t unitCount(std::string_view bytes) noexcept {
    size_t units = 0;
    for (size_t i = 0; i < bytes.size(); i += unitLengthAt(bytes, i)) ++units;
    return units;
}

uint64_t unitToByteOffset(std::string_view bytes, size_t unitPos) noexcept {
    // Called per keystroke over the whole tab: ASCII other than CR (one byte,
    // one unit) is stepped without the call.
    size_t i = 0;
    for (size_t u = 0; u < unitPos && i < bytes.size(); ++u) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        i += c < 0x80 && c != '\r' ? 1 : unitLengthAt(bytes, i);
    }
    return i;
}

size_t byteOffsetToUnit(std::string_view bytes, uint64_t byteOffset, bool roundUp) noexcept {
    size_t units = 0;
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t len = unitLengthAt(bytes, i);
        if (byteOffset < i + len) {
            // Inside this unit (or at its start).
            return (byteOffset > i && roundUp) ? units + 1 : units;
        }
        i += len;
        ++units;
    }
    return units;
}

std::string bytesToEditorText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    std::string run; // units that iconv converts one character each
    auto flush = [&] {
        if (!run.empty()) {
            out += cp932ToUtf8(run);
            run.clear();
        }
    };
    for (size_t i = 0; i < bytes.size();) {
        const size_t len = unitLengthAt(bytes, i);
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' || c == '\n') {
            flush();
            out += '\n';
        } else if (len == 1 && isCp932LeadByte(c)) {
            // A lead byte without its trail: shown as one replacement character. Kept
            // out of the run so that the converter cannot pair it with the next byte.
            flush();
            out += "\xEF\xBF\xBD";
        } else {
            run.append(bytes.substr(i, len));
        }
        i += len;
    }
    flush();
    return out;
}

namespace {

std::string normaliseBreaks(std::string_view utf8) {
    std::string s;
    s.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\r') {
            s += '\n';
            if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
        } else {
            s += utf8[i];
        }
    }
    return s;
}

}  // namespace

std::optional<std::string> editorTextToBytes(std::string_view utf8) {
    auto cp932 = utf8ToCp932(normaliseBreaks(utf8));
    if (!cp932) return std::nullopt;
    return textModeWrite(*cp932);  // stored breaks are CR LF
}

size_t utf16Length(std::string_view utf8) noexcept {
    size_t n = 0;
    char32_t cp = 0;
    for (size_t i = 0; i < utf8.size();) {
        i += decodeUtf8(utf8, i, cp);
        n += cp >= 0x10000 ? 2 : 1;
    }
    return n;
}

std::string firstUnencodableChar(std::string_view utf8) {
    if (utf8ToCp932(utf8)) return {};
    char32_t cp = 0;
    for (size_t i = 0; i < utf8.size();) {
        const size_t len = decodeUtf8(utf8, i, cp);
        const std::string_view one = utf8.substr(i, len);
        if (!utf8ToCp932(one)) return std::string(one);
        i += len;
    }
    return {};
}

std::string upperCaseAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

}  // namespace tavolin::document
