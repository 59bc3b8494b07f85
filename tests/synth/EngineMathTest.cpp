// SPDX-License-Identifier: MIT
// The engine's own sine, cosine and powers of two against the C library's
// double-precision results: off by at most one unit in the last place, and
// almost always the same float, over every range the synthesizer feeds them.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <vector>

#include "synth/EngineMath.h"
#include "synth/SynthMath.h"

namespace tavolin::test {
namespace {

// Units in the last place between two floats of the same sign.
int64_t ulpsApart(float a, float b) {
    if (a == b) return 0;
    if (std::signbit(a) != std::signbit(b)) return INT64_MAX;
    int32_t ia = 0, ib = 0;
    std::memcpy(&ia, &a, 4);
    std::memcpy(&ib, &b, 4);
    return std::llabs(static_cast<int64_t>(ia) - ib);
}

TEST(EngineMath, SineAndCosineRoundTheTrueValue) {
    struct Row {
        const char* what;
        float from, to;
    };
    // The oscillator's half-cycle angles, the LFO's whole cycle, the noise
    // filter's small angles, negative angles and far ones.
    const Row rows[] = {
        {"0..pi", 0.0f, 3.1415927f},      {"0..2pi", 0.0f, 6.2831855f},   {"tiny", 1e-7f, 1e-3f},
        {"negative", -8.0f, 0.0f},        {"far", 1000.0f, 1010.0f},       {"very far", 4e5f, 4.0001e5f},
    };
    constexpr int kSteps = 200000;
    for (const Row& row : rows) {
        int64_t worst = 0, differ = 0;
        std::ostringstream first;
        for (int i = 0; i <= kSteps; ++i) {
            const float x = row.from + (row.to - row.from) * static_cast<float>(i) / kSteps;
            for (int which = 0; which < 2; ++which) {
                const float got = which == 0 ? sinSingle(x) : cosSingle(x);
                const float want = static_cast<float>(which == 0 ? std::sin(static_cast<double>(x))
                                                                 : std::cos(static_cast<double>(x)));
                const int64_t apart = std::fabs(want) < 1e-30f ? (std::fabs(got) < 1e-6f ? 0 : 99) : ulpsApart(got, want);
                if (apart != 0 && differ++ == 0) first << (which ? "cos(" : "sin(") << x << ") " << got << " vs " << want;
                worst = std::max(worst, apart);
            }
        }
        EXPECT_LE(worst, 1) << row.what << ": first difference " << first.str();
        EXPECT_LE(differ, 2 * kSteps / 1000) << row.what << ": " << differ << " results differ, first " << first.str();
    }
    EXPECT_EQ(sinSingle(0.0f), 0.0f);
    EXPECT_EQ(cosSingle(0.0f), 1.0f);
    EXPECT_TRUE(std::isnan(sinSingle(INFINITY)));
    EXPECT_TRUE(std::isnan(cosSingle(NAN)));
}

TEST(EngineMath, BlockSineGivesSinSinglesBits) {
    struct Row {
        const char* what;
        float from, to;
        int count;  // angles, evenly spaced
    };
    // Runs within a quadrant and across quadrant changes, a tail shorter than
    // a group, and groups that leave the fast range (negative, far, not finite).
    const Row rows[] = {
        {"half-cycle", 0.0f, 3.1415927f, 4001}, {"second half", 3.1415927f, 6.2831855f, 4003},
        {"quadrant edge", 0.78539f, 0.78540f, 64}, {"tail", 1.0f, 1.1f, 7},
        {"negative", -2.0f, 1.0f, 1001},        {"fast-range edge", 524287.0f, 524289.0f, 33},
        {"infinite", 1.0f, INFINITY, 9},
    };
    for (const Row& row : rows) {
        std::vector<float> x(static_cast<size_t>(row.count)), got(x.size());
        for (size_t i = 0; i < x.size(); ++i)
            x[i] = row.from + (row.to - row.from) * static_cast<float>(i) / static_cast<float>(row.count - 1);
        if (std::isinf(row.to)) x[x.size() / 2] = NAN;
        sinSingleBlock(x.data(), got.data(), x.size());
        for (size_t i = 0; i < x.size(); ++i) {
            const float want = sinSingle(x[i]);
            ASSERT_EQ(std::memcmp(&got[i], &want, sizeof want), 0) << row.what << ": sin(" << x[i] << ") " << got[i] << " vs " << want;
        }
    }
}

TEST(EngineMath, FixSineTablesGiveTheFormulasResults) {
    enum class Sine { WaveFirstHalf, WaveSecondHalf, Lfo };
    struct Row {
        const char* what;
        Sine sine;
        int64_t from, to;  // raw positions (wave) or phases of a one-sample LFO cycle
    };
    // Every argument a table holds, and arguments either side of it that
    // only the formulas may answer (a one-sample cycle makes the LFO's
    // fraction its phase's remainder, and leaves negative phases negative).
    const Row rows[] = {
        {"wave, first half", Sine::WaveFirstHalf, -70000, kFixSinePositions + 70000},
        {"wave, second half", Sine::WaveSecondHalf, -70000, kFixSinePositions + 70000},
        {"lfo", Sine::Lfo, -70000, 3 * kFixLfoFractions},
    };
    const Fix oneSample = Fix::fromRaw(65536);
    for (const Row& row : rows) {
        int64_t differ = 0;
        std::ostringstream first;
        for (int64_t raw = row.from; raw <= row.to; ++raw) {
            const Fix x = Fix::fromRaw(raw);
            const bool second = row.sine == Sine::WaveSecondHalf;
            const int64_t got = row.sine == Sine::Lfo ? lfoSine(x, oneSample).raw() : sineWave(x, second).raw();
            const int64_t want = row.sine == Sine::Lfo ? fixLfoSineByFraction(raw % 65536).raw()
                                                       : fixSineByFormula(x, second).raw();
            if (got != want && differ++ == 0) first << "raw " << raw << ": " << got << " vs " << want;
        }
        EXPECT_EQ(differ, 0) << row.what << ": first " << first.str();
    }
}

TEST(EngineMath, PowersOfTwoAreExactAtIntegersAndCloseBetween) {
    for (int n = -60; n <= 60; ++n) EXPECT_EQ(powerOfTwo(n), std::ldexp(1.0, n)) << n;
    double worst = 0;
    for (int i = -48000; i <= 48000; ++i) {
        const double e = i / 2000.0;  // the vibrato's range of semitone fractions and beyond
        const double want = std::exp2(e);
        worst = std::max(worst, std::fabs(powerOfTwo(e) - want) / want);
    }
    EXPECT_LE(worst, 4 * 0x1p-52);
    EXPECT_EQ(powerOfTwo(-2000.0), 0.0);
    EXPECT_EQ(powerOfTwo(2000.0), HUGE_VAL);
}

}  // namespace
}  // namespace tavolin::test
