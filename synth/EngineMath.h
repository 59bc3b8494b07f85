// SPDX-License-Identifier: MIT
// The engine's sine, cosine and powers of two, written out in plain IEEE
// double arithmetic so that every build renders the same samples.
//
// The C library's sinf, cosf and pow are each accurate to about one unit in
// the last place, but not the same one: glibc and the WebAssembly build's
// musl disagree in the last bit of about one result in a thousand, and glibc
// picks among CPU-specific variants at run time. A Fix render truncates those
// bits into its 16.16 values, so the samples would depend on the machine.
// These functions use only +, -, *, / and exact operations (floor, ldexp,
// fmod), which IEEE 754 defines to the bit; the build keeps the compiler from
// fusing them (-ffp-contract=off).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace tavolin {
namespace engine_math {

// pi/2 in three parts: P1 and P2 have 33 significant bits, so k * P1 and
// k * P2 are exact for |k| < 2^20 (Cody and Waite's reduction).
inline constexpr double kHalfPi1 = 0x1.921fb544p+0;
inline constexpr double kHalfPi2 = 0x1.0b4611a6p-34;
inline constexpr double kHalfPi3 = 0x1.3198a2e037073p-69;
inline constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
inline constexpr double kTwoPi = 0x1.921fb54442d18p+2;
inline constexpr double kLn2 = 0x1.62e42fefa39efp-1;

// c[0] z^n + c[1] z^(n-1) + ... + c[n], by Horner's rule.
template <size_t N>
inline double horner(double z, const double (&c)[N]) noexcept {
    double p = c[0];
    for (size_t i = 1; i < N; ++i) p = p * z + c[i];
    return p;
}

// Taylor series of sin r and cos r for |r| <= pi/4 and of e^t for
// |t| <= ln2 / 2, cut where the next term falls below 2^-56 of the result.
inline constexpr double kSinTerms[] = {-1.0 / 355687428096000.0, 1.0 / 1307674368000.0, -1.0 / 6227020800.0,
                                       1.0 / 39916800.0, -1.0 / 362880.0, 1.0 / 5040.0, -1.0 / 120.0, 1.0 / 6.0};
inline constexpr double kCosTerms[] = {1.0 / 6402373705728000.0, -1.0 / 20922789888000.0, 1.0 / 87178291200.0,
                                       -1.0 / 479001600.0, 1.0 / 3628800.0, -1.0 / 40320.0, 1.0 / 720.0,
                                       -1.0 / 24.0, 1.0 / 2.0};
inline constexpr double kExpTerms[] = {1.0 / 87178291200.0, 1.0 / 6227020800.0, 1.0 / 479001600.0, 1.0 / 39916800.0,
                                       1.0 / 3628800.0, 1.0 / 362880.0, 1.0 / 40320.0, 1.0 / 5040.0, 1.0 / 720.0,
                                       1.0 / 120.0, 1.0 / 24.0, 1.0 / 6.0, 0.5, 1.0, 1.0};

inline double sinKernel(double r) noexcept { return r - r * (r * r) * horner(r * r, kSinTerms); }
inline double cosKernel(double r) noexcept { return 1.0 - (r * r) * horner(r * r, kCosTerms); }

// x = k pi/2 + r with |r| <= about pi/4; returns r and sets the quadrant k mod 4.
inline double reduce(double x, int& quadrant) noexcept {
    if (std::fabs(x) >= 0x1p19) x = std::fmod(x, kTwoPi);  // far out of any phase range: exact, if coarse
    const double k = std::floor(x * kTwoOverPi + 0.5);
    quadrant = static_cast<int>(static_cast<int64_t>(k) & 3);
    return ((x - k * kHalfPi1) - k * kHalfPi2) - k * kHalfPi3;
}

}  // namespace engine_math

// sin x as a float, from the double-precision result rounded once.
inline float sinSingle(float x) noexcept {
    if (!std::isfinite(x)) return x - x;
    int q = 0;
    const double r = engine_math::reduce(static_cast<double>(x), q);
    double v = (q & 1) ? engine_math::cosKernel(r) : engine_math::sinKernel(r);
    if (q & 2) v = -v;
    return static_cast<float>(v);
}

// sinSingle of each of n angles, four at a time where four neighbours lie
// in [0, 2^19) and share a quadrant (inside a half-cycle they nearly always
// do): the four lanes run side by side (two SSE2 registers, or four scalar
// chains where the target has no vectors), so their chains overlap instead
// of waiting on each other. Each lane does sinSingle's very operations in
// the same order, and vector arithmetic rounds lane by lane as the scalar
// one does (a truncation is floor for these arguments), so every result has
// the same bits; other groups take sinSingle itself.
inline void sinSingleBlock(const float* x, float* out, size_t n) noexcept {
    using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
    using engine_math::kCosTerms;
    using engine_math::kSinTerms;
    constexpr size_t kLanes = 4;
    size_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        bool plain = true;
        for (size_t l = 0; l < kLanes; ++l) plain = plain && x[i + l] >= 0.0f && x[i + l] < 0x1p19f;
        Lanes a{}, k{};
        if (plain) {
            for (size_t l = 0; l < kLanes; ++l) {
                a[l] = static_cast<double>(x[i + l]);
                k[l] = static_cast<double>(static_cast<int64_t>(a[l] * engine_math::kTwoOverPi + 0.5));
            }
            for (size_t l = 1; l < kLanes; ++l) plain = plain && k[l] == k[0];
        }
        if (!plain) {
            for (size_t l = 0; l < kLanes; ++l) out[i + l] = sinSingle(x[i + l]);
            continue;
        }
        const int q = static_cast<int>(static_cast<int64_t>(k[0]) & 3);
        const Lanes r = ((a - k * engine_math::kHalfPi1) - k * engine_math::kHalfPi2) - k * engine_math::kHalfPi3;
        const Lanes z = r * r;
        Lanes v;
        if (q & 1) {
            Lanes p = kCosTerms[0] + Lanes{};
            for (size_t t = 1; t < std::size(kCosTerms); ++t) p = p * z + kCosTerms[t];
            v = 1.0 - z * p;
        } else {
            Lanes p = kSinTerms[0] + Lanes{};
            for (size_t t = 1; t < std::size(kSinTerms); ++t) p = p * z + kSinTerms[t];
            v = r - r * z * p;
        }
        if (q & 2) v = -v;
        for (size_t l = 0; l < kLanes; ++l) out[i + l] = static_cast<float>(v[l]);
    }
    for (; i < n; ++i) out[i] = sinSingle(x[i]);
}

// cos x as a float, from the double-precision result rounded once.
inline float cosSingle(float x) noexcept {
    if (!std::isfinite(x)) return x - x;
    int q = 0;
    const double r = engine_math::reduce(static_cast<double>(x), q);
    double v = (q & 1) ? engine_math::sinKernel(r) : engine_math::cosKernel(r);
    if (q == 1 || q == 2) v = -v;
    return static_cast<float>(v);
}

// 2^e: 2^n exactly times exp(f ln 2) for the nearest integer n and |f| <= 1/2.
inline double powerOfTwo(double e) noexcept {
    if (!(e < 1024.0)) return e != e ? e : HUGE_VAL;
    if (e < -1100.0) return 0.0;
    const double n = std::floor(e + 0.5);
    const double t = (e - n) * engine_math::kLn2;  // |t| <= 0.347
    const double p = engine_math::horner(t, engine_math::kExpTerms);
    return std::ldexp(p, static_cast<int>(n));
}

}  // namespace tavolin
