// SPDX-License-Identifier: MIT
// How long the live check waits after a keystroke: one rule for the window
// and the language server.
#pragma once

#include <algorithm>
#include <chrono>

namespace tavolin::session {

// - A compile starts once the text has been still for twice the recent
//   compile time, at least 20 ms and at most `longest` (150 ms). Keys that
//   come quicker than that (key repeat, a run typed at speed, a paste in
//   pieces) make one compile and one swap; a single change is heard at once.
//   Twice the compile time: a compile that a later key made stale has ended
//   before the next one is due, so the last key waits for its own compile
//   only, never for a stale one.
// - A result that compiles is taken at once. An error is shown only once the
//   text has been still for `longest`, so that a command half typed does not
//   flash red; the song goes on with the last good version meanwhile.
class CheckPace {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kShortest = std::chrono::milliseconds(20);

    explicit CheckPace(Clock::duration longest = std::chrono::milliseconds(150)) : m_longest(longest) {}

    // The stillness a compile waits for.
    Clock::duration wait() const { return std::clamp(2 * m_recent, std::min(kShortest, m_longest), m_longest); }
    // When a result compiled from the text as it stood at `lastEdit` may be
    // shown (a result that compiled: at once).
    Clock::time_point showAt(bool error, Clock::time_point lastEdit) const { return error ? lastEdit + m_longest : Clock::time_point{}; }
    // A compile took `took`: the recent time rises at once with a slow
    // compile and falls back slowly, so one quick compile of a heavy song
    // does not make the next keys wait too little.
    void compiled(Clock::duration took) { m_recent = std::max(took, (3 * m_recent + took) / 4); }
    Clock::duration recent() const { return m_recent; }

private:
    Clock::duration m_longest;
    Clock::duration m_recent = std::chrono::milliseconds(10);
};

}  // namespace tavolin::session
