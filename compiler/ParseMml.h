// SPDX-License-Identifier: MIT
// The MML parser entry point and the per-song compile outcome.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "compiler/MmlEvent.h"
#include "compiler/SourceMap.h"

namespace tavolin {

// Every bank's text is compiled behind this code, which the system prepends
// itself: tempo 120, octave 4, quarter notes, volume 128, tone 0, portamento
// 1/4, envelope 0 and centre pan.
inline constexpr std::string_view kInternalDefaultCode = "T120O4L4V128@0@S4@ED0:15:15:30:255:200P128";
static_assert(kInternalDefaultCode.size() == 42);

inline constexpr int kBankCount = 5;
inline constexpr int kNoteCount = 96;     // octaves 0..7, twelve notes each
inline constexpr int kPrologueCount = 9;  // records ParseMml writes before the text
inline constexpr int kMacroCount = 26;    // A..Z
inline constexpr int kMaxTupletNotes = 32;
// Records one ParseMml call may hold in all its lists together (bank list and
// macros). Macro calls can double a list per call, so without a ceiling a
// short text could ask for unbounded memory, and indices are only 32 bits.
// Past it the compile fails with err::TooManyEvents.
inline constexpr size_t kMaxEvents = size_t{1} << 20;
// Numbers in the text are read whole, however long; values above this read
// as this (no conversion can overflow).
inline constexpr int64_t kMaxTextNumber = 2147483647;

// Outcome of compiling one song.
struct CompileResult {
    int32_t code = 0;      // 0 = success, else 0x80000000 + n
    int64_t bank = 0;      // -3 refused, -2 internal code, -1 common text, 0..4 bank A..E
    uint64_t position = 0; // bytes of that text consumed at the error (1-based char number)
};

// Compiles one bank's joined text. The text ends at its end or at its first
// NUL byte, whichever comes first. On success `out` is replaced by the
// compiled list; on failure `code` and `errorPosition` (bytes consumed) are
// written and `out` is left as it was. `startPosition` is the byte offset
// where playback from the cursor starts: the record produced by the command
// holding that byte gets startMarker 1, and an endless loop that no break
// leaves is an error when its end (or a macro call that plays it) lies
// wholly before that byte, since playback would never get past it;
// an offset at or past the end of the text appends an EndMarker instead.
// UINT64_MAX means "already passed": no marker at all.
// `spans`, when given, receives the source of every record of `out` (same
// length, same order) on success and is emptied on failure; a compile that
// does not ask for it does no work for it.
template <EngineNumType T>
bool ParseMml(int32_t maxLevel, std::string_view text, EventList<T>& out,
              uint64_t& errorPosition, int32_t& code, uint64_t startPosition, SourceSpans* spans = nullptr);

extern template bool ParseMml<Fix>(int32_t, std::string_view, EventList<Fix>&, uint64_t&, int32_t&, uint64_t, SourceSpans*);
extern template bool ParseMml<float>(int32_t, std::string_view, EventList<float>&, uint64_t&, int32_t&, uint64_t, SourceSpans*);
extern template bool ParseMml<double>(int32_t, std::string_view, EventList<double>&, uint64_t&, int32_t&, uint64_t, SourceSpans*);

// The compile half of a song build: joins internal code + common + bank text
// for each bank A..E, parses it with that bank's start position (cursorOffset
// plus the bank start for the bank named by cursorBank, else 0) and maps the
// error position to bank/position. A bank whose list holds no Note (a rest
// counts) gets an empty list. Stops at the first failing bank; on failure
// every list is empty. A cursor offset so large that the sum would wrap is
// treated as "beyond the text" (the bank ends with an EndMarker).
// `spans`, when given, receives each list's record sources (joined-text
// spans; place them with tabSpanOf and the common text's length).
template <EngineNumType T>
CompileResult CompileBanks(std::string_view common, const std::array<std::string_view, kBankCount>& banks,
                           int64_t cursorBank, uint64_t cursorOffset,
                           std::array<EventList<T>, kBankCount>& lists,
                           std::array<SourceSpans, kBankCount>* spans = nullptr);

extern template CompileResult CompileBanks<Fix>(std::string_view, const std::array<std::string_view, kBankCount>&, int64_t, uint64_t, std::array<EventList<Fix>, kBankCount>&, std::array<SourceSpans, kBankCount>*);
extern template CompileResult CompileBanks<float>(std::string_view, const std::array<std::string_view, kBankCount>&, int64_t, uint64_t, std::array<EventList<float>, kBankCount>&, std::array<SourceSpans, kBankCount>*);
extern template CompileResult CompileBanks<double>(std::string_view, const std::array<std::string_view, kBankCount>&, int64_t, uint64_t, std::array<EventList<double>, kBankCount>&, std::array<SourceSpans, kBankCount>*);

// Where an error position of a joined text lies: -2 internal default code,
// -1 common text, else `bank`; position counted from the start of that text.
struct ErrorLocation {
    int64_t bank;
    uint64_t position;
};
ErrorLocation locateError(uint64_t joinedPosition, uint64_t commonLength, int64_t bank) noexcept;

// 96 equal-tempered frequencies, octave*12+semitone, A4 (57) = 440 Hz.
// Out-of-range indices give 0.
template <EngineNumType T>
T noteFrequency(int index) noexcept;
extern template Fix noteFrequency<Fix>(int) noexcept;
extern template float noteFrequency<float>(int) noexcept;
extern template double noteFrequency<double>(int) noexcept;

// The 32 tone slots every bank starts from, as ToneDef payloads (tone = slot).
const std::array<ToneDefPayload, kToneSlots>& defaultToneTable() noexcept;

}  // namespace tavolin
