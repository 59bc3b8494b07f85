// SPDX-License-Identifier: MIT
// Clipboard import steps. The searches for "T" and "V" step over double-byte
// characters, so Japanese comments (サ, シ, ...) pass through an import intact.
#include "music/ImportSteps.h"

#include <algorithm>
#include <limits>

namespace tavolin::music {
namespace {

constexpr bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

std::size_t digitsEnd(std::string_view text, std::size_t pos) noexcept {
    while (pos < text.size() && isDigit(text[pos])) ++pos;
    return pos;
}

// Saturating read of a run of digits; values beyond `cap` read as `cap`.
uint64_t readDigits(std::string_view digits, uint64_t cap) noexcept {
    uint64_t v = 0;
    for (char c : digits) {
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v >= cap) return cap;
    }
    return v;
}

// A volume beyond this reads as this: with any source maximum up to INT32_MAX
// and a target of at least 1, such a value already lands on the 255 limit, so
// saturating here never changes a result, and v * target stays far inside 64 bits.
constexpr uint64_t kVolumeReadCap = 1'000'000'000'000ULL;
static_assert(kVolumeReadCap / std::numeric_limits<int32_t>::max() > kTargetMaxVolume);

}  // namespace

std::string takeLeadingTempo(std::string& text) {
    if (text.empty() || text[0] != 'T') return {};
    std::size_t end = digitsEnd(text, 1);
    std::string tempo = text.substr(0, end);
    text.erase(0, end);
    return tempo;
}

std::string removeTempoCommands(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = document::cp932CharLength(text, i);
        if (len == 1 && text[i] == 'T') {
            i = digitsEnd(text, i + 1);
            continue;
        }
        out.append(text.substr(i, len));
        i += len;
    }
    return out;
}

int32_t readLeadingInt(std::string_view text) noexcept {
    std::size_t end = digitsEnd(text, 0);
    return static_cast<int32_t>(
        readDigits(text.substr(0, end), static_cast<uint64_t>(std::numeric_limits<int32_t>::max())));
}

int32_t volumeTarget(bool divideByBanks, int usedBanks) noexcept {
    if (divideByBanks && usedBanks > 0) return kTargetMaxVolume / usedBanks;
    return kTargetMaxVolume;
}

int64_t rescaleVolume(uint64_t value, int32_t target, int32_t sourceMax) noexcept {
    uint64_t v = std::min(value, kVolumeReadCap);
    int64_t n = static_cast<int64_t>(v) * target / sourceMax;
    return std::min<int64_t>(n, kTargetMaxVolume);
}

std::string rescaleVolumes(std::string_view text, int32_t target, int32_t sourceMax) {
    if (sourceMax <= 0) return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = document::cp932CharLength(text, i);
        out.append(text.substr(i, len));
        if (len == 1 && text[i] == 'V') {
            std::size_t end = digitsEnd(text, i + 1);
            uint64_t v = readDigits(text.substr(i + 1, end - i - 1), kVolumeReadCap);
            out += std::to_string(rescaleVolume(v, target, sourceMax));
            i = end;
            continue;
        }
        i += len;
    }
    return out;
}

namespace {

bool holdsCommands(std::string_view text) {
    bool inComment = false;
    for (char c : text) {
        if (inComment) {
            if (c == '*') inComment = false;
        } else if (c == '*') {
            inComment = true;
        } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<std::string> externalMmlRecord(const document::TabTexts& tabs) {
    std::string out = "MML@";
    for (int bank = 1; bank < document::kTabCount; ++bank) {
        if (bank > 1) out += ',';
        if (!holdsCommands(tabs[bank])) continue;
        // A tag inside a part (even one formed where the common text meets the
        // bank) would make readers cut the record in the wrong place.
        std::string part = tabs[0] + tabs[bank];
        if (document::findCp932(part, ",") != std::string::npos || document::findCp932(part, ";") != std::string::npos ||
            document::findCp932(part, "MML@") != std::string::npos)
            return std::nullopt;
        out += part;
    }
    out += ';';
    return out;
}

document::TabTexts parseImportText(std::string_view text, const ImportOptions& options) {
    document::DocumentRecord record = document::readDocumentRecord(text);
    document::TabTexts tabs;
    tabs[0] = std::move(record.common);
    if (options.importMode && !record.hasCommon) tabs[0] = takeLeadingTempo(record.banks);
    int usedBanks = 0;
    const auto parts = document::splitBankTexts(record.banks);
    for (size_t bank = 1; bank < tabs.size(); ++bank) {
        const std::string_view part = parts[bank - 1];
        tabs[bank] = (options.importMode && options.removeBankTempo) ? removeTempoCommands(part) : std::string(part);
        if (!tabs[bank].empty()) ++usedBanks;
    }
    if (options.rescale) rescaleDocumentVolumes(tabs, usedBanks, options);
    return tabs;
}

void rescaleDocumentVolumes(document::TabTexts& tabs, int usedBanks, const ImportOptions& options) {
    int32_t sourceMax = readLeadingInt(options.sourceMaxText);
    int32_t target = volumeTarget(options.divideByBanks, usedBanks);
    for (int bank = 1; bank < document::kTabCount; ++bank) tabs[bank] = rescaleVolumes(tabs[bank], target, sourceMax);
    tabs[0] = rescaleVolumes(tabs[0], target, sourceMax);
}

}  // namespace tavolin::music
