// SPDX-License-Identifier: MIT
// tavolin-cli: compile, inspect, render, play and convert Tavolin documents.
#include <iostream>

#include <CLI/CLI.hpp>

#include "app/cli/CliLanguage.h"
#include "app/cli/Commands.h"
#include "app/version/Version.h"

int main(int argc, char** argv) {
    tavolin::cli::useLocaleLanguage();
    CLI::App app{"Tavolin command-line tool: check, dump, render, play, import and export MML documents"};
    app.set_version_flag("--version", std::string("tavolin-cli ") + tavolin::programVersion(), "Print the version and exit");
    app.require_subcommand(1);
    tavolin::cli::registerAll(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : tavolin::cli::kExitUsage;
    } catch (const tavolin::cli::CliError& e) {
        std::cerr << "tavolin-cli: " << e.what() << "\n";
        return tavolin::cli::kExitUsage;
    }
    return tavolin::cli::exitStatus();
}
