// SPDX-License-Identifier: MIT
// Reader and writer of the document file: text-mode conversion, upper-casing and the record split.
#include "document/DocumentFormat.h"

#include <algorithm>

#include "compiler/Cp932.h"

namespace tavolin::document {
namespace {

constexpr std::string_view kCommonTag = "SMML@";
constexpr std::string_view kBankTag = "MML@";

constexpr bool isCp932TrailByte(unsigned char c) noexcept {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

}  // namespace

std::size_t cp932CharLength(std::string_view text, std::size_t pos) noexcept {
    if (pos + 1 < text.size() && isCp932LeadByte(static_cast<unsigned char>(text[pos])) &&
        isCp932TrailByte(static_cast<unsigned char>(text[pos + 1])))
        return 2;
    return 1;
}

std::size_t findCp932(std::string_view text, std::string_view needle, std::size_t from) noexcept {
    for (std::size_t i = from; i < text.size(); i += cp932CharLength(text, i)) {
        if (text.substr(i).starts_with(needle)) return i;
    }
    return std::string_view::npos;
}

std::string upperCaseCp932(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size();) {
        std::size_t len = cp932CharLength(out, i);
        if (len == 1 && out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
        i += len;
    }
    return out;
}

std::string textModeRead(std::string_view fileBytes) {
    std::string out;
    out.reserve(fileBytes.size());
    for (std::size_t i = 0; i < fileBytes.size(); ++i) {
        char c = fileBytes[i];
        if (c == '\0' || c == '\x1A') break;
        if (c == '\r' && i + 1 < fileBytes.size() && fileBytes[i + 1] == '\n') {
            out += '\n';
            ++i;
            continue;
        }
        out += c;
    }
    return out;
}

std::string textModeWrite(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

DocumentRecord readDocumentRecord(std::string_view text, std::string* discarded) {
    DocumentRecord record;
    std::string work = upperCaseCp932(text);

    // The common block "SMML@...;" is taken wherever it stands.
    if (std::size_t tag = findCp932(work, kCommonTag); tag != std::string::npos) {
        std::size_t bodyStart = tag + kCommonTag.size();
        if (std::size_t end = findCp932(work, ";", bodyStart); end != std::string::npos) {
            record.common = work.substr(bodyStart, end - bodyStart);
            work.erase(tag, end + 1 - tag);
            record.hasCommon = true;
        }
    }
    if (std::size_t tag = findCp932(work, kBankTag); tag != std::string::npos) {
        if (discarded) *discarded += work.substr(0, tag);
        work.erase(0, tag + kBankTag.size());
    }
    if (std::size_t end = findCp932(work, ";"); end != std::string::npos) {
        if (discarded) *discarded += work.substr(end + 1);
        work.erase(end);
    }
    // A TAB is never part of a double-byte character, so a plain byte erase is
    // safe. Removing one can pair a stray lead byte in front of it with the byte
    // after it, which changes what counts as a single-byte letter; upper-case
    // again so the banks stay upper case (a no-op for well-formed CP932).
    if (work.find('\t') != std::string::npos) {
        std::erase(work, '\t');
        work = upperCaseCp932(work);
    }
    record.banks = std::move(work);
    return record;
}

std::array<std::string_view, kTabCount - 1> splitBankTexts(std::string_view banks, std::string* discarded) {
    std::array<std::string_view, kTabCount - 1> parts;
    std::string_view rest = banks;
    for (std::string_view& part : parts) {
        if (std::size_t comma = findCp932(rest, ","); comma == std::string_view::npos) {
            part = rest;
            rest = {};
        } else {
            part = rest.substr(0, comma);
            rest = rest.substr(comma + 1);
        }
    }
    if (discarded && !rest.empty()) {
        *discarded += ',';  // the separator that started the sixth part
        *discarded += rest;
    }
    return parts;
}

TabTexts parseDocumentText(std::string_view text, std::string* discarded) {
    const DocumentRecord record = readDocumentRecord(text, discarded);
    TabTexts tabs;
    tabs[0] = record.common;
    const auto parts = splitBankTexts(record.banks, discarded);
    for (size_t bank = 1; bank < tabs.size(); ++bank) tabs[bank] = parts[bank - 1];
    return tabs;
}

std::string formatDocument(const TabTexts& tabs) {
    std::string out;
    std::size_t total = 16;
    for (const auto& t : tabs) total += t.size();
    out.reserve(total);
    out += kCommonTag;
    out += tabs[0];
    out += ';';
    out += kBankTag;
    for (int bank = 1; bank < kTabCount; ++bank) {
        if (bank > 1) out += ',';
        out += tabs[bank];
    }
    out += ';';
    return out;
}

TabTexts readDocumentBytes(std::string_view fileBytes) {
    return parseDocumentText(textModeRead(fileBytes));
}

std::string writeDocumentBytes(const TabTexts& tabs) { return textModeWrite(formatDocument(tabs)); }

}  // namespace tavolin::document
