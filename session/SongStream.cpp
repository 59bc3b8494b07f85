// SPDX-License-Identifier: MIT
// A song rendered on the caller's thread.
#include "session/SongStream.h"

#include <algorithm>

#include "output/Playback.h"
#include "session/SwapAnchor.h"

namespace tavolin::session {
SongStream::SongStream(output::BuildInputs inputs, bool loop, std::optional<LivePassage> passage,
                       output::BuildHost& host, CompileResult* result, const CheckpointShelf* checkpoints)
    : m_inputs(std::move(inputs)), m_shelf(checkpoints), m_loop(loop), m_passage(passage) {
    m_song = build(host, result);
}

std::shared_ptr<output::GeneratorWrapper> SongStream::build(output::BuildHost& host, CompileResult* result) {
    output::WaveFormat format;
    std::shared_ptr<output::GeneratorWrapper> song = output::MakeGenerator(m_inputs, false, host, format, result);
    if (!song) return song;
    song->setAudible(m_audible);
    placeSong(*song, m_loop, m_passage, checkpointSkip(m_shelf));
    m_frame = 0;
    m_own = m_passage ? m_passage->from : song->skippedFrames;
    m_fadeFrom.clear();
    m_faded = 0;
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
    if (m_rings) {
        BankTaps taps;
        for (size_t b = 0; b < taps.banks.size(); ++b) {
            if (m_bankBuffers[b].size() < samples) m_bankBuffers[b].resize(samples);
            taps.banks[b] = std::span<int16_t>(m_bankBuffers[b].data(), samples);
        }
        m_song->Render(out, &taps);
        // One ring write holds at most kMaxWrite frames.
        for (size_t b = 0; b < taps.banks.size(); ++b)
            for (size_t at = 0; at < samples; at += 2 * output::BankTapRing::kMaxWrite)
                m_rings->banks[b].writeStereo(taps.banks[b].subspan(at, std::min<size_t>(samples - at, 2 * output::BankTapRing::kMaxWrite)));
    } else {
        m_song->Render(out);
    }
    if (m_faded < m_fadeFrom.size()) {
        // A swap's crossfade, perhaps over several calls: the weights count
        // from the swap's first frame, as the player's do within its block.
        const size_t n = std::min(samples, m_fadeFrom.size() - m_faded);
        output::crossfade(out.first(n), std::span<const int16_t>(m_fadeFrom).subspan(m_faded), static_cast<uint32_t>(m_faded / 2),
                          static_cast<uint32_t>(m_fadeFrom.size() / 2));
        m_faded += n;
    }
    m_frame += frames;
    m_own += frames;
    return out;
}

uint64_t SongStream::songFrame() const noexcept {
    return wrapOwnFrame(m_own, m_loop, m_passage, m_map ? m_map->timeline.frames : 0);
}

bool SongStream::swap(const output::BuildInputs& inputs, output::BuildHost& host, CompileResult* result) {
    if (!m_song || !sameSwapSettings(inputs, m_inputs)) return false;
    output::BuildInputs next = swapInputs(inputs);  // it goes on where the music stands, not at a caret
    const std::shared_ptr<const output::SongMap> map = output::buildSongMap(next, false);
    output::WaveFormat format;
    std::shared_ptr<output::GeneratorWrapper> song = output::MakeGenerator(next, false, host, format, result);
    if (!song || !map->ok()) return false;
    if (!m_map) m_map = output::buildSongMap(m_inputs, false);
    if (!m_map->ok()) return false;

    TabEdits edits;
    for (size_t t = 0; t < edits.size(); ++t)
        if (m_inputs.tabTexts[t] != next.tabTexts[t]) edits[t].push_back(changeBetween(m_inputs.tabTexts[t], next.tabTexts[t]));
    SwapPlace place = placeSwap(m_map->timeline, songFrame(), edits, map->timeline, m_passage);
    song->setAudible(m_audible);
    enterSwap(*song, place, m_loop, checkpointSkip(m_shelf));

    // What the old song would have played next: the new one fades in over it.
    const uint32_t fadeFrames = std::min(output::crossfadeFrames(m_inputs.sampleRateHz), output::kBlockFrames);
    std::vector<int16_t> from(size_t{fadeFrames} * 2);
    m_song->Render(std::span<int16_t>(from));
    if (m_faded < m_fadeFrom.size()) {
        // Still fading in from an earlier swap: that fade is what would have been heard.
        output::crossfade(from, std::span<const int16_t>(m_fadeFrom).subspan(m_faded), static_cast<uint32_t>(m_faded / 2),
                          static_cast<uint32_t>(m_fadeFrom.size() / 2));
    }
    m_fadeFrom = std::move(from);
    m_faded = 0;
    m_song = std::move(song);
    m_map = map;
    m_inputs = std::move(next);
    m_passage = place.passage;
    m_own = place.anchor.frame;
    return true;
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
    m_own += frame - m_frame;
    m_frame = frame;
    m_fadeFrom.clear();  // a seek is a cut, as on the desktop
    m_faded = 0;
}

void SongStream::tapBanks() {
    if (m_rings) return;
    m_rings = std::make_unique<output::BankTapRings>();
    m_rings->sampleRateHz = m_inputs.sampleRateHz;
}

void SongStream::setAudible(BankMask mask) {
    m_audible = static_cast<BankMask>(mask & kAllBanks);
    if (m_song) m_song->setAudible(m_audible);
}

}  // namespace tavolin::session
