// SPDX-License-Identifier: MIT
// The compiled song model: one bank's list of MmlEvent records, linked by index.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "compiler/EngineNum.h"

namespace tavolin {

enum class EventKind : int32_t {
    Note = 0,
    Tempo = 1,
    Volume = 2,
    Pan = 3,
    ToneSelect = 4,
    Portamento = 5,
    EnvelopeDef = 6,
    EnvelopeSelect = 7,
    ToneDef = 8,
    LoopControl = 9,
    LfoDef = 10,
    EndMarker = -1,
};
inline constexpr int kEventKindCount = 12;

enum class LoopOp : int32_t { LoopStart = 0, LoopEnd = 1, LoopBreak = 2 };

inline constexpr int kMaxDuties = 8;
inline constexpr int kMaxLfoPoints = 6;
inline constexpr int kToneSlots = 32;
inline constexpr int kEnvelopeSlots = 256;
inline constexpr int kMaxLoopLevels = 32;
inline constexpr int32_t kMaxLevel = 255;

struct LfoPoint {
    float time;         // ms, or percent of the group length (mode 2, 3)
    int32_t interpolate; // 1: ramp from the previous point, 0: step
    float periodMs;
    float depth;        // amplitude: fraction of full scale; pitch: semitones
};

template <EngineNumType T>
struct NotePayload {
    T frequency;       // Hz; 0 = rest
    T length;          // 1/256 of a whole note
    T groupLength;     // length plus every slurred successor's length
    int32_t slurTarget; // index of the next note of the slur, -1 = none
};

template <EngineNumType T>
struct EnvelopeDefPayload {
    T attackMs;
    T decayMs;
    T releaseMs;
    int32_t attackLevel;
    int32_t sustainLevel;
    int32_t envelope; // slot 0..255, -1 = every slot
};

struct ToneDefPayload {
    int32_t tone;
    int32_t wave; // 0 square, 1 triangle, 2 sawtooth, 3 sine, 4 noise
    int32_t dutyCount;
    float freqNoise;
    float levelNoise;
    float dutySwitchMs;
    std::array<float, kMaxDuties> duties;
};

struct LoopControlPayload {
    LoopOp op;
    int32_t count;   // repeat count, -1 = endless
    int32_t partner; // index of the matching LoopStart / LoopEnd
    int32_t level;   // nesting level 0..31
};

struct LfoDefPayload {
    int32_t mode; // bit 0: 1 pitch, 0 amplitude; bit 1: times in percent
    int32_t pointCount;
    std::array<LfoPoint, kMaxLfoPoints> points;
};

// One record of a bank's list. All records share one size (a union of the
// payloads) so that a list is a single contiguous array read in place.
// Payload fields not used by a kind are zero: make records with the
// factories below, which clear the whole record first.
template <EngineNumType T>
struct MmlEvent {
    EventKind kind;
    int32_t startMarker; // 1 = playback from the cursor starts here
    union {
        NotePayload<T> note;
        int32_t tempo;
        int32_t volume;
        int32_t pan;
        uint8_t tone; // ToneSelect
        T ratio;      // Portamento
        EnvelopeDefPayload<T> envelopeDef;
        int32_t envelope; // EnvelopeSelect
        ToneDefPayload toneDef;
        LoopControlPayload loop;
        LfoDefPayload lfo;
    };

    static MmlEvent blank(EventKind k) noexcept {
        MmlEvent e;
        std::memset(static_cast<void*>(&e), 0, sizeof e);
        e.kind = k;
        return e;
    }
    static MmlEvent makeNote(T frequency, T length) noexcept {
        MmlEvent e = blank(EventKind::Note);
        e.note.frequency = frequency;
        e.note.length = length;
        e.note.groupLength = Num<T>::zero();
        e.note.slurTarget = -1;
        return e;
    }
    static MmlEvent makeInt(EventKind k, int32_t v) noexcept {
        MmlEvent e = blank(k);
        switch (k) {
        case EventKind::Tempo: e.tempo = v; break;
        case EventKind::Volume: e.volume = v; break;
        case EventKind::Pan: e.pan = v; break;
        case EventKind::ToneSelect: e.tone = static_cast<uint8_t>(v); break;
        case EventKind::EnvelopeSelect: e.envelope = v; break;
        default: break;
        }
        return e;
    }
    static MmlEvent makeLoop(LoopOp op, int32_t count, int32_t partner, int32_t level) noexcept {
        MmlEvent e = blank(EventKind::LoopControl);
        e.loop = LoopControlPayload{op, count, partner, level};
        return e;
    }
};

static_assert(std::is_trivially_copyable_v<MmlEvent<Fix>>);
static_assert(std::is_trivially_copyable_v<MmlEvent<float>>);
static_assert(std::is_trivially_copyable_v<MmlEvent<double>>);

template <EngineNumType T>
using EventList = std::vector<MmlEvent<T>>;

// Names used in dumps and JSON output.
const char* eventKindName(EventKind k) noexcept;
const char* loopOpName(LoopOp op) noexcept;

}  // namespace tavolin
