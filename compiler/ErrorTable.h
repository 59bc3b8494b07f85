// SPDX-License-Identifier: MIT
// Compile error codes and the messages the user sees for them.
#pragma once

#include <cstdint>
#include <string_view>

namespace tavolin {

// Error codes are 0x80000000 + n as a signed 32-bit value.
constexpr int32_t errorCode(uint32_t n) noexcept { return static_cast<int32_t>(0x80000000u + n); }

namespace err {
inline constexpr int32_t UnknownCommand = errorCode(0x00);
inline constexpr int32_t AfterSlur = errorCode(0x01);
inline constexpr int32_t BadValue = errorCode(0x02);
inline constexpr int32_t BadTempo = errorCode(0x03);
inline constexpr int32_t BadLength = errorCode(0x04);
inline constexpr int32_t EnvelopeFormat = errorCode(0x05);
inline constexpr int32_t ParamRange = errorCode(0x06);
inline constexpr int32_t SlurAtEnd = errorCode(0x07);
inline constexpr int32_t PitchTooLow = errorCode(0x08);
inline constexpr int32_t PitchTooHigh = errorCode(0x09);
inline constexpr int32_t ToneRange = errorCode(0x0A);
inline constexpr int32_t ToneDefNumber = errorCode(0x0B);
inline constexpr int32_t WaveType = errorCode(0x0C);
inline constexpr int32_t FreqNoiseRange = errorCode(0x0D);
inline constexpr int32_t LevelNoiseRange = errorCode(0x0E);
inline constexpr int32_t DutySwitchRange = errorCode(0x0F);
inline constexpr int32_t DutyRange = errorCode(0x10);
inline constexpr int32_t NoDuty = errorCode(0x11);
inline constexpr int32_t TooManyDuties = errorCode(0x12);
inline constexpr int32_t PanRange = errorCode(0x13);
inline constexpr int32_t VolumeRange = errorCode(0x14);
inline constexpr int32_t NumberExpected = errorCode(0x15);
inline constexpr int32_t InTuplet = errorCode(0x16);
inline constexpr int32_t TupletTooLong = errorCode(0x17);
inline constexpr int32_t TupletNotOpen = errorCode(0x18);
inline constexpr int32_t TupletEmpty = errorCode(0x19);
inline constexpr int32_t LoopInTuplet = errorCode(0x1B);
inline constexpr int32_t LoopNotOpen = errorCode(0x1C);
inline constexpr int32_t LoopTooDeep = errorCode(0x1D);
inline constexpr int32_t LoopCount = errorCode(0x1E);
inline constexpr int32_t LfoType = errorCode(0x1F);
inline constexpr int32_t LfoFormat = errorCode(0x20);
inline constexpr int32_t LfoTimeOrder = errorCode(0x21);
inline constexpr int32_t MacroInLoop = errorCode(0x23);
inline constexpr int32_t MacroNested = errorCode(0x24);
inline constexpr int32_t MacroEndInLoop = errorCode(0x26);
inline constexpr int32_t MacroLetter = errorCode(0x28);
inline constexpr int32_t CursorAfterLoop = errorCode(0x29);
inline constexpr int32_t LoopWithoutNote = errorCode(0x2A);
// Not in the classic table: a text whose lists (macro calls included) would
// exceed kMaxEvents records.
inline constexpr int32_t TooManyEvents = errorCode(0x2B);
}  // namespace err

// The message for a code, UTF-8. Code 0 gives "success". Every code the
// compiler can raise has a text (0x80000018 included); the four codes that
// only name conditions reported under other codes have their texts too; an
// unknown code gives an empty view.
std::string_view errorMessage(int32_t code) noexcept;

}  // namespace tavolin
