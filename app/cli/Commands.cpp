// The subcommand registry and input helpers shared by every tavolin-cli command.
#include "app/cli/Commands.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <vector>

namespace tavolin::cli {
namespace {

std::vector<RegisterFn>& registry() {
    static std::vector<RegisterFn> fns;
    return fns;
}
int g_exitStatus = kExitOk;

}  // namespace

CommandRegistrar::CommandRegistrar(RegisterFn fn) { registry().push_back(std::move(fn)); }

void registerAll(CLI::App& app) {
    for (auto& fn : registry()) fn(app);
}

int exitStatus() { return g_exitStatus; }
void setExitStatus(int status) { g_exitStatus = status; }

std::string readInputBytes(const std::string& path) {
    if (path == "-") {
        std::ostringstream ss;
        ss << std::cin.rdbuf();
        return ss.str();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CliError("cannot open '" + path + "' for reading");
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw CliError("cannot read '" + path + "'");
    return bytes;
}

}  // namespace tavolin::cli
