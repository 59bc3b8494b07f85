// SPDX-License-Identifier: MIT
// The song-build options shared by `render` and `play`, and the terminal's BuildHost.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/cli/CliInput.h"
#include "output/SongBuilder.h"
#include "session/Passage.h"

namespace tavolin::cli {

struct BuildOptionValues {
    std::string arith = "float";
    uint32_t rateHz = 48000;
    std::string currentBank;   // A..E or common; empty: all banks
    std::string cursor;        // TAB:OFFSET; empty: from the beginning
    std::string testPhrase;    // --test
    std::string toneCommand;   // --tone
    std::string mute;          // --mute: bank letters, "A,C"
    std::string solo;          // --solo: bank letters
    bool testMode = false;
};

// Adds --arith, --rate, --current-bank, --cursor, --test, --tone, --mute and --solo to `cmd`.
void addBuildOptions(CLI::App& cmd, BuildOptionValues& values);

// The builder's snapshot from the options and a document read as Open reads
// it. Throws CliError on bad input.
output::BuildInputs makeBuildInputs(const BuildOptionValues& values, const DocumentInput& doc);

// The banks --mute and --solo let through. Throws CliError on a bad list.
BankMask audibleBanks(const BuildOptionValues& values);

// "A,C" (any case, comma-separated, no empty item) -> the banks' bits;
// nullopt for anything else.
std::optional<BankMask> parseBankLetters(std::string_view text);

// Tab index 0..5 (0 common) for "common", "A".."E" (any case); nullopt otherwise.
std::optional<int> parseTabName(std::string_view name);

// The window's messages on the terminal, on standard error. During a build
// they are held back, so that a compile error can be printed the way `check`
// prints it (the report, then FILE:LINE:COL).
class TerminalBuildHost : public output::BuildHost {
public:
    void messageBox(const std::string& utf8Text) override;
    void selectTab(int) override {}
    void selectText(uint64_t, uint64_t) override {}

    void holdMessages(bool on) { m_hold = on; }
    // Prints the held messages, or, for a compile error outside Test mode,
    // the diagnostics of `check` in their place.
    void reportBuildFailure(const DocumentInput& doc, const CompileResult& result, bool testMode);

private:
    bool m_hold = false;
    std::vector<std::string> m_held;
};

// --from and --to of `render` and `play`: a passage of the song.
struct PassageOptionValues {
    std::string from;  // song time or caret; empty: the song's start
    std::string to;    // empty: the song's end
    bool given() const { return !from.empty() || !to.empty(); }
};
void addPassageOptions(CLI::App& cmd, PassageOptionValues& values);

// Frames [from, to) of the song as `render` writes it (endless loops once).
using PassageFrames = session::LoopSpan;
// The passage the options name in the song `in` builds (session::passageBetween).
// Throws CliError for an unreadable point, an empty or reversed range, or one
// past the song's end.
PassageFrames resolvePassage(const PassageOptionValues& values, const output::BuildInputs& in, bool testMode);

// MakeGenerator for the terminal: nullptr after printing why.
std::shared_ptr<output::GeneratorWrapper> buildForTerminal(const output::BuildInputs& in, bool testMode,
                                                           const DocumentInput& doc, TerminalBuildHost& host,
                                                           output::WaveFormat& format);

}  // namespace tavolin::cli
