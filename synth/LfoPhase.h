// SPDX-License-Identifier: MIT
// The LFO phase after many one-sample advances, in closed form where the
// bank's arithmetic makes every advance exact; shared by rendering and the
// fast seek.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "compiler/BitCast.h"
#include "synth/SynthMath.h"

namespace tavolin {

// Float and Double: the spacing of the numbers of F around x (x finite and
// > 0), taken from its exponent bits; 0 where that spacing is above 1 or x
// is no such number.
template <typename F>
F spacingAt(F x) noexcept {
    if (!(x > F(0)) || !(x < F(1) / std::numeric_limits<F>::epsilon())) return F(0);
    if constexpr (std::is_same_v<F, float>) {
        const uint32_t e = (bitCast<uint32_t>(x) >> 23) & 0xFFu;
        return e > 23 ? bitCast<float>((e - 23) << 23) : std::numeric_limits<float>::denorm_min();
    } else {
        const uint64_t e = (bitCast<uint64_t>(x) >> 52) & 0x7FFu;
        return e > 52 ? bitCast<double>((e - 52) << 52) : std::numeric_limits<double>::denorm_min();
    }
}

// Float and Double: the weight of x's lowest set bit (x finite and > 0, a
// power of two), so x is a whole multiple of it; 0 where that is not a normal
// number of F.
template <typename F>
F lowestBit(F x) noexcept {
    if (!(x > F(0)) || !std::isfinite(x)) return F(0);
    constexpr int kMantissa = std::numeric_limits<F>::digits - 1;
    using Bits = std::conditional_t<std::is_same_v<F, float>, uint32_t, uint64_t>;
    const Bits bits = bitCast<Bits>(x);
    const Bits exponent = bits >> kMantissa;
    if (exponent == 0) return F(0);  // subnormal
    const Bits mantissa = (bits & ((Bits{1} << kMantissa) - 1)) | (Bits{1} << kMantissa);
    const int shift = std::countr_zero(mantissa);
    if (exponent <= static_cast<Bits>(kMantissa - shift)) return F(0);
    return bitCast<F>(static_cast<Bits>(exponent - static_cast<Bits>(kMantissa - shift)) << kMantissa);
}

// The LFO phase after `count` advances of (phase + 1) mod period, each as
// the per-sample path takes it.
template <EngineNumType T>
T lfoPhaseAfter(T phase, T period, int64_t count) noexcept {
    if (!(period > T{}) || count <= 0) return phase;
    if constexpr (kIsFix<T>) {
        const int64_t p = phase.raw();
        if (p >= 0 && p < (int64_t{1} << 60) && count < (int64_t{1} << 30))
            return Fix::fromRaw((p + count * 65536) % period.raw());
    } else {
        // Whole numbers below 2^digits (the usual LFO) and less than a period
        // to go: at most one wrap, and every sum and difference is exact.
        constexpr T kWholeTop = T(int64_t{1} << std::numeric_limits<T>::digits) - T(1);
        if (phase >= T(0) && phase < period && period < kWholeTop) {
            const auto p = static_cast<int64_t>(phase), q = static_cast<int64_t>(period);
            if (count < q && static_cast<T>(p) == phase && static_cast<T>(q) == period) {
                const int64_t r = p + count;
                return static_cast<T>(r >= q ? r - q : r);
            }
        }
        // Phase and period on a grid that stays exact up to period + 1: every
        // step is exact, and the steps are modular arithmetic on the grid.
        // the coarsest grid of 2^-k (k >= 0) holding both phase and period
        T u = std::min(T(1), lowestBit(period));
        if (phase > T(0)) u = std::min(u, lowestBit(phase));
        if (period >= T(1) && phase >= T(0) && phase < period && u > T(0) && spacingAt(period + T(2)) <= u) {
            const double unit = 1.0 / static_cast<double>(u);  // a power of two
            if (unit <= 1099511627776.0) {  // 2^40: the scaled values fit
                const auto P = static_cast<int64_t>(static_cast<double>(period) * unit);
                const auto p = static_cast<int64_t>(static_cast<double>(phase) * unit);
                const auto step = static_cast<int64_t>(unit);
                if (P > 0 && count < (int64_t{1} << 61) / step) {
                    const int64_t r = (p + count * step) % P;  // p < P <= 2^53: no overflow
                    return static_cast<T>(static_cast<double>(r) / unit);
                }
            }
        }
    }
    // otherwise one step at a time, as the per-sample advance takes them
    for (int64_t i = 0; i < count; ++i) {
        if constexpr (kIsFix<T>) {
            int64_t r = phase.raw() + 65536;
            if (r >= period.raw()) r %= period.raw();
            phase = Fix::fromRaw(r);
        } else {
            T r = phase + T(1);
            if (r >= period) r = r < period * T(2) ? r - period : std::fmod(r, period);
            phase = r;
        }
    }
    return phase;
}

}  // namespace tavolin
