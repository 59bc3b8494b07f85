// SPDX-License-Identifier: MIT
// Find in the current tab: next and previous, around the end, letters in either case.
#include <gtest/gtest.h>

#include "window/TextFind.h"

namespace tavolin::window {
namespace {

TEST(TextFind, NextAndPreviousGoAroundTheEnd) {
    struct Row {
        const char* name;
        std::u16string text, needle;
        size_t start, end;
        bool backward;
        std::optional<FoundRange> found;
    };
    const std::u16string text = u"CDE CDE\nCD";
    const Row rows[] = {
        {"from the start", text, u"CD", 0, 0, false, FoundRange{0, 2}},
        {"a found text is passed", text, u"CD", 0, 2, false, FoundRange{4, 6}},
        {"on to the next line", text, u"cd", 4, 6, false, FoundRange{8, 10}},
        {"around the end", text, u"CD", 8, 10, false, FoundRange{0, 2}},
        {"caret at the very end", text, u"DE", 10, 10, false, FoundRange{1, 3}},
        {"previous", text, u"CD", 8, 10, true, FoundRange{4, 6}},
        {"previous around the start", text, u"CD", 0, 2, true, FoundRange{8, 10}},
        {"previous from the end", text, u"E", 10, 10, true, FoundRange{6, 7}},
        {"a Japanese text", u"*ドレミ*C", u"レミ", 0, 0, false, FoundRange{2, 4}},
        {"the only place, from itself", text, u"E\nC", 6, 9, false, FoundRange{6, 9}},
        {"not there", text, u"X", 0, 0, false, std::nullopt},
        {"an empty needle", text, u"", 0, 0, false, std::nullopt},
        {"longer than the text", u"CD", u"CDE", 0, 0, true, std::nullopt},
    };
    for (const Row& r : rows) {
        const auto found = findText(r.text, r.needle, r.start, r.end, r.backward);
        EXPECT_EQ(found, r.found) << r.name << ": " << (found ? std::to_string(found->start) + "," + std::to_string(found->end) : "none");
    }
}

}  // namespace
}  // namespace tavolin::window
