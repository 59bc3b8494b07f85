// SPDX-License-Identifier: MIT
// The bank rings: a needle that writes ahead, and a copy that checks it was not overtaken.
#include "output/BankTapRing.h"

#include <algorithm>

namespace tavolin::output {

void BankTapRing::writeStereo(std::span<const int16_t> interleaved) noexcept {
    const uint64_t start = m_written.load(std::memory_order_relaxed);
    const size_t frames = interleaved.size() / 2;
    // Orders the last publication before this block's stores: a reader that
    // sees any of them also sees that `written`, which its check relies on.
    std::atomic_thread_fence(std::memory_order_release);
    for (size_t i = 0; i < frames; ++i) {
        const int32_t mono = int32_t{interleaved[2 * i]} + interleaved[2 * i + 1];
        m_samples[(start + i) % kCapacity].store(static_cast<int16_t>(std::clamp(mono, -32768, 32767)),
                                                  std::memory_order_relaxed);
    }
    m_written.store(start + frames, std::memory_order_release);
}

bool BankTapRing::read(uint64_t end, std::span<int16_t> out) const noexcept {
    const uint64_t n = out.size();
    if (n > end || n + kMaxWrite > kCapacity) return false;
    const uint64_t begin = end - n;
    // The writer may already be storing the next block (up to kMaxWrite
    // frames past `written`) into slots of frames kCapacity back.
    const auto intact = [&](uint64_t written) { return end <= written && begin + kCapacity >= written + kMaxWrite; };
    if (!intact(m_written.load(std::memory_order_acquire))) return false;
    for (uint64_t i = 0; i < n; ++i) out[i] = m_samples[(begin + i) % kCapacity].load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    return intact(m_written.load(std::memory_order_relaxed));
}

}  // namespace tavolin::output
