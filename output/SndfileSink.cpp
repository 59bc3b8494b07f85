// SPDX-License-Identifier: MIT
// libsndfile behind the exporter's sink: FLAC, Ogg Vorbis and Opus.
#include "output/AudioFile.h"

#include <algorithm>
#include <vector>

#include <sndfile.h>

namespace tavolin::output {
namespace {

class SndfileSink final : public SampleSink {
public:
    SndfileSink(OutputFile& file, SNDFILE* sf) : m_file(file), m_sf(sf) {}
    ~SndfileSink() override {
        if (m_sf) sf_close(m_sf);
    }
    bool write(std::span<const int16_t> interleaved) override {
        if (!m_sf) return false;
        const auto frames = static_cast<sf_count_t>(interleaved.size() / 2);
        return sf_writef_short(m_sf, interleaved.data(), frames) == frames;
    }
    bool finish() override {
        if (!m_sf) return false;
        // Closing flushes the encoder and writes the final headers (FLAC's
        // stream info, the last Ogg page); only then may the file be moved.
        const bool ok = sf_close(m_sf) == 0;
        m_sf = nullptr;
        return ok && m_file.commit();
    }

private:
    OutputFile& m_file;
    SNDFILE* m_sf;
};

}  // namespace

std::unique_ptr<SampleSink> openSndfileSink(OutputFile& file, AudioFileType type, uint32_t sampleRateHz) {
    const int fd = file.descriptor();
    if (fd < 0 || !rateFitsType(type, sampleRateHz)) return nullptr;
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRateHz);
    info.channels = 2;
    switch (type) {
    case AudioFileType::Flac: info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16; break;
    case AudioFileType::OggVorbis: info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS; break;
    case AudioFileType::Opus: info.format = SF_FORMAT_OGG | SF_FORMAT_OPUS; break;
    case AudioFileType::Wav: return nullptr;
    }
    if (!sf_format_check(&info)) return nullptr;
    // The descriptor stays the OutputFile's: it closes, renames or removes it.
    SNDFILE* sf = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!sf) return nullptr;
    return std::make_unique<SndfileSink>(file, sf);
}

std::optional<DecodedAudio> decodeAudioFile(const std::string& path) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf) return std::nullopt;
    DecodedAudio out;
    out.sampleRateHz = static_cast<uint32_t>(info.samplerate);
    out.channels = info.channels;
    std::vector<int16_t> block(static_cast<size_t>(4096 * std::max(info.channels, 1)));
    for (;;) {
        const sf_count_t n = sf_readf_short(sf, block.data(), 4096);
        if (n <= 0) break;
        out.samples.insert(out.samples.end(), block.begin(), block.begin() + n * std::max(info.channels, 1));
    }
    sf_close(sf);
    return out;
}

}  // namespace tavolin::output
