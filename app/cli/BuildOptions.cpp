// SPDX-License-Identifier: MIT
// Build options of `render` and `play`: from command-line values to a build snapshot.
#include "app/cli/BuildOptions.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>

#include "app/cli/Commands.h"
#include "compiler/Cp932.h"
#include "output/Passage.h"
#include "session/Passage.h"

namespace tavolin::cli {
namespace {

std::string toCp932(const std::string& utf8, const char* what) {
    std::optional<std::string> bytes = utf8ToCp932(utf8);
    if (!bytes) throw CliError(std::string(what) + " holds a character that CP932 cannot store");
    return *bytes;
}

}  // namespace

std::optional<int> parseTabName(std::string_view name) {
    if (name.size() == 6) {
        std::string n(name);
        for (char& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (n == "common") return 0;
    }
    if (name.size() == 1) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
        if (c >= 'a' && c <= 'e') return 1 + (c - 'a');
    }
    return std::nullopt;
}

std::optional<BankMask> parseBankLetters(std::string_view text) {
    BankMask mask = 0;
    size_t start = 0;
    while (true) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view item = text.substr(start, comma - start);
        if (item.size() != 1) return std::nullopt;
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(item[0])));
        if (c < 'A' || c > 'E') return std::nullopt;
        mask = static_cast<BankMask>(mask | bankBit(c - 'A'));
        if (comma == text.size()) return mask;
        start = comma + 1;
    }
}

BankMask audibleBanks(const BuildOptionValues& v) {
    MuteSolo flags;
    const auto letters = [](const std::string& text, const char* option) {
        std::optional<BankMask> mask = parseBankLetters(text);
        if (!mask)
            throw CliError(std::string(option) + " wants bank letters A to E separated by commas (such as A,C), not '" +
                           text + "'");
        return *mask;
    };
    if (!v.mute.empty()) flags.muted = letters(v.mute, "--mute");
    if (!v.solo.empty()) flags.soloed = letters(v.solo, "--solo");
    return flags.audible();
}

void addBuildOptions(CLI::App& cmd, BuildOptionValues& v) {
    cmd.add_option("--arith", v.arith, "Engine arithmetic: fix, float or double")->default_str("float");
    cmd.add_option("--rate", v.rateHz, "Sample rate in Hz (8000..192000)")
        ->check(CLI::Range(uint32_t{8000}, uint32_t{192000}))
        ->default_str("48000");
    cmd.add_option("--current-bank", v.currentBank, "Play only this bank's own text (A..E; common is refused)");
    cmd.add_option("--cursor", v.cursor, "Start from the caret: TAB:OFFSET, TAB common or A..E, OFFSET in bytes");
    auto* test = cmd.add_option("--test", v.testPhrase, "Test mode: play this phrase with --tone in front");
    auto* tone = cmd.add_option("--tone", v.toneCommand, "Test mode: the tone command put in front of the phrase");
    test->needs(tone);
    tone->needs(test);
    cmd.add_option("--mute", v.mute, "Leave these banks out of the mix (A,C); they keep running, so the others sound unchanged");
    cmd.add_option("--solo", v.solo, "Hear only these banks (B or B,D); wins over --mute");
}

output::BuildInputs makeBuildInputs(const BuildOptionValues& v, const DocumentInput& doc) {
    output::BuildInputs in;
    for (int i = 0; i < output::kTabCount; ++i) in.tabTexts[static_cast<size_t>(i)] = doc.tabs[static_cast<size_t>(i)];
    in.arith = parseArithName(v.arith);
    in.sampleRateHz = v.rateHz;  // CLI11 has checked its range
    in.bankIndex = -1;
    if (!v.cursor.empty()) {
        CursorOption cursor = parseCursorOption(v.cursor);
        in.bankIndex = static_cast<int>(cursor.bank);
        in.caret = cursor.offset;
        in.startFromCursor = true;
    }
    if (!v.currentBank.empty()) {
        std::optional<int> tab = parseTabName(v.currentBank);
        if (!tab) throw CliError("--current-bank wants A..E");
        if (!v.cursor.empty() && *tab - 1 != in.bankIndex)
            throw CliError("--cursor must name the same tab as --current-bank");
        in.bankIndex = *tab - 1;  // "common" reaches the builder, which refuses it
        in.currentBankMode = true;
    }
    if (v.testMode) {
        in.testPhrase = toCp932(v.testPhrase, "--test");
        in.toneCommand = toCp932(v.toneCommand, "--tone");
    }
    return in;
}

void addPassageOptions(CLI::App& cmd, PassageOptionValues& v) {
    cmd.add_option("--from", v.from,
                   "Start of a passage: a song time (1:23.5 or 83.5 seconds) or a caret TAB:OFFSET (A:120: where the "
                   "note under or after it first sounds)");
    cmd.add_option("--to", v.to, "End of the passage (not included), in the same forms; default the song's end");
}

PassageFrames resolvePassage(const PassageOptionValues& v, const output::BuildInputs& in, bool testMode) {
    if (in.startFromCursor) throw CliError("--from and --to cannot be combined with --cursor");
    const auto map = output::buildSongMap(in, testMode);
    if (!map->ok()) throw CliError("the song cannot be built for a passage");
    const session::NamedPassage p = session::passageNamed(*map, v.from, v.to, "--from", "--to");
    if (!p.span) throw CliError(p.problem);
    return *p.span;
}

void TerminalBuildHost::messageBox(const std::string& utf8Text) {
    if (m_hold) m_held.push_back(utf8Text);
    else std::cerr << utf8Text << "\n";
}

void TerminalBuildHost::reportBuildFailure(const DocumentInput& doc, const CompileResult& result, bool testMode) {
    m_hold = false;
    if (result.code != 0 && !testMode) {
        std::cerr << describeCompileError(doc, result);
    } else {
        for (const auto& m : m_held) std::cerr << m << "\n";
    }
    m_held.clear();
}

std::shared_ptr<output::GeneratorWrapper> buildForTerminal(const output::BuildInputs& in, bool testMode,
                                                           const DocumentInput& doc, TerminalBuildHost& host,
                                                           output::WaveFormat& format) {
    CompileResult result;
    host.holdMessages(true);
    auto song = output::MakeGenerator(in, testMode, host, format, &result);
    if (!song) {
        host.reportBuildFailure(doc, result, testMode);
        return nullptr;
    }
    host.holdMessages(false);
    return song;
}

}  // namespace tavolin::cli
