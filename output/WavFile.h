// SPDX-License-Identifier: MIT
// WAV header layout and the crash-safe output file the exporter writes through.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "output/WaveFormat.h"

namespace tavolin::output {

inline constexpr size_t kWavHeaderBytes = 44;

// The largest data chunk whose RIFF size (data + 36) still fits 32 bits,
// rounded down to whole stereo frames.
inline constexpr uint64_t kMaxWavDataBytes = ((0xFFFFFFFFull - 36) / kBytesPerFrame) * kBytesPerFrame;

// The 44-byte RIFF/WAVE header for `dataBytes` bytes of samples (must be at
// most kMaxWavDataBytes), all fields little-endian.
std::array<uint8_t, kWavHeaderBytes> wavHeader(const WaveFormat& format, uint32_t dataBytes) noexcept;

// Appends interleaved 16-bit samples as little-endian bytes.
void appendSamplesLe(std::span<const int16_t> samples, std::string& out);

// A file being written. Nothing appears at the destination path until
// commit() succeeds; destroying an uncommitted file removes every trace of it,
// so a failed or cancelled export never leaves a truncated file behind and
// never damages a file that was already there.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Appends bytes; false on any failure (the file is then useless).
    virtual bool write(std::span<const uint8_t> bytes) = 0;
    // Overwrites the first bytes of the file (the header, once sizes are known).
    virtual bool writeAtStart(std::span<const uint8_t> bytes) = 0;
    // Flushes, closes and moves the file into place. False on failure, in
    // which case the destination is left as it was.
    virtual bool commit() = 0;
    // The open file's descriptor, for writers that write through a library
    // (libsndfile); -1 when there is none.
    virtual int descriptor() const noexcept { return -1; }
    // The system's reason (errno) for the first failure; 0 when it gave none.
    virtual int systemError() const noexcept { return 0; }
};

using OutputFileOpener = std::function<std::unique_ptr<OutputFile>(const std::string& path)>;

// Opens a temporary file next to `path` (same folder, so the final rename is
// atomic). Returns nullptr, with errno telling why, when the folder cannot
// take a new file or the path names a folder.
std::unique_ptr<OutputFile> openAtomicFile(const std::string& path);

}  // namespace tavolin::output
