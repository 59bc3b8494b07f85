// SPDX-License-Identifier: MIT
// The compile half of a song build: five banks from one common text, errors located per text.
#include "compiler/ParseMml.h"

#include <limits>
#include <string>

namespace tavolin {

ErrorLocation locateError(uint64_t joinedPosition, uint64_t commonLength, int64_t bank) noexcept {
    const uint64_t prefix = kInternalDefaultCode.size();
    if (joinedPosition <= prefix) return {-2, joinedPosition};
    if (joinedPosition - prefix <= commonLength) return {-1, joinedPosition - prefix};
    return {bank, joinedPosition - prefix - commonLength};
}

template <EngineNumType T>
CompileResult CompileBanks(std::string_view common, const std::array<std::string_view, kBankCount>& banks,
                           int64_t cursorBank, uint64_t cursorOffset, std::array<EventList<T>, kBankCount>& lists,
                           std::array<SourceSpans, kBankCount>* spans) {
    CompileResult result;
    for (auto& l : lists) l.clear();
    if (spans)
        for (auto& s : *spans) s.clear();
    const uint64_t bankStart = kInternalDefaultCode.size() + common.size();
    std::string joined;
    for (int u = 0; u < kBankCount; ++u) {
        const std::string_view own = banks[static_cast<size_t>(u)];
        joined.clear();
        joined.reserve(bankStart + own.size());
        joined.append(kInternalDefaultCode).append(common).append(own);

        // Kept below UINT64_MAX, which ParseMml reads as "already passed".
        uint64_t start = 0;
        if (u == cursorBank) {
            start = cursorOffset > std::numeric_limits<uint64_t>::max() - 1 - bankStart
                        ? std::numeric_limits<uint64_t>::max() - 1
                        : cursorOffset + bankStart;
        }
        EventList<T> list;
        SourceSpans bankSpans;
        uint64_t errorPosition = 0;
        int32_t code = 0;
        if (!ParseMml<T>(kMaxLevel, joined, list, errorPosition, code, start, spans ? &bankSpans : nullptr)) {
            const ErrorLocation at = locateError(errorPosition, common.size(), u);
            result.code = code;
            result.bank = at.bank;
            result.position = at.position;
            for (auto& l : lists) l.clear();
            if (spans)
                for (auto& s : *spans) s.clear();
            return result;
        }
        bool hasNote = false;
        for (const auto& e : list) {
            if (e.kind == EventKind::Note) {
                hasNote = true;
                break;
            }
        }
        if (!hasNote) continue;
        lists[static_cast<size_t>(u)] = std::move(list);
        if (spans) (*spans)[static_cast<size_t>(u)] = std::move(bankSpans);
    }
    return result;
}

template CompileResult CompileBanks<Fix>(std::string_view, const std::array<std::string_view, kBankCount>&, int64_t, uint64_t, std::array<EventList<Fix>, kBankCount>&, std::array<SourceSpans, kBankCount>*);
template CompileResult CompileBanks<float>(std::string_view, const std::array<std::string_view, kBankCount>&, int64_t, uint64_t, std::array<EventList<float>, kBankCount>&, std::array<SourceSpans, kBankCount>*);
template CompileResult CompileBanks<double>(std::string_view, const std::array<std::string_view, kBankCount>&, int64_t, uint64_t, std::array<EventList<double>, kBankCount>&, std::array<SourceSpans, kBankCount>*);

}  // namespace tavolin
