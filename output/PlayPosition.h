// SPDX-License-Identifier: MIT
// Where the listener is in the song: blocks the device has returned, the time since the
// last return, and the song frame each block started at.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

namespace tavolin::output {

// Written by the stream's worker (blocks in playing order) and the device's
// notification thread (returns), read by the user-interface thread. Lock-free.
class PlayPosition {
public:
    using Clock = std::chrono::steady_clock;
    // Blocks rendered and not yet returned, at most (ready queue, device ring,
    // the one being rendered), with room to spare.
    static constexpr uint64_t kHistory = 16;

    // Worker: the next block in playing order holds `frames` frames; a block
    // rendered while paused is silence and does not move the song on.
    // `songDelta` turns the block's stream frames into the frames of the song
    // it was rendered from (see heardSongFrame).
    void blockRendered(uint32_t frames, bool paused, int64_t songDelta = 0) noexcept;
    // Worker: the last `blocks` rendered blocks were never handed to the
    // device and are rendered again, from stream frame `nextFrame` on.
    void rewind(uint64_t blocks, uint64_t nextFrame) noexcept;
    // Device thread: the oldest block at the device has been played.
    void blockReturned(Clock::time_point now) noexcept;
    // The device started playing the first block (after the priming writes).
    // Ignored when a block has already come back.
    void deviceStarted(Clock::time_point now) noexcept;

    // The song frame the listener hears at `now`, counted from the frame the
    // stream started at: the frames of the returned blocks plus the time since
    // the last return, never past the end of the block being played. nullopt
    // before the device starts, while a paused block plays, and when no
    // rendered block is left at the device.
    std::optional<uint64_t> heardFrame(Clock::time_point now, uint32_t rate) const noexcept;
    // The same frame shifted by the heard block's song delta: where the
    // listener is in the song that block came from (never below 0).
    std::optional<uint64_t> heardSongFrame(Clock::time_point now, uint32_t rate) const noexcept;

private:
    static constexpr uint64_t kPausedBit = uint64_t{1} << 63;
    struct Block {
        std::atomic<uint64_t> start{0};  // song frame, kPausedBit for a paused block
        std::atomic<uint32_t> frames{0};
        std::atomic<int64_t> songDelta{0};
    };
    struct Heard {
        uint64_t frame = 0;
        int64_t songDelta = 0;
    };
    std::optional<Heard> heard(Clock::time_point now, uint32_t rate) const noexcept;
    std::array<Block, kHistory> m_blocks;
    std::atomic<uint64_t> m_rendered{0};
    uint64_t m_nextFrame = 0;  // worker only
    // The device's progress in one word: microseconds of the last return (or
    // of the start) above, the count of returned blocks modulo 2^16 below.
    std::atomic<uint64_t> m_returned{0};
};

}  // namespace tavolin::output
