// SPDX-License-Identifier: MIT
// The carried quotient that replaces Fix's per-sample divisions, and the
// constant-factor shortcut of Fix's product: both must give exactly the bits
// of the plain operations they stand in for.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "synth/SynthMath.h"

namespace tavolin::test {
namespace {

struct StepRow {
    const char* name;
    int64_t a;  // first numerator (raw)
    int64_t b;  // divisor (raw)
    int steps;
    bool down;
};

TEST(SteppedQuotient, EveryStepEqualsTheDivision) {
    constexpr int64_t kLimit = SteppedQuotient::kLimit;
    const std::vector<StepRow> rows = {
        {"half-cycle of 54.5 samples from its start", 0, 3571712, 60, false},
        {"divisor of one raw unit", 0, 1, 40, false},
        {"divisor under one sample", 12345, 40000, 200, false},
        {"remainder one short of the divisor", 65535 * 3 + 2, 65537, 500, false},
        {"divisor just below the range limit", 0, kLimit - 1, 300, false},
        {"numerator ending just below the range limit", kLimit - 1 - 299 * 65536, kLimit - 7, 299, false},
        {"release counting down to one sample", 700 * 65536, 1966080 + 17, 699, true},
        {"down by a divisor under one sample", 3000 * 65536 + 5, 13, 2999, true},
        {"down with carries on every step", 1000 * 65536, 65536 * 3 - 1, 999, true},
    };
    for (const auto& row : rows) {
        const int64_t travel = int64_t{row.steps} * 65536;
        ASSERT_TRUE(row.down ? SteppedQuotient::fits(row.a - travel, row.a, row.b)
                             : SteppedQuotient::fits(row.a, row.a + travel, row.b))
            << row.name;
        SteppedQuotient q;
        q.start(row.a, row.b);
        int64_t a = row.a;
        for (int i = 0; i <= row.steps; ++i) {
            ASSERT_EQ(q.quotient, fixDivRaw(a, row.b)) << row.name << ", step " << i << ", numerator " << a;
            ASSERT_GE(q.remainder, 0) << row.name << ", step " << i;
            ASSERT_LT(q.remainder, row.b) << row.name << ", step " << i;
            if (i == row.steps) break;
            if (row.down) {
                q.down();
                a -= 65536;
            } else {
                q.up();
                a += 65536;
            }
        }
    }
}

TEST(SteppedQuotient, RefusesWhatItCannotCarryExactly) {
    struct Row {
        int64_t lowest, highest, b;
        bool fits;
    } rows[] = {
        {0, 0, 1, true},
        {0, SteppedQuotient::kLimit - 1, 5, true},
        {0, SteppedQuotient::kLimit, 5, false},  // fixDivRaw divides in 128 bits there
        {-1, 10, 5, false},                      // truncation is no floor below zero
        {0, 10, 0, false},
        {0, 10, -3, false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(SteppedQuotient::fits(r.lowest, r.highest, r.b), r.fits) << r.lowest << ".." << r.highest << " / " << r.b;
}

// A product whose factor the compiler sees as a whole number takes the plain
// multiply; it must wrap exactly as the 128-bit product does.
TEST(FixProduct, WholeConstantFactorsGiveTheFullProductsBits) {
    const int64_t values[] = {0, 1, -1, 65535, -65536, 0x123456789AB, -0x7FFFFFFFFFFF, INT64_MAX / 3, INT64_MIN / 2 + 7,
                              INT64_MAX, INT64_MIN};
    for (int64_t v : values) {
        const Fix x = Fix::fromRaw(v);
        // Wrapping reference: (v * c * 65536) >> 16 through 128 bits.
        const auto full = [](int64_t raw, int64_t c) {
            const Int128 p = static_cast<Int128>(raw) * (static_cast<Int128>(c) * 65536);
            return static_cast<int64_t>(p >> 16);
        };
        EXPECT_EQ((x * Fix::fromInt(2)).raw(), full(v, 2)) << v;
        EXPECT_EQ((Fix::fromInt(-1) * x).raw(), full(v, -1)) << v;
        EXPECT_EQ((x * Fix::fromInt(100)).raw(), full(v, 100)) << v;
        EXPECT_EQ((Fix::fromInt(-32768) * x).raw(), full(v, -32768)) << v;
    }
}

}  // namespace
}  // namespace tavolin::test
