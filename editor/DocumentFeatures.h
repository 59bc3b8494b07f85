// What an outside editor asks of a document, answered on tab texts and byte offsets: the
// compile's errors, and (below) macros, outline and colour ranges. No protocol here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "editor/DocumentFormat.h"
#include "output/SongMap.h"

namespace tavolin::editor {

// A stretch of one tab: bytes [begin, end) of tab `tab` (0 common, 1..5 A..E).
struct TabRange {
    int tab = 0;
    uint32_t begin = 0;
    uint32_t end = 0;
    friend bool operator==(const TabRange&, const TabRange&) = default;
};

// One compile error as a problem of the text: the command it names, the
// code ("0x80000014") and the message in the display language. An error in
// the internal code (no tab of the document) lies at the start of tab 0.
struct CompileProblem {
    TabRange range;
    std::string code;
    std::string message;
    friend bool operator==(const CompileProblem&, const CompileProblem&) = default;
};

// Every failing bank's first error of `map`, compiled from `tabs`.
std::vector<CompileProblem> compileProblems(const output::SongMap& map, const TabTexts& tabs);

}  // namespace tavolin::editor
