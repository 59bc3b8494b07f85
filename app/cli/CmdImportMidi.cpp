// SPDX-License-Identifier: MIT
// `tavolin-cli import-midi`: a Standard MIDI File arranged as a five-bank document, with a report.
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "app/cli/Commands.h"
#include "app/json/SongJson.h"
#include "document/DocumentFormat.h"
#include "document/FileSystem.h"
#include "music/MidiImport.h"

namespace tavolin::cli {
namespace {

struct ImportMidiArgs {
    std::string in;
    std::string out;
    int32_t grid = music::kMidiDefaultGrid;
    std::string overlap = "first";
    std::string map;
    bool json = false;
};

int runImportMidi(const ImportMidiArgs& a) {
    if (a.grid < 1 || a.grid > music::kMidiMaxGrid)
        throw CliError("--grid takes 1 to " + std::to_string(music::kMidiMaxGrid) + " steps per whole note, got " + std::to_string(a.grid));
    music::MidiImportOptions options;
    options.grid = a.grid;
    if (a.overlap == "newest") options.overlap = music::MidiOverlap::Newest;
    else if (a.overlap != "first") throw CliError("--overlap takes first or newest, got '" + a.overlap + "'");
    if (!a.map.empty())
        if (const auto error = music::parseMidiMap(a.map, options)) throw CliError(*error);

    const auto outcome = music::importMidi(readInputBytes(a.in), options);
    // Without -o the document goes to standard output and the report to standard error.
    std::ostream& report = a.out.empty() ? std::cerr : std::cout;
    if (const auto* error = std::get_if<std::string>(&outcome)) {
        if (a.json) report << nlohmann::ordered_json{{"ok", false}, {"error", *error}}.dump() << "\n";
        else std::cerr << a.in << ": " << *error << "\n";
        return kExitCompileError;
    }
    const auto& result = std::get<music::MidiImportResult>(outcome);
    const std::string bytes = document::writeDocumentBytes(result.tabs);
    if (a.out.empty()) {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        if (!std::cout) throw CliError("cannot write to standard output");
    } else {
        document::RealFileSystem disk;
        switch (disk.replaceFile(a.out, bytes).outcome) {
        case document::WriteOutcome::Written: break;
        case document::WriteOutcome::CannotOpen: throw CliError("cannot open '" + a.out + "' for writing");
        case document::WriteOutcome::WriteFailed: throw CliError("writing '" + a.out + "' failed; nothing was replaced");
        }
    }
    if (a.json) report << json::midiReportJson(result.report).dump() << "\n";
    else report << music::midiReportText(result.report);
    return kExitOk;
}

CommandRegistrar reg{[](CLI::App& app) {
    auto args = std::make_shared<ImportMidiArgs>();
    CLI::App* cmd = app.add_subcommand("import-midi", "Arrange a Standard MIDI File (format 0 or 1) as a five-bank document");
    cmd->add_option("-o,--output", args->out, "The document to write (default: standard output, the report then on standard error)");
    cmd->add_option("--grid", args->grid, "Grid in steps per whole note (1 to 1536)")->capture_default_str();
    cmd->add_option("--overlap", args->overlap,
                    "first: a note goes to the first free line; newest: a new note cuts the sounding one in its line")
        ->capture_default_str();
    cmd->add_option("--map", args->map, "Lines for the banks, as A=2.1,B=3.1 (track.line, 1-based; format 0: channel.line)");
    cmd->add_flag("--json", args->json, "The report as one JSON object");
    cmd->add_option("IN", args->in, "The MIDI file, or - for standard input")->required();
    cmd->callback([args] { setExitStatus(runImportMidi(*args)); });
}};

}  // namespace
}  // namespace tavolin::cli
