// SPDX-License-Identifier: MIT
// Turning the front ends' forms of the settings into typed values.
#include "session/SongSettings.h"

#include <algorithm>

#include "output/SongBuilder.h"

namespace tavolin::session {

std::optional<Arith> parseArith(std::string_view name) noexcept {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    const auto sameLetters = [&](char a, char b) { return lower(a) == lower(b); };
    for (const Arith a : {Arith::Fix, Arith::Float, Arith::Double})
        if (std::equal(name.begin(), name.end(), arithName(a).begin(), arithName(a).end(), sameLetters)) return a;
    return std::nullopt;
}

std::optional<Arith> arithAt(int64_t index) noexcept {
    if (index < 0 || index >= static_cast<int64_t>(Arith::Count)) return std::nullopt;
    return static_cast<Arith>(index);
}

std::optional<uint32_t> parseSampleRate(std::string_view text) noexcept {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ',')) ++i;
    uint64_t value = 0;
    bool any = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ',') continue;
        if (c < '0' || c > '9') break;
        any = true;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > output::kMaxSampleRate) return std::nullopt;  // and no overflow on long digit runs
    }
    if (!any) return std::nullopt;
    return sampleRateOf(static_cast<int64_t>(value));
}

std::optional<uint32_t> sampleRateOf(int64_t hz) noexcept {
    if (hz < 0 || !output::validSampleRate(static_cast<uint64_t>(hz))) return std::nullopt;
    return static_cast<uint32_t>(hz);
}

}  // namespace tavolin::session
