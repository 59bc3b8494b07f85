// SPDX-License-Identifier: MIT
// The MIDI reader: a Standard MIDI File (format 0 or 1) as paired notes, tempo
// and metre changes and track names, or the first fault with its byte offset.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tavolin::output {

// One sounding note: note-on to its note-off (or to the end of its track when
// none comes), with the channel's program and volume (CC 7) at its note-on.
struct MidiNote {
    uint64_t start = 0;  // ticks
    uint64_t end = 0;    // ticks, > start
    int32_t track = 0;   // 0-based, in file order
    int32_t channel = 0; // 0..15 (9 is percussion)
    int32_t key = 0;     // 0..127
    int32_t velocity = 0;
    int32_t program = 0; // 0..127
    int32_t volume = 100; // CC 7, 0..127 (100 until a controller sets it)
};

struct MidiTempoChange {
    uint64_t tick = 0;
    uint32_t microsPerQuarter = 500000;
};

struct MidiMeterChange {
    uint64_t tick = 0;
    int32_t numerator = 4;
    int32_t denominator = 4;  // a power of two
};

// What the reader passed over without keeping.
struct MidiDropped {
    uint64_t pitchBends = 0;
    uint64_t controllers = 0;  // every controller but CC 7
    uint64_t aftertouch = 0;   // key and channel pressure
    uint64_t sysex = 0;
    uint64_t strayNoteOffs = 0;   // a note-off with no note sounding
    uint64_t unendedNotes = 0;    // ended by the end of their track
    uint64_t emptyNotes = 0;      // note-off at the note-on's own tick
};

struct MidiData {
    int32_t format = 0;
    int32_t ticksPerQuarter = 480;
    std::vector<std::string> trackNames;       // one per track, raw bytes ("" without a name)
    std::vector<MidiNote> notes;               // sorted by start, then track, then channel, then key
    std::vector<MidiTempoChange> tempos;       // sorted by tick, at most one per tick (the last one read)
    std::vector<MidiMeterChange> meters;       // likewise
    uint64_t endTick = 0;                      // the latest end of any track
    MidiDropped dropped;
    // A game's loop: the first controller 111 or marker "loopStart" (the
    // earlier when both come), and the first marker "loopEnd".
    std::optional<uint64_t> loopStart;
    std::optional<uint64_t> loopEnd;
};

// Why a file was refused, and at which byte.
enum class MidiFault {
    NoHeader,          // the file does not start with "MThd"
    BadHeaderLength,   // header chunk shorter than 6 bytes
    Truncated,         // a chunk, or the header, runs past the end of the file
    Format2,           // format 2 (independent sequences) is not read
    UnknownFormat,     // a format number above 2
    Smpte,             // time code division instead of ticks per quarter
    ZeroDivision,      // 0 ticks per quarter
    MissingTracks,     // fewer track chunks than the header announces
    BadLength,         // a variable-length number of more than four bytes
    NoStatus,          // a data byte with no running status to apply
    BadStatus,         // a system common or real-time status in a track
    BadData,           // a data byte of 0x80 or more inside a channel message
    EventPastTrack,    // an event runs past the end of its track chunk
};

struct MidiReadError {
    MidiFault fault = MidiFault::NoHeader;
    uint64_t offset = 0;  // byte offset in the file
};

// UTF-8 message for the user (display language), naming what and where.
std::string midiReadErrorText(const MidiReadError& error);

std::variant<MidiData, MidiReadError> readMidiFile(std::string_view bytes);

}  // namespace tavolin::output
