// SPDX-License-Identifier: MIT
// Document input for check/dump, option parsing, and tracing tab bytes back into the file.
#include "app/cli/CliInput.h"

#include <cstdio>
#include <vector>

#include "app/cli/BuildOptions.h"
#include "app/cli/Commands.h"
#include "compiler/Cp932.h"
#include "compiler/ErrorTable.h"
#include "compiler/UiText.h"
#include "output/SongBuilder.h"
#include "session/SongSettings.h"

namespace tavolin::cli {

DocumentInput readDocumentInput(const std::string& path) {
    DocumentInput doc;
    doc.displayName = path == "-" ? "<stdin>" : path;
    doc.fileBytes = readDocumentFileBytes(path);
    doc.tabs = document::readDocumentBytes(doc.fileBytes);
    return doc;
}

Arith parseArithName(const std::string& name) {
    if (const std::optional<Arith> a = session::parseArith(name)) return *a;
    throw CliError("--arith wants fix, float or double, not '" + name + "'");
}

CursorOption parseCursorOption(const std::string& text) {
    CursorOption c;
    if (text.empty()) return c;
    const size_t colon = text.find(':');
    const std::optional<int> tab = parseTabName(std::string_view(text).substr(0, colon));
    if (colon == std::string::npos || !tab) throw CliError("--cursor wants TAB:OFFSET with TAB common or A..E, e.g. B:12");
    const std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string::npos)
        throw CliError("--cursor offset must be a number of bytes, e.g. B:12");
    c.bank = *tab - 1;
    c.offset = std::stoull(digits);
    return c;
}

namespace {

// A byte string that remembers, for every byte, where it stood in the file.
struct Traced {
    std::string bytes;
    std::vector<uint64_t> from;

    void push(char b, uint64_t at) {
        bytes.push_back(b);
        from.push_back(at);
    }
    Traced slice(size_t begin, size_t end) const {
        Traced t;
        t.bytes = bytes.substr(begin, end - begin);
        t.from.assign(from.begin() + static_cast<std::ptrdiff_t>(begin), from.begin() + static_cast<std::ptrdiff_t>(end));
        return t;
    }
    void append(const Traced& o) {
        bytes += o.bytes;
        from.insert(from.end(), o.from.begin(), o.from.end());
    }
};

// The reader's steps (text mode, upper case, common block, MML@, ;, TABs,
// commas) on traced bytes, so each tab byte knows its file offset.
std::array<Traced, document::kTabCount> traceTabs(std::string_view file) {
    Traced w;
    for (size_t i = 0; i < file.size(); ++i) {
        const char b = file[i];
        if (b == '\x1a' || b == '\0') break;
        if (b == '\r' && i + 1 < file.size() && file[i + 1] == '\n') {
            w.push('\n', i + 1);
            ++i;
            continue;
        }
        w.push(b, i);
    }
    for (size_t i = 0; i < w.bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(w.bytes[i]);
        if (isCp932LeadByte(c) && i + 1 < w.bytes.size()) ++i;
        else if (c >= 'a' && c <= 'z') w.bytes[i] = static_cast<char>(c - 'a' + 'A');
    }
    std::array<Traced, document::kTabCount> tabs;
    const size_t tag = w.bytes.find("SMML@");
    if (tag != std::string::npos) {
        const size_t end = w.bytes.find(';', tag + 5);
        if (end != std::string::npos) {
            tabs[0] = w.slice(tag + 5, end);
            Traced rest = w.slice(0, tag);
            rest.append(w.slice(end + 1, w.bytes.size()));
            w = rest;
        }
    }
    const size_t mml = w.bytes.find("MML@");
    if (mml != std::string::npos) w = w.slice(mml + 4, w.bytes.size());
    const size_t semi = w.bytes.find(';');
    if (semi != std::string::npos) w = w.slice(0, semi);
    Traced noTabs;
    for (size_t i = 0; i < w.bytes.size(); ++i)
        if (w.bytes[i] != '\t') noTabs.push(w.bytes[i], w.from[i]);
    w = noTabs;
    for (int b = 1; b < document::kTabCount; ++b) {
        const size_t comma = w.bytes.find(',');
        if (comma == std::string::npos) {
            tabs[static_cast<size_t>(b)] = w;
            w = Traced{};
        } else {
            tabs[static_cast<size_t>(b)] = w.slice(0, comma);
            w = w.slice(comma + 1, w.bytes.size());
        }
    }
    return tabs;
}

}  // namespace

std::optional<FilePlace> locateInDocument(std::string_view fileBytes, int tab, uint64_t index) {
    if (tab < 0 || tab >= document::kTabCount) return std::nullopt;
    const auto tabs = traceTabs(fileBytes);
    const Traced& t = tabs[static_cast<size_t>(tab)];
    // The trace must agree with the document reader, or it would point at the wrong byte.
    if (t.bytes != document::readDocumentBytes(fileBytes)[static_cast<size_t>(tab)]) return std::nullopt;
    if (index >= t.from.size()) return std::nullopt;
    const uint64_t offset = t.from[static_cast<size_t>(index)];
    FilePlace place;
    size_t i = 0;
    while (i < offset) {
        const auto c = static_cast<unsigned char>(fileBytes[i]);
        if (c == '\n') {
            ++place.line;
            place.column = 1;
            ++i;
        } else if (c == '\r') {
            ++i;
        } else {
            ++place.column;
            i += (isCp932LeadByte(c) && i + 1 < offset) ? 2 : 1;
        }
    }
    return place;
}



std::string describeCompileError(const DocumentInput& doc, const CompileResult& result) {
    std::string text = output::buildErrorReport(result, false) + "\n";
    const std::string message = uiText(errorMessage(result.code));
    const std::string tail = "error: " + message + " [" + json::compileErrorCode(result.code) + "]";
    if (result.bank == -2) {
        text += doc.displayName + ":1:1: " + tail + " (in the internal default code, character " +
                std::to_string(result.position) + ")\n";
        return text;
    }
    std::optional<FilePlace> place;
    if (result.position >= 1) place = locateInDocument(doc.fileBytes, static_cast<int>(result.bank + 1), result.position - 1);
    if (place) {
        text += doc.displayName + ":" + std::to_string(place->line) + ":" + std::to_string(place->column) + ": " + tail + "\n";
    } else {
        text += doc.displayName + ": " + tail + " (tab " + bankLabel(result.bank) + ", character " +
                std::to_string(result.position) + ")\n";
    }
    return text;
}


void addCompileOptions(CLI::App& cmd, CompileOptions& o, const std::string& jsonHelp) {
    cmd.add_option("FILE", o.file, "Document file (SMML@...;MML@...;), or - for standard input")->required();
    cmd.add_flag("--json", o.json, jsonHelp);
    cmd.add_option("--arith", o.arith, "Arithmetic: fix, float or double (default float)");
    cmd.add_option("--cursor", o.cursor, "Start from a caret: TAB:OFFSET, TAB common or A..E, OFFSET in bytes");
}

}  // namespace tavolin::cli
