// SPDX-License-Identifier: MIT
// The English table, generated from the window's translation file.
#include "app/texts/EnglishTexts.h"

#include <string_view>

namespace tavolin::texts {
namespace {

struct TextPair {
    std::string_view source;
    std::string_view english;
};

constexpr TextPair kEnglish[] = {
#include "cli_texts_en.inc"
};

}  // namespace

std::string englishText(const char* source) {
    const std::string_view s(source);
    for (const TextPair& p : kEnglish)
        if (p.source == s) return std::string(p.english);
    return std::string(s);
}

}  // namespace tavolin::texts
