// SPDX-License-Identifier: MIT
// The subcommand registry and input helpers shared by every tavolin-cli command.
#include "app/cli/Commands.h"

#include "document/DocumentCheck.h"
#include "document/TextEncoding.h"
#include "document/UserTexts.h"

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

namespace {

std::string documentCheckText(const std::string& name, const document::DocumentFileCheck& check) {
    const std::string offset = std::to_string(check.offset), count = std::to_string(check.count);
    switch (check.problem) {
    case document::FileProblem::None: break;
    case document::FileProblem::NulByte:
        return "'" + name + "' is not a document (a binary file?): NUL byte at byte " + offset + " (" + count +
               " in all); nothing was read";
    case document::FileProblem::Undecodable:
        return "'" + name + "' is not a document: " + count + " byte sequence(s) that are no CP932 character, the first at byte " +
               offset + "; nothing was read";
    case document::FileProblem::TextAfterEnd:
        return "'" + name + "': the text ends at the Ctrl+Z (0x1A) at byte " + offset + "; the " + count +
               " byte(s) after it are not read";
    case document::FileProblem::OutsideRecord:
        return "'" + name + "': " + count + " byte(s) outside the document record (SMML@...;MML@...;) are not read";
    }
    return {};
}

}  // namespace

std::string readDocumentFileBytes(const std::string& path, bool asDocument) {
    const std::string name = path == "-" ? "<stdin>" : path;
    const std::string bytes = readInputBytes(path);
    // The window's limit and its words.
    document::LoadedDocument loaded = document::loadDocumentFile(bytes, asDocument);
    switch (loaded.refusal) {
    case document::LoadedDocument::Refusal::None: break;
    case document::LoadedDocument::Refusal::TooLarge: throw CliError(document::documentTooLargeMessage(name, bytes.size()));
    case document::LoadedDocument::Refusal::Unencodable: {
        std::string message = "'" + name + "' is UTF-8 with characters CP932 cannot hold; nothing was converted:";
        for (const auto& c : loaded.decoded.unencodable) message += "\n  line " + std::to_string(c.line) + ": " + c.character;
        throw CliError(message);
    }
    case document::LoadedDocument::Refusal::NotADocument: break;  // said after the encoding note, as before
    }
    if (loaded.decoded.encoding == document::FileEncoding::Utf8)
        std::cerr << "tavolin-cli: note: '" << name << "' is UTF-8; read as CP932 text\n";
    if (loaded.check.refused()) throw CliError(documentCheckText(name, loaded.check));
    if (loaded.check.losesText()) std::cerr << "tavolin-cli: warning: " << documentCheckText(name, loaded.check) << "\n";
    return std::move(loaded.decoded.bytes);
}

}  // namespace tavolin::cli
