// SPDX-License-Identifier: MIT
// The song's timeline: every note and rest of every bank with its exact frames,
// worked out from the compiled lists without rendering a sample.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "compiler/MmlEvent.h"
#include "compiler/ParseMml.h"
#include "compiler/SourceMap.h"

namespace tavolin {

// One note or rest as it sounds. Times are output frames at the timeline's
// rate; `start` and `frames` are the very numbers the renderer uses.
struct TimelineNote {
    uint64_t start = 0;     // first frame
    uint32_t frames = 0;    // 0: too short to reach a frame (it takes no time)
    double frequency = 0;   // Hz, exact value of the record; 0 for a rest
    int32_t volume = 0;     // 0..255, the bank's last V
    int32_t tone = 0;       // tone slot 0..31
    int32_t pan = 0;        // 0..256
    int32_t eventIndex = 0; // the Note record in the bank's list
    bool slurred = false;   // slurs into the next note (which continues without an attack)
    int32_t tempo = 0;      // the bank's tempo (quarter notes per minute) when the note starts
    int32_t wave = 0;       // the tone slot's wave when the note starts (0 square .. 4 noise)
    int32_t noteIndex = -1; // the note table's index (A4 = 57) when the frequency is exactly that entry, else -1
    // Musical time in 1/256 of a whole note (a quarter is 64): the sum of the
    // record lengths of every note before this one in the bank's walk, and
    // this note's own length. Kept as running totals so that rounding them to
    // another grid never drifts (three tuplet notes still end on the beat).
    double unitStart = 0;
    double units = 0;
    RecordSource source;    // joined-text spans (see SongTimeline::tabSpan)
};

struct BankTimeline {
    std::vector<TimelineNote> notes;  // in the order they sound: starts never decrease
    uint64_t endFrame = 0;            // frames until the bank has finished (0: silent bank)
    // The frame at which the first endless loop this bank enters completes
    // its `TimelineOptions::markPasses`-th pass, if it ever does.
    std::optional<uint64_t> endlessPassEnd;
    // The first pass of the first endless loop that comes round again (a
    // break can take a bank out of one on its first pass): playback, which
    // does not play them once as the export does, repeats the notes of
    // [repeatStart, repeatEnd) from there on for ever, and never reaches what
    // follows the loop. Unset when no endless loop comes round.
    std::optional<uint64_t> repeatStart;
    uint64_t repeatEnd = 0;
    // Where the bank first enters an endless loop, whether or not it comes
    // round (a break may end it in its first pass).
    std::optional<uint64_t> endlessEntry;
};

struct SongTimeline {
    uint32_t sampleRate = 0;
    uint64_t frames = 0;      // the song's length: what the WAV export writes
    bool truncated = false;   // cut at the bounds: `frames` is where the cut fell
    uint64_t commonLength = 0;  // bytes of the common text, to place joined-text spans
    std::array<BankTimeline, kBankCount> banks;

    // Where a span of bank `bank`'s joined text was written (-2 internal code,
    // -1 common text, 0..4 a bank's own text).
    TabSpan tabSpan(TextSpan span, int bank) const noexcept { return tabSpanOf(span, commonLength, bank); }
};

struct TimelineOptions {
    uint32_t sampleRate = 48000;
    // Passes of every endless loop, as the export plays them (1: once, as the
    // WAV export does by default). 0: they repeat, as playback without export
    // mode does, until a bound cuts the song.
    int32_t exportPasses = 1;
    // Which pass's end BankTimeline::endlessPassEnd records (0: none).
    int32_t markPasses = 0;
    // False: only the lengths and marks are wanted; no note is stored (the
    // bounds still count them), so a long song costs no memory.
    bool keepNotes = true;
    // Bounds per bank, so that no song can hang the walk or take unbounded
    // memory: notes listed, and records applied in all.
    size_t maxNotes = size_t{1} << 19;
    uint64_t maxSteps = uint64_t{1} << 26;
};

// Walks the five compiled lists with the player's own rules: its loop rules,
// its timing ledger in the arithmetic type T, its handling of notes too short
// to take a sample, of silent frames spent between notes and of passes that
// can never reach a note. `spans`, when given, fills each note's source.
// When a bank reaches a bound, every bank is cut at the frame where the first
// cut fell, and `truncated` is set.
template <EngineNumType T>
SongTimeline buildTimeline(const std::array<EventList<T>, kBankCount>& lists,
                           const std::array<SourceSpans, kBankCount>* spans, uint64_t commonLength,
                           const TimelineOptions& options = {});

extern template SongTimeline buildTimeline<Fix>(const std::array<EventList<Fix>, kBankCount>&, const std::array<SourceSpans, kBankCount>*, uint64_t, const TimelineOptions&);
extern template SongTimeline buildTimeline<float>(const std::array<EventList<float>, kBankCount>&, const std::array<SourceSpans, kBankCount>*, uint64_t, const TimelineOptions&);
extern template SongTimeline buildTimeline<double>(const std::array<EventList<double>, kBankCount>&, const std::array<SourceSpans, kBankCount>*, uint64_t, const TimelineOptions&);

// A note of the timeline: bank 0..4 and its index in that bank's notes.
struct TimelineRef {
    int bank = 0;
    size_t note = 0;
    friend bool operator==(const TimelineRef&, const TimelineRef&) = default;
};

// Per bank, the note sounding at `frame` (a rest counts), if any. A binary
// search: the cost does not grow with the song's length.
std::array<std::optional<size_t>, kBankCount> notesSoundingAt(const SongTimeline& timeline, uint64_t frame) noexcept;

// The notes whose start lies in [fromFrame, toFrame) in one bank, as an index
// range [first, last): what a view of that stretch has to draw (plus the note
// already sounding at fromFrame, found with notesSoundingAt).
std::pair<size_t, size_t> notesStartingIn(const BankTimeline& bank, uint64_t fromFrame, uint64_t toFrame) noexcept;

// A frame per bank: where each bank stands in a timeline; nullopt where a
// bank has nothing to stand on.
using BankFrames = std::array<std::optional<uint64_t>, kBankCount>;

// Where each bank stands in `timeline` (built with endless loops played once)
// after `played` frames of playback, which repeats endless loops: a bank in
// its repeating loop wraps with that loop's own period, other banks go on
// (past their end they stand where nothing sounds). With `loopSong` and no
// bank that repeats, the whole song starts over at its end, as the player
// restarts all banks together. A repeating loop that takes no time leaves its
// bank silent: nullopt from its start on. Every pass is taken to last as long
// as the first (a tempo change inside the loop makes the later ones differ).
BankFrames playbackFrames(const SongTimeline& timeline, uint64_t played, bool loopSong) noexcept;
// Some bank comes round in an endless loop that takes time: playback of the
// song never ends (and "Loop" never starts it over).
bool repeatsEndlessly(const SongTimeline& timeline) noexcept;
// Per bank, the note sounding at that bank's frame (a rest counts), if any.
std::array<std::optional<size_t>, kBankCount> notesSoundingAt(const SongTimeline& timeline, const BankFrames& frames) noexcept;

// Caret lookups: which note a byte of a tab's text produced. Built once per
// timeline (sorting every distinct span); each query is a binary search.
class TimelineIndex {
public:
    explicit TimelineIndex(const SongTimeline& timeline);

    // The first note to sound whose command or macro call holds byte `offset`
    // of tab `tab` (-1 common text, 0..4 a bank's own text). The common text
    // is compiled into every bank: the earliest such note of any bank wins
    // (the lower bank on a tie).
    std::optional<TimelineRef> noteAt(int tab, uint64_t offset) const;
    // As noteAt, else the note of the first command after `offset` in the
    // same joined text: "the note under or after the caret".
    std::optional<TimelineRef> noteAtOrAfter(int tab, uint64_t offset) const;

private:
    struct Entry {
        uint32_t begin;
        uint32_t length;
        uint32_t note;  // first note (in sounding order) that this span produced
    };
    std::optional<TimelineRef> find(int tab, uint64_t offset, bool orAfter) const;

    const SongTimeline* m_timeline;
    std::array<std::vector<Entry>, kBankCount> m_entries;  // per bank, sorted by begin
};

}  // namespace tavolin
