// SPDX-License-Identifier: MIT
// The wave format record shared by the device layer and the WAV writer.
#pragma once

#include <cstdint>

namespace tavolin::output {

// The fields of the platform's WAVEFORMATEX, kept as a plain record so that
// nothing here needs a platform header. Only 16-bit stereo integer PCM occurs.
struct WaveFormat {
    uint16_t formatTag = 1;       // 1 = integer PCM
    uint16_t channels = 2;
    uint32_t samplesPerSec = 0;   // sample rate in Hz
    uint32_t avgBytesPerSec = 0;  // samplesPerSec * blockAlign
    uint16_t blockAlign = 4;      // bytes per stereo frame
    uint16_t bitsPerSample = 16;
    uint16_t cbSize = 0;          // no extra format bytes

    friend bool operator==(const WaveFormat&, const WaveFormat&) = default;
};

// The record for 16-bit stereo PCM at `sampleRateHz`.
constexpr WaveFormat makeWaveFormat(uint32_t sampleRateHz) noexcept {
    WaveFormat f;
    f.samplesPerSec = sampleRateHz;
    f.avgBytesPerSec = sampleRateHz * 4u;
    return f;
}

inline constexpr uint32_t kBytesPerFrame = 4;

}  // namespace tavolin::output
