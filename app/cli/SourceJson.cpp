// Record sources in tavolin-cli's output.
#include "app/cli/SourceJson.h"

#include "app/cli/CliInput.h"

namespace tavolin::cli {

std::string sourceTabName(int tab) { return tab == -2 ? "default" : bankLabel(tab); }

nlohmann::ordered_json sourceJson(TextSpan span, uint64_t commonLength, int bank) {
    if (!span.valid()) return nullptr;
    const TabSpan at = tabSpanOf(span, commonLength, bank);
    nlohmann::ordered_json j;
    j["tab"] = sourceTabName(at.tab);
    j["offset"] = at.offset;
    j["length"] = at.length;
    return j;
}

std::string sourceText(TextSpan span, uint64_t commonLength, int bank) {
    if (!span.valid()) return "-";
    const TabSpan at = tabSpanOf(span, commonLength, bank);
    return sourceTabName(at.tab) + ":" + std::to_string(at.offset) + "+" + std::to_string(at.length);
}

void addSourceFields(nlohmann::ordered_json& j, const RecordSource& src, uint64_t commonLength, int bank) {
    j["source"] = sourceJson(src.command, commonLength, bank);
    if (src.call.valid()) j["call"] = sourceJson(src.call, commonLength, bank);
}

}  // namespace tavolin::cli
