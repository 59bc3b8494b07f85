// The song-build options shared by `render` and `play`, and the terminal's BuildHost.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "output/SongBuilder.h"

namespace tavolin::cli {

struct BuildOptionValues {
    std::string arith = "float";
    uint32_t rateHz = 48000;
    std::string currentBank;   // A..E or common; empty: all banks
    std::string cursor;        // TAB:OFFSET; empty: from the beginning
    std::string testPhrase;    // --test
    std::string toneCommand;   // --tone
    bool testMode = false;
};

// Adds --arith, --rate, --current-bank, --cursor, --test and --tone to `cmd`.
// With `withTest` false the two Test options are left out.
void addBuildOptions(CLI::App& cmd, BuildOptionValues& values, bool withTest = true);

// The builder's snapshot from the options and the document at `path`
// ("-" reads standard input). Throws CliError on bad input.
output::BuildInputs makeBuildInputs(const BuildOptionValues& values, const std::string& path);

// Tab index 0..5 (0 common) for "common", "A".."E" (any case); nullopt otherwise.
std::optional<int> parseTabName(std::string_view name);

// The window's messages on the terminal: every message box goes to standard
// error; the jump to the error is not needed there.
class TerminalBuildHost : public output::BuildHost {
public:
    void messageBox(const std::string& utf8Text) override;
    void selectTab(int) override {}
    void selectText(uint64_t, uint64_t) override {}
    int messages = 0;
};

}  // namespace tavolin::cli
