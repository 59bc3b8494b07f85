// SPDX-License-Identifier: MIT
// The check before a file is read as a document: binary files, undecodable bytes and
// text the document record would leave out.
#include "document/DocumentCheck.h"

#include <algorithm>

#include "compiler/Cp932.h"
#include "compiler/UiText.h"
#include "document/DocumentFormat.h"
#include "document/FileSystem.h"
#include "document/UserTexts.h"

namespace tavolin::document {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD, what an undecodable byte becomes

bool onlyBlank(std::string_view text, std::string_view blanks) {
    return text.find_first_not_of(blanks) == std::string_view::npos;
}

}  // namespace

LoadedDocument loadDocumentFile(std::string_view fileBytes, bool checked) {
    LoadedDocument doc;
    if (fileBytes.size() > kMaxDocumentBytes) {
        doc.refusal = LoadedDocument::Refusal::TooLarge;
        return doc;
    }
    doc.decoded = decodeDocumentFile(fileBytes);
    if (!doc.decoded.ok()) {
        doc.refusal = LoadedDocument::Refusal::Unencodable;
        return doc;
    }
    if (!checked) return doc;
    doc.check = checkDocumentFile(doc.decoded.bytes);
    if (doc.check.refused()) doc.refusal = LoadedDocument::Refusal::NotADocument;
    return doc;
}

DocumentFileCheck checkDocumentFile(std::string_view bytes) {
    DocumentFileCheck c;
    if (const size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
        c.problem = FileProblem::NulByte;
        c.offset = nul + 1;
        c.count = static_cast<uint64_t>(std::count(bytes.begin(), bytes.end(), '\0'));
        return c;
    }
    // The whole text at once; the characters one by one only when something failed.
    if (cp932ToUtf8(bytes).find(kReplacement) != std::string::npos) {
        for (size_t i = 0; i < bytes.size();) {
            const size_t len = cp932CharLength(bytes, i);
            if (static_cast<unsigned char>(bytes[i]) >= 0x80 &&
                cp932ToUtf8(bytes.substr(i, len)).find(kReplacement) != std::string::npos) {
                if (c.count == 0) c.offset = i + 1;
                ++c.count;
            }
            i += len;
        }
        if (c.count > 0) {
            c.problem = FileProblem::Undecodable;
            return c;
        }
    }
    if (const size_t end = bytes.find('\x1A'); end != std::string_view::npos) {
        const std::string_view tail = bytes.substr(end + 1);
        if (!onlyBlank(tail, "\x1A \t\r\n")) {
            c.problem = FileProblem::TextAfterEnd;
            c.offset = end + 1;
            c.count = tail.size();
            return c;
        }
    }
    std::string discarded;
    parseDocumentText(textModeRead(bytes), &discarded);
    if (!onlyBlank(discarded, " \t\r\n")) {
        c.problem = FileProblem::OutsideRecord;
        c.count = discarded.size();
    }
    return c;
}

std::string documentCheckMessage(const std::string& path, const DocumentFileCheck& check) {
    const char* pattern = nullptr;
    switch (check.problem) {
    case FileProblem::None: return {};
    case FileProblem::NulByte: pattern = text::kCheckNulByte; break;
    case FileProblem::Undecodable: pattern = text::kCheckUndecodable; break;
    case FileProblem::TextAfterEnd: pattern = text::kCheckTextAfterEnd; break;
    case FileProblem::OutsideRecord: pattern = text::kCheckOutsideRecord; break;
    }
    std::string message = fillIn(uiText(check.refused() ? text::kCheckRefused : text::kCheckLoses), "file", path);
    message += '\n';
    message += fillIn(fillIn(uiText(pattern), "offset", std::to_string(check.offset)), "count",
                      std::to_string(check.count));
    if (check.losesText()) {
        message += "\n\n";
        message += uiText(text::kCheckOpenAnyway);
    }
    return message;
}

}  // namespace tavolin::document
