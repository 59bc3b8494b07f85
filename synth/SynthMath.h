// SPDX-License-Identifier: MIT
// Per-type arithmetic of the synthesizer: every formula whose fixed-point form
// is not the plain real formula in 16.16 lives here, one function each.
#pragma once

#include <array>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

#include "compiler/EngineNum.h"
#include "synth/EngineMath.h"

namespace tavolin {

// 128-bit intermediates keep fixed-point products free of signed overflow.
__extension__ typedef __int128 Int128;

template <typename T>
inline constexpr bool kIsFix = std::is_same_v<T, Fix>;

// ---------------------------------------------------------------- basics

template <EngineNumType T>
inline T numInt(int64_t n) noexcept { return Num<T>::fromInt(n); }

// Truncation toward zero of a floating value with saturation (NaN gives 0):
// float->int conversions of huge or NaN values are undefined behaviour. The
// in-range test comes first because it is the only one that ever matters.
inline int64_t truncSat64(double v) noexcept {
    if (v > -9.2e18 && v < 9.2e18) [[likely]] return static_cast<int64_t>(v);
    return Fix::truncToInt64(v);
}

// A 32-bit float field entering the engine (Fix: trunc(f * 65536)).
template <EngineNumType T>
inline T numFloat(float f) noexcept {
    if constexpr (kIsFix<T>) return Fix::fromRaw(truncSat64(static_cast<double>(f) * 65536.0));
    else return static_cast<T>(f);
}

template <EngineNumType T>
inline bool isZero(T v) noexcept {
    if constexpr (kIsFix<T>) return v.raw() == 0;
    else return v == T{0};
}

// (a * 65536) / b truncating toward zero; 0 when b is 0. Uses a 64-bit
// division when the shifted numerator fits, which is the common case and far
// cheaper than the 128-bit one.
inline int64_t fixDivRaw(int64_t a, int64_t b) noexcept {
    if (b == 0) return 0;
    constexpr int64_t kLimit = int64_t{1} << 46;
    if (a > -kLimit && a < kLimit) return (a * 65536) / b;
    Int128 q = (static_cast<Int128>(a) * 65536) / b;
    return static_cast<int64_t>(q);  // modular, never undefined
}

// The quotients (a * 65536) / b of a numerator a that moves by one whole
// unit (65536) per sample, for Fix: the quotient and remainder are carried
// from one sample to the next, so each step is a few additions instead of a
// 64-bit division. Every quotient equals fixDivRaw's while a stays within
// 0 .. 2^46 and b > 0 (there a truncating division is a floor, and
// fixDivRaw divides in 64 bits); `fits` tells whether a range of numerators
// qualifies, and the caller keeps a inside the range it asked about.
struct SteppedQuotient {
    static constexpr int64_t kLimit = int64_t{1} << 46;
    static constexpr int64_t kStep = int64_t{1} << 32;  // 65536 * 65536

    int64_t quotient = 0;
    int64_t remainder = 0;
    int64_t stepQuotient = 0;
    int64_t stepRemainder = 0;
    int64_t divisor = 1;

    static constexpr bool fits(int64_t lowest, int64_t highest, int64_t b) noexcept {
        return b > 0 && lowest >= 0 && highest < kLimit;
    }
    constexpr void start(int64_t a, int64_t b) noexcept {
        divisor = b;
        quotient = (a * 65536) / b;
        remainder = (a * 65536) % b;
        stepQuotient = kStep / b;
        stepRemainder = kStep % b;
    }
    // a += 65536
    constexpr void up() noexcept {
        quotient += stepQuotient;
        remainder += stepRemainder;
        if (remainder >= divisor) {
            remainder -= divisor;
            ++quotient;
        }
    }
    // a -= 65536
    constexpr void down() noexcept {
        quotient -= stepQuotient;
        remainder -= stepRemainder;
        if (remainder < 0) {
            remainder += divisor;
            --quotient;
        }
    }
};

// a / b in T. A zero divisor yields 0 in every type: the engine guards its
// divisors where the result matters, and a zero that slips through must not
// turn into inf/NaN (float) or trap (integer) on the audio thread.
template <EngineNumType T>
inline T quot(T a, T b) noexcept {
    if constexpr (kIsFix<T>) return Fix::fromRaw(fixDivRaw(a.raw(), b.raw()));
    else return b == T{0} ? T{0} : a / b;
}

// v / n for a whole positive divisor n. In Fix the quotient (v * 65536) /
// (n * 65536) is exactly the raw value divided by n (both truncate toward
// zero), so it is taken as a 64-bit division by a constant, which the
// compiler turns into a multiply, instead of a 128-bit library division.
template <EngineNumType T>
inline T divByInt(T v, int32_t n) noexcept {
    if constexpr (kIsFix<T>) return Fix::fromRaw(v.raw() / n);
    else return v / numInt<T>(n);
}

template <EngineNumType T>
inline T absValue(T v) noexcept {
    if constexpr (kIsFix<T>) return v.raw() < 0 ? -v : v;
    else return std::fabs(v);
}

inline int32_t truncSat32(double v) noexcept {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

inline uint64_t truncSatU64(double v) noexcept {
    if (!(v > 0.0)) return 0;  // NaN and negatives
    if (v >= 18446744073709551615.0) return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(v);
}

inline int16_t clampToInt16(int64_t v) noexcept {
    if (v > 32767) return 32767;
    if (v < -32768) return -32768;
    return static_cast<int16_t>(v);
}

// A floating result that Fix takes back as trunc(x * 65536).
inline Fix fixFromFloatProduct(float x) noexcept { return Fix::fromRaw(truncSat64(static_cast<double>(x) * 65536.0)); }

// ------------------------------------------------------------ random draw

// u = r / 32767 in 0..1 (Fix: (r * 2^32) / (32767 * 2^16)).
template <EngineNumType T>
inline T uniformFromDraw(int r) noexcept {
    if constexpr (kIsFix<T>) return Fix::fromRaw((int64_t{r} << 32) / (int64_t{32767} << 16));
    else return static_cast<T>(r) / static_cast<T>(32767);
}

// White noise in -1..1 from one draw: (u - 0.5) * 2.
template <EngineNumType T>
inline T whiteFromDraw(int r) noexcept {
    return (uniformFromDraw<T>(r) - Num<T>::fromDouble(0.5)) * numInt<T>(2);
}

// ------------------------------------------------------------ oscillator

// Samples per cycle: sample rate / frequency (Fix: (rate * 2^32) / f16).
template <EngineNumType T>
inline T cycleLengthFor(uint32_t sampleRate, T frequency) noexcept {
    return quot(numInt<T>(sampleRate), frequency);
}

// The duty share of the second half-cycle, 100 - d. Fix takes it from the
// single-precision difference; Double from the widened duty.
template <EngineNumType T>
inline T secondHalfDuty(float duty) noexcept {
    if constexpr (std::is_same_v<T, double>) return 100.0 - static_cast<double>(duty);
    else return numFloat<T>(100.0f - duty);
}

// Half-cycle length from a duty share (percent) and the cycle length P.
template <EngineNumType T>
inline T dutyHalfLength(T dutyShare, T cycle) noexcept {
    return divByInt(dutyShare * cycle, 100);
}

// Half-cycle length under frequency noise F (percent) with draw u:
// P/2 * (1 + (2u - 1) * F/100), written as (2Fu + 100 - F) * P / 200.
template <EngineNumType T>
inline T noisyHalfLength(T freqNoise, T u, T cycle) noexcept {
    return divByInt((numInt<T>(2) * freqNoise * u + numInt<T>(100) - freqNoise) * cycle, 200);
}

// Duty switching period in samples: rate * ms / 1000.
template <EngineNumType T>
inline T switchPeriodSamples(uint32_t sampleRate, float switchMs) noexcept {
    return divByInt(numInt<T>(sampleRate) * numFloat<T>(switchMs), 1000);
}

// Position in the half-cycle, phase / length; 0 for a half-cycle of length 0
// (it covers a single sample, and 0 keeps triangle, sawtooth and sine finite).
template <EngineNumType T>
inline T halfCyclePosition(T phase, T halfLength) noexcept {
    return quot(phase, halfLength);
}

// Fix's sines by their formulas, and tables of those formulas' results
// over the arguments the engine meets: a load per sample instead of a sine.
// A result's sign is known from where it sits (entries from kNegativeFrom on
// are at most 0, the rest at least 0), so an entry keeps only the magnitude
// in 16 bits, which halves the table's share of the cache; the few results
// that do not fit (a magnitude of 65535 or more, or the other sign) are
// marked and left to the formula. A table is filled on first use (a few
// milliseconds); BankPlayer<Fix> asks for both when its tones are loaded, so
// the audio thread finds them ready.
template <size_t kSize, size_t kNegativeFrom, int32_t (*kEntry)(size_t)>
class FixTable {
public:
    static const FixTable& get() noexcept {
        static const FixTable table;
        return table;
    }
    // false where the formula must answer
    bool find(size_t i, Fix& value) const noexcept {
        const uint16_t m = m_magnitudes[i];
        if (m == kUnfit) [[unlikely]]
            return false;
        value = Fix::fromRaw(i < kNegativeFrom ? int64_t{m} : -int64_t{m});
        return true;
    }

private:
    static constexpr uint16_t kUnfit = 0xFFFF;
    FixTable() noexcept {
        for (size_t i = 0; i < kSize; ++i) {
            const int32_t v = kEntry(i);
            const int32_t m = i < kNegativeFrom ? v : -v;
            m_magnitudes[i] = m >= 0 && m < kUnfit ? static_cast<uint16_t>(m) : kUnfit;
        }
    }
    std::array<uint16_t, kSize> m_magnitudes;
};

// The sine wave: the angle pi x (+ pi) in 16.16, as a float, through the
// single-precision sine, truncated back to 16.16.
inline Fix fixSineByFormula(Fix x, bool secondHalf) noexcept {
    constexpr int64_t kPi16 = 205887;  // pi * 65536
    int64_t a16 = (x * Fix::fromRaw(kPi16)).raw() + (secondHalf ? kPi16 : 0);
    float a = static_cast<float>(a16) / 65536.0f;
    return fixFromFloatProduct(sinSingle(a));
}

// Every position a half-cycle takes (raw 0..65536), both halves: 256 KiB.
inline constexpr int64_t kFixSinePositions = 65537;
inline int32_t fixSineEntry(size_t i) noexcept {
    const auto n = static_cast<size_t>(kFixSinePositions);
    return static_cast<int32_t>(fixSineByFormula(Fix::fromRaw(static_cast<int64_t>(i % n)), i >= n).raw());
}
using FixSineTable = FixTable<2 * kFixSinePositions, kFixSinePositions, fixSineEntry>;

inline Fix fixSine(Fix x, bool secondHalf) noexcept {
    const int64_t i = x.raw();
    Fix value;
    if (i >= 0 && i < kFixSinePositions &&
        FixSineTable::get().find(static_cast<size_t>(secondHalf ? i + kFixSinePositions : i), value)) [[likely]]
        return value;
    return fixSineByFormula(x, secondHalf);
}

// The LFO's sine at a fraction f of its cycle (f = phase / period in 16.16):
// the angle 2 pi f in 16.16, as a float, through the single-precision sine.
inline Fix fixLfoSineByFraction(int64_t fraction) noexcept {
    constexpr int64_t kTwoPi16 = 411774;
    const int64_t a16 = (Fix::fromRaw(fraction) * Fix::fromRaw(kTwoPi16)).raw();
    return fixFromFloatProduct(sinSingle(static_cast<float>(a16) / 65536.0f));
}

// Every fraction of a cycle (raw 0..65535), the second half at most 0: 128 KiB.
inline constexpr int64_t kFixLfoFractions = 65536;
inline int32_t fixLfoSineEntry(size_t i) noexcept {
    return static_cast<int32_t>(fixLfoSineByFraction(static_cast<int64_t>(i)).raw());
}
using FixLfoSineTable = FixTable<kFixLfoFractions, kFixLfoFractions / 2, fixLfoSineEntry>;

// Float and Double: the angle whose single-precision sine is the sine wave
// at position x, pi x in the first half and pi + pi x in the second, worked
// out in the type and rounded to a float.
template <typename F>
inline float sineAngle(F x, bool secondHalf) noexcept {
    constexpr F kPi = std::is_same_v<F, float> ? F(3.14159265358979323846f) : F(3.14159265358979323846);
    return static_cast<float>(secondHalf ? kPi + kPi * x : kPi * x);
}

// sin(pi x) in the first half, sin(pi + pi x) in the second, always the
// single-precision sine.
template <EngineNumType T>
inline T sineWave(T x, bool secondHalf) noexcept {
    if constexpr (kIsFix<T>) return fixSine(x, secondHalf);
    else return static_cast<T>(sinSingle(sineAngle(x, secondHalf)));
}

// --------------------------------------------------------------- noise

// How close to the Nyquist angle (pi) the noise low-pass may come and stay
// stable, in radians. Every cutoff below Nyquist is stable in real numbers;
// what breaks it close to pi is the type's own rounding: the single-precision
// cosine (used by all three types) rounds to -1 within about 3.5e-4 rad of pi,
// which puts a pole on the unit circle, and Fix's truncated coefficients and
// recursion amplify their rounding more the nearer the poles sit to it.
template <EngineNumType T>
inline constexpr double kNoiseAngleMargin = kIsFix<T> ? 1.0e-3 : 5.0e-4;

// The highest cutoff the noise low-pass takes at this rate: the Nyquist
// frequency less the type's margin.
template <EngineNumType T>
inline T highestNoiseCutoff(uint32_t sampleRate) noexcept {
    constexpr double kTwoPi = 6.28318530717958647692;
    const double rate = static_cast<double>(sampleRate);
    return Num<T>::fromDouble(rate * 0.5 - rate * kNoiseAngleMargin<T> / kTwoPi);
}

// Cutoff of the noise low-pass: the duty moves it linearly from 200 Hz below
// the Nyquist frequency (duty 0) toward the note's frequency. Only where that
// reaches the Nyquist frequency (a high note with a high duty) is it held
// just below (highestNoiseCutoff): at or past it the filter's poles would
// leave the unit circle and the noise would blow up (wrap in Fix, inf/NaN in
// Float and Double). It never goes below 1 Hz either.
template <EngineNumType T>
inline T noiseCutoff(uint32_t sampleRate, T duty, T noteFrequency) noexcept {
    const T half = numInt<T>(sampleRate) * Num<T>::fromDouble(0.5);
    const T share = divByInt(duty, 100);
    T fc = (half - numInt<T>(200)) * (numInt<T>(1) - share) + share * noteFrequency;
    const T highest = highestNoiseCutoff<T>(sampleRate);
    if (fc > highest) fc = highest;
    if (!(fc >= numInt<T>(1))) fc = numInt<T>(1);
    return fc;
}

// Second-order low-pass (RBJ cookbook, Q = 1/sqrt 2) for white noise. The
// Fix form divides every coefficient by a0 up front; Float and Double keep the
// cookbook coefficients and divide the sum.
template <EngineNumType T>
struct NoiseCoefficients {
    T b0{}, b1{}, b2{}, a0{}, a1{}, a2{};
};

template <EngineNumType T>
struct NoiseFilter {
    T x1{}, x2{}, y1{}, y2{};
};

template <EngineNumType T>
inline NoiseCoefficients<T> noiseCoefficients(uint32_t sampleRate, T cutoff) noexcept {
    NoiseCoefficients<T> c;
    if constexpr (kIsFix<T>) {
        constexpr int64_t kTwoPi16 = 411774;  // 2 pi * 65536
        constexpr int64_t kSqrt2_16 = 92680;  // 2 * trunc(65536 / sqrt 2)
        int64_t w16 = (cutoff * Fix::fromRaw(kTwoPi16)).raw();
        w16 = sampleRate == 0 ? 0 : w16 / static_cast<int64_t>(sampleRate);
        const float w = static_cast<float>(w16) / 65536.0f;
        const int64_t s16 = truncSat64(static_cast<double>(sinSingle(w) * 65536.0f));
        const int64_t c16 = truncSat64(static_cast<double>(cosSingle(w) * 65536.0f));
        const int64_t alpha16 = (s16 * 65536) / kSqrt2_16;
        const int64_t a0 = alpha16 + 65536;  // >= 65536 - 46341, never 0
        c.a0 = Fix::fromRaw(a0);
        c.b0 = Fix::fromRaw(((((65536 - c16) * 65536) / 131072) * 65536) / a0);
        c.b1 = Fix::fromRaw(((65536 - c16) * 65536) / a0);
        c.b2 = c.b0;
        c.a1 = Fix::fromRaw((-c16 * 131072) / a0);
        c.a2 = Fix::fromRaw(((65536 - alpha16) * 65536) / a0);
    } else {
        float w;
        if constexpr (std::is_same_v<T, float>) {
            constexpr float kTwoPi = 6.28318530717958647692f;
            w = sampleRate == 0 ? 0.0f : kTwoPi * cutoff / static_cast<float>(sampleRate);
        } else {
            constexpr double kTwoPi = 6.28318530717958647692;
            w = static_cast<float>(sampleRate == 0 ? 0.0 : kTwoPi * cutoff / static_cast<double>(sampleRate));
        }
        const T s = static_cast<T>(sinSingle(w));
        const T cs = static_cast<T>(cosSingle(w));
        const T alpha = s / std::sqrt(static_cast<T>(2));
        c.a0 = 1 + alpha;
        c.b0 = (1 - cs) / 2;
        c.b1 = 1 - cs;
        c.b2 = c.b0;
        c.a1 = -2 * cs;
        c.a2 = 1 - alpha;
    }
    return c;
}

template <EngineNumType T>
inline T noiseFilterStep(NoiseFilter<T>& f, const NoiseCoefficients<T>& c, T white) noexcept {
    T y;
    if constexpr (kIsFix<T>) {
        y = c.b1 * f.x1 - c.a2 * f.y2 - c.a1 * f.y1 + c.b0 * f.x2 + c.b0 * white;
    } else {
        y = (c.b0 * white + c.b1 * f.x1 + c.b2 * f.x2 - c.a1 * f.y1 - c.a2 * f.y2) / c.a0;
    }
    f.x2 = f.x1;
    f.x1 = white;
    f.y2 = f.y1;
    f.y1 = y;
    return y;
}

// ---------------------------------------------------------- LFO, vibrato

// LFO time in percent of the note group: Fix divides first, then scales.
template <EngineNumType T>
inline T lfoTimePercent(int32_t counter, int32_t groupLength) noexcept {
    if (groupLength == 0) return T{};
    if constexpr (kIsFix<T>) return quot(numInt<T>(counter), numInt<T>(groupLength)) * numInt<T>(100);
    else return numInt<T>(100) * numInt<T>(counter) / numInt<T>(groupLength);
}

// LFO time in milliseconds since the note group started.
template <EngineNumType T>
inline T lfoTimeMs(int32_t counter, uint32_t sampleRate) noexcept {
    if (sampleRate == 0) return T{};
    return numInt<T>(1000) * numInt<T>(counter) / numInt<T>(sampleRate);
}

// A linear ramp between breakpoint times t0 and t1 (ms or percent), with
// what the factor needs from the two times worked out once per segment.
template <EngineNumType T>
struct LfoRamp {
    T start{};           // Fix: trunc(t0 * 65536)
    T span{};            // Fix: trunc((t1 - t0) * 65536), the difference in single precision
    float startF = 0.0f; // Float and Double
    float spanF = 0.0f;
};

template <EngineNumType T>
inline LfoRamp<T> lfoRamp(float t0, float t1) noexcept {
    LfoRamp<T> r;
    if constexpr (kIsFix<T>) {
        r.start = numFloat<Fix>(t0);
        r.span = numFloat<Fix>(t1 - t0);
    }
    r.startF = t0;
    r.spanF = t1 - t0;
    return r;
}

// Interpolation factor (t - t0) / (t1 - t0) at time t, always a
// single-precision value; 1 for a ramp of no length. The fade-in before the
// first breakpoint is the ramp from 0 to its time (t - 0 is t exactly).
template <EngineNumType T>
inline float lfoRampFactor(const LfoRamp<T>& r, T t) noexcept {
    if constexpr (kIsFix<T>) {
        if (r.span.raw() == 0) return 1.0f;
        return static_cast<float>(fixDivRaw((t - r.start).raw(), r.span.raw())) / 65536.0f;
    } else {
        if (r.spanF == 0.0f) return 1.0f;
        return (static_cast<float>(t) - r.startF) / r.spanF;
    }
}

template <EngineNumType T>
inline float lfoFactor(T t, float t0, float t1) noexcept { return lfoRampFactor(lfoRamp<T>(t0, t1), t); }

template <EngineNumType T>
inline float lfoFadeFactor(T t, float t0) noexcept { return lfoRampFactor(lfoRamp<T>(0.0f, t0), t); }

// Depth and period are computed in single precision in every type and then
// stored in T (Fix: trunc(x * 65536)).
template <EngineNumType T>
inline T storeLfoValue(float v) noexcept {
    if constexpr (kIsFix<T>) return fixFromFloatProduct(v);
    else return static_cast<T>(v);
}

template <EngineNumType T>
inline T lfoPeriodSamples(uint32_t sampleRate, float periodMs) noexcept {
    return storeLfoValue<T>(static_cast<float>(sampleRate) * periodMs / 1000.0f);
}

// sin(2 pi phase / period), the single-precision sine in every type. The
// caller guarantees period > 0.
template <EngineNumType T>
inline T lfoSine(T phase, T period) noexcept {
    if constexpr (kIsFix<T>) {
        const int64_t fraction = fixDivRaw(phase.raw() % period.raw(), period.raw());
        Fix value;
        if (fraction >= 0 && fraction < kFixLfoFractions &&
            FixLfoSineTable::get().find(static_cast<size_t>(fraction), value)) [[likely]]
            return value;
        return fixLfoSineByFraction(fraction);
    } else if constexpr (std::is_same_v<T, float>) {
        constexpr float kTwoPi = 6.28318530717958647692f;
        const float p = phase < period ? phase : std::fmod(phase, period);
        return sinSingle(kTwoPi * p / period);
    } else {
        constexpr double kTwoPi = 6.28318530717958647692;
        const double p = phase < period ? phase : std::fmod(phase, period);
        return static_cast<double>(sinSingle(static_cast<float>(kTwoPi * p / period)));
    }
}

// 2^(e) for the vibrato: double precision; rounded to single for Fix and Float.
inline float powerOfTwoSingle(float e) noexcept { return static_cast<float>(powerOfTwo(static_cast<double>(e))); }

// The vibrato's step on the cycle length: under s = depth * sine semitones,
// P * factor for s > 0 and P / factor for s < 0 with factor = 2^(|s|/12),
// and P itself for s = 0 (sign 0).
template <EngineNumType T>
struct VibratoFactor {
    T factor{};
    int32_t sign = 0;
};

template <EngineNumType T>
inline VibratoFactor<T> vibratoFactor(T depth, T sine) noexcept {
    if constexpr (kIsFix<T>) {
        const float s = static_cast<float>((sine * depth).raw()) / 65536.0f;
        if (s > 0.0f) return {fixFromFloatProduct(powerOfTwoSingle(s / 12.0f)), 1};
        if (s < 0.0f) return {fixFromFloatProduct(powerOfTwoSingle(-s / 12.0f)), -1};
        return {};
    } else if constexpr (std::is_same_v<T, float>) {
        const float s = depth * sine;
        if (s > 0.0f) return {powerOfTwoSingle(s / 12.0f), 1};
        if (s < 0.0f) return {powerOfTwoSingle(-s / 12.0f), -1};
        return {};
    } else {
        const double s = static_cast<double>(static_cast<float>(depth * sine));
        if (s > 0.0) return {powerOfTwo(s / 12.0), 1};
        if (s < 0.0) return {powerOfTwo(-s / 12.0), -1};
        return {};
    }
}

template <EngineNumType T>
inline T applyVibrato(T cycle, VibratoFactor<T> v) noexcept {
    if (v.sign > 0) return cycle * v.factor;
    if (v.sign < 0) return quot(cycle, v.factor);
    return cycle;
}

// Cycle length P under a vibrato of `depth` semitones at LFO sine `sine`:
// s = depth * sine; P * 2^(s/12) for s > 0, P / 2^(-s/12) for s < 0.
template <EngineNumType T>
inline T vibratoCycle(T cycle, T depth, T sine) noexcept {
    return applyVibrato(cycle, vibratoFactor(depth, sine));
}

// The vibrato's factor at an LFO phase, period and depth, remembered: the
// factor is a pure function of the three (a sine and a power of two, the
// costliest steps of a half-cycle boundary), and an LFO stepped a whole
// sample at a time meets the same phases again and again. A direct-mapped
// table inside the player, for one period and depth at a time (a generation
// number forgets the rest): a lookup either finds the very bits the functions
// gave, or computes and keeps them. The table is sized once, when the song is
// set up, to hold every whole-sample phase of the longest pitch LFO the bank
// defines (within bounds): an LFO that runs on across slurred notes visits
// all of its phases, and a smaller table would lose them to one another.
// Nothing of the song's state: a copy keeps its own table.
template <EngineNumType T>
class VibratoMemo {
public:
    VibratoMemo() noexcept = default;
    VibratoMemo(const VibratoMemo&) = delete;
    VibratoMemo& operator=(const VibratoMemo&) noexcept { return *this; }

    // Room for the phases of an LFO of up to `periodSamples` samples. Allocates:
    // on the building thread, before the bank renders.
    void reserveForPeriod(double periodSamples) {
        size_t n = kMinEntries;
        while (n < kMaxEntries && static_cast<double>(n) < periodSamples + 1.0) n *= 2;
        if (n == m_entries.size()) return;
        m_entries.assign(n, Entry{});
        m_generation = 0;
    }

    VibratoFactor<T> factor(T phase, T period, T depth) noexcept {
        if (m_entries.empty()) [[unlikely]] return vibratoFactor(depth, lfoSine(phase, period));
        const Bits q = bitsOf(period), d = bitsOf(depth);
        if (q != m_period || d != m_depth || m_generation == 0) [[unlikely]] renew(q, d);
        const Bits p = bitsOf(phase);
        Entry& e = m_entries[slotOf(phase, p) & (m_entries.size() - 1)];
        if (e.generation == m_generation && e.phase == p) [[likely]] return e.value;
        e = Entry{p, vibratoFactor(depth, lfoSine(phase, period)), m_generation};
        return e.value;
    }

    // Brings the entry of a phase asked for soon into the cache: a seek
    // going from boundary to boundary meets a long LFO's entries out of it.
    // `units`: the phase as an integer, Fix's raw bits or a whole number.
    void prefetchUnits(int64_t units) const noexcept {
        size_t slot = static_cast<size_t>(units);
        if constexpr (kIsFix<T>) slot = slotOf(Fix::fromRaw(units), static_cast<uint64_t>(units));
        if (!m_entries.empty()) __builtin_prefetch(m_entries.data() + (slot & (m_entries.size() - 1)));
    }

private:
    using Bits = std::conditional_t<std::is_same_v<T, float>, uint32_t, uint64_t>;
    static constexpr size_t kMinEntries = 1024;
    static constexpr size_t kMaxEntries = size_t{1} << 16;

    static Bits bitsOf(T v) noexcept {
        if constexpr (kIsFix<T>) return static_cast<uint64_t>(v.raw());
        else {
            Bits b;
            std::memcpy(&b, &v, sizeof b);
            return b;
        }
    }
    // Whole-sample phases (the usual case) take consecutive slots; others
    // are spread by their bits. The caller masks the result to the table.
    static size_t slotOf(T phase, Bits bits) noexcept {
        uint64_t whole, rest;
        if constexpr (kIsFix<T>) {
            whole = bits >> 16;
            rest = bits & 0xFFFFu;
        } else {
            const bool inRange = phase >= T(0) && phase < T(1 << 30);
            whole = inRange ? static_cast<uint64_t>(phase) : 0;
            rest = inRange && static_cast<T>(whole) == phase ? 0 : bits;
        }
        return static_cast<size_t>(whole + rest * 0x9E3779B97F4A7C15u);
    }
    void renew(Bits period, Bits depth) noexcept {
        m_period = period;
        m_depth = depth;
        if (++m_generation == 0) {  // wrapped: no entry may pass for the new generation
            for (Entry& e : m_entries) e.generation = 0;
            m_generation = 1;
        }
    }
    struct Entry {
        Bits phase = 0;
        VibratoFactor<T> value{};
        uint32_t generation = 0;  // 0: empty
    };
    std::vector<Entry> m_entries;
    Bits m_period = 0, m_depth = 0;
    uint32_t m_generation = 0;
};

// --------------------------------------------------------------- timing

// Samples of `accumulated` note units at `tempo`, truncated. Fix divides the
// integer factor first: ((rate * 61440) / tempo) * acc16 >> 32.
template <EngineNumType T>
inline uint64_t ledgerSampleCount(uint32_t sampleRate, int32_t tempo, T accumulated) noexcept {
    const int32_t beat = tempo < 1 ? 1 : tempo;  // the compiler never writes less than 1
    if constexpr (kIsFix<T>) {
        const int64_t factor = (static_cast<int64_t>(sampleRate) * 61440) / beat;
        const Int128 p = static_cast<Int128>(factor) * accumulated.raw();
        if (p <= 0) return 0;
        return static_cast<uint64_t>(p >> 32);
    } else {
        const T v = static_cast<T>(sampleRate) * T(60) * T(4) * (T(1) / T(256)) / static_cast<T>(beat) * accumulated;
        return truncSatU64(static_cast<double>(v));
    }
}

// Samples of a note group of `groupLength` units at `tempo` (LFO percent base).
template <EngineNumType T>
inline int32_t groupSampleCount(uint32_t sampleRate, int32_t tempo, T groupLength) noexcept {
    const int32_t beat = tempo < 1 ? 1 : tempo;
    if constexpr (kIsFix<T>) {
        Int128 v = (static_cast<Int128>(sampleRate) * groupLength.raw() * 15728640) >> 16;
        v = (v / 256) / beat;
        v >>= 16;
        if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
        if (v < 0) return 0;
        return static_cast<int32_t>(v);
    } else {
        const T v = static_cast<T>(sampleRate) * T(60) * T(4) * groupLength * (T(1) / T(256)) / static_cast<T>(beat);
        const int32_t n = truncSat32(static_cast<double>(v));
        return n < 0 ? 0 : n;
    }
}

// ------------------------------------------------------------ the output

// One side of the linear pan law: trunc(weight * value / 256 * 32767),
// clamped to 16 bits. `weight` is 256 - pan (left) or pan (right).
template <EngineNumType T>
inline int16_t panSide(int32_t weight, T value) noexcept {
    if constexpr (kIsFix<T>) {
        const int64_t raw = value.raw();
        Int128 v;
        if (raw > -(int64_t{1} << 40) && raw < (int64_t{1} << 40) && weight >= -256 && weight <= 256) [[likely]] {
            v = ((int64_t{weight} * raw / 256) * 32767) >> 16;  // fits in 64 bits
        } else {
            v = static_cast<Int128>(weight) * raw;
            v /= 256;  // truncates toward zero
            v *= 32767;
            v >>= 16;  // arithmetic
        }
        if (v > 32767) return 32767;
        if (v < -32768) return -32768;
        return static_cast<int16_t>(v);
    } else {
        T v = static_cast<T>(weight) * value * (T(1) / T(256)) * T(32767);
        // Saturate before converting (branch-free; NaN ends at the upper
        // limit, never at an undefined conversion).
        v = v < T(32767) ? v : T(32767);
        v = v > T(-32768) ? v : T(-32768);
        return static_cast<int16_t>(static_cast<int32_t>(v));
    }
}

}  // namespace tavolin
