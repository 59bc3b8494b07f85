// SPDX-License-Identifier: MIT
// Checkpoints of a song along its whole length, taken in idle time after
// each compile, so that a passage (Ctrl+L, a roll click looped) or a swap
// far into a song starts from the nearest one instead of from the song's
// beginning. A fast seek has a closed form for most of what a bank does; the
// checkpoints bound what is left (two banks drawing random numbers side by
// side) by the spacing: at most a sixteenth of the song is ever skipped,
// whatever the song. Play from a caret seeks the caret's bank first and the
// others after it, each on its own (which bank gets which random number
// follows from that order), so a checkpoint of the song played from its
// start would not stand where that seek does: it keeps its own fast seek.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "output/SongBuilder.h"
#include "session/Passage.h"

namespace tavolin::session {

// The play settings a checkpoint shares with every song that takes it up:
// the whole song with Loop on or off, or a passage (endless loops once, as
// exported).
struct CheckpointMode {
    bool loop = false;
    bool passage = false;
    bool operator==(const CheckpointMode&) const = default;
};

// The synchronous core, driven in steps by its caller. Threads: begin and
// step from one thread; adoptNearest, count and bytes from any (a lock
// guards the list; a checkpoint never changes once listed).
class CheckpointShelf {
public:
    static constexpr size_t kMaxCheckpoints = 32;
    static constexpr uint64_t kMinSpacingSeconds = 2;

    // Forgets every checkpoint and sets out to take new ones of the song of
    // `inputs` (built with no cursor, set up in `mode`) over its first
    // `frames` frames. False (and an empty shelf) when it does not build.
    bool begin(const output::BuildInputs& inputs, CheckpointMode mode, uint64_t frames);
    // Takes the song on by at most `budget` frames, listing a checkpoint
    // wherever one falls due. False once there is nothing left to do.
    bool step(uint64_t budget);
    // Lets `song` (built and set up, not yet played) take up the state of the
    // latest checkpoint at or before `frame` and after `after` that it can
    // adopt (see GeneratorWrapper::adoptStateOf: an edit after that point
    // changes nothing before it). Returns that checkpoint's frame; nullopt
    // leaves the song untouched.
    std::optional<uint64_t> adoptNearest(output::GeneratorWrapper& song, uint64_t frame, uint64_t after = 0) const;

    size_t count() const;
    size_t bytes() const;  // held by the listed checkpoints
    uint64_t spacing() const noexcept { return m_spacing; }
    CheckpointMode mode() const noexcept { return m_mode; }

private:
    struct Entry {
        uint64_t frame = 0;
        std::shared_ptr<const output::GeneratorWrapper> song;
        size_t bytes = 0;
    };
    std::shared_ptr<output::GeneratorWrapper> m_walker;  // the song, skipped as far as `m_at`
    uint64_t m_at = 0;
    uint64_t m_end = 0;
    uint64_t m_spacing = 0;
    CheckpointMode m_mode;
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;  // guarded; frames ascending
};

// The same song as a swap builds it: its settings, the selected tab (which
// names the bank a compile marks, even with no caret) and the texts.
bool sameSong(const output::BuildInputs& a, const output::BuildInputs& b);

// A seek that starts from the shelf's nearest checkpoint (`from`, when
// given, is told which); no shelf: the song's own seek.
SkipTo checkpointSkip(const CheckpointShelf* shelf, uint64_t* from = nullptr);

// Drives a shelf on a thread of its own at a lower priority: each compile
// handed in replaces the work in hand. Every call from one thread (the
// session's); the destructor waits for the step in hand.
class CheckpointKeeper {
public:
    CheckpointKeeper();
    ~CheckpointKeeper();
    CheckpointKeeper(const CheckpointKeeper&) = delete;
    CheckpointKeeper& operator=(const CheckpointKeeper&) = delete;

    // A compile that succeeded: its song's checkpoints replace the shelf's,
    // unless the shelf already holds (or is taking) exactly these.
    void compiled(const output::BuildInputs& inputs, CheckpointMode mode);
    // Forgets the shelf and the work in hand (New, Open: a new document).
    void clear();
    // Until the work handed in is done (tests, benchmarks).
    void waitIdle();
    const CheckpointShelf& shelf() const noexcept { return m_shelf; }

private:
    struct Job {
        output::BuildInputs inputs;
        CheckpointMode mode;
    };
    void work();

    CheckpointShelf m_shelf;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::optional<Job> m_job;       // waiting for the thread
    std::optional<Job> m_current;   // the shelf's (or the one it is taking)
    std::atomic<uint64_t> m_serial{0};  // grows with every job and clear: a step in hand stops
    bool m_busy = false;
    bool m_quit = false;
    std::thread m_thread;
};

}  // namespace tavolin::session
