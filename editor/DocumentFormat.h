// The document file format: six CP932 tab texts in one "SMML@...;MML@a,b,c,d,e;" record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavolin::editor {

inline constexpr int kTabCount = 6; // 0 common, 1..5 banks A..E
using TabTexts = std::array<std::string, kTabCount>;

// Options of the reader's import steps (clipboard import only).
struct ImportOptions {
    bool rescale = false;          // rescale V commands (source max, used banks)
    bool importMode = false;       // leading tempo to common, optional tempo removal
    bool removeBankTempo = true;   // check box 1034
    std::string sourceMaxText = "15"; // text of field 1035, read with leading digits
    bool divideByBanks = true;     // check box 1036
};

// Bytes of the CP932 character that starts at text[pos]: 2 for a lead byte
// followed by a valid trail byte (0x40..0x7E, 0x80..0xFC), otherwise 1. A stray
// lead byte never swallows a following CR, LF, TAB, "," or ";".
std::size_t cp932CharLength(std::string_view text, std::size_t pos) noexcept;

// First occurrence of an ASCII needle that starts on a character boundary at
// or after `from` (which must itself be a boundary); npos when none.
std::size_t findCp932(std::string_view text, std::string_view needle, std::size_t from = 0) noexcept;

// a..z become A..Z; bytes of double-byte characters are never changed.
std::string upperCaseCp932(std::string_view text);

// Text-mode read of a file's raw bytes: CR LF -> LF, a lone CR stays,
// Ctrl+Z (0x1A) or NUL ends the text.
std::string textModeRead(std::string_view fileBytes);

// Text-mode write: every LF becomes CR LF (a CR already in front stays).
std::string textModeWrite(std::string_view text);

// The reader's steps on text already read in text mode. Returns the six tab
// texts (upper-cased, banks without TABs). `discarded`, when given, receives
// the text the record leaves out: before "MML@", after the closing ";" and
// beyond bank E (TABs are not counted).
TabTexts parseDocumentText(std::string_view text, const ImportOptions& options = {},
                           std::string* discarded = nullptr);

// The six parts of a document file, before text-mode conversion.
std::string formatDocument(const TabTexts& tabs);

// Whole-file helpers used by Open/Save and the command-line tool.
TabTexts readDocumentBytes(std::string_view fileBytes);      // textModeRead + parseDocumentText
std::string writeDocumentBytes(const TabTexts& tabs);        // textModeWrite(formatDocument)

}  // namespace tavolin::editor
