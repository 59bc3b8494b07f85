// SPDX-License-Identifier: MIT
// The three arithmetic types of the engine and the conversions between them.
#pragma once

#include <cstdint>
#include <exception>
#include <string_view>
#include <type_traits>

#include "compiler/Fix.h"

namespace tavolin {

template <typename T>
concept EngineNumType = std::is_same_v<T, Fix> || std::is_same_v<T, float> || std::is_same_v<T, double>;

enum class Arith : int { Fix = 0, Float = 1, Double = 2, Count };

// Conversions every generic algorithm uses instead of casts, so that the
// fixed-point rules (truncation, 16.16 scaling) live in one place.
template <EngineNumType T>
struct Num {
    static constexpr T fromInt(int64_t n) noexcept {
        if constexpr (std::is_same_v<T, Fix>) return Fix::fromInt(n);
        else return static_cast<T>(n);
    }
    // A value read from text or computed in double: Fix truncates, Float rounds.
    static T fromDouble(double v) noexcept {
        if constexpr (std::is_same_v<T, Fix>) return Fix::fromDouble(v);
        else return static_cast<T>(v);
    }
    // A 32-bit float field (ToneDef, LfoDef) entering the engine.
    static T fromFloat(float v) noexcept {
        if constexpr (std::is_same_v<T, Fix>) return Fix::fromDouble(static_cast<double>(v));
        else return static_cast<T>(v);
    }
    static double toDouble(T v) noexcept {
        if constexpr (std::is_same_v<T, Fix>) return v.toDouble();
        else return static_cast<double>(v);
    }
    // Conversion to a float field: Fix as value * 2^-16 rounded to float.
    static float toFloat(T v) noexcept {
        if constexpr (std::is_same_v<T, Fix>) return static_cast<float>(v.toDouble());
        else return static_cast<float>(v);
    }
    static constexpr T zero() noexcept { return fromInt(0); }
};

template <EngineNumType T>
constexpr Arith arithOf() noexcept {
    if constexpr (std::is_same_v<T, Fix>) return Arith::Fix;
    else if constexpr (std::is_same_v<T, float>) return Arith::Float;
    else return Arith::Double;
}

// Calls fn.template operator()<T>() with the engine type `a` names: the one
// place where an arithmetic chosen at run time becomes a template instance.
// Every Arith comes from a parser that refuses anything but the three, so
// another value is a broken caller, stopped loudly rather than played as one
// of them.
template <typename Fn>
decltype(auto) withArith(Arith a, Fn&& fn) {
    switch (a) {
    case Arith::Fix: return fn.template operator()<Fix>();
    case Arith::Float: return fn.template operator()<float>();
    case Arith::Double: return fn.template operator()<double>();
    case Arith::Count: break;
    }
    std::terminate();
}

constexpr bool isArith(Arith a) noexcept { return a == Arith::Fix || a == Arith::Float || a == Arith::Double; }

constexpr std::string_view arithName(Arith a) noexcept {
    switch (a) {
    case Arith::Fix: return "Fix";
    case Arith::Float: return "Float";
    case Arith::Double: return "Double";
    default: return "?";
    }
}

}  // namespace tavolin
