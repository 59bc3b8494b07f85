// SPDX-License-Identifier: MIT
// The 16.16 value class: truncation, shifts and overflow-free edges.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "compiler/Fix.h"

namespace tavolin {
namespace {

TEST(Fix, ConversionsTruncateTowardZero) {
    struct Row { double in; int64_t raw; };
    const Row rows[] = {
        {440.0, 28835840}, {0.25, 16384}, {-1.5, -98304},
        {1.0 / 3.0, 21845}, {-1.0 / 3.0, -21845}, {1e300, std::numeric_limits<int64_t>::max()},
    };
    for (const auto& r : rows) EXPECT_EQ(Fix::fromDouble(r.in).raw(), r.raw) << r.in;
}

TEST(Fix, ProductsShiftAndQuotientsTruncate) {
    struct Row { int64_t a, b, product, quotient; };
    const Row rows[] = {
        {Fix::kOne * 3, Fix::kOne / 2, Fix::kOne * 3 / 2, Fix::kOne * 6},
        {-1, 1, -1, -Fix::kOne},  // arithmetic shift of -1 stays -1
        {-3, Fix::kOne * 2, -6, -1}, // (-3 << 16) / (2 << 16) truncates toward zero
        {INT64_MAX, Fix::kOne, INT64_MAX, INT64_MAX},
    };
    for (const auto& r : rows) {
        Fix a = Fix::fromRaw(r.a), b = Fix::fromRaw(r.b);
        EXPECT_EQ((a * b).raw(), r.product) << r.a << "*" << r.b;
        EXPECT_EQ((a / b).raw(), r.quotient) << r.a << "/" << r.b;
    }
    EXPECT_EQ((Fix::fromInt(5) / Fix::fromRaw(0)).raw(), 0);
    // Wrapping addition never traps (UBSan runs these tests).
    EXPECT_EQ((Fix::fromRaw(INT64_MAX) + Fix::fromRaw(1)).raw(), INT64_MIN);
}

}  // namespace
}  // namespace tavolin
