// SPDX-License-Identifier: MIT
// Reading a decimal number the same way in every build, whatever the locale.
#pragma once

#include <charconv>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

namespace tavolin {

// Digits with at most one point ("12.5", "12.") -> the nearest double.
// False when the value does not fit a double.
inline bool decimalToDouble(std::string_view text, double& out) noexcept {
#if defined(__EMSCRIPTEN__)
    // The WebAssembly C++ library has no floating-point from_chars. Its C
    // library's strtod ignores the locale and rounds to nearest as well.
    const std::string copy(text);
    errno = 0;
    const double d = std::strtod(copy.c_str(), nullptr);
    if (errno == ERANGE) return false;
    out = d;
    return true;
#else
    return std::from_chars(text.data(), text.data() + text.size(), out).ec == std::errc{};
#endif
}

}  // namespace tavolin
