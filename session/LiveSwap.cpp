// SPDX-License-Identifier: MIT
// The live swap: edits collected per compile, the anchor, and the build and seek on the builder thread.
#include "session/LiveSwap.h"

#include <algorithm>
#include <utility>

namespace tavolin::session {
namespace {

// The builder reports nothing: the live check has already shown the errors.
using output::QuietHost;

}  // namespace

// One song of the chain. A song's own frames count on from where it stood
// at its first stream frame without wrapping; `delta` turns stream frames
// into them, and wrap() into frames of its timeline.
struct LiveSwap::Song {
    std::shared_ptr<const output::SongMap> map;
    bool loop = false;
    std::optional<LivePassage> passage;
    int64_t delta = 0;
    uint64_t from = 0;  // the stream frame it took over at (0 for Play's song)
    output::BuildInputs inputs;  // as a swap builds it: no cursor

    uint64_t wrap(int64_t own) const noexcept {
        return wrapOwnFrame(own < 0 ? 0 : static_cast<uint64_t>(own), loop, passage, map->timeline.frames);
    }
    uint64_t frameAtStream(uint64_t streamFrame) const noexcept { return wrap(static_cast<int64_t>(streamFrame) + delta); }
};

struct LiveSwap::Request {
    uint64_t epoch = 0;
    std::shared_ptr<output::WaveOutParam> stream;
    output::BuildInputs inputs;
    std::shared_ptr<const output::SongMap> map;
    TabEdits edits;
    std::optional<LivePassage> passage;
};

LiveSwap::LiveSwap(output::Player& player, const CheckpointShelf* checkpoints)
    : m_player(player), m_shelf(checkpoints), m_thread([this] { work(); }) {}

LiveSwap::~LiveSwap() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_request.reset();
    }
    m_wake.notify_all();
    m_thread.join();
}

void LiveSwap::playStarted(const output::BuildInputs& inputs, std::shared_ptr<const output::SongMap> map,
                           const LivePlayStart& start) {
    playStopped();
    if (!map || !map->ok() || !m_player.isPlaying()) return;
    m_settings = inputs;
    m_playingTexts = inputs.tabTexts;
    m_active = true;
    auto song = std::make_shared<Song>();
    song->map = std::move(map);
    song->loop = start.loop;
    song->passage = start.passage;
    song->delta = static_cast<int64_t>(start.frame);
    song->inputs = swapInputs(inputs);
    std::lock_guard lock(m_mutex);
    m_base = static_cast<int64_t>(start.frame);
    m_song = std::move(song);
    m_stream = m_player.stream();
    m_warmedAt.reset();
    m_report = {};
}

void LiveSwap::playStopped() {
    m_active = false;
    for (auto& list : m_edits) list.clear();
    std::lock_guard lock(m_mutex);
    ++m_epoch;
    m_request.reset();
    m_song.reset();
    m_offeredMap.reset();
    m_stream.reset();
}

void LiveSwap::edited(int tab, uint64_t position, uint64_t removed, uint64_t inserted) {
    if (!m_active || tab < 0 || tab >= static_cast<int>(m_edits.size())) return;
    m_edits[static_cast<size_t>(tab)].push_back({position, removed, inserted});
}

void LiveSwap::editedTexts(const std::array<std::string, 6>& before, const std::array<std::string, 6>& after) {
    for (size_t t = 0; t < before.size(); ++t) {
        if (before[t] == after[t]) continue;
        const TextEdit e = changeBetween(before[t], after[t]);
        edited(static_cast<int>(t), e.position, e.removed, e.inserted);
    }
}

bool LiveSwap::offer(const output::BuildInputs& inputs, std::shared_ptr<const output::SongMap> map,
                     std::optional<LivePassage> passage) {
    if (!m_active || !map || !map->ok() || !sameSwapSettings(inputs, m_settings) || !m_player.isPlaying()) return false;
    if (!m_player.swapFrame()) return false;  // the stream has ended
    auto request = std::make_unique<Request>();
    request->stream = m_player.stream();
    request->inputs = swapInputs(inputs);
    request->map = std::move(map);
    request->edits = std::exchange(m_edits, {});
    request->passage = passage;
    m_playingTexts = inputs.tabTexts;
    ++m_generation;
    {
        std::lock_guard lock(m_mutex);
        request->epoch = m_epoch;
        if (m_request) {
            // The waiting one never became the playing song: its edits come first.
            for (size_t t = 0; t < request->edits.size(); ++t) {
                auto& joined = m_request->edits[t];
                joined.insert(joined.end(), request->edits[t].begin(), request->edits[t].end());
                request->edits[t] = std::move(joined);
            }
        }
        m_request = std::move(request);
        m_offeredMap = m_request->map;
    }
    m_wake.notify_all();
    return true;
}

std::optional<uint64_t> LiveSwap::heardFrame(output::PlayPosition::Clock::time_point now) const {
    const std::optional<uint64_t> heard = m_player.heardSongFrame(now);
    std::lock_guard lock(m_mutex);
    if (!heard || !m_song) return std::nullopt;
    return m_song->wrap(static_cast<int64_t>(*heard) + m_base);
}

std::shared_ptr<const output::SongMap> LiveSwap::playingMap() const {
    std::lock_guard lock(m_mutex);
    if (!m_active) return nullptr;
    return m_offeredMap ? m_offeredMap : (m_song ? m_song->map : nullptr);
}

std::optional<LivePassage> LiveSwap::passage() const {
    std::lock_guard lock(m_mutex);
    return m_song ? m_song->passage : std::nullopt;
}

void LiveSwap::waitIdle() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_request && !m_busy; });
}

LiveSwapReport LiveSwap::report() const {
    std::lock_guard lock(m_mutex);
    return m_report;
}

void LiveSwap::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait_for(lock, kWarmEvery, [this] { return m_quit || m_request; });
        if (m_quit) return;
        if (!m_request) {
            if (m_song && m_stream) {
                const std::shared_ptr<const Song> song = m_song;
                const std::shared_ptr<output::WaveOutParam> stream = m_stream;
                const uint64_t epoch = m_epoch;
                lock.unlock();
                warm(*song, *stream, epoch);
                lock.lock();
            }
            continue;
        }
        std::unique_ptr<Request> request = std::move(m_request);
        m_busy = true;
        lock.unlock();
        build(*request);
        request.reset();  // the songs it held are freed here, on this thread
        lock.lock();
        m_busy = false;
        m_idle.notify_all();
    }
}

// While nothing is offered: the playing song built and skipped to where the
// stream stands, kept as the checkpoint the next build starts from, so that
// its seek pays the second or so played since instead of the minutes before
// (the noise steps that skip pays stay remembered as well, see
// GeneratorWrapper::Skip). Skipped while the stream has not moved on a
// second since the last time.
void LiveSwap::warm(const Song& song, const output::WaveOutParam& stream, uint64_t epoch) {
    const std::optional<uint64_t> at = output::swapFrameOf(stream);
    if (!at) return;
    const uint64_t frame = song.passage ? song.passage->from : song.frameAtStream(*at);
    {
        std::lock_guard lock(m_mutex);
        if (epoch != m_epoch) return;
        if (m_warmedAt && frame >= *m_warmedAt && frame - *m_warmedAt < kWarmFrames) return;
        m_warmedAt = frame;
    }
    QuietHost quiet;
    output::WaveFormat format;
    std::shared_ptr<output::GeneratorWrapper> copy = output::MakeGenerator(song.inputs, false, quiet, format);
    if (!copy) return;
    // Not the passage itself: a song that has entered one takes no checkpoint.
    setPlayMode(*copy, song.loop, song.passage.has_value());
    skipTo(*copy, frame, epoch);
    copy->settleForCheckpoint();
    m_checkpoint = std::move(copy);
    m_checkpointFrame = frame;
    m_checkpointEpoch = epoch;
}

uint64_t LiveSwap::skipTo(output::GeneratorWrapper& song, uint64_t frame, uint64_t epoch) {
    // The latest state the song can take up: the one warmed where the stream
    // stood, or a checkpoint along the song, whichever lies nearer.
    const bool warmed = m_checkpoint && m_checkpointEpoch == epoch && m_checkpointFrame <= frame;
    std::optional<uint64_t> from;
    if (m_shelf) from = m_shelf->adoptNearest(song, frame, warmed ? m_checkpointFrame : 0);
    if (!from && warmed && song.adoptStateOf(*m_checkpoint)) from = m_checkpointFrame;
    if (!from && warmed && m_shelf) from = m_shelf->adoptNearest(song, m_checkpointFrame);
    song.Skip(frame - from.value_or(0));
    return from.value_or(0);
}

void LiveSwap::build(Request& request) {
    std::shared_ptr<Song> old;
    int64_t base = 0;
    {
        std::lock_guard lock(m_mutex);
        if (request.epoch != m_epoch || !m_song) return;
        old = m_song;
        base = m_base;
    }
    const auto t0 = Clock::now();
    QuietHost quiet;
    output::WaveFormat format;
    std::shared_ptr<output::GeneratorWrapper> song = output::MakeGenerator(request.inputs, false, quiet, format);
    if (!song) return;
    const auto t1 = Clock::now();

    // The frame the swap names: the first one not yet at the device, and
    // never before the frame the previous swap named (the songs follow one
    // another in the stream in the order they were offered).
    const std::optional<uint64_t> next = output::swapFrameOf(*request.stream);
    if (!next) return;
    const uint64_t at = std::max(*next, old->from);
    const SongTimeline& oldLine = old->map->timeline;
    const SongTimeline& newLine = request.map->timeline;
    const uint64_t oldFrame = old->frameAtStream(at);
    SwapPlace place = placeSwap(oldLine, oldFrame, request.edits, newLine, old->passage, request.passage);
    uint64_t checkpointFrame = 0;
    enterSwap(*song, place, old->loop, [&](output::GeneratorWrapper& s, uint64_t frame) {
        checkpointFrame = skipTo(s, frame, request.epoch);
    });
    const SwapAnchor& anchor = place.anchor;
    const std::optional<LivePassage>& passage = place.passage;
    // A slow seek: catch up with the stream here rather than on its worker.
    uint64_t target = at;
    if (const std::optional<uint64_t> now = output::swapFrameOf(*request.stream); now && *now > target) {
        song->advance(*now - target);
        target = *now;
    }
    const auto t2 = Clock::now();

    auto next_song = std::make_shared<Song>();
    next_song->map = request.map;
    next_song->loop = old->loop;
    next_song->passage = passage;
    next_song->delta = static_cast<int64_t>(anchor.frame) - static_cast<int64_t>(at);
    next_song->from = target;
    next_song->inputs = request.inputs;
    const int64_t songFrame = static_cast<int64_t>(target) + next_song->delta - base;

    std::lock_guard lock(m_mutex);
    if (request.epoch != m_epoch) return;  // Stop or a new Play came first
    if (!output::postSwap(*request.stream, {std::move(song), target, songFrame})) return;
    m_song = std::move(next_song);
    m_stream = request.stream;
    ++m_report.swaps;
    m_report.anchor = anchor;
    m_report.oldFrame = oldFrame;
    m_report.streamFrame = at;
    m_report.build = t1 - t0;
    m_report.seek = t2 - t1;
    m_report.checkpointFrame = checkpointFrame;
}

}  // namespace tavolin::session
