// SPDX-License-Identifier: MIT
// libsndfile behind the exporter's sink: FLAC, Ogg Vorbis and Opus.
#include "output/AudioFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <sndfile.h>

#include "output/LoopTags.h"

namespace tavolin::output {
namespace {

// The encoder writing into memory, for a file whose comments are added to
// its finished bytes: libsndfile seeks back to finish its headers, so the
// bytes are only complete once it is closed.
struct MemoryFile {
    std::string bytes;
    size_t at = 0;

    static sf_count_t length(void* self) { return static_cast<sf_count_t>(static_cast<MemoryFile*>(self)->bytes.size()); }
    static sf_count_t seek(sf_count_t offset, int whence, void* self) {
        auto* m = static_cast<MemoryFile*>(self);
        const sf_count_t base = whence == SEEK_CUR ? static_cast<sf_count_t>(m->at)
                                : whence == SEEK_END ? static_cast<sf_count_t>(m->bytes.size())
                                                     : 0;
        if (base + offset < 0) return -1;
        m->at = static_cast<size_t>(base + offset);
        return static_cast<sf_count_t>(m->at);
    }
    static sf_count_t read(void* to, sf_count_t count, void* self) {
        auto* m = static_cast<MemoryFile*>(self);
        if (m->at >= m->bytes.size() || count <= 0) return 0;
        const size_t n = std::min(static_cast<size_t>(count), m->bytes.size() - m->at);
        std::memcpy(to, m->bytes.data() + m->at, n);
        m->at += n;
        return static_cast<sf_count_t>(n);
    }
    static sf_count_t write(const void* from, sf_count_t count, void* self) {
        auto* m = static_cast<MemoryFile*>(self);
        if (count <= 0) return 0;
        const auto n = static_cast<size_t>(count);
        if (m->bytes.size() < m->at + n) m->bytes.resize(m->at + n);
        std::memcpy(m->bytes.data() + m->at, from, n);
        m->at += n;
        return count;
    }
    static sf_count_t tell(void* self) { return static_cast<sf_count_t>(static_cast<MemoryFile*>(self)->at); }
};

// The encoder's sink. Without comments it writes straight into the file; with
// them it writes into memory, and the finished bytes get the comments on their
// way to the file.
class SndfileSink final : public SampleSink {
public:
    SndfileSink(OutputFile& file, AudioFileType type, std::vector<std::string> comments)
        : m_file(file), m_type(type), m_comments(std::move(comments)) {}
    ~SndfileSink() override {
        if (m_sf) sf_close(m_sf);
    }
    bool open(SF_INFO& info) {
        if (m_comments.empty()) {
            // The descriptor stays the OutputFile's: it closes, renames or removes it.
            m_sf = sf_open_fd(m_file.descriptor(), SFM_WRITE, &info, SF_FALSE);
        } else {
            m_io = SF_VIRTUAL_IO{&MemoryFile::length, &MemoryFile::seek, &MemoryFile::read, &MemoryFile::write, &MemoryFile::tell};
            m_sf = sf_open_virtual(&m_io, SFM_WRITE, &info, &m_memory);
        }
        return m_sf != nullptr;
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
        const bool closed = sf_close(m_sf) == 0;
        m_sf = nullptr;
        if (!closed) return false;
        if (!m_comments.empty()) {
            std::string& bytes = m_memory.bytes;
            const bool tagged = m_type == AudioFileType::Flac ? addFlacComments(bytes, m_comments) : addOggComments(bytes, m_comments);
            if (!tagged || !m_file.write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())))
                return false;
        }
        return m_file.commit();
    }

private:
    OutputFile& m_file;
    AudioFileType m_type;
    std::vector<std::string> m_comments;
    MemoryFile m_memory;
    SF_VIRTUAL_IO m_io{};
    SNDFILE* m_sf = nullptr;
};

}  // namespace

std::unique_ptr<SampleSink> openSndfileSink(OutputFile& file, AudioFileType type, uint32_t sampleRateHz,
                                            const std::vector<std::string>& comments) {
    const int fd = file.descriptor();
    if ((fd < 0 && comments.empty()) || !rateFitsType(type, sampleRateHz)) return nullptr;
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
    auto sink = std::make_unique<SndfileSink>(file, type, comments);
    if (!sink->open(info)) return nullptr;
    return sink;
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
