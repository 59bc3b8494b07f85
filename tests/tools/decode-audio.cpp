// SPDX-License-Identifier: MIT
// Decodes an audio file with the desktop's libsndfile (output::decodeAudioFile)
// for the web tests: writes its interleaved 16-bit samples, little-endian, to
// OUT.raw and prints "RATE CHANNELS FRAMES".
//   tavolin-decode-audio FILE OUT.raw
#include <cstdio>
#include <fstream>

#include "output/AudioFile.h"
#include "output/WavFile.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FILE OUT.raw\n", argv[0]);
        return 2;
    }
    const auto decoded = tavolin::output::decodeAudioFile(argv[1]);
    if (!decoded || decoded->channels <= 0) {
        std::fprintf(stderr, "%s: cannot be decoded\n", argv[1]);
        return 1;
    }
    std::string bytes;
    tavolin::output::appendSamplesLe(decoded->samples, bytes);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) return 1;
    std::printf("%u %d %zu\n", decoded->sampleRateHz, decoded->channels, decoded->samples.size() / static_cast<size_t>(decoded->channels));
    return 0;
}
