// SPDX-License-Identifier: MIT
// The heard position of a stream: device returns and block starts to a song frame.
#include "output/PlayPosition.h"

#include <algorithm>

namespace tavolin::output {
namespace {

constexpr uint64_t kCountMask = 0xFFFF;

uint64_t micros(PlayPosition::Clock::time_point t) noexcept {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
    return static_cast<uint64_t>(std::max<int64_t>(1, us));
}

}  // namespace

void PlayPosition::blockRendered(uint32_t frames, bool paused, int64_t songDelta) noexcept {
    const uint64_t index = m_rendered.load(std::memory_order_relaxed);
    Block& b = m_blocks[index % kHistory];
    b.start.store(paused ? kPausedBit : m_nextFrame, std::memory_order_relaxed);
    b.frames.store(frames, std::memory_order_relaxed);
    b.songDelta.store(songDelta, std::memory_order_relaxed);
    if (!paused) m_nextFrame += frames;
    m_rendered.store(index + 1, std::memory_order_release);
}

void PlayPosition::rewind(uint64_t blocks, uint64_t nextFrame) noexcept {
    // The reader only looks at returned blocks, which are older than these.
    m_rendered.store(m_rendered.load(std::memory_order_relaxed) - blocks, std::memory_order_release);
    m_nextFrame = nextFrame;
}

void PlayPosition::blockReturned(Clock::time_point now) noexcept {
    const uint64_t old = m_returned.load(std::memory_order_relaxed);
    m_returned.store((micros(now) << 16) | (((old & kCountMask) + 1) & kCountMask), std::memory_order_release);
}

void PlayPosition::deviceStarted(Clock::time_point now) noexcept {
    uint64_t expected = 0;
    m_returned.compare_exchange_strong(expected, micros(now) << 16, std::memory_order_release);
}

std::optional<uint64_t> PlayPosition::heardFrame(Clock::time_point now, uint32_t rate) const noexcept {
    const std::optional<Heard> h = heard(now, rate);
    if (!h) return std::nullopt;
    return h->frame;
}

std::optional<uint64_t> PlayPosition::heardSongFrame(Clock::time_point now, uint32_t rate) const noexcept {
    const std::optional<Heard> h = heard(now, rate);
    if (!h) return std::nullopt;
    const int64_t song = static_cast<int64_t>(h->frame) + h->songDelta;
    return song < 0 ? 0 : static_cast<uint64_t>(song);
}

std::optional<PlayPosition::Heard> PlayPosition::heard(Clock::time_point now, uint32_t rate) const noexcept {
    const uint64_t state = m_returned.load(std::memory_order_acquire);
    if (state == 0) return std::nullopt;
    const uint64_t rendered = m_rendered.load(std::memory_order_acquire);
    // Every returned block was rendered first: the full count is the nearest
    // one at or below the rendered count with these low bits.
    const uint64_t returned = rendered - ((rendered - (state & kCountMask)) & kCountMask);
    if (returned >= rendered) return std::nullopt;
    const Block& b = m_blocks[returned % kHistory];
    const uint64_t start = b.start.load(std::memory_order_relaxed);
    if (start & kPausedBit) return std::nullopt;
    const int64_t sinceUs = static_cast<int64_t>(micros(now)) - static_cast<int64_t>(state >> 16);
    const uint64_t played = sinceUs <= 0 ? 0 : static_cast<uint64_t>(sinceUs) * rate / 1000000;
    return Heard{start + std::min<uint64_t>(played, b.frames.load(std::memory_order_relaxed)),
                 b.songDelta.load(std::memory_order_relaxed)};
}

}  // namespace tavolin::output
