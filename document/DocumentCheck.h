// SPDX-License-Identifier: MIT
// Whether a file's bytes can be held by a document without losing any of them: what
// Open and tavolin-cli ask before reading a file as a document.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "document/TextEncoding.h"

namespace tavolin::document {

enum class FileProblem {
    None,
    NulByte,        // the text would end at the first NUL: a binary file
    Undecodable,    // bytes that form no CP932 character: shown as placeholders, lost on edit
    TextAfterEnd,   // a Ctrl+Z (0x1A) ends the text with more text after it
    OutsideRecord,  // text the document record leaves out (after ";", before "MML@", beyond bank E)
};

struct DocumentFileCheck {
    FileProblem problem = FileProblem::None;
    uint64_t offset = 0;  // 1-based byte of the file where it starts (0 for OutsideRecord)
    uint64_t count = 0;   // NUL bytes, undecodable characters, or bytes that would be left out
    // The file is no document at all: it must not be opened.
    bool refused() const noexcept { return problem == FileProblem::NulByte || problem == FileProblem::Undecodable; }
    // It opens, but a save would not write back everything it holds: ask first.
    bool losesText() const noexcept { return problem == FileProblem::TextAfterEnd || problem == FileProblem::OutsideRecord; }
    bool operator==(const DocumentFileCheck&) const = default;
};

// Checks CP932 file bytes (after any UTF-8 conversion). The first problem found,
// in the order of the enum; spaces, TABs, line breaks and trailing Ctrl+Z bytes
// that would be dropped are no loss.
DocumentFileCheck checkDocumentFile(std::string_view cp932Bytes);

// What is wrong, in the window's language, naming `path` ("" for None). For
// losesText() problems it ends with the question whether to open anyway.
std::string documentCheckMessage(const std::string& path, const DocumentFileCheck& check);

// A file's bytes read as a document, the one way every front end reads one
// (the window's Open and file following, tavolin-cli, the language server's
// limit, the page): the size limit, then UTF-8 converted to CP932, then the
// check. Each front end words a refusal its own way.
struct LoadedDocument {
    enum class Refusal { None, TooLarge, Unencodable, NotADocument };
    Refusal refusal = Refusal::None;
    DecodedFile decoded;      // the CP932 bytes (empty when refused before or at decoding)
    DocumentFileCheck check;  // NotADocument: check.refused(); a usable file may still losesText()
    bool ok() const noexcept { return refusal == Refusal::None; }
};
// `checked` false: a text read for another use than a document (no check).
LoadedDocument loadDocumentFile(std::string_view fileBytes, bool checked = true);

}  // namespace tavolin::document
