// SPDX-License-Identifier: MIT
// One song playing on the sound device, for every desktop front end (the
// window, tavolin-cli play, the language server): the built song placed by the
// one recipe (Passage.h), handed to the player, and followed by the live swap
// so that each newer compile is heard at the same place in the music; a poll
// tells each front end's timer where the music stands.
#pragma once

#include <memory>
#include <optional>

#include "document/DocumentFormat.h"
#include "output/Playback.h"
#include "output/SongMap.h"
#include "session/Checkpoints.h"
#include "session/LiveSwap.h"
#include "session/Passage.h"
#include "session/PlayPoll.h"

namespace tavolin::session {

// Threads: every call from one thread (the window's user-interface thread,
// the command line's or the server's main thread). The player renders on its
// worker and the swap builds on its own thread; both are stopped here.
class PlaySession {
public:
    explicit PlaySession(output::AudioDeviceFactory devices, output::PlayerOptions options = {});
    ~PlaySession();
    PlaySession(const PlaySession&) = delete;
    PlaySession& operator=(const PlaySession&) = delete;

    // How a song starts: the whole song (from where its build left it: the
    // caret's note) with Loop on or off, or a passage.
    struct Start {
        bool loop = false;
        std::optional<LivePassage> passage;
    };
    // Stops what plays, then plays `song`, built from `inputs` by the caller
    // (which has reported a failed build its own way). With `follow` every
    // newer compile offered is swapped in (Test follows nothing); `map` is a
    // compile of exactly these inputs, or is made once the song has started,
    // so that Play does not wait for it. The frame of the song's timeline heard
    // first, or nullopt when the device could not play (`host` was told).
    std::optional<uint64_t> play(std::shared_ptr<output::GeneratorWrapper> song, const output::WaveFormat& format,
                                 output::BuildHost& host, const output::BuildInputs& inputs, const Start& start,
                                 bool follow, std::shared_ptr<const output::SongMap> map = nullptr);
    // The same with the song built here from `inputs` (Test's phrase when
    // `testMode`, which follows nothing): nullopt also when the build failed
    // (`host` showed why). Play stops the running song even then.
    std::optional<uint64_t> play(const output::BuildInputs& inputs, bool testMode, output::BuildHost& host, const Start& start,
                                 std::shared_ptr<const output::SongMap> map = nullptr);

    // A selection or a ruler drag looped: the passage the one rule names
    // (loopSpanOf: the pass under what is heard now, when something is) in
    // the whole song as exported, played over and over and following edits.
    PickedPassage loopPick(output::BuildInputs inputs, const LoopPick& pick, output::BuildHost& host);

    // Ends the song and its swaps; the blocks at the device play out.
    void stop();

    // Text changes (bytes of the stored texts) and compiles, while a song plays.
    void edited(int tab, uint64_t position, uint64_t removed, uint64_t inserted);
    void editedTexts(const std::array<std::string, 6>& before, const std::array<std::string, 6>& after);
    bool offer(const output::BuildInputs& inputs, std::shared_ptr<const output::SongMap> map);
    bool following() const noexcept { return m_swap.active(); }
    // The song's frame heard now, in the timeline of swap().playingMap()
    // (nullopt when nothing is followed).
    std::optional<uint64_t> heardFrame(output::PlayPosition::Clock::time_point now) const {
        return m_swap.active() ? m_swap.heardFrame(now) : std::nullopt;
    }
    // From the front end's timer; `texts` are the document's texts now (the
    // lit notes are placed in them), or null for no lit notes.
    PlayPoll poll(output::PlayPosition::Clock::time_point now, const document::TabTexts* texts);

    // The frame the last song played started from: a checkpoint's, or 0 when
    // it was skipped from its start (or needed no skip).
    uint64_t startedFrom() const noexcept { return m_startedFrom; }
    // The checkpoints kept of the latest song compiled (see Checkpoints.h).
    const CheckpointKeeper& checkpoints() const noexcept { return m_checkpoints; }
    CheckpointKeeper& checkpoints() noexcept { return m_checkpoints; }

    output::Player& player() noexcept { return m_player; }
    const output::Player& player() const noexcept { return m_player; }
    LiveSwap& swap() noexcept { return m_swap; }
    const LiveSwap& swap() const noexcept { return m_swap; }

private:
    output::Player m_player;
    CheckpointKeeper m_checkpoints;  // gone after the swap that reads it
    LiveSwap m_swap{m_player, &m_checkpoints.shelf()};  // gone before the player it swaps songs into
    CheckpointMode m_mode;           // of the latest Play or passage: the checkpoints' settings
    uint64_t m_startedFrom = 0;
    bool m_loop = false;                // Play's "Loop" (not a passage's)
    std::optional<uint64_t> m_waiting;  // the frame heard last, where a pause holds the music
    uint64_t m_switchesSeen = 0;        // of the stream playing now
};

}  // namespace tavolin::session
