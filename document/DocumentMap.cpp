// SPDX-License-Identifier: MIT
// The document record split with every tab byte's place in the file, and line/column counting.
#include "document/DocumentMap.h"

#include <algorithm>

#include "compiler/Cp932.h"
#include "compiler/Utf8.h"

namespace tavolin::document {
namespace {

constexpr std::string_view kCommonTag = "SMML@";
constexpr std::string_view kBankTag = "MML@";

// A working text with the file offset of each byte and one more for its end.
struct Mapped {
    std::string text;
    std::vector<uint32_t> origin;

    Mapped slice(size_t from, size_t to) const {
        return {text.substr(from, to - from), std::vector<uint32_t>(origin.begin() + static_cast<std::ptrdiff_t>(from),
                                                                    origin.begin() + static_cast<std::ptrdiff_t>(to) + 1)};
    }
    void erase(size_t from, size_t to) {
        text.erase(from, to - from);
        origin.erase(origin.begin() + static_cast<std::ptrdiff_t>(from), origin.begin() + static_cast<std::ptrdiff_t>(to));
    }
};

}  // namespace

DocumentMap::DocumentMap(std::string_view fileBytes) : m_file(fileBytes) {
    // Lines and UTF-16 units of the file as the editor shows it.
    m_lineStarts.push_back(0);
    m_unitAt.reserve(m_file.size() + 1);
    uint32_t units = 0;
    for (size_t i = 0; i < m_file.size();) {
        const char c = m_file[i];
        size_t len = cp932CharLength(m_file, i);
        if (c == '\r' && i + 1 < m_file.size() && m_file[i + 1] == '\n') len = 2;
        for (size_t k = 0; k < len; ++k) m_unitAt.push_back(units);
        ++units;
        i += len;
        if (c == '\r' || c == '\n') m_lineStarts.push_back(static_cast<uint32_t>(i));
    }
    m_unitAt.push_back(units);

    // Text mode: CR LF -> LF, Ctrl+Z or NUL ends the text.
    Mapped work;
    work.text.reserve(m_file.size());
    work.origin.reserve(m_file.size() + 1);
    size_t i = 0;
    for (; i < m_file.size(); ++i) {
        const char c = m_file[i];
        if (c == '\0' || c == '\x1A') break;
        // The pair becomes its LF, placed where the break starts.
        if (c == '\r' && i + 1 < m_file.size() && m_file[i + 1] == '\n') {
            work.text += '\n';
            work.origin.push_back(static_cast<uint32_t>(i++));
            continue;
        }
        work.text += c;
        work.origin.push_back(static_cast<uint32_t>(i));
    }
    work.origin.push_back(static_cast<uint32_t>(i));
    work.text = upperCaseCp932(work.text);

    // The reader's steps, each applied to the offsets as well.
    if (size_t tag = findCp932(work.text, kCommonTag); tag != std::string::npos) {
        const size_t body = tag + kCommonTag.size();
        if (size_t end = findCp932(work.text, ";", body); end != std::string::npos) {
            Mapped common = work.slice(body, end);
            m_tabs[0] = std::move(common.text);
            m_origin[0] = std::move(common.origin);
            work.erase(tag, end + 1);
        }
    }
    if (size_t tag = findCp932(work.text, kBankTag); tag != std::string::npos) work.erase(0, tag + kBankTag.size());
    if (size_t end = findCp932(work.text, ";"); end != std::string::npos) work = work.slice(0, end);
    if (work.text.find('\t') != std::string::npos) {
        Mapped kept;
        for (size_t k = 0; k < work.text.size(); ++k) {
            if (work.text[k] == '\t') continue;
            kept.text += work.text[k];
            kept.origin.push_back(work.origin[k]);
        }
        kept.origin.push_back(work.origin.back());
        kept.text = upperCaseCp932(kept.text);
        work = std::move(kept);
    }
    size_t at = 0;
    for (int tab = 1; tab < kTabCount; ++tab) {
        size_t comma = findCp932(std::string_view(work.text).substr(at), ",");
        const size_t end = comma == std::string_view::npos ? work.text.size() : at + comma;
        Mapped part = work.slice(at, end);
        m_tabs[static_cast<size_t>(tab)] = std::move(part.text);
        m_origin[static_cast<size_t>(tab)] = std::move(part.origin);
        at = comma == std::string_view::npos ? work.text.size() : end + 1;
    }
}

FilePosition DocumentMap::positionOf(uint32_t fileOffset) const noexcept {
    fileOffset = std::min<uint32_t>(fileOffset, static_cast<uint32_t>(m_file.size()));
    const auto it = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), fileOffset) - 1;
    return {static_cast<uint32_t>(it - m_lineStarts.begin()), m_unitAt[fileOffset] - m_unitAt[*it]};
}

uint32_t DocumentMap::fileOffsetOf(FilePosition p) const noexcept {
    if (p.line >= m_lineStarts.size()) return static_cast<uint32_t>(m_file.size());
    const uint32_t start = m_lineStarts[p.line];
    // The line's end: before the break that starts the next line.
    uint32_t end = static_cast<uint32_t>(m_file.size());
    if (p.line + 1 < m_lineStarts.size()) {
        end = m_lineStarts[p.line + 1] - 1;
        if (m_file[end] == '\n' && end > start && m_file[end - 1] == '\r') --end;
    }
    const uint32_t want = m_unitAt[start] + p.column;
    if (want >= m_unitAt[end]) return end;
    // First byte of the unit `want`.
    const auto it = std::lower_bound(m_unitAt.begin() + start, m_unitAt.begin() + end, want);
    return static_cast<uint32_t>(it - m_unitAt.begin());
}

uint32_t DocumentMap::fileOffsetOf(TabOffset at) const noexcept {
    const auto& origin = m_origin[static_cast<size_t>(std::clamp(at.tab, 0, kTabCount - 1))];
    if (origin.empty()) return 0;  // no common block in the file
    return origin[std::min<size_t>(at.offset, origin.size() - 1)];
}

std::optional<TabOffset> DocumentMap::tabOffsetOf(uint32_t fileOffset) const noexcept {
    // A byte of a tab (its end entry counts: a caret just after its last
    // byte is in it); failing that, a dropped byte (a CR before LF, a TAB)
    // inside a tab's stretch goes to the tab byte after it.
    for (bool exact : {true, false}) {
        for (int tab = 0; tab < kTabCount; ++tab) {
            const auto& origin = m_origin[static_cast<size_t>(tab)];
            if (origin.empty() || fileOffset < origin.front() || fileOffset > origin.back()) continue;
            const auto it = std::lower_bound(origin.begin(), origin.end(), fileOffset);
            if (!exact || *it == fileOffset) return TabOffset{tab, static_cast<uint32_t>(it - origin.begin())};
        }
    }
    return std::nullopt;
}

std::string utf8ToDocumentBytes(std::string_view utf8, size_t* replaced) {
    if (replaced) *replaced = 0;
    if (auto whole = utf8ToCp932(utf8)) return *whole;
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const size_t len = utf8StepAt(utf8, i);
        if (len == 1 && b < 0x80) {
            out += utf8[i++];
            continue;
        }
        if (auto one = utf8ToCp932(utf8.substr(i, len))) {
            out += *one;
        } else {
            out += len == 4 ? "??" : "?";
            if (replaced) ++*replaced;
        }
        i += len;
    }
    return out;
}

}  // namespace tavolin::document
