// SPDX-License-Identifier: MIT
// ToneSlot: one entry of a bank's tone table (wave, duty list, noise settings).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "compiler/MmlEvent.h"

namespace tavolin {

enum class Wave : int32_t { Square = 0, Triangle = 1, Sawtooth = 2, Sine = 3, Noise = 4 };
inline constexpr int kWaveCount = 5;

// The same layout for all three arithmetic types. The duty list holds 1..8
// values in a fixed array, so loading a tone never allocates on the audio
// thread.
struct ToneSlot {
    int32_t wave = 0;          // Wave
    float dutySwitchMs = 0.0f; // 0 = the duty list advances every cycle
    float freqNoise = 0.0f;    // percent, 0 = off
    float levelNoise = 0.0f;   // percent, 0 = off
    std::array<float, kMaxDuties> duties{};
    int32_t dutyCount = 1;     // 1..kMaxDuties

    // A ToneDef (or a default-table entry) replaces the whole slot. A count
    // outside 1..8 is clamped so that the modulo over the list never divides
    // by zero, whatever a hand-made event holds.
    void assign(const ToneDefPayload& def) noexcept {
        wave = def.wave;
        dutySwitchMs = def.dutySwitchMs;
        freqNoise = def.freqNoise;
        levelNoise = def.levelNoise;
        dutyCount = std::clamp(def.dutyCount, 1, kMaxDuties);
        duties = def.duties;
    }
    // The duty list wraps: entry `index` modulo the list length.
    float duty(int64_t index) const noexcept {
        return duties[static_cast<size_t>(index % dutyCount)];
    }
};

}  // namespace tavolin
