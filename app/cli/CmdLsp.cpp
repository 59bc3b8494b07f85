// SPDX-License-Identifier: MIT
// `tavolin-cli lsp`: the language server on standard input and output.
#include <iostream>

#include "app/cli/Commands.h"
#include "app/lsp/Server.h"
#include "output/sdl/SdlAudioDevice.h"

namespace tavolin::cli {
namespace {

CommandRegistrar reg{[](CLI::App& app) {
    CLI::App* cmd = app.add_subcommand("lsp", "Serve .mml documents to an editor over the Language Server Protocol (stdio)");
    cmd->callback([] {
        std::ios::sync_with_stdio(false);
        setExitStatus(lsp::runServer(std::cin, std::cout, output::sdlAudioDeviceFactory()));
    });
}};

}  // namespace
}  // namespace tavolin::cli
