// SPDX-License-Identifier: MIT
// EnvelopeSlot and LfoState: the amplitude envelope table entry and LFO state.
#pragma once

#include <cstdint>

#include "compiler/MmlEvent.h"
#include "synth/SynthMath.h"

namespace tavolin {

// Times in samples, levels as fractions of full scale (level / 255).
template <EngineNumType T>
struct EnvelopeSlot {
    T attack{};
    T decay{};
    T release{};
    T attackLevel{};
    T sustainLevel{};
};

// One LFO (pitch or amplitude). `definition` is the index of its LfoDef
// record in the bank's own event list, which is read-only while the bank
// plays, so the breakpoints are never copied. An index and not a pointer:
// this state is copied between songs (a checkpoint's state taken over by the
// next build of the song, a passage's start), and a copy must read the
// records of the player that holds it, which stay valid when the player it
// came from is freed (the audio worker renders the adopting song while the
// builder frees the checkpoint). The lists agree up to what was read, so
// the index names an equal record in either.
template <EngineNumType T>
struct LfoState {
    int32_t definition = -1;  // -1: none
    int32_t pointIndex = -1; // breakpoint whose time has been reached; -1 before the first
    T period{};              // samples per LFO cycle; 0 = not running
    T phase{};               // samples into the current cycle
    T depth{};               // semitones (pitch) or fraction (amplitude)
    // Once the last breakpoint is reached the stored values never change
    // again until a restart; they are cached so the per-sample update is a
    // copy instead of a re-evaluation.
    bool steady = false;
    bool settled = false;  // steady and both values stored: updates are no-ops
    T steadyPeriod{};
    T steadyDepth{};
    // What the update needs from the breakpoints around `pointIndex`, worked
    // out when that index (or the definition) changes rather than per sample.
    enum class Segment : uint8_t { Idle, Ramp, Step };
    int32_t segmentDefinition = -1;
    int32_t segmentIndex = -2;  // the pointIndex the fields below belong to
    Segment segment = Segment::Idle;
    bool hasNext = false;       // a further breakpoint can still be reached
    T nextTime{};               // its time, in the update's time unit
    int64_t quietUntil = 0;     // LFO time counters below this lie before nextTime
    LfoRamp<T> ramp{};

    bool defined() const noexcept { return definition >= 0; }
};

}  // namespace tavolin
