// SPDX-License-Identifier: MIT
// Reading a document for check/dump: tab texts, arithmetic and cursor options, error places in the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

#include "app/json/SongJson.h"
#include "compiler/EngineNum.h"
#include "compiler/ParseMml.h"
#include "document/DocumentFormat.h"

namespace tavolin::cli {

struct DocumentInput {
    std::string displayName; // FILE as given, "<stdin>" for "-"
    std::string fileBytes;   // the file exactly as read
    document::TabTexts tabs;   // as Open reads it
};

// FILE or "-" (standard input), read as Open reads a document. Throws CliError.
DocumentInput readDocumentInput(const std::string& path);

// "fix", "float" or "double" (any case). Throws CliError otherwise.
Arith parseArithName(const std::string& name);

// --cursor TAB:OFFSET: TAB "common" or A..E, OFFSET bytes into that tab's
// stored text. Empty text: no cursor (bank -1, offset 0). Throws CliError.
struct CursorOption {
    int64_t bank = -1;
    uint64_t offset = 0;
};
CursorOption parseCursorOption(const std::string& text);

// Where byte `index` of tab `tab` (0 common, 1..5 A..E) stands in the file
// as a user sees it: 1-based line (LF counts), 1-based column in characters
// (a CP932 double-byte character is one, CR bytes none). nullopt when the
// byte cannot be traced to the file.
struct FilePlace {
    uint64_t line = 1;
    uint64_t column = 1;
};
std::optional<FilePlace> locateInDocument(std::string_view fileBytes, int tab, uint64_t index);

// The options every compiling subcommand (check, dump) takes.
struct CompileOptions {
    std::string file;
    bool json = false;
    std::string arith = "float";
    std::string cursor;
};

// Adds FILE, --json (described by jsonHelp), --arith and --cursor to cmd.
void addCompileOptions(CLI::App& cmd, CompileOptions& o, const std::string& jsonHelp);

// Reads the document and calls fn.template operator()<T>(doc, cursor) with
// the arithmetic type the options name. Throws CliError on bad options or I/O.
template <typename Fn>
int runForArith(const CompileOptions& o, Fn&& fn) {
    const Arith arith = parseArithName(o.arith);
    const CursorOption cursor = parseCursorOption(o.cursor);
    const DocumentInput doc = readDocumentInput(o.file);
    return withArith(arith, [&]<EngineNumType T>() { return fn.template operator()<T>(doc, cursor); });
}

using json::bankLabel;

// Compiles the document's five banks.
template <EngineNumType T>
CompileResult compileDocument(const document::TabTexts& tabs, const CursorOption& cursor,
                              std::array<EventList<T>, kBankCount>& lists,
                              std::array<SourceSpans, kBankCount>* spans = nullptr) {
    std::array<std::string_view, kBankCount> banks;
    for (int b = 0; b < kBankCount; ++b) banks[static_cast<size_t>(b)] = tabs[static_cast<size_t>(b + 1)];
    return CompileBanks<T>(tabs[0], banks, cursor.bank, cursor.offset, lists, spans);
}

// The diagnostics of a failed compile for a terminal: the report text the
// window shows, then "FILE:LINE:COL: error: MESSAGE [0x8000000N]".
std::string describeCompileError(const DocumentInput& doc, const CompileResult& result);

using json::compileErrorJson;

}  // namespace tavolin::cli
