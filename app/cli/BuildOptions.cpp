// Build options of `render` and `play`: from command-line values to a build snapshot.
#include "app/cli/BuildOptions.h"

#include <cctype>
#include <charconv>
#include <iostream>

#include "app/cli/Commands.h"
#include "compiler/Cp932.h"
#include "editor/DocumentFormat.h"

namespace tavolin::cli {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string toCp932(const std::string& utf8, const char* what) {
    std::optional<std::string> bytes = utf8ToCp932(utf8);
    if (!bytes) throw CliError(std::string(what) + " holds a character that CP932 cannot store");
    return *bytes;
}

}  // namespace

std::optional<int> parseTabName(std::string_view name) {
    std::string n = lower(name);
    if (n == "common") return 0;
    if (n.size() == 1 && n[0] >= 'a' && n[0] <= 'e') return 1 + (n[0] - 'a');
    return std::nullopt;
}

void addBuildOptions(CLI::App& cmd, BuildOptionValues& v, bool withTest) {
    cmd.add_option("--arith", v.arith, "Engine arithmetic: fix, float or double")
        ->check(CLI::IsMember({"fix", "float", "double"}, CLI::ignore_case))
        ->default_str("float");
    cmd.add_option("--rate", v.rateHz, "Sample rate in Hz (8000..192000)")
        ->check(CLI::Range(uint32_t{8000}, uint32_t{192000}))
        ->default_str("48000");
    cmd.add_option("--current-bank", v.currentBank, "Play only this bank's own text (A..E; common is refused)");
    cmd.add_option("--cursor", v.cursor, "Start from the caret: TAB:OFFSET, TAB common or A..E, OFFSET in bytes");
    if (withTest) {
        auto* test = cmd.add_option("--test", v.testPhrase, "Test mode: play this phrase with --tone in front");
        auto* tone = cmd.add_option("--tone", v.toneCommand, "Test mode: the tone command put in front of the phrase");
        test->needs(tone);
        tone->needs(test);
    }
}

output::BuildInputs makeBuildInputs(const BuildOptionValues& v, const std::string& path) {
    output::BuildInputs in;
    editor::TabTexts tabs = editor::readDocumentBytes(readInputBytes(path));
    for (int i = 0; i < output::kTabCount; ++i) in.tabTexts[static_cast<size_t>(i)] = tabs[static_cast<size_t>(i)];
    std::string a = lower(v.arith);
    in.arithIndex = a == "fix" ? 0 : a == "double" ? 2 : 1;
    in.rateText = std::to_string(v.rateHz);
    in.bankIndex = -1;
    if (!v.cursor.empty()) {
        size_t colon = v.cursor.find(':');
        std::optional<int> tab = parseTabName(std::string_view(v.cursor).substr(0, colon));
        uint64_t offset = 0;
        if (colon == std::string::npos || !tab) throw CliError("--cursor wants TAB:OFFSET, e.g. B:12");
        std::string_view digits = std::string_view(v.cursor).substr(colon + 1);
        auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), offset);
        if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size())
            throw CliError("--cursor offset must be a number of bytes");
        in.bankIndex = *tab - 1;
        in.caret = offset;
        in.startFromCursor = true;
    }
    if (!v.currentBank.empty()) {
        std::optional<int> tab = parseTabName(v.currentBank);
        if (!tab) throw CliError("--current-bank wants A..E");
        if (!v.cursor.empty() && *tab - 1 != in.bankIndex)
            throw CliError("--cursor must name the same tab as --current-bank");
        in.bankIndex = *tab - 1;
        in.currentBankMode = true;
    }
    if (v.testMode) {
        in.testPhrase = toCp932(v.testPhrase, "--test");
        in.toneCommand = toCp932(v.toneCommand, "--tone");
    }
    return in;
}

void TerminalBuildHost::messageBox(const std::string& utf8Text) {
    ++messages;
    std::cerr << utf8Text << "\n";
}

}  // namespace tavolin::cli
