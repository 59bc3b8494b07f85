// A song rendered on the caller's thread.
#include "session/SongStream.h"

#include <algorithm>

namespace tavolin::session {
SongStream::SongStream(output::BuildInputs inputs, bool loop, std::optional<LivePassage> passage,
                       output::BuildHost& host, CompileResult* result)
    : m_inputs(std::move(inputs)), m_loop(loop), m_passage(passage) {
    m_song = build(host, result);
}

std::shared_ptr<output::GeneratorWrapper> SongStream::build(output::BuildHost& host, CompileResult* result) {
    output::WaveFormat format;
    std::shared_ptr<output::GeneratorWrapper> song = output::MakeGenerator(m_inputs, false, host, format, result);
    if (!song) return song;
    song->setAudible(m_audible);
    placeSong(*song, m_loop, m_passage);
    m_frame = 0;
    return song;
}

std::span<const int16_t> SongStream::next(uint32_t frames) {
    const size_t samples = size_t{frames} * 2;
    if (m_buffer.size() < samples) m_buffer.resize(samples);
    const std::span<int16_t> out(m_buffer.data(), samples);
    if (!m_song) {
        std::fill(out.begin(), out.end(), int16_t{0});
        return out;
    }
    m_song->Render(out);
    m_frame += frames;
    return out;
}

void SongStream::seek(uint64_t frame) {
    if (!m_song) return;
    if (frame < m_frame) {
        output::QuietHost host;  // it built before: nothing new to say
        m_song = build(host, nullptr);
        if (!m_song) return;
    }
    // Within a passage as it plays, its restarts included; the whole song by
    // the seek that may pay its noise steps from an earlier one's.
    if (m_passage) m_song->advance(frame - m_frame);
    else m_song->Skip(frame - m_frame);
    m_frame = frame;
}

void SongStream::setAudible(BankMask mask) {
    m_audible = static_cast<BankMask>(mask & kAllBanks);
    if (m_song) m_song->setAudible(m_audible);
}

}  // namespace tavolin::session
