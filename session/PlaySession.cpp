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
    placeSong(*song, start.loop, start.passage);
    const uint64_t first = start.passage ? start.passage->from : song->skippedFrames;
    if (!m_player.StartPlayback(std::move(song), format, host)) return std::nullopt;
    if (!follow) return first;
    if (!map) map = output::buildSongMap(inputs, false);
    // A passage loops by its own flag; Loop is the whole song's.
    m_swap.playStarted(inputs, std::move(map), LivePlayStart{first, start.passage ? false : start.loop, start.passage});
    return first;
}

void PlaySession::stop() {
    m_swap.playStopped();
    m_player.StopPlayback();
}

void PlaySession::edited(int tab, uint64_t position, uint64_t removed, uint64_t inserted) {
    if (m_swap.active()) m_swap.edited(tab, position, removed, inserted);
}

void PlaySession::editedTexts(const std::array<std::string, 6>& before, const std::array<std::string, 6>& after) {
    if (m_swap.active()) m_swap.editedTexts(before, after);
}

bool PlaySession::offer(const output::BuildInputs& inputs, std::shared_ptr<const output::SongMap> map) {
    return m_swap.active() && m_swap.offer(inputs, std::move(map));
}

}  // namespace tavolin::session
