// SPDX-License-Identifier: MIT
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
#include <sys/stat.h>
#include <unistd.h>

#include "app/cli/BuildOptions.h"
#include "app/cli/Commands.h"
#include "session/LiveCheck.h"
#include "session/PlaySession.h"
#include "output/Passage.h"
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
    bool watch = false;
    std::string file;
    PassageOptionValues passage;
};

// What tells a save apart: a new file in its place (a save by rename), a new
// time or size. The content decides whether anything changed at all.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    int64_t mtimeNs = -1;
    off_t size = -1;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

std::optional<FileStamp> stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;  // between the unlink and the rename of a save
    return FileStamp{st.st_dev, st.st_ino, int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec, st.st_size};
}

constexpr auto kWatchPoll = std::chrono::milliseconds(150);

// The terminal's side of one playing session: builds what the options and
// the file say, prints what happened, reads saves.
class Session {
public:
    Session(const PlayArgs& args, session::PlaySession& playing, TerminalBuildHost& host)
        : m_args(args), m_playing(playing), m_player(playing.player()), m_host(host) {}

    // Builds and plays `doc`; false after printing why not.
    bool start(const DocumentInput& doc, int& status) {
        const output::BuildInputs in = makeBuildInputs(m_args.build, doc);
        output::WaveFormat format;
        std::shared_ptr<output::GeneratorWrapper> song = buildForTerminal(in, m_args.build.testMode, doc, m_host, format);
        if (!song) {
            status = kExitCompileError;
            return false;
        }
        m_rate = format.samplesPerSec;
        session::PlaySession::Start from{m_args.loop, std::nullopt};
        m_total = -1;
        if (m_args.passage.given()) {
            const PassageFrames p = resolvePassage(m_args.passage, in, m_args.build.testMode);
            from.passage = session::LivePassage{p.from, p.to, m_args.loop};
            if (!m_args.loop) m_total = static_cast<double>(p.to - p.from) / m_rate;
        } else if (m_tty && !m_args.loop && !m_args.watch) {
            m_total = songSeconds(in, m_args.build.testMode);
        }
        if (!m_playing.play(std::move(song), format, m_host, in, from, m_args.watch)) {
            status = kExitCompileError;
            return false;
        }
        if (m_args.watch) m_tabs = doc.tabs;
        status = kExitOk;
        return true;
    }

    // A saved file: its song swapped in, started afresh when nothing plays,
    // or its errors printed while the last good song plays on.
    void saved(const DocumentInput& doc, int& status) {
        const output::BuildInputs in = makeBuildInputs(m_args.build, doc);
        const auto map = output::buildSongMap(in, false);
        if (!map->ok()) {
            for (const CompileResult& e : map->errors) {
                const std::optional<music::ErrorPlace> place = music::placeCompileError(e, doc.tabs);
                if (place) std::cerr << clearLine() << doc.displayName << ": " << music::errorStatusText(e, *place) << "\n";
            }
            if (map->errors.empty()) std::cerr << clearLine() << doc.displayName << ": the song cannot be built\n";
            return;
        }
        if (!m_playing.following() || !m_player.swapFrame()) {
            // Nothing plays (the song ended, or never started): from the start.
            m_playing.stop();
            start(doc, status);
            return;
        }
        m_playing.editedTexts(m_tabs, doc.tabs);
        if (m_playing.offer(in, map)) m_tabs = doc.tabs;
    }

    // From the loop's timer: a swap heard is told (for people, and for the
    // check of the whole path, which compares the samples on either side),
    // then the time. False once nothing more will sound.
    bool poll(const std::string& name) {
        const session::PlayPoll now = m_playing.poll(output::PlayPosition::Clock::now(), nullptr);
        if (now.swapped)
            std::cerr << clearLine() << name << ": swapped in at stream frame " << now.swapped->streamFrame << ", song frame "
                      << now.swapped->songFrame << " (" << output::songTimeText(now.swapped->songFrame, m_rate) << ")\n";
        if (m_tty) {
            double heard = m_args.watch ? static_cast<double>(now.frame.value_or(0)) / m_rate
                                        : m_player.blocksHeard() * double{output::kBlockFrames} / m_rate;
            if (m_total >= 0 && heard > m_total) heard = m_total;
            std::cerr << "\r" << clock(heard) << " / " << (m_total >= 0 ? clock(m_total) : "--:--") << "   " << std::flush;
        }
        return now.playing && !now.ended;
    }

    bool tty() const { return m_tty; }

private:
    const char* clearLine() const { return m_tty ? "\r\033[K" : ""; }

    const PlayArgs& m_args;
    session::PlaySession& m_playing;
    output::Player& m_player;
    TerminalBuildHost& m_host;
    const bool m_tty = ::isatty(STDERR_FILENO) == 1;
    uint32_t m_rate = 48000;
    double m_total = -1;
    document::TabTexts m_tabs;  // the texts of the song last handed over
};

CommandRegistrar reg{[](CLI::App& app) {
    auto args = std::make_shared<PlayArgs>();
    CLI::App* cmd = app.add_subcommand("play", "Play a document on the default sound device");
    addBuildOptions(*cmd, args->build);
    cmd->add_flag("--loop", args->loop, "Repeat the song (or the passage of --from and --to) until Ctrl+C");
    cmd->add_flag("--watch", args->watch,
                  "Keep playing until Ctrl+C and swap in the file's contents each time it is saved, at the same place in the music");
    addPassageOptions(*cmd, args->passage);
    cmd->add_option("FILE", args->file, "The document (.mml/.txt), or - for standard input")->required();
    cmd->callback([args, cmd] {
        args->build.testMode = cmd->get_option("--test")->count() > 0;
        if (args->watch && args->file == "-") throw CliError("--watch needs a file, not standard input");
        if (args->watch && args->build.testMode) throw CliError("--watch cannot be combined with --test");
        DocumentInput doc = readDocumentInput(args->file);
        const BankMask audible = audibleBanks(args->build);
        TerminalBuildHost host;
        int status = kExitOk;
        std::optional<FileStamp> stamp = stampOf(args->file);
        {
            EndingSignals signals;
            // The player is destroyed, and with it the stream, before the
            // handler is restored and before anything it uses goes away; the
            // swap's builder goes before the player.
            session::PlaySession playing(output::sdlAudioDeviceFactory());
            output::Player& player = playing.player();
            player.setAudibleBanks(audible);
            {
                Session session(*args, playing, host);
                const bool started = session.start(doc, status);
                if (started || args->watch) {
                    auto nextPoll = std::chrono::steady_clock::now() + kWatchPoll;
                    bool sounding = true;
                    while (!g_interrupted && (args->watch || args->loop || sounding)) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(args->watch ? 20 : 100));
                        sounding = session.poll(doc.displayName);
                        if (args->watch) {
                            if (std::chrono::steady_clock::now() >= nextPoll) {
                                nextPoll = std::chrono::steady_clock::now() + kWatchPoll;
                                const std::optional<FileStamp> now = stampOf(args->file);
                                if (now && now != stamp) {
                                    stamp = now;
                                    try {
                                        DocumentInput next = readDocumentInput(args->file);
                                        if (next.fileBytes != doc.fileBytes) {
                                            doc = std::move(next);
                                            session.saved(doc, status);
                                        }
                                    } catch (const CliError& e) {
                                        std::cerr << e.what() << "\n";  // a save still being written: the next poll
                                        stamp.reset();
                                    }
                                }
                            }
                        }
                    }
                    if (args->watch) status = kExitOk;  // ended by the user, whatever the last save held
                    playing.stop();
                    if (session.tty()) std::cerr << "\n";
                }
            }
        }
        EndingSignals::reraise();
        setExitStatus(status);
    });
}};

}  // namespace
}  // namespace tavolin::cli
