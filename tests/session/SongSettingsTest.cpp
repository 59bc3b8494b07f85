// SPDX-License-Identifier: MIT
// Every front end's forms of the settings, through the one set of parsers:
// what each text or number becomes, and what is refused.
#include <gtest/gtest.h>

#include "session/SongSettings.h"

namespace tavolin::session {
namespace {

TEST(SongSettings, RateTextsAndNumbers) {
    struct Row {
        const char* text;
        std::optional<uint32_t> rate;
    };
    const Row rows[] = {
        // the window's list, as shown
        {"8,000", 8000}, {"12,000", 12000}, {"22,050", 22050}, {"44,100", 44100}, {"48,000", 48000},
        {"96,000", 96000}, {"192,000", 192000},
        // typed, or given by a protocol
        {"44100", 44100}, {"44100Hz", 44100}, {" 48000", 48000}, {",48,000", 48000},
        // nothing usable
        {"", std::nullopt}, {"abc", std::nullopt}, {"Hz44100", std::nullopt}, {"7,999", std::nullopt},
        {"192,001", std::nullopt}, {"0", std::nullopt}, {"99999999999999999999999", std::nullopt},
    };
    for (const Row& r : rows) EXPECT_EQ(parseSampleRate(r.text), r.rate) << r.text;
    for (const int64_t hz : {int64_t{8000}, int64_t{192000}, int64_t{7999}, int64_t{192001}, int64_t{-48000}, int64_t{1} << 40})
        EXPECT_EQ(sampleRateOf(hz), hz >= 8000 && hz <= 192000 ? std::optional<uint32_t>(static_cast<uint32_t>(hz)) : std::nullopt)
            << hz;
}

TEST(SongSettings, ArithmeticNamesAndNumbers) {
    const std::pair<const char*, std::optional<Arith>> names[] = {
        {"fix", Arith::Fix},          {"Float", Arith::Float}, {"DOUBLE", Arith::Double}, {"dOuBlE", Arith::Double},
        {"", std::nullopt},           {"int", std::nullopt},   {"floats", std::nullopt},  {"fi", std::nullopt},
        {"float ", std::nullopt},
    };
    for (const auto& [name, arith] : names) EXPECT_EQ(parseArith(name), arith) << name;
    const std::pair<int64_t, std::optional<Arith>> numbers[] = {
        {0, Arith::Fix}, {1, Arith::Float}, {2, Arith::Double}, {3, std::nullopt}, {-1, std::nullopt}, {int64_t{1} << 33, std::nullopt},
    };
    for (const auto& [n, arith] : numbers) EXPECT_EQ(arithAt(n), arith) << n;
}

}  // namespace
}  // namespace tavolin::session
