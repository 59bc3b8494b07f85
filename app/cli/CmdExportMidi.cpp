// SPDX-License-Identifier: MIT
// `tavolin-cli export-midi`: the song's notes as a Standard MIDI File, as "MIDI出力" writes it.
#include <iostream>
#include <memory>

#include "app/cli/BuildOptions.h"
#include "app/cli/Commands.h"
#include "window/ExportSteps.h"
#include "output/MidiExport.h"

namespace tavolin::cli {
namespace {

class TerminalMidiHost final : public output::ExportHost {
public:
    void messageBox(const std::string& utf8Text) override { m_build.messageBox(utf8Text); }
    void selectTab(int) override {}
    void selectText(uint64_t, uint64_t) override {}
    std::optional<std::string> askSavePath(const output::SaveDialogRequest&) override { return std::nullopt; }
    bool exportProgress(uint64_t, double) override { return true; }
    void exportWarning(const std::string& utf8Text) override { std::cerr << "warning: " << utf8Text << "\n"; }
    void exportFileFailed(const output::ExportFileFailure& failure) override {
        m_build.messageBox(window::exportFailureMessage(failure));
    }
    TerminalBuildHost& buildHost() { return m_build; }

private:
    TerminalBuildHost m_build;
};

struct MidiArgs {
    BuildOptionValues build;
    std::string out;
    std::string file;
};

CommandRegistrar reg{[](CLI::App& app) {
    auto args = std::make_shared<MidiArgs>();
    CLI::App* cmd = app.add_subcommand("export-midi", "Write the song's notes as a MIDI file (format 1, 480 ticks per quarter)");
    cmd->add_option("-o,--output", args->out, "The MIDI file to write")->required();
    cmd->add_option("--arith", args->build.arith, "Arithmetic: fix, float or double (default float)");
    cmd->add_option("--current-bank", args->build.currentBank, "Only this bank (A..E), as Current Bank Play");
    cmd->add_option("FILE", args->file, "The document (.mml/.txt), or - for standard input")->required();
    cmd->callback([args] {
        DocumentInput doc = readDocumentInput(args->file);
        output::BuildInputs in = makeBuildInputs(args->build, doc);
        TerminalMidiHost host;
        output::WaveFormat format;
        std::shared_ptr<output::GeneratorWrapper> song = buildForTerminal(in, false, doc, host.buildHost(), format);
        if (!song) {
            setExitStatus(kExitCompileError);
            return;
        }
        const output::ExportOutcome outcome = output::writeSongToMidi(*song, args->out, host);
        setExitStatus(outcome == output::ExportOutcome::Written ? kExitOk : kExitUsage);
    });
}};

}  // namespace
}  // namespace tavolin::cli
