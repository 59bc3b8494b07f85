// SPDX-License-Identifier: MIT
// `tavolin-cli reference`: the MML reference of the window's Help menu, as Markdown (the table
// docs/mml.md opens with, in English) or as JSON for editors and tools.
#include <iostream>
#include <memory>

#include "app/cli/Commands.h"
#include "app/json/SongJson.h"
#include "music/MmlReference.h"

namespace tavolin::cli {
namespace {

CommandRegistrar reg{[](CLI::App& app) {
    auto asJson = std::make_shared<bool>(false);
    CLI::App* cmd = app.add_subcommand("reference", "Print every MML command with what it does and an example that plays alone");
    cmd->add_flag("--json", *asJson, "A JSON array of {group, heads, syntax, what, example} instead of Markdown");
    cmd->callback([asJson] {
        std::string out;
        if (*asJson) {
            out = json::referenceJson().dump(2) + "\n";
        } else {
            out = music::mmlReferenceMarkdown();
        }
        std::cout << out << std::flush;
        if (!std::cout) throw CliError("cannot write to standard output");
        setExitStatus(kExitOk);
    });
}};

}  // namespace
}  // namespace tavolin::cli
