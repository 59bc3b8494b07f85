// SPDX-License-Identifier: MIT
// `tavolin-cli reference`: the MML reference of the window's Help menu, as Markdown (the table
// docs/mml.md opens with, in English) or as JSON for editors and tools.
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "app/cli/Commands.h"
#include "compiler/UiText.h"
#include "music/MmlReference.h"

namespace tavolin::cli {
namespace {

CommandRegistrar reg{[](CLI::App& app) {
    auto json = std::make_shared<bool>(false);
    CLI::App* cmd = app.add_subcommand("reference", "Print every MML command with what it does and an example that plays alone");
    cmd->add_flag("--json", *json, "A JSON array of {group, heads, syntax, what, example} instead of Markdown");
    cmd->callback([json] {
        std::string out;
        if (*json) {
            nlohmann::ordered_json list = nlohmann::ordered_json::array();
            for (const music::MmlReferenceEntry& e : music::mmlReference())
                list.push_back({{"group", uiText(e.group)}, {"heads", e.heads}, {"syntax", e.syntax}, {"what", uiText(e.what)},
                                {"example", e.example}});
            out = list.dump(2) + "\n";
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
