// SPDX-License-Identifier: MIT
// The bank scope: trigger search, peak meter and the read from the stream's ring.
#include "music/BankScope.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tavolin::music {

size_t triggerStart(std::span<const int16_t> history, size_t window) noexcept {
    if (history.size() <= window) return 0;
    const size_t last = history.size() - window;
    for (size_t i = last; i >= 1; --i)
        if (history[i - 1] < 0 && history[i] >= 0) return i;
    return last;
}

void PeakMeter::update(double peak, double nowSeconds) noexcept {
    const double previous = m_started ? m_last : nowSeconds;
    const double dt = std::max(0.0, nowSeconds - previous);
    m_started = true;
    m_last = nowSeconds;
    peak = std::clamp(peak, 0.0, 1.0);
    m_level = std::max(peak, m_level - kFallPerSecond * dt);
    if (peak >= m_hold) {
        m_hold = peak;
        m_holdSince = nowSeconds;
    } else if (nowSeconds - m_holdSince > kHoldSeconds) {
        // It falls only from the end of its hold on.
        const double since = std::max(previous, m_holdSince + kHoldSeconds);
        m_hold = std::max(m_level, m_hold - kFallPerSecond * (nowSeconds - since));
    }
}

bool BankScope::refresh(const output::BankTapRing& ring, uint64_t heardFrame, uint32_t rateHz, double nowSeconds) {
    const size_t window = std::max<size_t>(2, static_cast<size_t>(std::llround(rateHz * kWindowMs / 1000.0)));
    m_history.resize(2 * window);
    if (!ring.read(heardFrame, m_history)) {
        m_meter.update(0, nowSeconds);
        return false;
    }
    const size_t start = triggerStart(m_history, window);
    m_trace.assign(m_history.begin() + static_cast<ptrdiff_t>(start),
                   m_history.begin() + static_cast<ptrdiff_t>(start + window));
    // The meter reads the newest window, whatever the trigger picked.
    int peak = 0;
    for (size_t i = m_history.size() - window; i < m_history.size(); ++i) peak = std::max(peak, std::abs(int{m_history[i]}));
    m_meter.update(peak / 32768.0, nowSeconds);
    return true;
}

void BankScope::idle(double nowSeconds) {
    std::fill(m_trace.begin(), m_trace.end(), int16_t{0});
    m_meter.update(0, nowSeconds);
}

}  // namespace tavolin::music
