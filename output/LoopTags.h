// SPDX-License-Identifier: MIT
// Loop points inside audio files, where game engines look for them: a WAV
// file's `smpl` chunk, and LOOPSTART/LOOPLENGTH comments in FLAC and Ogg
// (Vorbis, Opus) files. libsndfile writes neither (its comments are a fixed
// set of names), so the comments go into its finished bytes here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "output/AudioFile.h"
#include "output/SongLoop.h"

namespace tavolin::output {

inline constexpr size_t kSmplChunkBytes = 8 + 36 + 24;  // one sample loop

// The `smpl` chunk (header included) with one forward loop from loop.start
// to loop.start + loop.length - 1: the chunk's end frame is inclusive. It
// plays for ever (play count 0); MIDI unity note 60, no pitch fraction.
std::array<uint8_t, kSmplChunkBytes> smplChunk(uint32_t sampleRateHz, const SongLoop& loop) noexcept;

// "LOOPSTART=n" and "LOOPLENGTH=n" for a file of `type`: frames at the
// file's rate, except Opus, whose positions are counted at 48 kHz whatever
// the rate it was fed.
std::vector<std::string> loopComments(AudioFileType type, uint32_t sampleRateHz, const SongLoop& loop);

// Adds `comments` to a whole FLAC file in memory: to its VORBIS_COMMENT
// block, or in a new one right after STREAMINFO. False when the bytes are
// not a FLAC file this reader understands (nothing is changed then).
bool addFlacComments(std::string& file, const std::vector<std::string>& comments);

// Adds `comments` to the comment header of a whole Ogg Vorbis or Ogg Opus
// file in memory. The header pages are written anew (the comment header on
// pages of its own) and the audio pages are kept byte for byte except for
// their sequence numbers and checksums. False when the bytes are not such a
// file (nothing is changed then).
bool addOggComments(std::string& file, const std::vector<std::string>& comments);

}  // namespace tavolin::output
