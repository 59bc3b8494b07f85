// SPDX-License-Identifier: MIT
// A song's timeline as a Standard MIDI File (format 1, 480 ticks per quarter note).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "synth/Timeline.h"

namespace tavolin::output {

inline constexpr int kMidiTicksPerQuarter = 480;
// A delta time is at most four bytes of seven bits: a song whose last tick
// lies beyond this cannot be written.
inline constexpr uint64_t kMaxMidiTick = 0x0FFFFFFF;

// The mapping from the engine to General MIDI, shared with the docs and tests.
inline constexpr int kMidiPercussionChannel = 9;  // channel 10 as musicians count
inline constexpr int kMidiVelocity = 100;         // every note; loudness goes to CC 7
inline constexpr int kMidiBendRangeSemitones = 2;
// Program (0-based) per wave: square, triangle, sawtooth, sine. Noise plays on
// the percussion channel instead.
inline constexpr std::array<int, 4> kMidiProgramOfWave = {80, 79, 81, 73};

// The percussion key of a noise note: bass drum, snare or closed hi-hat by
// the key its frequency would have.
int midiNoiseKey(int pitchKey) noexcept;
// The key (A4 = 440 Hz = 69) and the 14-bit pitch bend (8192 = none) of a
// frequency, the bend range being kMidiBendRangeSemitones. A note-table
// index gives its key exactly, without a bend.
struct MidiPitch {
    int key = 0;
    int bend = 8192;
};
MidiPitch midiPitchOf(double frequencyHz, int32_t noteIndex) noexcept;
// CC 7 from a volume 0..255 and CC 10 from a pan 0..256 (128, the centre, is 64).
int midiVolumeOf(int32_t volume) noexcept;
int midiPanOf(int32_t pan) noexcept;

struct MidiSong {
    std::string bytes;                  // the whole file
    std::vector<std::string> warnings;  // UTF-8, one line each
};

// The song's loop in the timeline's frames (songLoopOf), for the marks game
// engines read: controller 111 (value 0) and a marker "loopStart" at its
// start, a marker "loopEnd" at its end. The file then ends at the loop's end.
struct MidiLoop {
    uint64_t startFrame = 0;
    uint64_t endFrame = 0;
};
inline constexpr int kMidiLoopController = 111;
inline constexpr std::string_view kMidiLoopStartMarker = "loopStart";
inline constexpr std::string_view kMidiLoopEndMarker = "loopEnd";

// The file for `timeline` (walked with endless loops played once, or, with
// `loop`, often enough that every bank reaches the loop's end), or nothing
// when its last tick does not fit a delta time (kMaxMidiTick).
std::optional<MidiSong> midiFromTimeline(const SongTimeline& timeline, const std::optional<MidiLoop>& loop = std::nullopt);

}  // namespace tavolin::output
