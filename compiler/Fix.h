// SPDX-License-Identifier: MIT
// Fix: the engine's 16.16 fixed-point number, a signed 64-bit raw value.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace tavolin {

// 128-bit intermediates; __extension__ keeps -Wpedantic quiet about the type.
__extension__ typedef __int128 Int128;

// A value class over a signed 64-bit integer holding value * 65536.
// Products shift right by 16 (arithmetic shift), quotients truncate toward
// zero, floating values convert by truncation. Intermediate results go
// through __int128 or unsigned arithmetic so that no input can reach signed
// overflow (undefined behaviour); results that do not fit wrap to 64 bits,
// which is what a plain 64-bit implementation yields where it is defined.
class Fix {
public:
    static constexpr int kFracBits = 16;
    static constexpr int64_t kOne = int64_t{1} << kFracBits;

    Fix() = default;  // trivial: keeps MmlEvent a trivially copyable record

    static constexpr Fix fromRaw(int64_t raw) noexcept { Fix f; f.m_raw = raw; return f; }
    static constexpr Fix fromInt(int64_t n) noexcept {
        return fromRaw(static_cast<int64_t>(static_cast<uint64_t>(n) << kFracBits));
    }
    // Truncates toward zero; NaN gives 0 and out-of-range values saturate.
    static Fix fromDouble(double v) noexcept { return fromRaw(truncToInt64(v * 65536.0)); }
    static Fix fromFloat(float v) noexcept { return fromDouble(static_cast<double>(v)); }

    constexpr int64_t raw() const noexcept { return m_raw; }
    double toDouble() const noexcept { return static_cast<double>(m_raw) / 65536.0; }
    float toFloat() const noexcept { return static_cast<float>(toDouble()); }
    // Integer part, truncated toward zero.
    constexpr int64_t toIntTrunc() const noexcept { return m_raw / kOne; }

    friend constexpr Fix operator+(Fix a, Fix b) noexcept {
        return fromRaw(static_cast<int64_t>(static_cast<uint64_t>(a.m_raw) + static_cast<uint64_t>(b.m_raw)));
    }
    friend constexpr Fix operator-(Fix a, Fix b) noexcept {
        return fromRaw(static_cast<int64_t>(static_cast<uint64_t>(a.m_raw) - static_cast<uint64_t>(b.m_raw)));
    }
    friend constexpr Fix operator-(Fix a) noexcept {
        return fromRaw(static_cast<int64_t>(0 - static_cast<uint64_t>(a.m_raw)));
    }
    friend constexpr Fix operator*(Fix a, Fix b) noexcept {
        // A whole-number factor the compiler can see (numInt(2), -1 ...)
        // leaves nothing to shift out: the product is a plain wrapping
        // multiply, the same bits as the 128-bit form, without its cost.
        if (__builtin_constant_p(b.m_raw) && (b.m_raw & (kOne - 1)) == 0) return scaled(a.m_raw, b.m_raw >> kFracBits);
        if (__builtin_constant_p(a.m_raw) && (a.m_raw & (kOne - 1)) == 0) return scaled(b.m_raw, a.m_raw >> kFracBits);
        Int128 p = static_cast<Int128>(a.m_raw) * b.m_raw;
        return fromRaw(static_cast<int64_t>(p >> kFracBits));
    }
    // Division by zero gives 0: the engine guards its divisors, and a zero that
    // slips through must not trap on the audio thread.
    friend constexpr Fix operator/(Fix a, Fix b) noexcept {
        if (b.m_raw == 0) return fromRaw(0);
        Int128 n = static_cast<Int128>(a.m_raw) * kOne;
        return fromRaw(static_cast<int64_t>(n / b.m_raw));
    }
    Fix& operator+=(Fix b) noexcept { return *this = *this + b; }
    Fix& operator-=(Fix b) noexcept { return *this = *this - b; }
    Fix& operator*=(Fix b) noexcept { return *this = *this * b; }
    Fix& operator/=(Fix b) noexcept { return *this = *this / b; }

    friend constexpr auto operator<=>(Fix a, Fix b) noexcept = default;
    friend constexpr bool operator==(Fix a, Fix b) noexcept = default;

    // Saturating truncation of a double to int64 (NaN -> 0).
    static int64_t truncToInt64(double v) noexcept {
        if (std::isnan(v)) return 0;
        if (v >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
        if (v <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
        return static_cast<int64_t>(v);
    }

private:
    static constexpr Fix scaled(int64_t raw, int64_t factor) noexcept {
        return fromRaw(static_cast<int64_t>(static_cast<uint64_t>(raw) * static_cast<uint64_t>(factor)));
    }

    int64_t m_raw;
};

}  // namespace tavolin
