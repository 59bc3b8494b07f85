// SPDX-License-Identifier: MIT
// The clipboard import's text steps: leading tempo, tempo removal, volume rescaling.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "document/DocumentFormat.h"

namespace tavolin::music {

// Volumes of this engine go up to 255.
inline constexpr int32_t kTargetMaxVolume = 255;

// The window's import controls, as the steps read them.
struct ImportOptions {
    bool rescale = false;          // rescale V commands (source max, used banks)
    bool importMode = false;       // leading tempo to common, optional tempo removal
    bool removeBankTempo = true;   // check box 1034
    std::string sourceMaxText = "15"; // text of field 1035, read with leading digits
    bool divideByBanks = true;     // check box 1036
};

// The document reader's record (DocumentFormat.h) with the import's steps:
// with importMode a leading tempo goes to the common text when the record
// has none, and (removeBankTempo) the banks lose their tempo commands; with
// rescale the volumes are rescaled. Without either, parseDocumentText.
document::TabTexts parseImportText(std::string_view text, const ImportOptions& options);

// A "T" at the very start of `text` and the digits right after it; cut from
// `text` and returned. Empty (and `text` untouched) without a leading "T".
std::string takeLeadingTempo(std::string& text);

// Cuts every "T" (outside double-byte characters) and the digits right after it.
std::string removeTempoCommands(std::string_view text);

// Leading decimal digits of a field's text as an integer, 0 without digits.
// Saturates at INT32_MAX instead of wrapping.
int32_t readLeadingInt(std::string_view text) noexcept;

// 255, or 255 / usedBanks when dividing and at least one bank is used.
int32_t volumeTarget(bool divideByBanks, int usedBanks) noexcept;

// v * target / source truncated, limited to 255. `sourceMax` must be > 0.
int64_t rescaleVolume(uint64_t value, int32_t target, int32_t sourceMax) noexcept;

// Rewrites the digits after every "V" (outside double-byte characters) with the
// rescaled value; a "V" without digits gains one. A source maximum of 0 (or
// less) leaves the text as it is.
std::string rescaleVolumes(std::string_view text, int32_t target, int32_t sourceMax);

// The import steps that follow the split: tempo removal is already done per
// bank; this rescales banks A..E and then the common text.
void rescaleDocumentVolumes(document::TabTexts& tabs, int usedBanks, const ImportOptions& options);

// The way back to the tools the import comes from: banks A..E as one
// "MML@a,b,c,d,e;" record, the common text in front of each bank that holds
// anything besides blanks and *comments* (an empty bank stays an empty part).
// nullopt when a part holds a "," or ";" or "MML@", which the record cannot
// carry (in a document read from a file only the common text can hold a ",").
std::optional<std::string> externalMmlRecord(const document::TabTexts& tabs);

}  // namespace tavolin::music
