// `tavolin-cli play`: the song on the default sound device through SDL2.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>
#include <thread>

#include <signal.h>
#include <unistd.h>

#include "app/cli/BuildOptions.h"
#include "app/cli/Commands.h"
#include "output/Playback.h"
#include "output/sdl/SdlAudioDevice.h"

namespace tavolin::cli {
namespace {

// The signal that asked playback to end (0: none yet).
volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void onInterrupt(int signal) { g_interrupted = signal; }

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Ctrl+C, a kill or a closed terminal end playback through the loop below,
// so the device is stopped and closed; afterwards the signal is raised again
// with its default action, and the shell sees the usual 128 + signal status.
// A signal ignored when we start (nohup) stays ignored.
class EndingSignals {
public:
    EndingSignals() {
        g_interrupted = 0;
        for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
            struct sigaction action {};
            action.sa_handler = onInterrupt;
            action.sa_flags = SA_RESTART;
            sigemptyset(&action.sa_mask);
            ::sigaction(kEndingSignals[i], nullptr, &m_previous[i]);
            if (m_previous[i].sa_handler != SIG_IGN) ::sigaction(kEndingSignals[i], &action, nullptr);
        }
    }
    ~EndingSignals() {
        for (size_t i = 0; i < std::size(kEndingSignals); ++i) ::sigaction(kEndingSignals[i], &m_previous[i], nullptr);
    }
    EndingSignals(const EndingSignals&) = delete;
    EndingSignals& operator=(const EndingSignals&) = delete;

    // After the player is gone: ends the process by the signal that arrived.
    static void reraise() {
        const int signal = g_interrupted;
        if (signal == 0) return;
        std::cout.flush();
        std::cerr.flush();
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }

private:
    struct sigaction m_previous[std::size(kEndingSignals)] {};
};

std::string clock(double seconds) {
    auto s = static_cast<long long>(seconds);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
    return buf;
}

// The song's length in seconds, found by rendering a second build without
// sound; negative when it does not end within an hour (endless loops).
double songSeconds(const output::BuildInputs& in, bool testMode) {
    TerminalBuildHost quiet;
    quiet.holdMessages(true);  // the same build already succeeded once
    output::WaveFormat format;
    auto song = output::MakeGenerator(in, testMode, quiet, format);
    if (!song) return -1;
    std::vector<int16_t> block(output::kBlockSamples);
    const uint64_t limit = uint64_t{format.samplesPerSec} * 3600;
    uint64_t frames = 0;
    while (!song->IsFinished()) {
        if (frames >= limit) return -1;
        song->Render(std::span<int16_t>(block));
        frames += output::kBlockFrames;
    }
    return static_cast<double>(frames) / format.samplesPerSec;
}

struct PlayArgs {
    BuildOptionValues build;
    bool loop = false;
    std::string file;
    PassageOptionValues passage;
};

CommandRegistrar reg{[](CLI::App& app) {
    auto args = std::make_shared<PlayArgs>();
    CLI::App* cmd = app.add_subcommand("play", "Play a document on the default sound device");
    addBuildOptions(*cmd, args->build);
    cmd->add_flag("--loop", args->loop, "Repeat the song (or the passage of --from and --to) until Ctrl+C");
    addPassageOptions(*cmd, args->passage);
    cmd->add_option("FILE", args->file, "The document (.mml/.txt), or - for standard input")->required();
    cmd->callback([args, cmd] {
        args->build.testMode = cmd->get_option("--test")->count() > 0;
        DocumentInput doc = readDocumentInput(args->file);
        const BankMask audible = audibleBanks(args->build);
        output::BuildInputs in = makeBuildInputs(args->build, doc);
        TerminalBuildHost host;
        int status = kExitOk;
        output::WaveFormat format;
        std::shared_ptr<output::GeneratorWrapper> song = buildForTerminal(in, args->build.testMode, doc, host, format);
        if (!song) {
            setExitStatus(kExitCompileError);
            return;
        }
        const bool tty = ::isatty(STDERR_FILENO) == 1;
        double total = -1;
        if (args->passage.given()) {
            // The song as render writes it (endless loops once), so a passage
            // sounds exactly as the same passage rendered.
            const PassageFrames p = resolvePassage(args->passage, in, args->build.testMode);
            song->SetExportMode();
            song->Skip(p.from);
            song->setPassage(p.to - p.from, args->loop);
            if (!args->loop) total = static_cast<double>(p.to - p.from) / format.samplesPerSec;
        } else {
            song->SetLoop(args->loop);
            if (tty && !args->loop) total = songSeconds(in, args->build.testMode);
        }

        {
            EndingSignals signals;
            // The player is destroyed, and with it the stream, before the
            // handler is restored and before anything it uses goes away.
            output::Player player(output::sdlAudioDeviceFactory());
            player.setAudibleBanks(audible);
            if (!player.StartPlayback(std::move(song), format, host)) {
                status = kExitCompileError;
            } else {
                const double rate = static_cast<double>(output::parseRateText(in.rateText));
                while (!g_interrupted && !(player.songHeard() && !args->loop)) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    if (tty) {
                        double heard = player.blocksHeard() * double{output::kBlockFrames} / rate;
                        if (total >= 0 && heard > total) heard = total;
                        std::cerr << "\r" << clock(heard) << " / " << (total >= 0 ? clock(total) : "--:--") << "   "
                                  << std::flush;
                    }
                }
                player.StopPlayback();
                if (tty) std::cerr << "\n";
            }
        }
        EndingSignals::reraise();
        setExitStatus(status);
    });
}};

}  // namespace
}  // namespace tavolin::cli
