// SPDX-License-Identifier: MIT
// Filling the window's file and recovery texts.
#include "document/UserTexts.h"

namespace tavolin::document {

std::string fillIn(std::string_view pattern, std::string_view key, std::string_view value) {
    // Appended piece by piece: GCC 12 warns falsely on "literal" + std::string.
    std::string marker(1, '{');
    marker += key;
    marker += '}';
    std::string out;
    size_t from = 0;
    for (size_t at; (at = pattern.find(marker, from)) != std::string_view::npos; from = at + marker.size()) {
        out.append(pattern.substr(from, at - from));
        out.append(value);
    }
    out.append(pattern.substr(from));
    return out;
}

std::string failureReason(const FileFailure& failure) {
    switch (failure.error) {
    case FileError::None: return {};
    case FileError::NotFound: return uiText(text::kReasonNotFound);
    case FileError::AccessDenied: return uiText(text::kReasonAccessDenied);
    case FileError::NotPermitted: return uiText(text::kReasonNotPermitted);
    case FileError::ReadOnlyFileSystem: return uiText(text::kReasonReadOnlyFs);
    case FileError::DiskFull: return uiText(text::kReasonDiskFull);
    case FileError::NotAFile: return uiText(text::kReasonNotAFile);
    case FileError::Other: break;
    }
    return fillIn(uiText(text::kReasonOther), "code", std::to_string(failure.systemCode));
}

std::string documentTooLargeMessage(const std::string& path, uint64_t bytes) {
    // Tenths of a megabyte, rounded up, so that a file just above the limit
    // never reads as the limit itself.
    const auto mb = [](uint64_t b) {
        const uint64_t tenths = (b * 10 + (uint64_t{1} << 20) - 1) >> 20;
        return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
    };
    std::string text = fillIn(uiText(text::kDocumentTooLarge), "file", path);
    return fillIn(fillIn(text, "size", mb(bytes)), "limit", std::to_string(kMaxDocumentBytes >> 20));
}

std::string fileFailureMessage(const char* pattern, const std::string& path, const FileFailure& failure) {
    return fillIn(uiText(pattern), "file", path) + "\n" + failureReason(failure);
}

}  // namespace tavolin::document
