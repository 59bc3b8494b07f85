// SPDX-License-Identifier: MIT
// The bank scope's model: where the trace starts, that a steady note stands
// still whatever frame is heard, reads the ring cannot serve, and the meter.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "music/BankScope.h"

namespace tavolin::music {
namespace {

TEST(BankScope, TriggerStart) {
    struct Row {
        const char* name;
        std::vector<int16_t> history;
        size_t window;
        size_t expected;
    };
    const Row rows[] = {
        {"no crossing: the newest window", {5, 6, 7, 8, 9, 10}, 3, 3},
        {"one rising crossing", {-3, -2, 4, 5, 6, 7, 8}, 3, 2},
        {"the latest that leaves a whole window", {-1, 1, -1, 1, 2, -1, 1, 2}, 3, 3},
        {"a crossing too late for a window is passed over", {-1, 1, 2, 3, 4, -1, 1}, 3, 1},
        {"falling crossings do not trigger", {5, -5, -6, 5, 4, 3, -4, -4}, 3, 3},
        {"zero counts as reached", {-1, 0, 0, 0, 0}, 4, 1},
        {"a sample at zero before does not", {0, 1, 2, 3}, 2, 2},
        {"history no longer than the window", {-1, 1}, 2, 0},
    };
    for (const Row& r : rows) EXPECT_EQ(triggerStart(r.history, r.window), r.expected) << r.name;
}

// A steady tone drawn through the ring stands still: every refresh, at any
// heard frame, shows the same samples.
TEST(BankScope, SteadyNoteStandsStill) {
    struct Wave {
        const char* name;
        int period;
        int16_t (*at)(int phase, int period);
    };
    const Wave waves[] = {
        {"square 1/4 duty", 96, [](int ph, int p) -> int16_t { return ph < p / 4 ? 12000 : -12000; }},
        {"sine", 109,
         [](int ph, int p) -> int16_t { return static_cast<int16_t>(std::lround(9000 * std::sin(6.283185307179586 * ph / p))); }},
        {"sawtooth", 55, [](int ph, int p) -> int16_t { return static_cast<int16_t>(ph * 1000 / p * 20 - 10000); }},
    };
    for (const Wave& w : waves) {
        output::BankTapRing ring;
        std::vector<int16_t> block(2 * 1024);
        int frame = 0;
        for (int b = 0; b < 8; ++b) {
            for (size_t i = 0; i < 1024; ++i, ++frame) {
                block[2 * i] = w.at(frame % w.period, w.period);  // the voice panned hard left
                block[2 * i + 1] = 0;
            }
            ring.writeStereo(block);
        }
        BankScope scope;
        std::vector<int16_t> first;
        for (uint64_t heard : {8000u, 8001u, 8017u, 7000u, 6543u, 8192u}) {
            ASSERT_TRUE(scope.refresh(ring, heard, 48000, 0.0)) << w.name << " " << heard;
            ASSERT_EQ(scope.trace().size(), 960u) << w.name;
            const std::vector<int16_t> now(scope.trace().begin(), scope.trace().end());
            if (first.empty()) first = now;
            EXPECT_EQ(now, first) << w.name << ": the picture moved at heard frame " << heard;
        }
        EXPECT_GE(first[0], 0) << w.name;
    }
}

TEST(BankScope, FramesTheRingCannotServeKeepTheLastPicture) {
    output::BankTapRing ring;
    std::vector<int16_t> block(2 * 1024, 1000);
    ring.writeStereo(block);
    BankScope scope;
    ASSERT_TRUE(scope.refresh(ring, 1024, 8000, 0.0));  // 160 samples shown, 320 read
    const std::vector<int16_t> shown(scope.trace().begin(), scope.trace().end());
    EXPECT_EQ(shown, std::vector<int16_t>(160, 2000)) << "left + right";
    EXPECT_NEAR(scope.meter().level(), 2000 / 32768.0, 1e-12);
    EXPECT_FALSE(scope.refresh(ring, 1025, 8000, 0.1)) << "not written yet";
    EXPECT_FALSE(scope.refresh(ring, 100, 8000, 0.2)) << "before the stream's first frame";
    for (int i = 0; i < 40; ++i) ring.writeStereo(block);
    EXPECT_FALSE(scope.refresh(ring, 1024, 8000, 0.3)) << "overwritten long ago";
    EXPECT_EQ(std::vector<int16_t>(scope.trace().begin(), scope.trace().end()), shown);
    scope.idle(0.4);
    EXPECT_EQ(std::vector<int16_t>(scope.trace().begin(), scope.trace().end()), std::vector<int16_t>(160, 0));
    EXPECT_EQ(scope.meter().level(), 0.0);
}

TEST(BankScope, PeakMeterFallsAndHolds) {
    struct Step {
        double t;
        double peak;
        double level;
        double hold;
    };
    // Falls 1.5 of full scale per second; the hold mark waits 1 s, then falls too.
    const Step steps[] = {
        {0.0, 0.8, 0.8, 0.8},
        {0.1, 0.2, 0.65, 0.8},
        {0.5, 0.0, 0.05, 0.8},
        {1.1, 0.0, 0.0, 0.65},   // held until 1.0, then 0.1 s of falling
        {1.2, 0.3, 0.3, 0.5},
        {1.3, 0.9, 0.9, 0.9},
        {1.4, 2.0, 1.0, 1.0},    // clipped to full scale
        {3.0, 0.0, 0.0, 0.1},    // held until 2.4, then 0.6 s of falling
        {3.5, 0.0, 0.0, 0.0},    // never below the level
    };
    PeakMeter m;
    for (const Step& s : steps) {
        m.update(s.peak, s.t);
        EXPECT_NEAR(m.level(), s.level, 1e-9) << "t " << s.t;
        EXPECT_NEAR(m.hold(), s.hold, 1e-9) << "t " << s.t;
    }
}

}  // namespace
}  // namespace tavolin::music
