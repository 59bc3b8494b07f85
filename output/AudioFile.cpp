// SPDX-License-Identifier: MIT
// Which file type an export writes, and what each type can hold.
#include "output/AudioFile.h"

#include <algorithm>
#include <cctype>

namespace tavolin::output {

AudioFileType audioFileTypeOf(std::string_view path) noexcept {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return AudioFileType::Wav;
    std::string ext(path.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == "flac") return AudioFileType::Flac;
    if (ext == "ogg" || ext == "oga") return AudioFileType::OggVorbis;
    if (ext == "opus") return AudioFileType::Opus;
    return AudioFileType::Wav;
}

const char* audioFileExtension(AudioFileType type) noexcept {
    switch (type) {
    case AudioFileType::Wav: return "wav";
    case AudioFileType::Flac: return "flac";
    case AudioFileType::OggVorbis: return "ogg";
    case AudioFileType::Opus: return "opus";
    }
    return "wav";
}

uint64_t maxFramesOf(AudioFileType type) noexcept {
    switch (type) {
    case AudioFileType::Wav: return kMaxWavDataBytes / kBytesPerFrame;
    case AudioFileType::Flac: return (uint64_t{1} << 36) - 1;
    default: return UINT64_MAX;
    }
}

bool rateFitsType(AudioFileType type, uint32_t sampleRateHz) noexcept {
    if (type != AudioFileType::Opus) return true;
    for (uint32_t r : {8000u, 12000u, 16000u, 24000u, 48000u})
        if (sampleRateHz == r) return true;
    return false;
}

}  // namespace tavolin::output
