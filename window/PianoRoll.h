// SPDX-License-Identifier: MIT
// The piano roll's model: one lane per bank with its notes as rectangles in (time, pitch), the
// second and bar grid, zoom and scroll, clicks to source text and the caret to a note. Toolkit-free
// and free of the dialog: the Qt view and the page (through the web engine) draw what it says and
// forward the mouse.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "document/DocumentFormat.h"
#include "output/SongMap.h"

namespace tavolin::window {

// An editor range in UTF-16 positions of one tab's text.
struct EditorRange {
    size_t start = 0;
    size_t end = 0;
    friend bool operator==(const EditorRange&, const EditorRange&) = default;
};

// The note the caret names in tab `tab` (0 common, 1..5 A..E) at byte `byte`
// (the selection's start): `kept`, the note named before, while its command or
// macro call holds the byte (a clicked loop's fourth pass or macro replay is
// not replaced by the first time its text sounds); else the note under or
// after the caret, where play from the cursor starts; else, at the end of a
// text, the note just before it. The status bar and the piano roll both name
// this note, so they always agree.
std::optional<TimelineRef> caretNote(const output::SongMap& map, int tab, uint64_t byte,
                                     std::optional<TimelineRef> kept = std::nullopt);

// A rectangle in the view's pixels (y grows downwards).
struct RollRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool contains(double px, double py) const noexcept { return px >= x && px < x + width && py >= y && py < y + height; }
};

// A note to draw. Rests are not listed: they show as the gaps between notes.
struct RollNote {
    TimelineRef ref;
    RollRect rect;
    bool slurred = false;  // goes on into the next note without a new attack
};

// A line of a lane's musical grid: every quarter note, bars (a whole note,
// 256 units) marked with their 1-based number. Too dense lines are left out.
struct RollGridLine {
    double x = 0;
    int64_t bar = 0;  // the bar that starts here; 0 for a beat inside a bar
};

// A tick of the seconds ruler with its label ("0:05", "0:01.5").
struct RollTick {
    double x = 0;
    std::string label;
};

// What a click selects: a tab (0 common, 1..5 A..E) and its editor range.
struct RollSelection {
    int tab = 0;
    EditorRange range;
    friend bool operator==(const RollSelection&, const RollSelection&) = default;
};

// The lanes run left to right in time, top to bottom A..E; each bank is one
// voice, so each gets a lane of its own with its pitches fitted to its notes,
// and a melody never hides behind another bank's notes on the same pitch. A
// bank without notes keeps a thin lane, so the lanes stay in place while a
// song grows. All calls on the user-interface thread.
//
//   +--------+---------------------------------------------+ kRulerHeight
//   |        | 0:00        0:01        0:02   (seconds)     |
//   +--------+---------------------------------------------+
//   |   A    | 1|   ▬▬  ▬▬      2|▬▬▬▬         (bars)       | lane A
//   +--------+---------------------------------------------+
//   |   B    |  ...                                         |
//   +--------+---------------------------------------------+
//   <kHeaderWidth>  <------- plot: view window in time ------>
class PianoRoll {
public:
    static constexpr double kRulerHeight = 18;
    static constexpr double kHeaderWidth = 28;
    static constexpr double kSilentLaneHeight = 14;
    static constexpr double kLanePad = 3;
    static constexpr double kMinPixelsPerSecond = 1;
    static constexpr double kMaxPixelsPerSecond = 20000;

    // The latest compile. A map that did not compile leaves the last song in
    // place, marked stale: clicks and the caret do nothing on it, since its
    // byte offsets belong to texts that have changed since.
    void setSong(std::shared_ptr<const output::SongMap> map);
    const output::SongMap* song() const noexcept { return m_song.get(); }
    bool stale() const noexcept { return m_stale; }

    // The view's size in pixels.
    void resize(double width, double height);
    double width() const noexcept { return m_width; }
    double height() const noexcept { return m_height; }

    // Zoom and scroll. The view starts fitted to the whole song and stays so
    // through new compiles until the user zooms; fitSong() returns to that.
    double pixelsPerSecond() const noexcept { return m_pixelsPerSecond; }
    double viewStartSeconds() const noexcept { return m_viewStart; }
    void zoomAt(double x, double factor);  // keeps the time under x where it is
    void scrollBy(double dxPixels);
    double scrollPixels() const noexcept { return m_viewStart * m_pixelsPerSecond; }
    double scrollRangePixels() const noexcept;  // 0: the whole song shows
    void setScrollPixels(double pixels);
    void fitSong();

    // Between time and x (frames at the song's rate).
    double xOfFrame(double frame) const noexcept;
    double frameAtX(double x) const noexcept;
    double plotLeft() const noexcept { return kHeaderWidth; }
    double plotWidth() const noexcept;

    // Lanes and pitches (semitones, A4 = 57).
    RollRect laneRect(int bank) const noexcept;
    double yOfPitch(int bank, double pitch) const noexcept;  // top of the pitch's row
    double rowHeight(int bank) const noexcept;
    // The lowest and highest pitch rows a lane shows.
    std::pair<double, double> pitchRange(int bank) const noexcept {
        const Pitches& p = m_pitches[static_cast<size_t>(bank)];
        return {p.low, p.high};
    }
    static double pitchOf(const TimelineNote& note) noexcept;

    // What shows of a lane, found by binary search: a repaint costs the same
    // for a short and a long song.
    std::vector<RollNote> visibleNotes(int bank) const;
    std::vector<RollGridLine> gridLines(int bank) const;
    std::vector<RollTick> secondTicks() const;
    RollRect noteRect(TimelineRef ref) const noexcept;  // a rest: the lane's height

    // The note (not a rest) under (x, y), a few pixels' slack above and below.
    std::optional<TimelineRef> noteAt(double x, double y) const;
    // Where a note was written: its own command (inside a macro, the recorded
    // note, which is what one edits), as an editor range of `texts`.
    std::optional<RollSelection> selectionOf(TimelineRef ref, const document::TabTexts& texts) const;
    std::optional<RollSelection> selectionAt(double x, double y, const document::TabTexts& texts) const;

    // The highlighted note (a rest too). The caret (tab 0 common, 1..5 A..E,
    // byte offset of the selection start) picks the note under or after it,
    // the one play from the cursor starts at, or the note just before it at
    // the end of a text; a highlighted note whose command or call holds the
    // caret stays (a loop's third pass, clicked, is not replaced by the first).
    // A newly highlighted note is scrolled into view. True when the highlight
    // or the view changed.
    bool setCaret(int tab, uint64_t byte);
    void setHighlight(std::optional<TimelineRef> ref) { m_highlight = ref; }
    std::optional<TimelineRef> highlight() const noexcept { return m_highlight; }
    // The keyboard's way around the roll: from the highlighted note (or, with
    // none, the first note in view) to the next or previous note of its bank,
    // or to the note of the bank above or below (banks without notes passed
    // over) sounding when it starts, else the nearest one. Rests are passed
    // over; nullopt when there is nowhere to go.
    enum class Step { Previous, Next, BankAbove, BankBelow };
    std::optional<TimelineRef> step(Step how) const;
    // The step taken: the highlight moves there and into view. With `extend`
    // (Shift), the notes from where the stretch began (the note highlighted
    // then) to there, in one bank; otherwise that note alone.
    struct Stretch {
        int bank = 0;
        size_t first = 0;
        size_t last = 0;
    };
    std::optional<Stretch> stepTo(Step how, bool extend);
    // What a stretch selects: from its first note's source to its last's when
    // both were written in one tab, else the first note's alone.
    std::optional<RollSelection> selectionOf(const Stretch& stretch, const document::TabTexts& texts) const;
    // Scrolls so that the note shows (from a quarter of the width when it did
    // not). True when the view moved.
    bool scrollToShow(TimelineRef ref);

    // The playhead at a song frame, nullopt when off the view; follow() pages
    // the view along so that it stays in sight. True when the view moved.
    std::optional<double> playheadX(uint64_t frame) const noexcept;
    bool follow(uint64_t frame);

    // The passage that loops, frames [first, second) of the song: shaded over
    // every lane and the ruler, the part of it in view; nullopt when none
    // loops or none of it shows.
    void setPassage(std::optional<std::pair<uint64_t, uint64_t>> frames) { m_passage = frames; }
    std::optional<std::pair<uint64_t, uint64_t>> passage() const noexcept { return m_passage; }
    std::optional<RollRect> passageRect() const noexcept;

private:
    const TimelineNote* noteOf(TimelineRef ref) const noexcept;
    double songSeconds() const noexcept;
    double rate() const noexcept;
    void clampView();
    // The first note of a lane that ends after `frame`.
    size_t firstEndingAfter(int bank, double frame) const noexcept;

    std::shared_ptr<const output::SongMap> m_song;
    bool m_stale = false;
    double m_width = 0;
    double m_height = 0;
    double m_pixelsPerSecond = 100;
    double m_viewStart = 0;  // seconds at the plot's left edge
    bool m_userZoomed = false;
    struct Pitches {
        double low = 48;   // lowest row shown
        double high = 71;  // highest row shown
    };
    std::array<Pitches, kBankCount> m_pitches{};
    std::optional<TimelineRef> m_highlight;
    std::optional<TimelineRef> m_stretchAnchor;  // where a Shift+arrow stretch began
    std::optional<TimelineRef> m_stretchLast;    // the note it reached
    std::optional<std::pair<uint64_t, uint64_t>> m_passage;
};

}  // namespace tavolin::window
