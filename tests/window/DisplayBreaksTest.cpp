// SPDX-License-Identifier: MIT
// Display-only line breaks: positions mapped between the view's document and the text, and kept through edits.
#include <gtest/gtest.h>

#include <vector>

#include "window/DisplayBreaks.h"

namespace tavolin::window {
namespace {

DisplayBreaks breaksAt(std::initializer_list<int> positions) {
    DisplayBreaks b;
    for (int p : positions) b.add(p);
    return b;
}

struct MapRow {
    const char* name;
    std::vector<int> breaks;
    std::vector<int> textOfDocument;  // toText(d) for d = 0, 1, ...
    std::vector<int> documentOfText;  // toDocument(t) for t = 0, 1, ...
};

TEST(DisplayBreaks, PositionsMapBothWays) {
    const MapRow rows[] = {
        // "ABC|DEF|GH": after a break is the same text position as before it.
        {"two breaks", {3, 7}, {0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8}, {0, 1, 2, 3, 5, 6, 7, 9, 10}},
        // "AB||CD": an empty display line between two breaks.
        {"empty display line", {2, 3}, {0, 1, 2, 2, 2, 3, 4}, {0, 1, 2, 5, 6}},
        {"break first", {0}, {0, 0, 1, 2}, {0, 2, 3}},
        {"none", {}, {0, 1, 2}, {0, 1, 2}},
    };
    for (const MapRow& row : rows) {
        SCOPED_TRACE(row.name);
        DisplayBreaks b;
        for (int p : row.breaks) b.add(p);
        std::vector<int> text, document;
        for (size_t d = 0; d < row.textOfDocument.size(); ++d) text.push_back(b.toText(static_cast<int>(d)));
        for (size_t t = 0; t < row.documentOfText.size(); ++t) document.push_back(b.toDocument(static_cast<int>(t)));
        EXPECT_EQ(text, row.textOfDocument);
        EXPECT_EQ(document, row.documentOfText);
        for (int t : document) EXPECT_FALSE(b.isBreak(t - 1) && b.isBreak(t)) << "inside a run of breaks: " << t;
    }
}

struct EditRow {
    const char* name;
    int pos, removed, added;
    std::vector<int> breaks;  // after the edit, from breaks at 3 and 7
};

TEST(DisplayBreaks, EditsDropAndMoveBreaks) {
    const EditRow rows[] = {
        {"insert before both", 1, 0, 2, {5, 9}},
        {"remove a stretch holding a break", 2, 3, 0, {4}},
        {"remove up to a break, not it", 1, 2, 0, {1, 5}},
        {"replace a break by text", 3, 1, 1, {7}},
        {"change after both", 8, 1, 1, {3, 7}},
        {"remove everything", 0, 10, 0, {}},
    };
    for (const EditRow& row : rows) {
        SCOPED_TRACE(row.name);
        DisplayBreaks b = breaksAt({3, 7});
        b.replace(row.pos, row.removed, row.added);
        EXPECT_EQ(b.breaks(), row.breaks);
    }
    DisplayBreaks b = breaksAt({3, 7});
    EXPECT_EQ(b.countIn(0, 4), 1);
    EXPECT_EQ(b.countIn(3, 3), 0);
    EXPECT_EQ(b.countIn(3, 8), 2);
    EXPECT_FALSE(b.add(3));
    EXPECT_TRUE(b.add(5));
    EXPECT_EQ(b.breaks(), (std::vector<int>{3, 5, 7}));
}

}  // namespace
}  // namespace tavolin::window
