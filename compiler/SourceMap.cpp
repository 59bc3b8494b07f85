// SPDX-License-Identifier: MIT
// Placing joined-text spans in the tab the user wrote them in.
#include "compiler/SourceMap.h"

#include "compiler/ParseMml.h"

namespace tavolin {

TabSpan tabSpanOf(TextSpan span, uint64_t commonLength, int bank) noexcept {
    const uint64_t prefix = kInternalDefaultCode.size();
    const uint64_t begin = span.begin;
    if (begin < prefix) return {-2, begin, span.length};
    if (begin - prefix < commonLength) return {-1, begin - prefix, span.length};
    return {bank, begin - prefix - commonLength, span.length};
}

uint64_t joinedOffsetOf(int tab, uint64_t offset, uint64_t commonLength) noexcept {
    const uint64_t prefix = kInternalDefaultCode.size();
    if (tab == -2) return offset;
    if (tab == -1) return prefix + offset;
    return prefix + commonLength + offset;
}

}  // namespace tavolin
