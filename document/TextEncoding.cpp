// SPDX-License-Identifier: MIT
// Telling UTF-8 files from CP932 ones by validity and by what their characters look like.
#include "document/TextEncoding.h"

#include <algorithm>

#include "compiler/Cp932.h"
#include "compiler/Utf8.h"
#include "compiler/UiText.h"
#include "document/UserTexts.h"

namespace tavolin::document {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// The code point starting at text[i] and its length; length 0 when malformed.
// Characters a Japanese MML file's comments are made of, read as UTF-8.
bool commonUnicode(char32_t c) noexcept {
    return (c >= 0xA0 && c <= 0xFF)          // Latin-1 letters and signs
           || (c >= 0x370 && c <= 0x4FF)     // Greek and Cyrillic
           || (c >= 0x2010 && c <= 0x2BFF)   // punctuation, arrows, ♪ ★ and other symbols
           || (c >= 0x3000 && c <= 0x30FF)   // CJK punctuation, hiragana, katakana
           || (c >= 0x3200 && c <= 0x33FF)   // enclosed and squared CJK
           || (c >= 0x4E00 && c <= 0x9FFF)   // CJK ideographs
           || (c >= 0xFF01 && c <= 0xFFEF)   // full-width and half-width forms
           || (c >= 0x1F300 && c <= 0x1FAFF); // emoji
}

// The same, read as CP932: symbols, full-width letters, kana, Greek/Cyrillic, NEC
// specials (circled numbers), first-level kanji; half-width kana.
bool commonCp932(unsigned char lead, unsigned char trail) noexcept {
    if (lead >= 0x81 && lead <= 0x84) return true;
    if (lead == 0x87) return true;
    if (lead >= 0x88 && lead <= 0x97) return true;
    return lead == 0x98 && trail <= 0x72;  // first level ends at 0x9872
}

bool isCp932Trail(unsigned char c) noexcept { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

struct Tally {
    size_t common = 0;
    size_t total = 0;  // non-ASCII characters
    bool valid = true;
};

Tally tallyUtf8(std::string_view s) noexcept {
    Tally t;
    for (size_t i = 0; i < s.size();) {
        const Utf8Char d = decodeUtf8(s, i);
        if (d.length == 0) {
            t.valid = false;
            return t;
        }
        if (d.codePoint >= 0x80) {
            ++t.total;
            if (commonUnicode(d.codePoint)) ++t.common;
        }
        i += d.length;
    }
    return t;
}

Tally tallyCp932(std::string_view s) noexcept {
    Tally t;
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        ++t.total;
        if (c >= 0xA1 && c <= 0xDF) {
            ++t.common;
            ++i;
        } else if (isCp932LeadByte(c) && i + 1 < s.size() && isCp932Trail(static_cast<unsigned char>(s[i + 1]))) {
            if (commonCp932(c, static_cast<unsigned char>(s[i + 1]))) ++t.common;
            i += 2;
        } else {
            t.valid = false;
            return t;
        }
    }
    return t;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) noexcept { return tallyUtf8(bytes).valid; }

FileEncoding detectEncoding(std::string_view fileBytes) noexcept {
    if (fileBytes.starts_with(kBom)) {
        return isValidUtf8(fileBytes.substr(kBom.size())) ? FileEncoding::Utf8 : FileEncoding::Cp932;
    }
    const Tally u = tallyUtf8(fileBytes);
    if (!u.valid || u.total == 0) return FileEncoding::Cp932;
    const Tally c = tallyCp932(fileBytes);
    if (!c.valid) return FileEncoding::Utf8;
    // Compare the shares common / total without division: u.common/u.total > c.common/c.total.
    return u.common * c.total > c.common * u.total ? FileEncoding::Utf8 : FileEncoding::Cp932;
}

DecodedFile decodeDocumentFile(std::string_view fileBytes) {
    DecodedFile d;
    d.encoding = detectEncoding(fileBytes);
    if (d.encoding == FileEncoding::Cp932) {
        d.bytes = std::string(fileBytes);
        return d;
    }
    std::string_view text = fileBytes.starts_with(kBom) ? fileBytes.substr(kBom.size()) : fileBytes;
    if (auto converted = utf8ToCp932(text)) {
        d.bytes = std::move(*converted);
        return d;
    }
    // Find every character that has no CP932 form, with its line.
    size_t line = 1;
    for (size_t i = 0; i < text.size();) {
        const Utf8Char c = decodeUtf8(text, i);
        if (c.codePoint == '\n') ++line;
        if (c.codePoint >= 0x80) {
            const std::string one(text.substr(i, c.length));
            if (!utf8ToCp932(one)) d.unencodable.push_back({line, one});
        }
        i += c.length;
    }
    if (d.unencodable.empty()) {  // the converter failed without a culprit: keep the bytes as they are
        d.encoding = FileEncoding::Cp932;
        d.bytes = std::string(fileBytes);
    }
    return d;
}

std::string unencodableMessage(const std::string& path, const std::vector<UnencodableChar>& chars, size_t limit,
                               size_t perLine) {
    std::string message = fillIn(uiText(text::kUtf8Unencodable), "file", path);
    // One row per line of the file, each of its characters once: a line of
    // Hangul is one row, not one per syllable.
    size_t rows = 0;
    for (size_t i = 0; i < chars.size();) {
        const size_t line = chars[i].line;
        std::vector<std::string> distinct;
        for (; i < chars.size() && chars[i].line == line; ++i)
            if (std::find(distinct.begin(), distinct.end(), chars[i].character) == distinct.end())
                distinct.push_back(chars[i].character);
        if (++rows > limit) continue;
        std::string shown;
        for (size_t k = 0; k < distinct.size() && k < perLine; ++k) {
            if (k) shown += ' ';
            shown += distinct[k];
        }
        if (distinct.size() > perLine) shown += " …";
        message += '\n';
        message += fillIn(fillIn(uiText(text::kUtf8UnencodableLine), "line", std::to_string(line)), "char", shown);
    }
    if (rows > limit) {
        message += '\n';
        message += fillIn(uiText(text::kUtf8UnencodableMore), "count", std::to_string(rows - limit));
    }
    return message;
}

}  // namespace tavolin::document
