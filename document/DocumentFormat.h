// SPDX-License-Identifier: MIT
// The document file format: six CP932 tab texts in one "SMML@...;MML@a,b,c,d,e;" record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavolin::document {

inline constexpr int kTabCount = 6; // 0 common, 1..5 banks A..E
using TabTexts = std::array<std::string, kTabCount>;

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

// The record in text already read in text mode, upper-cased: the common
// block (taken wherever it stands) and the banks' part with its TABs removed,
// not yet split. `discarded`, when given, receives the text the record leaves
// out before "MML@" and after the closing ";".
struct DocumentRecord {
    std::string common;
    bool hasCommon = false;
    std::string banks;
};
DocumentRecord readDocumentRecord(std::string_view text, std::string* discarded = nullptr);
// The banks' part split at its commas into banks A..E; what follows bank E
// goes to `discarded` with the comma that started it.
std::array<std::string_view, kTabCount - 1> splitBankTexts(std::string_view banks, std::string* discarded = nullptr);
// Both: the six tab texts (upper-cased, banks without TABs). The clipboard
// import's steps on the same record are parseImportText (ImportSteps.h).
TabTexts parseDocumentText(std::string_view text, std::string* discarded = nullptr);

// The six parts of a document file, before text-mode conversion.
std::string formatDocument(const TabTexts& tabs);

// Whole-file helpers used by Open/Save and the command-line tool.
TabTexts readDocumentBytes(std::string_view fileBytes);      // textModeRead + parseDocumentText
std::string writeDocumentBytes(const TabTexts& tabs);        // textModeWrite(formatDocument)

}  // namespace tavolin::document
