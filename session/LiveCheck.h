// SPDX-License-Identifier: MIT
// Checking as the musician types: a debounced compile off the user-interface thread, stale results
// dropped (the error's place in the editor is editor/ErrorPlace.h).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "document/DocumentFormat.h"
#include "music/ErrorPlace.h"
#include "output/SongMap.h"
#include "session/CheckPace.h"

namespace tavolin::session {

// The debounced checker. The user-interface thread calls edited() on every
// change of the document or of a build setting and poll() from a timer; a
// worker thread compiles the latest inputs once the text has been still for
// the wait CheckPace gives. takeResult() hands over a result only when no
// edit came after the inputs it was compiled from: a stale result is dropped,
// and the newer inputs get their own compile. A result that compiled is
// handed over at once, an error after CheckPace's calm. Typing never waits
// for a compile.
class LiveCheck {
public:
    using Clock = std::chrono::steady_clock;
    using Compile = std::function<std::shared_ptr<const output::SongMap>(const output::BuildInputs&)>;

    // `longest`: the longest wait before a compile, and the calm before an error shows.
    explicit LiveCheck(Compile compile, Clock::duration longest = std::chrono::milliseconds(150));
    ~LiveCheck();
    LiveCheck(const LiveCheck&) = delete;
    LiveCheck& operator=(const LiveCheck&) = delete;

    void edited(output::BuildInputs inputs, Clock::time_point now);
    // Starts the compile when it is due. Returns when to poll again (nullopt:
    // nothing is waiting for its wait, nor an error for its calm).
    std::optional<Clock::time_point> poll(Clock::time_point now);
    // The result of the latest edit, once; nullptr when there is none (yet),
    // or while it is an error within its calm.
    std::shared_ptr<const output::SongMap> takeResult(Clock::time_point now);
    // The wait a compile starts after, as the recent compiles set it.
    Clock::duration compileWait();
    // Until the worker has nothing to compile (tests, and shutting down).
    void waitIdle();

private:
    void work();

    Compile m_compile;
    uint64_t m_edits = 0;                       // UI thread: generation of the latest edit
    std::optional<output::BuildInputs> m_pending; // UI thread: waiting for its debounce
    Clock::time_point m_lastEdit{};

    std::mutex m_mutex;  // guards everything below, shared with the worker
    std::condition_variable m_wake;
    CheckPace m_pace;
    std::optional<std::pair<uint64_t, output::BuildInputs>> m_request;
    bool m_busy = false;
    bool m_quit = false;
    std::optional<std::pair<uint64_t, std::shared_ptr<const output::SongMap>>> m_result;
    std::thread m_worker;
};

}  // namespace tavolin::session
