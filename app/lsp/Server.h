// SPDX-License-Identifier: MIT
// The language server's dispatcher: JSON-RPC messages in, replies and notifications out, the
// lifecycle (initialize, shutdown, exit) and the open documents. Features live in editor/.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/lsp/Protocol.h"
#include "document/DocumentMap.h"
#include "output/AudioDevice.h"
#include "output/SongMap.h"
#include "session/CheckPace.h"

namespace tavolin::session {
class PlaySession;
}

namespace tavolin::lsp {

// One open document: its file bytes (CP932) mapped to tabs, and the last compile.
struct OpenDocument {
    int64_t version = 0;
    document::DocumentMap map;
    std::shared_ptr<const output::SongMap> song;  // nullptr until compiled, or when too large
    bool tooLarge = false;                        // beyond the window's limit: not mapped, not compiled
    std::string largeBytes;                       // the bytes of a document too large
    bool checkDue = false;                        // edited since the last compile
    std::chrono::steady_clock::time_point editedAt{};
    // An error found while the text was being typed: published once the text
    // has been still for the calm (see session::CheckPace).
    std::optional<std::chrono::steady_clock::time_point> publishAt;
};

// Not thread-safe: one thread calls everything (the run loop or a test).
class Server {
public:
    using Clock = std::chrono::steady_clock;
    using Send = std::function<void(const json&)>;

    // `devices` opens the sound device tavolin.play plays on (none: play is refused).
    // `longest`: the live check's longest wait and its calm before an error (see session::CheckPace).
    explicit Server(Send send, Clock::duration longest = std::chrono::milliseconds(150), output::AudioDeviceFactory devices = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // One message body as read from the transport.
    void handleBody(const std::string& body, Clock::time_point now);
    void handle(const json& message, Clock::time_point now);
    // Compiles the documents whose debounce has passed and publishes their
    // diagnostics; while a song plays, sends the notes sounding (when they
    // changed). Returns when to call again (nullopt: nothing waits).
    std::optional<Clock::time_point> poll(Clock::time_point now);

    bool exited() const noexcept { return m_exited; }
    // 0 when shutdown came before exit, 1 otherwise.
    int exitCode() const noexcept { return m_shutdown ? 0 : 1; }

    const OpenDocument* document(const std::string& uri) const;
    // What plays (nullptr before the first play): for benchmarks that time a swap to the device.
    const session::PlaySession* playSession() const noexcept { return m_session.get(); }

private:
    using Handler = json (Server::*)(const json& params, Clock::time_point now);

    json initialize(const json& params, Clock::time_point now);
    json shutdown(const json& params, Clock::time_point now);
    json didOpen(const json& params, Clock::time_point now);
    json didChange(const json& params, Clock::time_point now);
    json didClose(const json& params, Clock::time_point now);

    json hover(const json& params, Clock::time_point now);
    json inlayHint(const json& params, Clock::time_point now);
    json completion(const json& params, Clock::time_point now);
    json codeAction(const json& params, Clock::time_point now);
    json documentSymbol(const json& params, Clock::time_point now);
    json definition(const json& params, Clock::time_point now);
    json references(const json& params, Clock::time_point now);
    json rename(const json& params, Clock::time_point now);
    json semanticTokensFull(const json& params, Clock::time_point now);
    json semanticTokensRange(const json& params, Clock::time_point now);
    json executeCommand(const json& params, Clock::time_point now);

    // The commands of executeCommand; `args` is the first argument (an object).
    json play(const json& args);
    json stop();
    json render(const json& args);
    // While playing: the notes heard now, sent as tavolin/playingNotes when
    // the set changed; at the song's end, the empty set and playback ends.
    void sendPlayingNotes();
    void endPlaying();
    // A document changed while its song plays: the live swap learns where
    // (`before`: its tabs just before the change), so that the next compile
    // that succeeds goes on at the same place in the music.
    void playingDocumentChanged(const document::TabTexts& before, const OpenDocument& doc);
    // A compile of the playing document that succeeded becomes the playing song.
    void offerToPlaying(const std::string& uri, const OpenDocument& doc);

    OpenDocument& openDocument(const json& params);
    void setText(OpenDocument& doc, std::string fileBytes);
    // Compiles, offers the song to what plays and publishes the diagnostics;
    // from the live check's timer (`now` given), an error waits for its calm.
    void check(const std::string& uri, OpenDocument& doc, std::optional<Clock::time_point> now = std::nullopt);
    void publish(const std::string& uri, const OpenDocument& doc);

    Send m_send;
    session::CheckPace m_pace;
    bool m_initialized = false;
    bool m_shutdown = false;
    bool m_exited = false;
    uint32_t m_rateHz = 48000;  // 0: none the engine runs at (see sampleRateOf)
    Arith m_arith = Arith::Float;
    std::map<std::string, OpenDocument> m_documents;

    // The document playing: Play's inputs and the notes sent last.
    struct Playing {
        std::string uri;
        output::BuildInputs inputs;
        json lastNotes;
    };
    output::AudioDeviceFactory m_devices;
    std::unique_ptr<session::PlaySession> m_session;  // made at the first play
    std::optional<Playing> m_playing;
};

// Serves `in` to `out` until exit or the end of input; returns the exit code.
// `in` must outlive the process or reach its end (the reader may be left
// blocked in a read after exit).
// A reader thread frames the input so that diagnostics fall due while no
// message arrives.
int runServer(std::istream& in, std::ostream& out, output::AudioDeviceFactory devices = {});

}  // namespace tavolin::lsp
