// SPDX-License-Identifier: MIT
// The compressed audio files written through libsndfile (FLAC, Ogg Vorbis, Opus),
// and which file type an export writes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "output/WavFile.h"

namespace tavolin::output {

enum class AudioFileType { Wav, Flac, OggVorbis, Opus };

// By the path's extension (any case): .flac, .ogg/.oga, .opus; anything
// else is a WAV file, as the export has always written.
AudioFileType audioFileTypeOf(std::string_view path) noexcept;
const char* audioFileExtension(AudioFileType type) noexcept;  // "wav", "flac", "ogg", "opus"

// The longest song a type can hold, in frames: WAV's 32-bit data size, FLAC's
// 36-bit sample count; Ogg's 64-bit granule positions set no practical limit.
uint64_t maxFramesOf(AudioFileType type) noexcept;

// Opus runs only at 8, 12, 16, 24 and 48 kHz, and libsndfile neither
// resamples nor accepts another rate: false for any other.
bool rateFitsType(AudioFileType type, uint32_t sampleRateHz) noexcept;

// Interleaved 16-bit stereo frames going into a file.
class SampleSink {
public:
    virtual ~SampleSink() = default;
    virtual bool write(std::span<const int16_t> interleaved) = 0;
    // Completes the file and moves it into place (OutputFile::commit).
    virtual bool finish() = 0;
};

// A libsndfile encoder writing into `file` (which must stay alive and have a
// descriptor). Nullptr when the library refuses the type or the rate; the
// file is then left uncommitted. `type` must not be Wav. With `comments`
// ("NAME=value"), the file is encoded in memory, the comments are added to
// its finished bytes and they are written out when it finishes.
std::unique_ptr<SampleSink> openSndfileSink(OutputFile& file, AudioFileType type, uint32_t sampleRateHz,
                                            const std::vector<std::string>& comments = {});

// Reads a file libsndfile can decode into interleaved 16-bit samples; for
// tests and tools. Nullopt when it cannot be read.
struct DecodedAudio {
    uint32_t sampleRateHz = 0;
    int channels = 0;
    std::vector<int16_t> samples;
};
std::optional<DecodedAudio> decodeAudioFile(const std::string& path);

}  // namespace tavolin::output
