// SPDX-License-Identifier: MIT
// libFuzzer target: the document reader and the clipboard import steps on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "document/DocumentFormat.h"
#include "music/ImportSteps.h"

namespace {

using namespace tavolin::document;
using namespace tavolin::music;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

bool hasAt(std::string_view text, std::string_view needle) { return findCp932(text, needle) != std::string_view::npos; }

// No a..z outside double-byte characters.
bool upperOnly(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); i += cp932CharLength(text, i))
        if (cp932CharLength(text, i) == 1 && text[i] >= 'a' && text[i] <= 'z') return false;
    return true;
}

// Every V outside double-byte characters is followed by 1 to 3 digits worth at most 255.
bool volumesInRange(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); i += cp932CharLength(text, i)) {
        if (cp932CharLength(text, i) != 1 || text[i] != 'V') continue;
        std::size_t end = i + 1;
        int value = 0;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9' && end - i <= 4)
            value = value * 10 + (text[end++] - '0');
        if (end == i + 1 || end - i > 4 || value > 255) return false;
        if (end < text.size() && text[end] >= '0' && text[end] <= '9') return false;
    }
    return true;
}

constexpr std::string_view kSourceMaxTexts[] = {
    "15", "0", "", "1", "8", "127", "255", "2147483647", "99999999999999999999", "15abc", "x", "007",
    "4294967296", "65535", "3", "100",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // Byte 0: flags; byte 1: the source maximum's text; the rest is the input.
    const uint8_t flags = data[0];
    ImportOptions options;
    options.rescale = flags & 1;
    options.importMode = flags & 2;
    options.removeBankTempo = flags & 4;
    options.divideByBanks = flags & 8;
    const bool asFile = flags & 16;
    options.sourceMaxText = std::string(kSourceMaxTexts[data[1] % std::size(kSourceMaxTexts)]);
    std::string_view input(reinterpret_cast<const char*>(data + 2), size - 2);

    std::string text = asFile ? textModeRead(input) : std::string(input);
    TabTexts tabs = parseImportText(text, options);

    for (int t = 0; t < kTabCount; ++t) {
        check(upperOnly(tabs[t]));
        if (t > 0) {
            check(!hasAt(tabs[t], ",") && !hasAt(tabs[t], ";"));
            check(tabs[t].find('\t') == std::string::npos);
            if (options.importMode && options.removeBankTempo) check(!hasAt(tabs[t], "T"));
        } else {
            check(!hasAt(tabs[t], ";"));
        }
        if (options.rescale && readLeadingInt(options.sourceMaxText) > 0) check(volumesInRange(tabs[t]));
    }

    // What the reader gives back is carried by the file unchanged, unless a text
    // holds what the record cannot carry.
    bool carriable = true;
    for (const auto& t : tabs) {
        if (hasAt(t, "MML@") || t.find('\0') != std::string::npos || t.find('\x1A') != std::string::npos)
            carriable = false;
    }
    if (carriable) {
        std::string saved = writeDocumentBytes(tabs);
        check(readDocumentBytes(saved) == tabs);
    }

    // The external record splits back into its five parts, each the common
    // text joined in front of the bank (as the reader normalises it), or empty.
    if (auto record = externalMmlRecord(tabs)) {
        TabTexts back = parseDocumentText(*record);
        check(back[0].empty());
        for (int t = 1; t < kTabCount; ++t) {
            std::string joined = upperCaseCp932(tabs[0] + tabs[t]);
            std::erase(joined, '\t');
            check(back[t].empty() || back[t] == upperCaseCp932(joined));
        }
    }

    // Upper-casing is idempotent and keeps the length.
    std::string upper = upperCaseCp932(input);
    check(upper.size() == input.size() && upperCaseCp932(upper) == upper);
    return 0;
}
