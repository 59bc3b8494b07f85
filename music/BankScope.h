// SPDX-License-Identifier: MIT
// What a bank's oscilloscope and level meter show, toolkit-free: the last
// 20 ms of its output around the heard frame, held still on a rising zero
// crossing, and a peak meter with a hold mark.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "output/BankTapRing.h"

namespace tavolin::music {

// The first of the `window` samples to show out of `history` (oldest
// first): the latest rising zero crossing (a sample below 0 followed by one
// at or above 0) that still leaves `window` samples from it on, so a steady
// note is drawn from the same point of its cycle every time; without one,
// the last `window` samples. history.size() >= window.
size_t triggerStart(std::span<const int16_t> history, size_t window) noexcept;

// A peak meter: the level jumps up to every new peak and falls at
// kFallPerSecond of full scale; the hold mark stays at the highest recent
// peak for kHoldSeconds, then falls the same way, never below the level.
class PeakMeter {
public:
    static constexpr double kHoldSeconds = 1.0;
    static constexpr double kFallPerSecond = 1.5;

    // The peak (0..1) of the samples that arrived, seen at `nowSeconds`.
    void update(double peak, double nowSeconds) noexcept;
    double level() const noexcept { return m_level; }
    double hold() const noexcept { return m_hold; }
    // Level and hold mark have fallen to the bottom.
    bool resting() const noexcept { return m_level <= 0 && m_hold <= 0; }

private:
    double m_level = 0;
    double m_hold = 0;
    double m_holdSince = 0;
    double m_last = 0;
    bool m_started = false;
};

// One bank's picture. User-interface thread only; it reads the ring the
// stream worker writes and never waits for it.
class BankScope {
public:
    static constexpr double kWindowMs = 20.0;

    // Reads the frames up to `heardFrame` from `ring` and sets the trace and
    // the meter. False when they cannot be read (not written yet, or already
    // overwritten): the last picture stays and the meter falls.
    bool refresh(const output::BankTapRing& ring, uint64_t heardFrame, uint32_t rateHz, double nowSeconds);
    // Nothing is heard (stopped, paused): a flat trace and a falling meter.
    void idle(double nowSeconds);

    // The samples to draw, oldest first (empty before the first refresh).
    std::span<const int16_t> trace() const noexcept { return m_trace; }
    const PeakMeter& meter() const noexcept { return m_meter; }

private:
    std::vector<int16_t> m_history;  // the window and as much again to find the crossing in
    std::vector<int16_t> m_trace;
    PeakMeter m_meter;
};

}  // namespace tavolin::music
