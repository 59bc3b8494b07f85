// SPDX-License-Identifier: MIT
// Locale-free number reading and formatting for control texts and generated MML.
#include "music/NumberText.h"

#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale.h>

namespace tavolin::music {

std::string fixedSixDecimals(double value) {
    // %f of the largest double has 309 integer digits.
    char buf[400];
#ifdef __EMSCRIPTEN__
    // The browser engine's C++ library has no floating-point to_chars; its C
    // library knows only the "C" locale, so printf writes the same text.
    const int n = std::snprintf(buf, sizeof buf, "%.6f", value);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buf) return {};
    return std::string(buf, static_cast<size_t>(n));
#else
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    if (ec != std::errc{}) return {};
    return std::string(buf, end);
#endif
}

std::string compactNumber(double value) {
    std::string s = fixedSixDecimals(value);
    if (s.find('.') == std::string::npos) return s;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

namespace {

std::string_view skipBlanks(std::string_view text) noexcept {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    return text.substr(i);
}

}  // namespace

int32_t atoiLike(std::string_view text) noexcept {
    text = skipBlanks(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > kLimit) value = kLimit;  // saturate; keeps the product in range
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

double atofLike(std::string_view text) {
    // strtod in the "C" locale: the GUI runs under the user's locale, whose decimal
    // separator may not be ".".
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
    const std::string copy(text.substr(0, text.find('\0')));
    return strtod_l(copy.c_str(), nullptr, cLocale);
}

std::optional<double> plainDecimal(std::string_view text) {
    text = skipBlanks(text);
    while (!text.empty() && (text.back() == ' ' || (text.back() >= '\t' && text.back() <= '\r'))) text.remove_suffix(1);
    size_t digits = 0;
    size_t points = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') ++digits;
        else if (c == '.') ++points;
        else return std::nullopt;
    }
    if (digits == 0 || points > 1) return std::nullopt;
    return atofLike(text);
}

}  // namespace tavolin::music
