// SPDX-License-Identifier: MIT
// Composing while the song plays: each newer successful compile of the inputs
// Play used replaces the song in the running stream, at the same place in
// the music. Toolkit-free; the window and the command line drive it alike.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "session/Checkpoints.h"
#include "session/Passage.h"
#include "session/SwapAnchor.h"
#include "output/Playback.h"
#include "output/SongMap.h"

namespace tavolin::session {

// How the stream of one Play started, in the played song's timeline.
struct LivePlayStart {
    uint64_t frame = 0;       // the frame heard first (0; the caret's note; the passage's start)
    bool loop = false;        // "Loop": the whole song starts over at its end
    std::optional<LivePassage> passage;  // set when Play plays a passage (frame is then its from)
};

// What the last swap did, for the status and the benchmarks.
struct LiveSwapReport {
    uint64_t swaps = 0;           // swaps handed to the player since Play
    SwapAnchor anchor;            // where the last one went on, in the new song's timeline
    uint64_t oldFrame = 0;        // the old song's timeline frame it was anchored at
    uint64_t streamFrame = 0;     // the stream frame both stand at: the new song's
                                  // frame at stream frame S is anchor.frame + S - streamFrame
    std::chrono::steady_clock::duration build{};  // compile into a generator
    std::chrono::steady_clock::duration seek{};   // advancing it to the anchor
    uint64_t checkpointFrame = 0;  // the last seek started here (0: from the song's start)
};

// The chain of songs of one Play. The user-interface thread makes every call;
// the builds and seeks run on the object's own thread, and the switch on the
// player's worker (see output::Player::swapSong).
//
// How it is driven (PlaySession does the first and last steps for every
// front end; the command line tells whole-file saves as edits):
//
//   Play (not Test):   player.StartPlayback(...) succeeded →
//                      playStarted(inputs, buildSongMap(inputs, false), start)
//                      (the window's own map of exactly these inputs serves too)
//   every text change: edited(tab, position, removed, inserted) — tab 0 common,
//                      1..5 banks A..E; bytes of the stored (CP932) text,
//                      position in the text as it stood just before the change;
//                      made before the live check hears of the change.
//   live result:       offer(inputs the result was compiled from, result);
//                      on a result with an error offer does nothing (the
//                      old song plays on) and the window shows the error as
//                      it does now. Results for other settings (arithmetic,
//                      rate, Loop, Current Bank Play and its tab) are not
//                      taken either.
//   play timer:        heardFrame(now) for the playhead and the status time;
//                      when generation() has changed, playingMap() is the
//                      map of the lit notes and the roll.
//   Stop, Test, New/Open/Import, end of the stream: playStopped().
//
// The anchor: at a stream frame the player names (the first one not yet at
// the device), the old song's timeline frame is turned into the new song's by
// chooseSwapFrame with the edits collected since the old song was compiled;
// the new song is built with no cursor, advanced to that frame and handed
// over. A passage keeps playing: its ends follow their notes (chooseSwapFrame
// on each end) unless offer() is given the new passage. A passage plays as
// the export plays it (endless loops once), as `play --from --to` does.
//
// The timeline is the export's (endless loops once); a song that plays an
// endless loop past its first pass is anchored as though at the same time of
// that first pass.
class LiveSwap {
public:
    using Clock = std::chrono::steady_clock;

    // `checkpoints`, when given, are where a seek may start from too; they
    // must outlive this object.
    explicit LiveSwap(output::Player& player, const CheckpointShelf* checkpoints = nullptr);
    // Waits for a build in flight; the player must outlive this object.
    ~LiveSwap();
    LiveSwap(const LiveSwap&) = delete;
    LiveSwap& operator=(const LiveSwap&) = delete;

    // Play has started the player on the song of `inputs` (all-banks or
    // current-bank mode, not Test). `map` must be of the same inputs and ok().
    void playStarted(const output::BuildInputs& inputs, std::shared_ptr<const output::SongMap> map,
                     const LivePlayStart& start);
    // Forgets the chain; a build in flight is dropped. Harmless when idle.
    void playStopped();
    bool active() const noexcept { return m_active; }

    // One change of a tab's text since the playing song's (see TextEdit).
    void edited(int tab, uint64_t position, uint64_t removed, uint64_t inserted);
    // The same for whole texts replaced at once (a file saved elsewhere): one
    // changeBetween per tab that differs.
    void editedTexts(const std::array<std::string, 6>& before, const std::array<std::string, 6>& after);
    // A successful compile of `inputs` becomes the playing song. False (and
    // nothing changes) when not playing, when `map` failed, or when its
    // settings differ from Play's. Otherwise the edits collected so far go
    // with it and a new list starts; the build, the seek and the hand-over
    // follow on the builder thread (a newer offer made before that build
    // starts replaces it, its edits joined). `passage`, when given, is the
    // passage in the new song's timeline.
    bool offer(const output::BuildInputs& inputs, std::shared_ptr<const output::SongMap> map,
               std::optional<LivePassage> passage = std::nullopt);

    // The frame of the playing song's timeline heard now (wrapped by its
    // passage or loop), nullopt when nothing is heard.
    std::optional<uint64_t> heardFrame(output::PlayPosition::Clock::time_point now) const;
    // The map of the song last offered (the one heard once its swap lands);
    // null when idle.
    std::shared_ptr<const output::SongMap> playingMap() const;
    // The texts playingMap() was compiled from.
    const std::array<std::string, 6>& playingTexts() const noexcept { return m_playingTexts; }
    // The passage playing now (in playingMap()'s timeline), if any.
    std::optional<LivePassage> passage() const;
    // Grows by one with every accepted offer.
    uint64_t generation() const noexcept { return m_generation; }

    // Until the builder has handed over everything offered (tests, the CLI).
    void waitIdle();
    LiveSwapReport report() const;

private:
    struct Song;     // one song of the chain: its map, how it wraps, its stream offset
    struct Request;  // an offer waiting for the builder
    void work();
    void build(Request& request);
    void warm(const Song& song, const output::WaveOutParam& stream, uint64_t epoch);
    // Skips `song` (built and set up, not played) to `frame`; returns the
    // frame the skip started from: the checkpoint's, when the song matches
    // it that far, else 0.
    uint64_t skipTo(output::GeneratorWrapper& song, uint64_t frame, uint64_t epoch);
    // How often an idle builder warms the next seek, and the least the
    // stream must have moved on since the last time.
    static constexpr std::chrono::milliseconds kWarmEvery{1000};
    static constexpr uint64_t kWarmFrames = 48000;

    output::Player& m_player;
    const CheckpointShelf* m_shelf = nullptr;
    bool m_active = false;                      // UI thread
    output::BuildInputs m_settings;             // UI thread: Play's inputs (settings compared by offer)
    TabEdits m_edits;                           // UI thread: since the last offered song
    uint64_t m_generation = 0;                  // UI thread
    std::array<std::string, 6> m_playingTexts;  // UI thread: of the map last offered

    mutable std::mutex m_mutex;                 // guards everything below, shared with the builder
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::shared_ptr<Song> m_song;               // the chain's latest song handed to the player
    std::shared_ptr<const output::SongMap> m_offeredMap;  // the latest offered
    int64_t m_base = 0;                         // Play's first frame: the player's song frames count from it
    std::unique_ptr<Request> m_request;         // waiting for the builder
    std::shared_ptr<output::WaveOutParam> m_stream;  // the stream m_song plays in
    std::optional<uint64_t> m_warmedAt;         // the frame the builder last warmed the seek to
    // Builder thread only: the playing song as it stood at a frame of its
    // timeline not long ago, settled. An edit leaves every bank's records
    // before it alone, so a song built after one starts from here instead
    // of from its beginning whenever its banks have read nothing else yet.
    std::shared_ptr<const output::GeneratorWrapper> m_checkpoint;
    uint64_t m_checkpointFrame = 0;
    uint64_t m_checkpointEpoch = 0;
    uint64_t m_epoch = 0;                       // grows at every Play and Stop: older builds are dropped
    bool m_busy = false;
    bool m_quit = false;
    LiveSwapReport m_report;
    std::thread m_thread;
};

}  // namespace tavolin::session
