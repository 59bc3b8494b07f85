// SPDX-License-Identifier: MIT
// libFuzzer target: recovery files and the UTF-8/CP932 decision on arbitrary bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "document/Recovery.h"
#include "document/TextEncoding.h"

namespace {

using namespace tavolin::document;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

bool sameRecord(const RecoveryRecord& a, const RecoveryRecord& b) {
    return a.pid == b.pid && a.savedAt == b.savedAt && a.selectedTab == b.selectedTab &&
           a.documentPath == b.documentPath && a.tabTexts == b.tabTexts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // Whatever a damaged recovery file holds, reading it is safe, and what it
    // yields is stored and read back unchanged.
    if (auto record = decodeRecovery(input)) {
        check(record->selectedTab >= 0 && record->selectedTab < kTabCount);
        const auto again = decodeRecovery(encodeRecovery(*record));
        check(again && sameRecord(*again, *record));
    }

    // Any texts survive the recovery file byte for byte: the input cut into a
    // path and six tab texts at its 0xFF bytes.
    RecoveryRecord made;
    made.pid = static_cast<int64_t>(size);
    made.selectedTab = static_cast<int>(size % kTabCount);
    std::size_t from = 0;
    for (int field = 0; field <= kTabCount; ++field) {
        const std::size_t cut = std::min(input.find('\xFF', from), input.size());
        const std::string piece(input.substr(std::min(from, input.size()), cut - std::min(from, input.size())));
        if (field == 0) made.documentPath = piece;
        else made.tabTexts[static_cast<std::size_t>(field - 1)] = piece;
        from = cut + 1;
    }
    const auto back = decodeRecovery(encodeRecovery(made));
    check(back && sameRecord(*back, made));

    // CP932 files are never touched; converted UTF-8 keeps every line break, and
    // a refusal names real lines.
    const DecodedFile decoded = decodeDocumentFile(input);
    const auto lines = static_cast<std::size_t>(std::count(input.begin(), input.end(), '\n'));
    if (decoded.encoding == FileEncoding::Cp932) {
        check(decoded.ok() && decoded.bytes == input);
    } else {
        check(isValidUtf8(input.starts_with("\xEF\xBB\xBF") ? input.substr(3) : input));
        if (decoded.ok()) {
            check(static_cast<std::size_t>(std::count(decoded.bytes.begin(), decoded.bytes.end(), '\n')) == lines);
        } else {
            check(decoded.bytes.empty());
            for (const auto& c : decoded.unencodable) check(c.line >= 1 && c.line <= lines + 1 && !c.character.empty());
        }
    }
    return 0;
}
