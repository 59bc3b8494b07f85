// SPDX-License-Identifier: MIT
// Envelope shape, LFO breakpoints, vibrato and tremolo.
#include <gtest/gtest.h>

#include <algorithm>

#include "SynthTestUtil.h"

namespace tavolin::test {
namespace {

template <typename T>
class EnvelopeLfo : public ::testing::Test {};
TYPED_TEST_SUITE(EnvelopeLfo, EngineTypes);

// At 48 kHz a quarter note lasts 4,800 samples at tempo 600 and 1,500 at
// tempo 1920. A 1 Hz square never leaves its first half within such a note,
// so |left| / 32767 is the envelope level.
TYPED_TEST(EnvelopeLfo, EnvelopeShape) {
    using T = TypeParam;
    struct Row {
        const char* name;
        double attackMs, decayMs, releaseMs;
        int32_t tempo;
        bool slurredPair;      // two slurred notes; samples count from the first
        std::vector<int> at;   // sample indices
        std::vector<double> level;
    };
    const Row rows[] = {
        {"20/20/20 ms on 4800 samples", 20, 20, 20, 600, false,
         {0, 480, 959, 960, 1440, 1919, 1920, 3000, 3840, 3841, 4320, 4799},
         {0, 0.5, 959 / 960.0, 1, 0.9, 0.8 + 0.2 / 960, 0.8, 0.8, 0.8, 0.8 * 959 / 960, 0.4, 0.8 / 960}},
        {"on 1500 samples: cut off, no release", 20, 20, 20, 1920, false,
         {0, 959, 1200, 1499}, {0, 959 / 960.0, 1 - 0.2 * 240 / 960, 1 - 0.2 * 539 / 960}},
        {"attack 0 starts in the decay at the attack level", 0, 20, 20, 600, false, {0, 480, 960}, {1, 0.9, 0.8}},
        {"attack and decay 0 start at the sustain level", 0, 0, 20, 600, false, {0, 100, 3839}, {0.8, 0.8, 0.8}},
        {"slurred pair: sustain to the join, no attack after it", 20, 20, 20, 600, true,
         {4799, 4800, 5000, 9120, 9599}, {0.8, 0.8, 0.8, 0.4, 0.8 / 960}},
    };
    for (const auto& row : rows) {
        ListBuilder<T> b;
        b.prologue().flatLeft().envelope(-1, row.attackMs, row.decayMs, row.releaseMs, 255, 204).tempo(row.tempo);
        b.note(1, 64);
        if (row.slurredPair) b.slur().note(1, 64);
        auto p = makePlayer<T>(b.list());
        auto s = renderLeft(*p, row.slurredPair ? 9600 : 4800);
        for (size_t i = 0; i < row.at.size(); ++i) {
            const double got = s[static_cast<size_t>(row.at[i])] / 32767.0;
            EXPECT_NEAR(got, row.level[i], 2e-4) << row.name << " at sample " << row.at[i];
        }
    }
}

struct LfoRow {
    const char* name;
    int32_t mode;
    std::vector<LfoPoint> points;
    int32_t tempo;                       // one whole note at this tempo
    std::vector<size_t> afterSamples;
    std::vector<double> depth;
    std::vector<double> periodSamples;   // < 0: not checked
};

TYPED_TEST(EnvelopeLfo, LfoBreakpoints) {
    using T = TypeParam;
    const LfoRow rows[] = {
        {"one point: depth and period from the first sample", 1, {{0, 0, 100, 0.5f}}, 120,
         {1, 2, 5000}, {0.5, 0.5, 0.5}, {4800, 4800, 4800}},
        {"fade over 500 ms, then hold", 1, {{0, 0, 100, 0}, {500, 1, 100, 1}}, 120,
         {1, 12001, 18001, 24001, 23000 + 7001}, {0, 0.5, 0.75, 1, 1}, {4800, 4800, 4800, 4800, 4800}},
        {"first point at 200 ms, interpolated: fade-in", 1, {{200, 1, 100, 1}}, 120,
         {1, 4801, 9600, 9601}, {0, 0.5, 9599 / 9600.0, 1}, {-1, -1, -1, -1}},
        {"first point at 200 ms, stepped: nothing before it", 0, {{200, 0, 100, 1}}, 120,
         {1, 4801, 9600, 9601}, {0, 0, 0, 1}, {0, 0, 0, -1}},
        {"period follows only at phase 0", 1, {{0, 0, 100, 1}, {800, 1, 50, 1}}, 120,
         {4800, 4801, 9300, 9301}, {1, 1, 1, 1}, {4800, 4500, 4500, 4218.75}},
        {"percent base spans the note group", 3, {{0, 0, 100, 0}, {100, 1, 100, 1}}, 600,
         {1, 9601, 19200}, {0, 0.5, 19199 / 19200.0}, {-1, -1, -1}},
    };
    for (const auto& row : rows) {
        ListBuilder<T> b;
        b.prologue().flatLeft().tempo(row.tempo);
        auto e = MmlEvent<T>::blank(EventKind::LfoDef);
        e.lfo.mode = row.mode;
        e.lfo.pointCount = static_cast<int32_t>(row.points.size());
        std::copy(row.points.begin(), row.points.end(), e.lfo.points.begin());
        auto list = b.list();
        list.push_back(e);
        ListBuilder<T> notes;
        notes.note(1, 256);
        for (const auto& n : notes.list()) list.push_back(n);
        auto p = makePlayer<T>(list);
        const LfoState<T>& lfo = (row.mode & 1) ? p->pitchLfo() : p->ampLfo();
        size_t done = 0;
        for (size_t i = 0; i < row.afterSamples.size(); ++i) {
            for (; done < row.afterSamples[i]; ++done) p->renderFrame(false);
            EXPECT_NEAR(toD(lfo.depth), row.depth[i], 2e-4) << row.name << " after " << done;
            if (row.periodSamples[i] >= 0) {
                EXPECT_NEAR(toD(lfo.period), row.periodSamples[i], 0.05) << row.name << " after " << done;
            }
        }
    }
}

// Tremolo of depth 1 swings the level between 0 and 2 times the plain value.
TYPED_TEST(EnvelopeLfo, TremoloDepthOneSwingsZeroToTwo) {
    using T = TypeParam;
    ListBuilder<T> b;
    b.prologue().flatLeft().volume(64).lfo(0, {{0, 0, 10, 1}}).note(1, 64);
    auto p = makePlayer<T>(b.list());
    auto s = renderLeft(*p, 4800);
    const double unit = 32767.0 * 64 / 255;
    const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
    EXPECT_NEAR(*lo / unit, 0.0, 0.01);
    EXPECT_NEAR(*hi / unit, 2.0, 0.01);
    // 480-sample period: a quarter period in, the sine is at its peak (lowest level).
    EXPECT_NEAR(s[120] / unit, 0.0, 0.01);
    EXPECT_NEAR(s[360] / unit, 2.0, 0.01);
}

// Vibrato of one semitone stretches and shrinks the half-cycles of a 1 kHz
// square between 24 * 2^(-1/12) and 24 * 2^(1/12) samples.
TYPED_TEST(EnvelopeLfo, VibratoBendsHalfCycles) {
    using T = TypeParam;
    ListBuilder<T> b;
    b.prologue().flatLeft().lfo(1, {{0, 0, 100, 1}}).note(1000, 128);
    auto p = makePlayer<T>(b.list());
    auto runs = signRuns(renderLeft(*p, 40000));
    runs.erase(runs.begin());
    runs.pop_back();
    const auto [lo, hi] = std::minmax_element(runs.begin(), runs.end());
    EXPECT_GE(*lo, 22);
    EXPECT_LE(*hi, 27);
    EXPECT_LE(*lo, 23);
    EXPECT_GE(*hi, 25);
}

// An LFO whose period is 0 has no effect, whatever its depth; a percent-time
// LFO on a note group of 0 samples still works from its first point.
TYPED_TEST(EnvelopeLfo, DegenerateLfosAreHarmless) {
    using T = TypeParam;
    ListBuilder<T> plain;
    plain.prologue().flatLeft().note(440, 64);
    auto reference = renderLeft(*makePlayer<T>(plain.list()), 24000);
    struct Row { const char* name; int32_t mode; };
    const Row rows[] = {{"pitch, period 0", 1}, {"amplitude, period 0", 0}};
    for (const auto& row : rows) {
        ListBuilder<T> b;
        b.prologue().flatLeft().lfo(row.mode, {{0, 0, 0, 1}}).note(440, 64);
        EXPECT_EQ(renderLeft(*makePlayer<T>(b.list()), 24000), reference) << row.name;
    }
    ListBuilder<T> b;
    b.prologue().flatLeft().lfo(3, {{0, 0, 100, 0.5f}, {50, 1, 100, 1}}).note(440, 64);
    auto list = b.list();
    list.back().note.groupLength = num<T>(0);
    auto p = makePlayer<T>(list);
    renderLeft(*p, 1000);
    EXPECT_EQ(p->groupLengthSamples(), 0);
    EXPECT_NEAR(toD(p->pitchLfo().depth), 0.5, 1e-4);
}

}  // namespace
}  // namespace tavolin::test
