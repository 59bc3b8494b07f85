// `tavolin-cli check`: compile a document's five banks and report the first error.
#include <iostream>

#include <nlohmann/json.hpp>

#include "app/cli/CliInput.h"
#include "app/cli/Commands.h"

namespace tavolin::cli {
namespace {

struct CheckOptions {
    std::string file;
    bool json = false;
    std::string arith = "float";
    std::string cursor;
};

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
    const Arith arith = parseArithName(o.arith);
    const CursorOption cursor = parseCursorOption(o.cursor);
    const DocumentInput doc = readDocumentInput(o.file);
    switch (arith) {
    case Arith::Fix: return check<Fix>(o, doc, cursor);
    case Arith::Double: return check<double>(o, doc, cursor);
    default: return check<float>(o, doc, cursor);
    }
}

CommandRegistrar reg{[](CLI::App& app) {
    auto opts = std::make_shared<CheckOptions>();
    CLI::App* cmd = app.add_subcommand("check", "Compile a document's five banks; report the first error (exit 1)");
    cmd->add_option("FILE", opts->file, "Document file (SMML@...;MML@...;), or - for standard input")->required();
    cmd->add_flag("--json", opts->json, "Print one JSON object: {\"ok\":true} or the error");
    cmd->add_option("--arith", opts->arith, "Arithmetic: fix, float or double (default float)");
    cmd->add_option("--cursor", opts->cursor, "Start from a caret: TAB:OFFSET, TAB common or A..E, OFFSET in bytes");
    cmd->callback([opts] { setExitStatus(runCheck(*opts)); });
}};

}  // namespace
}  // namespace tavolin::cli
