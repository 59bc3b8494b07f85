// SPDX-License-Identifier: MIT
// Checkpoints along a song, taken in idle time.
#include "session/Checkpoints.h"

#include <algorithm>

#include "session/Passage.h"
#include "session/SwapAnchor.h"

namespace tavolin::session {

bool sameSong(const output::BuildInputs& a, const output::BuildInputs& b) {
    return sameSwapSettings(a, b) && a.bankIndex == b.bankIndex && a.tabTexts == b.tabTexts;
}

bool CheckpointShelf::begin(const output::BuildInputs& inputs, CheckpointMode mode, uint64_t frames) {
    m_walker.reset();
    m_at = 0;
    m_end = 0;
    m_mode = mode;
    output::QuietHost quiet;
    output::WaveFormat format;
    m_walker = output::MakeGenerator(swapInputs(inputs), false, quiet, format);
    if (!m_walker) {
        std::lock_guard lock(m_mutex);
        m_entries.clear();
        return false;
    }
    setPlayMode(*m_walker, mode.loop, mode.passage);
    m_end = frames;
    // Evenly over the song, a couple of seconds apart or a power of two
    // times that, so that at most kMaxCheckpoints fit: the spacing, and with
    // it the checkpoints before an edit, stays as it was while the song's
    // length changes a little.
    m_spacing = uint64_t{m_walker->sampleRateHz} * kMinSpacingSeconds;
    while (m_spacing != 0 && frames / m_spacing > kMaxCheckpoints) m_spacing *= 2;
    if (m_spacing == 0) return false;
    // An edit leaves the song before it as it was: the walk goes on from the
    // last checkpoint of the earlier song this one can take up, and the
    // checkpoints up to there serve it as they stand. The rest are dropped.
    const std::optional<uint64_t> from = adoptNearest(*m_walker, frames);
    m_at = from.value_or(0);
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [this](const Entry& e) { return e.frame > m_at || e.frame % m_spacing != 0; });
    return true;
}

bool CheckpointShelf::step(uint64_t budget) {
    if (!m_walker || m_at + m_spacing >= m_end || budget == 0) return false;
    const uint64_t due = (m_at / m_spacing + 1) * m_spacing;
    const uint64_t n = std::min(budget, due - m_at);
    m_walker->Skip(n);
    m_at += n;
    if (m_at == due) {
        m_walker->settleForCheckpoint();
        Entry e;
        e.frame = m_at;
        e.song = m_walker->snapshot();
        e.bytes = e.song ? e.song->stateBytes() : 0;
        std::lock_guard lock(m_mutex);
        m_entries.push_back(std::move(e));
    }
    return m_at + m_spacing < m_end;
}

std::optional<uint64_t> CheckpointShelf::adoptNearest(output::GeneratorWrapper& song, uint64_t frame, uint64_t after) const {
    std::vector<Entry> candidates;
    {
        std::lock_guard lock(m_mutex);
        for (const Entry& e : m_entries)
            if (e.frame > after && e.frame <= frame) candidates.push_back(e);
    }
    // An edit changes what a bank reads from its place on: the latest
    // checkpoint before it is the one to take.
    for (auto it = candidates.rbegin(); it != candidates.rend(); ++it)
        if (it->song && song.adoptStateOf(*it->song)) return it->frame;
    return std::nullopt;
}

size_t CheckpointShelf::count() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

size_t CheckpointShelf::bytes() const {
    std::lock_guard lock(m_mutex);
    size_t total = 0;
    for (const Entry& e : m_entries) total += e.bytes;
    return total;
}

SkipTo checkpointSkip(const CheckpointShelf* shelf, uint64_t* from) {
    if (!shelf) return {};
    return [shelf, from](output::GeneratorWrapper& song, uint64_t frame) {
        const uint64_t at = shelf->adoptNearest(song, frame).value_or(0);
        if (from) *from = at;
        song.Skip(frame - at);
    };
}

}  // namespace tavolin::session
