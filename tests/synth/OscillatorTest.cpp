// SPDX-License-Identifier: MIT
// Half-cycle oscillator: half-cycle lengths, duty lists and switching, noise.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "SynthTestUtil.h"

namespace tavolin::test {
namespace {

template <typename T>
class Oscillator : public ::testing::Test {};
TYPED_TEST_SUITE(Oscillator, EngineTypes);

TEST(RandomSourceTest, FollowsTheClassicSequenceFromStateOne) {
    RandomSource r;
    const std::vector<int> expected = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    std::vector<int> got;
    for (size_t i = 0; i < expected.size(); ++i) got.push_back(r.next());
    EXPECT_EQ(join(got), join(expected));
    // The range is 0..32767 over a long run.
    int lo = 32767, hi = 0;
    for (int i = 0; i < 200000; ++i) {
        const int v = r.next();
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 32767);
}

// Runs of equal sign of a full-level square: each run is one half-cycle.
TYPED_TEST(Oscillator, SquareHalfCycleRuns) {
    using T = TypeParam;
    struct Row {
        const char* name;
        std::initializer_list<float> duties;
        double hz;
        std::vector<int> runs;  // first runs of the note
    };
    const Row rows[] = {
        {"duty 25: 13 samples first, then 36/12", {25}, 1000, {13, 36, 12, 36, 12, 36}},
        {"duty 50", {50}, 1000, {25, 24, 24, 24, 24}},
        {"duty 0: one sample at the start and after every cycle", {0}, 1000, {1, 48, 1, 47, 1, 47, 1, 47}},
        {"12.5/25/50 advance every cycle and wrap", {12.5f, 25, 50}, 1000, {7, 42, 12, 36, 24, 24, 6, 42, 12, 36}},
    };
    for (const auto& row : rows) {
        ListBuilder<T> b;
        b.prologue().flatLeft().wave(Wave::Square, row.duties).note(row.hz, 64);
        auto p = makePlayer<T>(b.list());
        auto runs = signRuns(renderLeft(*p, 600));
        runs.resize(row.runs.size());
        EXPECT_EQ(join(runs), join(row.runs)) << row.name;
    }
}

// With a switching period the duty entry is held for whole periods and the
// change waits for the next full-cycle end.
TYPED_TEST(Oscillator, DutySwitchingPeriod) {
    using T = TypeParam;
    ListBuilder<T> b;
    b.prologue().flatLeft().wave(Wave::Square, {12.5f, 25}, 100).note(1000, 64).note(1000, 64);
    auto p = makePlayer<T>(b.list());
    struct Row { size_t samplesRendered; int64_t dutyIndex; double duty; };
    // Cycle ends fall on samples 49 + 48k; pending is set at sample 4801 and
    // 9601 (just after a cycle end), so the changes happen at 4849 and 9649.
    const Row rows[] = {{4849, 0, 12.5}, {4850, 1, 25}, {9649, 1, 25}, {9650, 2, 12.5}, {24000, 4, 12.5}, {24001, 0, 12.5}};
    size_t done = 0;
    for (const auto& row : rows) {
        for (; done < row.samplesRendered; ++done) p->renderFrame(false);
        EXPECT_EQ(p->dutyIndex(), row.dutyIndex) << "after " << row.samplesRendered;
        EXPECT_NEAR(toD(p->currentDuty()), row.duty, 1e-4) << "after " << row.samplesRendered;
    }
}

// Frequency noise 50 spreads each half-cycle over a quarter to three quarters
// of the cycle; the duty list no longer shapes the wave.
TYPED_TEST(Oscillator, FrequencyNoiseSpreadsHalfCycles) {
    using T = TypeParam;
    ListBuilder<T> b;
    b.prologue().flatLeft().wave(Wave::Square, {10}, 0, 50).note(100, 256);
    auto p = makePlayer<T>(b.list());
    auto runs = signRuns(renderLeft(*p, 48000));
    runs.pop_back();  // the silent tail or a cut half
    runs.erase(runs.begin());  // the first half carries one extra sample
    ASSERT_GT(runs.size(), 100u);
    const auto [lo, hi] = std::minmax_element(runs.begin(), runs.end());
    EXPECT_GE(*lo, 119);
    EXPECT_LE(*hi, 361);
    EXPECT_LT(*lo, 160) << "spread too narrow";
    EXPECT_GT(*hi, 320) << "spread too narrow";
    const double mean = std::accumulate(runs.begin(), runs.end(), 0.0) / static_cast<double>(runs.size());
    EXPECT_NEAR(mean, 240, 15);
}

// A note that is not a whole number of cycles ends in silence, unless it
// slurs into the next note.
TYPED_TEST(Oscillator, PartialLastCycleIsSilent) {
    using T = TypeParam;
    struct Row { const char* name; bool slurred; int trailingZeros; };
    const Row rows[] = {{"plain: last 47 samples silent", false, 47}, {"slurred: sounds to the end", true, 0}};
    for (const auto& row : rows) {
        ListBuilder<T> b;
        b.prologue().flatLeft().wave(Wave::Square, {50}).note(1000, 64);
        if (row.slurred) b.slur();
        b.note(1000, 64);
        auto p = makePlayer<T>(b.list());
        auto s = renderLeft(*p, 24000);
        int zeros = 0;
        while (zeros < 24000 && s[s.size() - 1 - static_cast<size_t>(zeros)] == 0) ++zeros;
        EXPECT_EQ(zeros, row.trailingZeros) << row.name;
    }
}

// The zero-length half-cycle of duty 0 takes one sample; triangle, sawtooth
// and sine take a defined value there (x = 0), never NaN or garbage.
TYPED_TEST(Oscillator, ZeroLengthHalfCycleIsDefined) {
    using T = TypeParam;
    struct Row { Wave wave; int16_t atZeroHalf; int16_t midSecondHalf; };
    // Sample 49 is the one-sample first half after the first full cycle;
    // sample 25 lies in the second half at x = 25/48.
    const Row rows[] = {
        {Wave::Square, 32767, -32767},
        {Wave::Triangle, 0, -31402},
        {Wave::Sawtooth, -32767, 17066},
        {Wave::Sine, 0, -32697},
    };
    for (const auto& row : rows) {
        ListBuilder<T> b;
        b.prologue().flatLeft().wave(row.wave, {0}).note(1000, 64);
        auto p = makePlayer<T>(b.list());
        auto s = renderLeft(*p, 2000);
        EXPECT_NEAR(s[49], row.atZeroHalf, 1) << static_cast<int>(row.wave);
        EXPECT_NEAR(s[25], row.midSecondHalf, 3) << static_cast<int>(row.wave);
    }
}

// Frequency noise 100 can draw a zero-length half; together with every wave
// this must render without failing (UBSan watches the conversions).
TYPED_TEST(Oscillator, FullFrequencyNoiseRendersEveryWave) {
    using T = TypeParam;
    for (Wave w : {Wave::Square, Wave::Triangle, Wave::Sawtooth, Wave::Sine, Wave::Noise}) {
        ListBuilder<T> b;
        b.prologue().flatLeft().wave(w, {0, 99}, 0, 100, 100).note(3000, 256);
        auto p = makePlayer<T>(b.list());
        auto s = renderLeft(*p, 20000);
        const auto nonZero = std::count_if(s.begin(), s.end(), [](int16_t v) { return v != 0; });
        EXPECT_GT(nonZero, 10000) << static_cast<int>(w);
    }
}

// The cutoff follows the formula wherever the filter is stable, up to just
// below the Nyquist frequency (less the type's margin); only there is it held.
TYPED_TEST(Oscillator, NoiseCutoff) {
    using T = TypeParam;
    constexpr double kTwoPi = 6.283185307179586;
    const double margin8k = 8000 * kNoiseAngleMargin<T> / kTwoPi;  // Hz below 4000
    const double margin48k = 48000 * kNoiseAngleMargin<T> / kTwoPi;
    struct Row { const char* name; uint32_t rate; double duty; double hz; double cutoff; };
    const Row rows[] = {
        {"duty 99 at 440 Hz", 48000, 99, 440, 673.6},
        {"duty 0 at 8 kHz ignores the note", 8000, 0, 3951.066, 3800},
        {"duty 50 on B7 at 8 kHz: above the duty-0 cutoff, below Nyquist", 8000, 50, 3951.066, 3875.533},
        {"duty 50", 48000, 50, 1000, 12400},
        {"just below Nyquist: as the formula says", 8000, 99, 3990, 0.01 * 3800 + 0.99 * 3990},
        {"at Nyquist: held below it", 8000, 99, (4000 - 0.01 * 3800) / 0.99, 4000 - margin8k},
        {"above Nyquist: held below it", 48000, 99, 100000, 24000 - margin48k},
        {"X0.0001 at duty 99 with 8 kHz: still above 1 Hz", 8000, 99, 0.0001, 38},
    };
    for (const auto& r : rows) {
        const double got = toD(noiseCutoff<T>(r.rate, num<T>(r.duty), num<T>(r.hz)));
        EXPECT_NEAR(got, r.cutoff, 0.5) << r.name;  // Fix truncates the duty share
    }
    EXPECT_GT(margin8k, 0.5);  // the held rows differ from Nyquist itself
}

// Level noise N scales each sample by a factor drawn from 1 - N/100 .. 1.
TYPED_TEST(Oscillator, LevelNoiseOnlyLowers) {
    using T = TypeParam;
    struct Row { float noise; double lowest; double mean; };
    const Row rows[] = {{100, 0.0, 0.5}, {20, 0.8, 0.9}};
    for (const auto& r : rows) {
        ListBuilder<T> b;
        b.prologue().flatLeft().wave(Wave::Square, {50}, 0, 0, r.noise).note(1, 64);  // one long +1 half
        auto p = makePlayer<T>(b.list());
        auto s = renderLeft(*p, 20000);
        double sum = 0, lo = 1e9, hi = 0;
        for (int16_t v : s) {
            const double f = v / 32767.0;
            sum += f;
            lo = std::min(lo, f);
            hi = std::max(hi, f);
        }
        EXPECT_NEAR(lo, r.lowest, 0.01) << r.noise;
        EXPECT_LE(hi, 1.0);
        EXPECT_GT(hi, 0.99);
        EXPECT_NEAR(sum / 20000, r.mean, 0.01) << r.noise;
    }
}

// The noise low-pass stays stable whatever the note: a note at, just below or
// far above the Nyquist frequency with a high duty still gives bounded,
// living noise, at the lowest and the highest rate too.
TYPED_TEST(Oscillator, NoiseFilterStaysStable) {
    using T = TypeParam;
    struct RateRow { uint32_t rate; double hz; float duty; };
    const RateRow rows[] = {{48000, 440, 0},     {48000, 440, 99},   {48000, 23950, 99}, {48000, 30000, 99},
                            {48000, 1e6, 60},    {8000, 3990, 99},   {8000, 3999.5, 99}, {8000, 4000, 99},
                            {192000, 95990, 99}, {192000, 96000, 99}};
    for (const auto& r : rows) {
        ListBuilder<T> b;
        b.prologue().flatLeft().wave(Wave::Noise, {r.duty}).note(r.hz, r.rate < 48000 ? 1024 : 512);
        auto p = makePlayer<T>(b.list(), r.rate);
        auto s = renderLeft(*p, 48000);
        double energy = 0;
        int clipped = 0;
        for (size_t i = 40000; i < 48000; ++i) {
            energy += double(s[i]) * s[i];
            clipped += (s[i] == 32767 || s[i] == -32768);
        }
        const double rms = std::sqrt(energy / 8000);
        EXPECT_GT(rms, 300) << r.hz << " duty " << r.duty;
        EXPECT_LT(clipped, 800) << r.hz << " duty " << r.duty;  // overshoot only, no blow-up
    }
}

// Extreme frequencies: a cycle far shorter than a sample, and one that never
// completes, render without overflow.
TYPED_TEST(Oscillator, ExtremeFrequencies) {
    using T = TypeParam;
    struct Row { const char* name; double hz; int16_t first; bool alternates; };
    const Row rows[] = {
        {"X0.0001: one endless first half", 0.0001, 32767, false},
        {"X1e6: one half-cycle per sample", 1e6, 32767, true},
    };
    for (const auto& r : rows) {
        ListBuilder<T> b;
        b.prologue().flatLeft().wave(Wave::Square, {50}).note(r.hz, 64);
        auto p = makePlayer<T>(b.list());
        auto s = renderLeft(*p, 1000);
        EXPECT_EQ(s[0], r.first) << r.name;
        bool alternates = true, constant = true;
        for (size_t i = 1; i < s.size(); ++i) {
            alternates = alternates && s[i] == -s[i - 1];
            constant = constant && s[i] == s[0];
        }
        EXPECT_EQ(alternates, r.alternates) << r.name;
        EXPECT_EQ(constant, !r.alternates) << r.name;
    }
}

}  // namespace
}  // namespace tavolin::test
