// SPDX-License-Identifier: MIT
// What the editor shows about the music while the musician types: the live check's error, the
// song time at the caret and the song's length, and the notes lit while they play. Toolkit-free;
// the window draws what it says.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "window/CTavolinDlg.h"
#include "window/PianoRoll.h"
#include "session/LiveCheck.h"

namespace tavolin::window {

// "m:ss.cc" of a frame count at a rate ("1:23.45").
std::string songClock(uint64_t frames, uint32_t rate);

// All calls on the user-interface thread (the compile runs on the live
// check's worker).
class LiveEditor {
public:
    explicit LiveEditor(session::LiveCheck::Compile compile = defaultCompile(),
                        session::LiveCheck::Clock::duration longest = std::chrono::milliseconds(150));

    // The compile Play would run for these inputs.
    static session::LiveCheck::Compile defaultCompile();

    // The document or a build setting changed.
    void changed(const WindowSnapshot& snapshot, session::LiveCheck::Clock::time_point now);
    // From a timer: starts a due compile and takes a finished one. True when
    // what the editor shows has changed (error, marks, times). `nextPoll`
    // receives when to poll again, if something is waiting.
    bool poll(session::LiveCheck::Clock::time_point now, std::optional<session::LiveCheck::Clock::time_point>* nextPoll = nullptr);
    // Tests: until the worker is idle.
    void waitIdle() { m_check.waitIdle(); }

    // The latest compile of the document (nullptr before the first).
    const output::SongMap* map() const noexcept { return m_map.get(); }
    std::shared_ptr<const output::SongMap> sharedMap() const noexcept { return m_map; }
    // Its first error, placed, and the status bar's text for it; nullopt when it compiled.
    const std::optional<music::ErrorPlace>& error() const noexcept { return m_error; }
    std::string errorText() const;
    // Every bank's first error (each bank is compiled on its own), placed.
    const std::vector<music::ErrorPlace>& errors() const noexcept { return m_errors; }
    // The error to underline in tab `tab` (0 common, 1..5 A..E), if it holds one.
    std::optional<music::ErrorPlace> errorIn(int tab) const;
    bool tabHasError(int tab) const { return errorIn(tab).has_value(); }

    // The status bar's caret part: "3:12" (line:column of the caret as
    // shown), then the song time at which `note` (the note the caret names,
    // see caretNote) sounds, "-" for none, then the song's length:
    // "3:12  0:01.50 / 0:04.00". Times are left out while the document does
    // not compile. While something is heard, the time played follows:
    // "  ▶ 0:31.20", from the song's start (with "Loop", from the latest start over).
    std::string caretStatus(int tab, std::string_view tabBytes, size_t caretUnit, std::optional<TimelineRef> note) const;
    // The same for the note the caret itself names.
    std::string caretStatus(int tab, std::string_view tabBytes, size_t caretUnit) const;
    // The frame at which the note under or after the caret first sounds (where
    // play from the cursor starts); nullopt while the document does not compile.
    std::optional<uint64_t> caretFrame(int tab, std::string_view tabBytes, size_t caretUnit) const;

    // The editor ranges of tab `tab` (0 common, 1..5 A..E) to light for the
    // notes sounding at `songFrame`: each note's command and, for a macro
    // replay, its call, where they lie in that tab.
    std::vector<EditorRange> playingRanges(int tab, std::string_view tabBytes, uint64_t songFrame) const;
    // The same with each bank at its own frame (see playingFrames).
    std::vector<EditorRange> playingRanges(int tab, std::string_view tabBytes, const BankFrames& frames) const;
    // The song that follows the text: where the session's poll says it stands
    // (the "▶" time), and the editor ranges of its lit notes in tab `tab`.
    void heard(std::optional<uint64_t> songFrame) { m_played = songFrame; }
    static std::vector<EditorRange> litRanges(int tab, std::string_view tabBytes, const std::vector<music::SoundingSource>& lit);
    // Play started at song frame `startFrame` (play from the cursor), with
    // "Loop" as `loopSong`: until playStopped() the lit notes follow the song
    // compiled now (what is heard), whatever the edits and compiles after it.
    void playStarted(uint64_t startFrame = 0, bool loopSong = false) {
        m_playMap = m_map && m_map->ok() ? m_map : nullptr;
        m_playTexts = m_texts;
        m_playStart = startFrame;
        m_playLoop = loopSong;
        m_played.reset();
    }
    // The same for a song that follows the text (a live swap): `map`, compiled
    // from `texts`, is what plays, and heard frames are its own.
    void playStarted(std::shared_ptr<const output::SongMap> map, const document::TabTexts& texts, bool loopSong) {
        playStarted(0, loopSong);
        if (map && map->ok()) {
            m_playMap = std::move(map);
            m_playTexts = texts;
        }
    }
    void playStopped() {
        m_playMap.reset();
        m_played.reset();
    }
    // The latest compile took over the playing stream (a live swap): the lit
    // notes follow it from now on.
    void playFollowsLatest() {
        if (!m_playMap || !m_map || !m_map->ok()) return;
        m_playMap = m_map;
        m_playTexts = m_texts;
    }
    // The inputs of the latest compile, and the "Loop" box they were read with.
    const output::BuildInputs& mapInputs() const noexcept { return m_inputs; }
    bool mapLoop() const noexcept { return m_loop; }
    // The song the lit notes follow (the playing one, else the latest).
    const output::SongMap* litMap() const noexcept { return m_playMap ? m_playMap.get() : m_map.get(); }
    // What the listener hears now: `heard` frames after `startFrame` (with a
    // live swap, the playing song's own frame and a start of 0; nullopt: nothing). Gives where each bank stands in litMap()'s
    // timeline: playback repeats endless loops, each bank wrapping in its own,
    // and with "Loop" a song without them starts over at its end. While
    // `paused` the music waits where it stood, and so does the answer.
    // nullopt when there is nothing to show.
    std::optional<BankFrames> playingFrames(std::optional<uint64_t> heard, bool paused);

private:
    std::optional<uint64_t> frameAtByte(int tab, uint64_t byte) const;

    session::LiveCheck m_check;
    std::shared_ptr<const output::SongMap> m_map;
    std::shared_ptr<const output::SongMap> m_playMap;
    document::TabTexts m_playTexts;  // the texts m_playMap was compiled from
    uint64_t m_playStart = 0;
    bool m_playLoop = false;
    std::optional<uint64_t> m_played;  // song frames from the start to what was heard last
    std::optional<music::ErrorPlace> m_error;
    std::vector<music::ErrorPlace> m_errors;
    document::TabTexts m_texts;  // the texts of the compile in m_map (for placing its error)
    std::optional<document::TabTexts> m_pendingTexts;
    output::BuildInputs m_inputs, m_pendingInputs;  // of m_map, of the compile waited for
    bool m_loop = false, m_pendingLoop = false;
};

}  // namespace tavolin::window
