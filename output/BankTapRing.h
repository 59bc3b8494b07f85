// SPDX-License-Identifier: MIT
// Each bank's recent output, from the stream worker to the window: one fixed
// single-producer/single-consumer ring per bank, no locks, no waiting.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

namespace tavolin::output {

// The last kCapacity frames of one bank as mono samples (left + right,
// saturated: the bank's voice whatever its pan), numbered by song frame from
// the start of the stream.
//
//   worker:  write(block)  ── stores samples ──► release-stores `written`
//   window:  read(end, n)  ◄── acquire-loads `written`, copies, checks again
//
// The writer never waits for the reader: a reader that was overtaken while
// copying (the slots it read were rewritten) is told so and tries again on
// its next frame. The samples are relaxed atomics, so the copy races with
// nothing; on common hardware they are plain loads and stores.
class BankTapRing {
public:
    // Room for the frames rendered ahead of the listener (eight blocks) and
    // a window of 40 ms at 192,000 Hz, twice over.
    static constexpr uint64_t kCapacity = uint64_t{1} << 15;
    // The most frames one write may hold (a stream block).
    static constexpr uint64_t kMaxWrite = 4096;

    // Worker only: appends the frames of `interleaved` (left, right, ...).
    // No allocation, no lock.
    void writeStereo(std::span<const int16_t> interleaved) noexcept;
    // Worker only: the frames from `frame` on (not yet heard) are written
    // again by the next writes; frames before it stay readable.
    void rewind(uint64_t frame) noexcept {
        if (frame < m_written.load(std::memory_order_relaxed)) m_written.store(frame, std::memory_order_release);
    }
    // Frames written so far; any thread.
    uint64_t written() const noexcept { return m_written.load(std::memory_order_acquire); }
    // Reader: the out.size() frames that end at frame `end`. False (and
    // `out` unspecified) when they are not all written yet, or were
    // overwritten before or while they were copied.
    bool read(uint64_t end, std::span<int16_t> out) const noexcept;

private:
    std::array<std::atomic<int16_t>, kCapacity> m_samples{};
    std::atomic<uint64_t> m_written{0};
};

// The five banks' rings of one stream, at the stream's rate.
struct BankTapRings {
    std::array<BankTapRing, 5> banks;
    uint32_t sampleRateHz = 0;
};

}  // namespace tavolin::output
