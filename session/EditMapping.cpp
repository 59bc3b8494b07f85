// SPDX-License-Identifier: MIT
// Positions through edits: each edit shifts what follows it by its change in length.
#include "session/EditMapping.h"

#include <algorithm>

namespace tavolin::session {
namespace {

// A boundary between bytes (0 = before the first byte). An insertion right at
// it lands behind it; a removal that ends at or after it pulls it to the end
// of the text put in the removed bytes' place.
uint64_t mapEnd(const TextEdit& e, uint64_t end) noexcept {
    if (end <= e.position) return end;
    if (end <= e.position + e.removed) return e.position + e.inserted;
    return end - e.removed + e.inserted;
}

}  // namespace

std::optional<uint64_t> mapOffset(std::span<const TextEdit> edits, uint64_t offset) noexcept {
    for (const TextEdit& e : edits) {
        if (offset < e.position) continue;
        if (offset < e.position + e.removed) return std::nullopt;
        offset = offset - e.removed + e.inserted;
    }
    return offset;
}

std::optional<ByteSpan> mapSpan(std::span<const TextEdit> edits, ByteSpan span) noexcept {
    uint64_t begin = span.offset;
    uint64_t end = span.offset + span.length;
    for (const TextEdit& e : edits) {
        if (begin >= e.position && begin < e.position + e.removed) return std::nullopt;
        const uint64_t newBegin = begin < e.position ? begin : begin - e.removed + e.inserted;
        end = std::max(mapEnd(e, end), newBegin);
        begin = newBegin;
    }
    return ByteSpan{begin, end - begin};
}


TextEdit changeBetween(std::string_view before, std::string_view after) noexcept {
    const size_t shorter = std::min(before.size(), after.size());
    size_t head = 0;
    while (head < shorter && before[head] == after[head]) ++head;
    size_t tail = 0;
    while (tail < shorter - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) ++tail;
    return {head, before.size() - head - tail, after.size() - head - tail};
}

}  // namespace tavolin::session
