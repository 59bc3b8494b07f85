// SPDX-License-Identifier: MIT
// MIDI import: a Standard MIDI File arranged for five monophonic banks —
// polyphony split into lines, lines chosen for A..E, rhythm placed on a grid
// and written as hand-written-looking MML (lengths, dots, ties, triplets).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "document/DocumentFormat.h"

namespace tavolin::music {

enum class MidiOverlap {
    First,   // a note goes to the first line that is free at its start
    Newest,  // a note cuts the note sounding in the first line (chords still split)
};

// A line of the file: `track` is 1-based in file order (for format 0, the
// channel 1..16 stands for the track), `line` 1-based within it.
struct MidiLineRef {
    int32_t track = 0;
    int32_t line = 0;
    friend bool operator==(const MidiLineRef&, const MidiLineRef&) = default;
};

inline constexpr int32_t kMidiDefaultGrid = 192;  // steps per whole note
inline constexpr int32_t kMidiMaxGrid = 1536;
inline constexpr int32_t kMidiMaxWholeNotes = 4096;  // longer songs are refused

struct MidiImportOptions {
    int32_t grid = kMidiDefaultGrid;
    MidiOverlap overlap = MidiOverlap::First;
    bool mapGiven = false;                            // otherwise the busiest lines are chosen
    std::array<std::optional<MidiLineRef>, 5> map{};  // per bank A..E
};

// "A=2.1,B=3.1": fills options.map and sets mapGiven. Returns an error text
// (English, for the command line) for a malformed map.
std::optional<std::string> parseMidiMap(std::string_view text, MidiImportOptions& options);

struct MidiLineReport {
    MidiLineRef ref;
    std::string trackName;   // printable ASCII of the track's name
    int32_t channel = 0;     // 1..16, the channel most of its notes use
    bool drums = false;      // most notes on channel 10
    uint64_t notes = 0;
    uint64_t soundingSteps = 0;
    double averageKey = 0;
    int32_t bank = -1;       // 0..4, or -1 when it found no bank
};

// What became of a game loop marked in the file (controller 111 or the
// markers "loopStart" and "loopEnd").
enum class MidiLoopOutcome {
    None,       // the file marks no loop
    Placed,     // every bank written repeats [start, end) as an endless loop
    NotPlaced,  // a note crosses the loop's start or end, or sounds after its end
};

struct MidiImportReport {
    int32_t format = 0;
    int32_t grid = kMidiDefaultGrid;
    std::vector<MidiLineReport> lines;  // every line, in track and line order
    double maxTimingErrorMs = 0;        // start or end of a placed note against the file
    size_t tempoChanges = 0;            // T commands after the first tempo
    uint64_t pitchBends = 0;
    uint64_t controllers = 0;           // every controller but volume
    uint64_t otherDropped = 0;          // pressure, SysEx, stray note-offs, empty notes
    uint64_t octaveMoved = 0;           // notes outside the note table, moved by octaves
    uint64_t cutNotes = 0;              // shortened by a newer note (--overlap newest)
    MidiLoopOutcome loop = MidiLoopOutcome::None;
};

struct MidiImportResult {
    document::TabTexts tabs;  // CP932 (ASCII), CR LF line breaks
    MidiImportReport report;
};

// The whole import of a file's bytes. A file the reader refuses, a map that
// names a missing line or a song too long to write give the error text
// (UTF-8, display language).
std::variant<MidiImportResult, std::string> importMidi(std::string_view fileBytes, const MidiImportOptions& options = {});

// The report as the window shows it (UTF-8, display language, one item a line).
std::string midiReportText(const MidiImportReport& report);

// The tone slot the common text defines for a General MIDI program (0-based),
// and for notes of channel 10.
int32_t midiToneOfProgram(int32_t program) noexcept;
inline constexpr int32_t kMidiDrumTone = 4;

// V from velocity and CC 7: 255 × velocity × volume / (100 × 127), at most 255.
int32_t midiVolumeToV(int32_t velocity, int32_t volume) noexcept;

}  // namespace tavolin::music
