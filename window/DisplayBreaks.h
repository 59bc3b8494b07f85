// SPDX-License-Identifier: MIT
// Where a view breaks very long lines for display only, and how its positions map to the text's.
#pragma once

#include <cstddef>
#include <vector>

namespace tavolin::window {

// A view may show a very long line as several display lines, each ended by a
// break that is not part of the text (laying out a megabyte in one piece costs
// a second per keystroke). This keeps those breaks, as positions in the view's
// document (the text plus one separator per break), and maps positions between
// the two. Positions count the view's units (UTF-16 code units for Qt).
//
//   text      A B C D E F
//   document  A B C | D E F      break at 3: document 4 is text 3
class DisplayBreaks {
public:
    // Document positions of the breaks, ascending.
    const std::vector<int>& breaks() const noexcept { return m_breaks; }
    bool empty() const noexcept { return m_breaks.empty(); }
    void clear() noexcept { m_breaks.clear(); }

    // The text position of document position `doc`. A position just after a
    // break is the same text position as the one just before it.
    int toText(int doc) const;
    // The document position of text position `text`; at a break, the end of
    // the display line before it.
    int toDocument(int text) const;
    // Breaks among the document positions [from, to).
    int countIn(int from, int to) const;
    bool isBreak(int doc) const;

    // The document's [pos, pos + removed) became `added` units: breaks in the
    // removed stretch go, those after it move. The caller adds the breaks the
    // new units hold with `add`.
    void replace(int pos, int removed, int added);
    // A break at document position `doc`, which must lie in no stretch that
    // already holds one (true when it was new).
    bool add(int doc);

private:
    std::vector<int> m_breaks;
};

}  // namespace tavolin::window
