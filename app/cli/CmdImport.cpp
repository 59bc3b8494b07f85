// SPDX-License-Identifier: MIT
// `tavolin-cli import`: the Import button on a file: other tools' MML spread over the banks.
#include <iostream>
#include <memory>
#include <string>

#include "app/cli/Commands.h"
#include "window/DocumentCommands.h"
#include "document/FileSystem.h"

namespace tavolin::cli {
namespace {

struct ImportArgs {
    bool keepBankTempo = false;
    std::string sourceMax = "15";
    bool noDivide = false;
    std::string out;
    std::string in;
};

// The window as far as an import needs it: the import controls come from the
// options; nothing is shown, played or prompted.
class TerminalDocumentHost final : public window::DocumentHost {
public:
    explicit TerminalDocumentHost(window::ImportControls controls) : m_controls(std::move(controls)) {}
    window::PromptAnswer askYesNoCancel(const std::string&, const std::string&) override {
        return window::PromptAnswer::No;
    }
    std::optional<std::string> showOpenDialog(const window::FileDialogOptions&) override { return std::nullopt; }
    std::optional<std::string> showSaveDialog(const window::FileDialogOptions&) override { return std::nullopt; }
    void messageBox(const std::string& text) override { std::cerr << text << "\n"; }
    bool clipboardHasText() override { return false; }
    std::optional<std::string> readClipboardText() override { return std::nullopt; }
    void setEditorText(const std::string&) override {}
    void updateTitle() override {}
    void stopPlayback() override {}
    window::ImportControls importControls() override { return m_controls; }
    void showStatus(const std::string&) override {}
    void fileUsed(const std::string&) override {}

private:
    window::ImportControls m_controls;
};

void runImport(const ImportArgs& args) {
    if (args.sourceMax.empty() || args.sourceMax.find_first_not_of("0123456789") != std::string::npos)
        throw CliError("--source-max takes a decimal number, got '" + args.sourceMax + "'");
    std::string clip = readDocumentFileBytes(args.in, false);
    clip.resize(std::min(clip.size(), clip.find('\0')));

    document::DocumentState state;
    TerminalDocumentHost host({!args.keepBankTempo, args.sourceMax, !args.noDivide});
    document::RealFileSystem disk;
    window::DocumentCommands commands(state, host, disk);
    commands.loadDocumentText(clip, true, true);

    const std::string bytes = document::writeDocumentBytes(state.tabTexts);
    if (args.out == "-") {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        if (!std::cout) throw CliError("cannot write to standard output");
        return;
    }
    switch (disk.replaceFile(args.out, bytes).outcome) {
    case document::WriteOutcome::Written: return;
    case document::WriteOutcome::CannotOpen: throw CliError("cannot open '" + args.out + "' for writing");
    case document::WriteOutcome::WriteFailed: throw CliError("writing '" + args.out + "' failed; nothing was replaced");
    }
}

CommandRegistrar reg{[](CLI::App& app) {
    auto args = std::make_shared<ImportArgs>();
    CLI::App* cmd = app.add_subcommand(
        "import", "Import MML written for other tools (\"MML@part,part,...;\"), as the インポート button does");
    cmd->add_flag("--keep-bank-tempo", args->keepBankTempo,
                  "Keep T commands inside the banks (by default they are removed)");
    cmd->add_option("--source-max", args->sourceMax,
                    "The source's maximum volume; V values are rescaled from it to 255 (0 leaves them)")
        ->capture_default_str();
    cmd->add_flag("--no-divide", args->noDivide, "Do not divide the volume range by the number of used banks");
    cmd->add_option("-o,--output", args->out, "The document to write (- for standard output)")->required();
    cmd->add_option("IN", args->in, "The MML text, or - for standard input")->required();
    cmd->callback([args] {
        runImport(*args);
        setExitStatus(kExitOk);
    });
}};

}  // namespace
}  // namespace tavolin::cli
