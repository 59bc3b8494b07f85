// SPDX-License-Identifier: MIT
// The settings of a song as the front ends receive them (a combo's text, a
// flag, a protocol's or a page's value), turned into the builder's typed
// values: one parser per input form, one range check, one message.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "compiler/EngineNum.h"

namespace tavolin::session {

// "fix", "Float", "DOUBLE": the three names in any case.
std::optional<Arith> parseArith(std::string_view name) noexcept;
// A number for the arithmetic: 0 Fix, 1 Float, 2 Double (the window's list
// order, and the page's); anything else is none.
std::optional<Arith> arithAt(int64_t index) noexcept;

// A rate as the window's list shows it ("48,000") or as typed ("44100",
// "44100Hz"): the leading digits, commas between them skipped. nullopt when
// there are none or the rate lies outside what the engine runs at
// (output::validSampleRate); the builder refuses such a rate with
// output::kBadRateMessage.
std::optional<uint32_t> parseSampleRate(std::string_view text) noexcept;
std::optional<uint32_t> sampleRateOf(int64_t hz) noexcept;

}  // namespace tavolin::session
