// SPDX-License-Identifier: MIT
// Which encoding a document file is in (CP932 as stored, or UTF-8 from another editor),
// and its conversion to the CP932 bytes every reader works on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tavolin::document {

enum class FileEncoding { Cp932, Utf8 };

// True when every byte sequence is well-formed UTF-8 (no overlongs, no surrogates).
bool isValidUtf8(std::string_view bytes) noexcept;

// UTF-8 when the file starts with a UTF-8 byte-order mark and the rest is valid
// UTF-8, or when it is valid UTF-8 holding non-ASCII text that is not plausible
// CP932. Plausible means: well-formed CP932 whose non-ASCII characters are at
// least as often the kind Japanese text is made of (kana, first-level kanji,
// full-width symbols, half-width kana) as the UTF-8 reading's are (kana, kanji,
// full-width forms, symbols, Latin-1, Greek, Cyrillic). A tie stays CP932, the stored format.
FileEncoding detectEncoding(std::string_view fileBytes) noexcept;

// A character of a UTF-8 file that CP932 cannot hold.
struct UnencodableChar {
    size_t line = 1;        // 1-based, counting LF
    std::string character;  // UTF-8
    bool operator==(const UnencodableChar&) const = default;
};

struct DecodedFile {
    FileEncoding encoding = FileEncoding::Cp932;
    std::string bytes;                       // CP932 file bytes (the file's own when it was CP932)
    std::vector<UnencodableChar> unencodable; // non-empty: not converted, `bytes` empty
    bool ok() const noexcept { return unencodable.empty(); }
};

// The file's bytes as CP932: unchanged when CP932, converted when UTF-8 (the
// byte-order mark dropped, line breaks kept as they are).
DecodedFile decodeDocumentFile(std::string_view fileBytes);

// The report of unconvertible characters after the head line naming `path`:
// one "{line} 行目: {char}" row per line of the file, listing its characters
// once each (at most `perLine`, then "…"); at most `limit` rows, then
// "ほか N 行". `chars` in file order.
std::string unencodableMessage(const std::string& path, const std::vector<UnencodableChar>& chars,
                               size_t limit = 10, size_t perLine = 12);

}  // namespace tavolin::document
