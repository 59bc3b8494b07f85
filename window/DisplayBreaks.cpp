// SPDX-License-Identifier: MIT
// Positions of display-only line breaks and the mapping between view and text positions.
#include "window/DisplayBreaks.h"

#include <algorithm>

namespace tavolin::window {

int DisplayBreaks::toText(int doc) const {
    const auto before = std::lower_bound(m_breaks.begin(), m_breaks.end(), doc);
    return doc - static_cast<int>(before - m_breaks.begin());
}

int DisplayBreaks::toDocument(int text) const {
    // Break i sits at text position m_breaks[i] - i, ascending in i; the breaks
    // that lie before text position `text` push it on by one each.
    size_t lo = 0;
    size_t hi = m_breaks.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (m_breaks[mid] - static_cast<int>(mid) < text) lo = mid + 1;
        else hi = mid;
    }
    return text + static_cast<int>(lo);
}

int DisplayBreaks::countIn(int from, int to) const {
    if (to <= from) return 0;
    const auto first = std::lower_bound(m_breaks.begin(), m_breaks.end(), from);
    const auto last = std::lower_bound(first, m_breaks.end(), to);
    return static_cast<int>(last - first);
}

bool DisplayBreaks::isBreak(int doc) const { return std::binary_search(m_breaks.begin(), m_breaks.end(), doc); }

void DisplayBreaks::replace(int pos, int removed, int added) {
    const auto first = std::lower_bound(m_breaks.begin(), m_breaks.end(), pos);
    const auto last = std::lower_bound(first, m_breaks.end(), pos + std::max(0, removed));
    const auto rest = m_breaks.erase(first, last);
    for (auto it = rest; it != m_breaks.end(); ++it) *it += added - removed;
}

bool DisplayBreaks::add(int doc) {
    const auto at = std::lower_bound(m_breaks.begin(), m_breaks.end(), doc);
    if (at != m_breaks.end() && *at == doc) return false;
    m_breaks.insert(at, doc);
    return true;
}

}  // namespace tavolin::window
