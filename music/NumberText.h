// SPDX-License-Identifier: MIT
// How the window reads numbers out of control texts and writes them into generated MML.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavolin::music {

// "%f" of the value, then trailing zeros and a trailing point stripped:
// 50 -> "50", 12.5 -> "12.5", 0.25 -> "0.25". Independent of the process locale.
std::string compactNumber(double value);

// "%f" (six decimals) independent of the process locale: 50 -> "50.000000".
std::string fixedSixDecimals(double value);

// atoi-like: leading blanks, an optional sign, the leading decimal digits; 0 when
// there are none. Saturates at the int32 range instead of overflowing.
int32_t atoiLike(std::string_view text) noexcept;

// atof-like: leading blanks, then the longest leading floating-point number
// (decimal or hex, optional sign, inf/nan); 0 when there is none.
double atofLike(std::string_view text);

// A plain decimal as a person types it: digits with at most one point ("50",
// "12.5", ".5"), blanks around allowed; nullopt for anything else (a sign, an
// exponent, a trailing letter, nothing at all).
std::optional<double> plainDecimal(std::string_view text);

}  // namespace tavolin::music
