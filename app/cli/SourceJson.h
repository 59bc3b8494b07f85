// Record sources in tavolin-cli's JSON and text output: which tab, where, how long.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "compiler/SourceMap.h"

namespace tavolin::cli {

// "default" (the internal default code), "common", or "A".."E".
std::string sourceTabName(int tab);

// {"tab":"A","offset":5,"length":2}, or null for a span that no command wrote.
nlohmann::ordered_json sourceJson(TextSpan span, uint64_t commonLength, int bank);

// "A:5+2" (tab, byte offset, length), "-" for no span.
std::string sourceText(TextSpan span, uint64_t commonLength, int bank);

// Adds "source" (always, null when none) and "call" (only for records a
// macro call replayed) to a record's object.
void addSourceFields(nlohmann::ordered_json& j, const RecordSource& src, uint64_t commonLength, int bank);

}  // namespace tavolin::cli
