// SPDX-License-Identifier: MIT
// A song on the sound device, followed by the live swap.
#include "session/PlaySession.h"

#include <utility>

namespace tavolin::session {

PlaySession::PlaySession(output::AudioDeviceFactory devices, output::PlayerOptions options)
    : m_player(std::move(devices), std::move(options)) {}

PlaySession::~PlaySession() { stop(); }

std::optional<uint64_t> PlaySession::play(std::shared_ptr<output::GeneratorWrapper> song, const output::WaveFormat& format,
                                          output::BuildHost& host, const output::BuildInputs& inputs, const Start& start,
                                          bool follow, std::shared_ptr<const output::SongMap> map) {
    stop();
    m_loop = start.passage ? false : start.loop;
    m_mode = CheckpointMode{m_loop, start.passage.has_value()};
    m_startedFrom = 0;
    placeSong(*song, start.loop, start.passage, checkpointSkip(&m_checkpoints.shelf(), &m_startedFrom));
    if (follow) m_checkpoints.compiled(inputs, m_mode);
    const uint64_t first = start.passage ? start.passage->from : song->skippedFrames;
    if (!m_player.StartPlayback(std::move(song), format, host)) return std::nullopt;
    if (!follow) return first;
    if (!map) map = output::buildSongMap(inputs, false);
    // A passage loops by its own flag; Loop is the whole song's.
    m_swap.playStarted(inputs, std::move(map), LivePlayStart{first, start.passage ? false : start.loop, start.passage});
    return first;
}

std::optional<uint64_t> PlaySession::play(const output::BuildInputs& inputs, bool testMode, output::BuildHost& host,
                                          const Start& start, std::shared_ptr<const output::SongMap> map) {
    stop();
    output::WaveFormat format;
    std::shared_ptr<output::GeneratorWrapper> song = output::MakeGenerator(inputs, testMode, host, format);
    if (!song) return std::nullopt;
    return play(std::move(song), format, host, inputs, start, !testMode, std::move(map));
}

PickedPassage PlaySession::loopPick(output::BuildInputs inputs, const LoopPick& pick, output::BuildHost& host) {
    // While the song plays, a note a loop repeats names the pass being heard.
    const std::optional<uint64_t> playhead = heardFrame(output::PlayPosition::Clock::now());
    stop();
    // The passage is a stretch of the whole song, as exported: endless loops
    // once, every pass of it the song's own samples.
    inputs.startFromCursor = false;
    inputs.caret = 0;
    PickedPassage picked;
    output::WaveFormat format;
    std::shared_ptr<output::GeneratorWrapper> song = output::MakeGenerator(inputs, false, host, format);
    if (!song) return picked;
    const std::shared_ptr<const output::SongMap> map = output::buildSongMap(inputs, false);
    picked.rate = format.samplesPerSec;
    const std::optional<LoopSpan> span = map->ok() ? loopSpanOf(map->timeline, pick, playhead) : std::nullopt;
    if (!span) {
        picked.result = PickedPassage::Result::NoNote;
        return picked;
    }
    // Edits go on being heard, and the passage follows its notes.
    if (!play(std::move(song), format, host, inputs, {false, LivePassage{span->from, span->to, true}}, true, map)) return picked;
    picked.result = PickedPassage::Result::Playing;
    picked.span = *span;
    return picked;
}

void PlaySession::stop() {
    m_swap.playStopped();
    m_player.StopPlayback();
    m_waiting.reset();
    m_switchesSeen = 0;
}

PlayPoll PlaySession::poll(output::PlayPosition::Clock::time_point now, const document::TabTexts* texts) {
    PlayPoll p;
    p.playing = m_player.isPlaying();
    p.ended = p.playing && m_player.songHeard();
    if (!m_swap.active()) return p;
    p.map = m_swap.playingMap();
    if (const output::SwitchReport done = m_player.lastSwitch(); done.count > m_switchesSeen) {
        m_switchesSeen = done.count;
        const LiveSwapReport r = m_swap.report();
        p.swapped = SwapHeard{done.streamFrame, r.anchor.frame + (done.streamFrame - r.streamFrame)};
    }
    if (const std::optional<uint64_t> heard = m_swap.heardFrame(now)) m_waiting = heard;
    else if (!m_player.paused()) m_waiting.reset();
    p.frame = m_waiting;
    if (!p.frame || !p.map || !p.map->ok()) return p;
    const SongTimeline& timeline = p.map->timeline;
    if (m_swap.passage()) p.banks.emplace().fill(*p.frame);  // a passage plays as exported: every bank together
    else p.banks = playbackFrames(timeline, *p.frame, m_loop);
    if (!texts) return p;
    // The texts may have changed since the song was compiled: the notes move with them.
    std::array<std::string_view, document::kTabCount> current;
    for (size_t i = 0; i < current.size(); ++i) current[i] = (*texts)[i];
    p.lit = music::soundingSourcesIn(timeline, *p.banks, m_swap.playingTexts(), current);
    return p;
}

void PlaySession::edited(int tab, uint64_t position, uint64_t removed, uint64_t inserted) {
    if (m_swap.active()) m_swap.edited(tab, position, removed, inserted);
}

void PlaySession::editedTexts(const std::array<std::string, 6>& before, const std::array<std::string, 6>& after) {
    if (m_swap.active()) m_swap.editedTexts(before, after);
}

bool PlaySession::offer(const output::BuildInputs& inputs, std::shared_ptr<const output::SongMap> map) {
    // Playing or not, the latest song that compiles gets its checkpoints:
    // for the swaps of what plays, or else for the next passage (Ctrl+L, a
    // note clicked in the roll), since Play from a caret takes none.
    if (map && map->ok()) m_checkpoints.compiled(inputs, m_swap.active() ? m_mode : CheckpointMode{false, true});
    return m_swap.active() && m_swap.offer(inputs, std::move(map));
}

}  // namespace tavolin::session
