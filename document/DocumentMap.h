// SPDX-License-Identifier: MIT
// A document file as an outside editor holds it: the six tab texts it reads as, and positions
// mapped both ways between the file's (line, UTF-16 column) and a tab's byte offsets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentFormat.h"

namespace tavolin::document {

// A place in the file as editors count it: 0-based line (CR LF, a lone CR
// and a lone LF each end a line) and 0-based column in UTF-16 code units.
struct FilePosition {
    uint32_t line = 0;
    uint32_t column = 0;
    friend bool operator==(const FilePosition&, const FilePosition&) = default;
};

// A place in one tab's text as the compiler reads it.
struct TabOffset {
    int tab = 0;          // 0 common, 1..5 banks A..E
    uint32_t offset = 0;  // bytes into that tab's text
    friend bool operator==(const TabOffset&, const TabOffset&) = default;
};

// The file's CP932 bytes, read exactly as Open reads them (text mode, upper
// case, the record split), remembering where each tab byte came from.
class DocumentMap {
public:
    DocumentMap() : DocumentMap(std::string_view{}) {}
    explicit DocumentMap(std::string_view fileBytes);

    const TabTexts& tabs() const noexcept { return m_tabs; }
    const std::string& fileBytes() const noexcept { return m_file; }
    // False for the common text of a file without a common block: it has no place.
    bool placed(int tab) const noexcept { return tab >= 0 && tab < kTabCount && !m_origin[static_cast<size_t>(tab)].empty(); }

    // Byte of the file <-> editor position. Offsets past the end clamp to the
    // end; a position past its line's end clamps to the line's end, a line
    // past the last to the end of the file.
    FilePosition positionOf(uint32_t fileOffset) const noexcept;
    uint32_t fileOffsetOf(FilePosition position) const noexcept;

    // Tab byte <-> file byte. The end of a tab (offset == size) maps to the
    // byte after its last one (its separator). nullopt: the file byte belongs
    // to no tab (the tags, separators, text outside the record, a CR that text
    // mode drops, a removed TAB).
    uint32_t fileOffsetOf(TabOffset at) const noexcept;
    std::optional<TabOffset> tabOffsetOf(uint32_t fileOffset) const noexcept;

    FilePosition positionOf(TabOffset at) const noexcept { return positionOf(fileOffsetOf(at)); }
    std::optional<TabOffset> tabOffsetOf(FilePosition p) const noexcept { return tabOffsetOf(fileOffsetOf(p)); }

private:
    std::string m_file;
    TabTexts m_tabs;
    std::array<std::vector<uint32_t>, kTabCount> m_origin;  // per tab: file offset of each byte, then of its end
    std::vector<uint32_t> m_lineStarts;                     // file offsets
    std::vector<uint32_t> m_unitAt;                         // UTF-16 units before each file byte (size + 1)
};

// The UTF-8 text an editor sends as the file's CP932 bytes. A character CP932
// cannot hold becomes as many "?" as it has UTF-16 units, so that columns stay
// where the editor counts them; `replaced` tells how many were.
std::string utf8ToDocumentBytes(std::string_view utf8, size_t* replaced = nullptr);

}  // namespace tavolin::document
