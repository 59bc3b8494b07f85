// SPDX-License-Identifier: MIT
// `tavolin-cli render`: the audio export of a document (WAV, FLAC, Ogg Vorbis or Opus
// by the output's extension), or one WAV stem per sounding bank.
#include <array>
#include <filesystem>
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "app/cli/BuildOptions.h"
#include "app/cli/Commands.h"
#include "window/ExportSteps.h"
#include "output/WavExport.h"
#include "session/Passage.h"

namespace tavolin::cli {
namespace {

// The exporter's window on the terminal: the save dialog answers with the
// path from -o, progress is silent.
class TerminalExportHost final : public output::ExportHost {
public:
    explicit TerminalExportHost(std::string path, bool namePath = false) : m_path(std::move(path)), m_namePath(namePath) {}
    // With `namePath`, the export's own messages (no loop, too long) name the
    // file they were about.
    void messageBox(const std::string& utf8Text) override {
        m_build.messageBox(m_namePath ? "'" + m_path + "': " + utf8Text : utf8Text);
    }
    TerminalBuildHost& buildHost() { return m_build; }
    void selectTab(int) override {}
    void selectText(uint64_t, uint64_t) override {}
    std::optional<std::string> askSavePath(const output::SaveDialogRequest&) override { return m_path; }
    bool exportProgress(uint64_t, double) override { return true; }
    void exportWarning(const std::string& utf8Text) override { std::cerr << "warning: " << utf8Text << "\n"; }
    void exportFileFailed(const output::ExportFileFailure& failure) override {
        m_build.messageBox(window::exportFailureMessage(failure));
    }

private:
    std::string m_path;
    bool m_namePath = false;
    TerminalBuildHost m_build;
};

int exitFor(output::ExportOutcome outcome) {
    switch (outcome) {
    case output::ExportOutcome::Written: return kExitOk;
    case output::ExportOutcome::NotBuilt: return kExitCompileError;
    default: return kExitUsage;
    }
}

// One pass with every bank running: the stems add up to the mix.
int renderStems(const BuildOptionValues& values, const DocumentInput& doc, const std::string& dir,
                const output::ExportOptions& options) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw CliError("cannot create folder '" + dir + "': " + ec.message());
    const BankMask audible = audibleBanks(values);
    output::BuildInputs in = makeBuildInputs(values, doc);
    in.forExport = true;
    std::array<std::string, kBankCount> paths;
    for (int bank = 0; bank < kBankCount; ++bank)
        paths[static_cast<size_t>(bank)] =
            (std::filesystem::path(dir) / (std::string(1, static_cast<char>('A' + bank)) + ".wav")).string();
    TerminalExportHost host(paths[0]);
    output::WaveFormat format;
    std::shared_ptr<output::GeneratorWrapper> song = buildForTerminal(in, false, doc, host.buildHost(), format);
    if (!song) return kExitCompileError;
    song->setAudible(audible);
    output::ExportOptions wav = options;
    wav.type = output::AudioFileType::Wav;
    std::vector<int> written;
    const output::ExportOutcome outcome = output::writeStems(*song, format, paths, host, wav, &written);
    if (outcome != output::ExportOutcome::Written) return exitFor(outcome);
    for (int bank : written) std::cout << paths[static_cast<size_t>(bank)] << "\n";
    if (written.empty()) std::cerr << "no audible bank holds a note; nothing written\n";
    return kExitOk;
}

struct RenderArgs {
    BuildOptionValues build;
    std::string out;
    std::string stems;
    std::string file;
    int32_t loops = 1;
    double fadeSeconds = 0;
    bool loopPoints = false;
    bool splitLoop = false;
    bool json = false;
    PassageOptionValues passage;
};

CommandRegistrar reg{[](CLI::App& app) {
    auto args = std::make_shared<RenderArgs>();
    CLI::App* cmd = app.add_subcommand("render", "Render a document to a WAV, FLAC, Ogg Vorbis or Opus file, as the Wav出力 button does");
    addBuildOptions(*cmd, args->build);
    auto* out = cmd->add_option("-o,--output", args->out,
                                "The file to write: .flac, .ogg (Vorbis) or .opus by its extension, else WAV");
    auto* stems = cmd->add_option("--stems", args->stems, "Write one WAV per sounding bank (A.wav..E.wav) into this folder, all as long as the song and "
                                "rendered in one pass, so they add up to the mix (--mute/--solo leave stems out)");
    out->excludes(stems);
    cmd->add_option("--loops", args->loops, "Every endless loop plays N times (default 1)")
        ->check(CLI::Range(int32_t{1}, int32_t{1000000}));
    cmd->add_option("--fade", args->fadeSeconds,
                    "Fade out over S seconds: the song goes on looping after the last asked pass while it fades "
                    "(without an endless loop, its last S seconds fade)")
        ->check(CLI::Range(0.0, 86400.0));
    cmd->add_flag("--loop-points", args->loopPoints,
                  "Write the intro and exactly one pass of the song's loop, the loop marked for games (WAV smpl chunk; "
                  "LOOPSTART/LOOPLENGTH comments in FLAC, Ogg and Opus)");
    cmd->add_flag("--split-loop", args->splitLoop, "Write the intro and the loop as NAME_intro.EXT and NAME_loop.EXT instead");
    cmd->add_flag("--json", args->json,
                  "With --loop-points or --split-loop: print {\"loopStart\", \"loopLength\", \"rate\"} (frames, Hz)");
    addPassageOptions(*cmd, args->passage);
    cmd->add_option("FILE", args->file, "The document (.mml/.txt), or - for standard input")->required();
    cmd->callback([args, cmd] {
        args->build.testMode = cmd->get_option("--test")->count() > 0;
        output::ExportOptions options;
        options.loops = args->loops;
        options.fadeSeconds = args->fadeSeconds;
        if (args->passage.given() && (!args->stems.empty() || args->fadeSeconds > 0 || args->loops != 1))
            throw CliError("--from and --to render a passage of the song as it plays once; --stems, --fade and --loops do not apply");
        const bool loop = args->loopPoints || args->splitLoop;
        if (args->json && !loop) throw CliError("--json prints the loop points: it needs --loop-points or --split-loop");
        if (loop && (args->passage.given() || !args->stems.empty() || args->fadeSeconds > 0 || args->loops != 1))
            throw CliError("--loop-points and --split-loop write the intro and one loop; --from, --to, --stems, --fade and --loops do not apply");
        if (!args->stems.empty()) {
            if (args->build.testMode || !args->build.currentBank.empty())
                throw CliError("--stems renders every bank; --test and --current-bank do not apply");
            setExitStatus(renderStems(args->build, readDocumentInput(args->file), args->stems, options));
            return;
        }
        if (args->out.empty()) throw CliError("render needs -o OUT.wav (or .flac, .ogg, .opus) or --stems DIR");
        DocumentInput doc = readDocumentInput(args->file);
        const BankMask audible = audibleBanks(args->build);
        output::BuildInputs in = makeBuildInputs(args->build, doc);
        in.forExport = true;
        TerminalExportHost host(args->out, loop);
        output::WaveFormat format;
        std::shared_ptr<output::GeneratorWrapper> song =
            buildForTerminal(in, args->build.testMode, doc, host.buildHost(), format);
        if (!song) {
            setExitStatus(kExitCompileError);
            return;
        }
        song->setAudible(audible);
        if (args->passage.given()) {
            const PassageFrames p = resolvePassage(args->passage, in, args->build.testMode);
            session::placeSong(*song, false, session::LivePassage{p.from, p.to, false});
        }
        if (loop) {
            const output::ExportOutcome outcome = output::writeSongWithLoop(*song, format, args->out, host, args->splitLoop, options);
            if (outcome == output::ExportOutcome::Written && args->json) {
                // The same analysis the export used: the song is built once and
                // the analysis reads only its lists.
                const output::LoopAnalysis a = output::songLoopOf(*song);
                nlohmann::ordered_json j;
                j["loopStart"] = a.loop ? a.loop->start : 0;
                j["loopLength"] = a.loop ? a.loop->length : 0;
                j["rate"] = format.samplesPerSec;
                std::cout << j.dump() << "\n";
            }
            setExitStatus(exitFor(outcome));
            return;
        }
        setExitStatus(exitFor(output::writeSongToFile(*song, format, args->out, host, options)));
    });
}};

}  // namespace
}  // namespace tavolin::cli
