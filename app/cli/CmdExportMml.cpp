// SPDX-License-Identifier: MIT
// `tavolin-cli export-mml`: a document as one "MML@a,b,c,d,e;" record for other MML tools.
#include <iostream>
#include <memory>
#include <string>

#include "app/cli/Commands.h"
#include "document/DocumentFormat.h"
#include "music/ImportSteps.h"

namespace tavolin::cli {
namespace {

CommandRegistrar reg{[](CLI::App& app) {
    auto file = std::make_shared<std::string>();
    CLI::App* cmd = app.add_subcommand(
        "export-mml", "Print a document's banks as one MML@a,b,c,d,e; record, the common text in front of each bank");
    cmd->add_option("FILE", *file, "The document (.mml/.txt), or - for standard input")->required();
    cmd->callback([file] {
        std::optional<std::string> record = music::externalMmlRecord(document::readDocumentBytes(readDocumentFileBytes(*file)));
        if (!record) throw CliError("a text holds ',' or ';', which an MML@ record cannot carry");
        *record += '\n';
        std::cout.write(record->data(), static_cast<std::streamsize>(record->size()));
        std::cout.flush();
        if (!std::cout) throw CliError("cannot write to standard output");
        setExitStatus(kExitOk);
    });
}};

}  // namespace
}  // namespace tavolin::cli
