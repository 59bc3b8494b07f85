// SPDX-License-Identifier: MIT
// `tavolin-cli check`: compile a document's five banks and report the first error.
#include <iostream>

#include <nlohmann/json.hpp>

#include "app/cli/CliInput.h"
#include "app/cli/Commands.h"

namespace tavolin::cli {
namespace {

using CheckOptions = CompileOptions;

template <EngineNumType T>
int check(const CheckOptions& o, const DocumentInput& doc, const CursorOption& cursor) {
    std::array<EventList<T>, kBankCount> lists;
    const CompileResult r = compileDocument<T>(doc.tabs, cursor, lists);
    if (r.code != 0) {
        if (o.json) std::cout << compileErrorJson(r) << "\n";
        else std::cout << describeCompileError(doc, r);
        return kExitCompileError;
    }
    if (o.json) {
        std::cout << R"({"ok":true})" << "\n";
        return kExitOk;
    }
    std::cout << doc.displayName << ": ok (" << arithName(arithOf<T>()) << ")";
    for (int b = 0; b < kBankCount; ++b) {
        const auto& l = lists[static_cast<size_t>(b)];
        std::cout << (b ? ", " : ": ") << bankLabel(b) << " ";
        if (l.empty()) std::cout << "silent";
        else std::cout << l.size() << " events";
    }
    std::cout << "\n";
    return kExitOk;
}

int runCheck(const CheckOptions& o) {
    return runForArith(o, [&o]<EngineNumType T>(const DocumentInput& doc, const CursorOption& cursor) {
        return check<T>(o, doc, cursor);
    });
}

CommandRegistrar reg{[](CLI::App& app) {
    auto opts = std::make_shared<CheckOptions>();
    CLI::App* cmd = app.add_subcommand("check", "Compile a document's five banks; report the first error (exit 1)");
    addCompileOptions(*cmd, *opts, "Print one JSON object: {\"ok\":true} or the error");
    cmd->callback([opts] { setExitStatus(runCheck(*opts)); });
}};

}  // namespace
}  // namespace tavolin::cli
