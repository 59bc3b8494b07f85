// SPDX-License-Identifier: MIT
// The noise filter's owed steps paid side by side against the same steps in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "synth/NoiseSteps.h"
#include "SynthTestUtil.h"

namespace tavolin::test {
namespace {

template <EngineNumType T>
class NoiseSteps : public ::testing::Test {};
TYPED_TEST_SUITE(NoiseSteps, EngineTypes);

struct RunSpec {
    double cutoffHz;  // < 0: a filter whose poles lie just outside the unit circle
    int64_t samples;
    uint32_t skip;  // draws after each white one (level noise, other noise banks)
    uint32_t fromState;
};

struct Row {
    const char* name;
    uint32_t rate;
    std::vector<RunSpec> runs;
    bool loudStart;  // the filter already ringing from a low, loud run before the debt
};

std::vector<Row> rows() {
    std::vector<Row> table = {
        {"short debt", 48000, {{23800, 5000, 0, 1}}, false},
        {"one long run, duty 0", 48000, {{23800, 700000, 0, 1}}, false},
        {"one long run, level noise", 44100, {{8000, 400000, 1, 77}}, true},
        {"three noise banks side by side, one with level noise", 48000, {{23800, 300000, 3, 78}}, false},
        {"a low cutoff forgets slowly", 48000, {{20, 600000, 0, 5}}, true},
        {"never forgets at 8 kHz", 8000, {{1, 300000, 0, 9}}, true},
        {"at the Nyquist margin", 8000, {{3920, 300000, 0, 3}}, true},
        // Fix's 64-bit products give way to the exact ones once the values grow
        {"a filter that slowly blows up", 48000, {{-1, 300000, 0, 21}}, false},
        {"empty runs in between", 22050, {{0, 0, 0, 4}, {5000, 150000, 0, 4}, {0, 0, 1, 8}, {300, 150000, 1, 12}}, false},
    };
    // one cutoff cut by other banks' draws into runs of many lengths (one
    // and two samples among them) and skips: Fix pays it in wide lanes
    Row cut{"one cutoff, runs of many lengths and skips", 48000, {}, true};
    for (int i = 0; i < 60; ++i)
        cut.runs.push_back({3000, i % 7 == 3 ? 1 + i % 2 : 700 + 977 * (i % 11), static_cast<uint32_t>(i % 3), 55u + 7919u * static_cast<uint32_t>(i)});
    cut.runs.push_back({3000, 1, 2, 4242});  // the last input the debt's only one in its run
    table.push_back(cut);
    Row mixed{"many runs, cutoffs, levels and states", 48000, {}, true};
    const double cutoffs[] = {23800, 4000, 300, 12000, 60};
    for (int i = 0; i < 24; ++i)
        mixed.runs.push_back({cutoffs[i % 5], 9000 + 1733 * i, static_cast<uint32_t>(i % 4), 1000u + 7919u * static_cast<uint32_t>(i)});
    table.push_back(mixed);
    return table;
}

template <EngineNumType T>
std::vector<NoiseRun<T>> makeRuns(const Row& row) {
    std::vector<NoiseRun<T>> runs;
    for (const RunSpec& s : row.runs) {
        NoiseRun<T> r;
        if (s.cutoffHz >= 0) {
            r.coefficients = noiseCoefficients<T>(row.rate, num<T>(s.cutoffHz));
        } else {
            r.coefficients.b0 = r.coefficients.b2 = num<T>(0.25);
            r.coefficients.b1 = num<T>(0.5);
            r.coefficients.a0 = num<T>(1);
            r.coefficients.a1 = num<T>(-1.9);
            r.coefficients.a2 = num<T>(1.0005);
        }
        r.fromState = s.fromState;
        r.samples = s.samples;
        r.skip = s.skip;
        runs.push_back(r);
    }
    return runs;
}

TYPED_TEST(NoiseSteps, PaidEqualsSteppedInOrder) {
    using T = TypeParam;
    // with the wide lanes where the processor has them, and without
    for (const bool wideLanes : {true, false}) {
        const bool wide = useWideLanes(wideLanes);
        int missed = 0, chainedRows = 0, wideRows = 0;
        for (const Row& row : rows()) {
            SCOPED_TRACE(std::string(row.name) + (wide ? ", wide lanes" : ""));
            NoiseFilter<T> start{};
            if (row.loudStart) {
                const NoiseRun<T> ring{noiseCoefficients<T>(row.rate, num<T>(40)), 31337u, 0, 3000, 0};
                start = runNoiseStepsInOrder<T>(start, std::span(&ring, 1));
            }
            const std::vector<NoiseRun<T>> runs = makeRuns<T>(row);
            const NoiseFilter<T> expected = runNoiseStepsInOrder<T>(start, runs);
            NoiseStepStats stats;
            const NoiseFilter<T> got = runNoiseSteps<T>(start, runs, &stats);
            EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0)
                << "y1 " << toD(got.y1) << " want " << toD(expected.y1) << ", chains " << stats.chains << ", missed "
                << stats.missedGuesses;
            int64_t total = 0;
            for (const RunSpec& s : row.runs) total += s.samples;
            EXPECT_EQ(stats.chains > 1, total >= 100000) << total;  // only long debts are cut
            missed += stats.missedGuesses;
            chainedRows += stats.chains > 1;
            wideRows += kIsFix<T> && stats.chains == 16;
        }
        // The table reaches the retrace after a wrong guess.
        EXPECT_GT(missed, 0);
        EXPECT_GT(chainedRows, 4);
        if (wide && kIsFix<T>) {
            EXPECT_GE(wideRows, 3);  // one cutoff: long runs, cut runs, and one that leaves the narrow range
        }
    }
    (void)useWideLanes(true);
}

// The first `steps` steps of `runs`.
template <EngineNumType T>
std::vector<NoiseRun<T>> firstSteps(std::vector<NoiseRun<T>> runs, int64_t steps) {
    for (NoiseRun<T>& r : runs) {
        r.samples = std::min(r.samples, steps);
        steps -= r.samples;
    }
    return runs;
}

// Debts that begin alike, paid one after the other from what the payments
// before them remembered: shorter, longer, from another filter.
TYPED_TEST(NoiseSteps, RememberedPaymentsEqualSteppedInOrder) {
    using T = TypeParam;
    std::vector<Row> table = rows();
    table.push_back({"longer than a remembered piece", 48000, {{12000, 2500000, 0, 6}, {300, 40000, 1, 2}}, false});
    struct Pay {
        double share;  // of the row's steps
        bool otherStart;
    };
    const Pay pays[] = {{0.6, false}, {1.0, false}, {0.3, false}, {0.9, false}, {1.0, true}};
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        forgetNoiseSteps();
        const std::vector<NoiseRun<T>> runs = makeRuns<T>(row);
        int64_t total = 0;
        for (const RunSpec& s : row.runs) total += s.samples;
        for (const Pay& pay : pays) {
            NoiseFilter<T> start{};
            if (row.loudStart != pay.otherStart) {
                const NoiseRun<T> ring{noiseCoefficients<T>(row.rate, num<T>(40)), 31337u, 0, 3000, 0};
                start = runNoiseStepsInOrder<T>(start, std::span(&ring, 1));
            }
            const auto steps = static_cast<int64_t>(static_cast<double>(total) * pay.share);
            const std::vector<NoiseRun<T>> debt = firstSteps(runs, steps);
            const NoiseFilter<T> expected = runNoiseStepsInOrder<T>(start, debt);
            NoiseStepStats stats;
            const NoiseFilter<T> got = runNoiseStepsRemembered<T>(start, debt, &stats);
            EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0)
                << pay.share << (pay.otherStart ? " from the other filter" : "") << ": y1 " << toD(got.y1) << " want "
                << toD(expected.y1) << ", recalled " << stats.recalled;
            // The longer debt after the first starts where that one ended,
            // its short runs apart.
            if (&pay == &pays[1]) {
                int64_t kept = 0;
                for (const NoiseRun<T>& r : firstSteps(runs, static_cast<int64_t>(static_cast<double>(total) * pays[0].share)))
                    kept += r.samples >= kShortNoiseRun ? r.samples : 0;
                EXPECT_EQ(stats.recalled, kept);
            }
        }
    }
    forgetNoiseSteps();
}

}  // namespace
}  // namespace tavolin::test
