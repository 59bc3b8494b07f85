// SPDX-License-Identifier: MIT
// The web engine's CP932 tables convert exactly as glibc iconv does: every
// one- and two-byte sequence, every code point of the Basic Multilingual
// Plane, malformed UTF-8, and random byte strings.
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "app/web/Cp932Table.h"
#include "compiler/Cp932.h"

namespace tavolin::testing {
namespace {

std::string hex(std::string_view s) {
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    return out;
}

// Both directions for one input; the whole difference when they disagree.
void expectSameConversion(const std::string& bytes, int& mismatches) {
    const std::string want = cp932ToUtf8(bytes), got = cp932table::toUtf8(bytes);
    const auto wantBack = utf8ToCp932(bytes), gotBack = cp932table::fromUtf8(bytes);
    if (want == got && wantBack == gotBack) return;
    if (++mismatches <= 10)
        ADD_FAILURE() << "input " << hex(bytes) << "\n  to UTF-8:   glibc " << hex(want) << " table " << hex(got)
                      << "\n  from UTF-8: glibc " << (wantBack ? hex(*wantBack) : "none") << " table "
                      << (gotBack ? hex(*gotBack) : "none");
}

TEST(Cp932Table, EveryShortSequenceConvertsAsGlibc) {
    int mismatches = 0;
    for (int a = 0; a < 256; ++a) {
        expectSameConversion(std::string(1, static_cast<char>(a)), mismatches);
        for (int b = 0; b < 256; ++b) expectSameConversion(std::string{static_cast<char>(a), static_cast<char>(b)}, mismatches);
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Cp932Table, EveryCodePointAndMalformedUtf8ConvertsAsGlibc) {
    int mismatches = 0;
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        std::string u;
        if (cp < 0x80) u += static_cast<char>(cp);
        else if (cp < 0x800) u += {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
        else u += {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
        expectSameConversion(u, mismatches);
    }
    const char* malformed[] = {
        "\xC0\x80", "\xE0\x80\x80", "\xF0\x80\x80\x80",  // overlong
        "\xED\xA0\x80", "\xED\xBF\xBF",                   // surrogates
        "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80",       // beyond U+10FFFF, five bytes
        "\xE3\x81", "A\xE3", "\x80", "\xBF", "\xF0\x9F\x98\x80",  // cut short, stray, outside the BMP
    };
    for (const char* m : malformed) expectSameConversion(m, mismatches);
    EXPECT_EQ(mismatches, 0);
}

TEST(Cp932Table, RandomByteStringsConvertAsGlibc) {
    std::mt19937 rng(932);
    // Lead bytes, trail bytes, ASCII and breaks most of the time: sequences
    // that nearly form characters.
    const std::string likely = "\x81\x82\x88\x9F\xE0\xEA\xED\xF0\xFA\xFC\x40\x7E\x7F\x80\xA0\xA1\xDF\xFD\xFF\r\n;,A";
    int mismatches = 0;
    for (int n = 0; n < 20000; ++n) {
        std::string s;
        for (int i = std::uniform_int_distribution<int>(1, 12)(rng); i > 0; --i) {
            const int pick = std::uniform_int_distribution<int>(0, 3)(rng);
            s += pick ? likely[std::uniform_int_distribution<size_t>(0, likely.size() - 1)(rng)]
                      : static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
        }
        expectSameConversion(s, mismatches);
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace tavolin::testing
