// SPDX-License-Identifier: MIT
// Shared helpers of the document tests: byte escaping and whole-document comparison.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "document/DocumentFormat.h"

namespace tavolin::document::test {

// Control and non-ASCII bytes shown as \r, \n, \t or \xNN so a difference is visible.
inline std::string escapeBytes(std::string_view bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '"' || c == '\\') { out += '\\'; out += static_cast<char>(c); }
        else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else out += static_cast<char>(c);
    }
    return out + "\"";
}

inline const char* tabName(int tab) {
    static const char* const names[kTabCount] = {"common", "A", "B", "C", "D", "E"};
    return names[tab];
}

// Passes when all six texts match; otherwise lists every tab, marking the ones that differ.
inline ::testing::AssertionResult tabsEqual(const TabTexts& actual, const TabTexts& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    for (int t = 0; t < kTabCount; ++t) {
        bool same = actual[t] == expected[t];
        failure << (same ? "   " : "!! ") << tabName(t) << ": got " << escapeBytes(actual[t]);
        if (!same) failure << " want " << escapeBytes(expected[t]);
        failure << "\n";
    }
    return failure;
}

inline ::testing::AssertionResult bytesEqual(std::string_view actual, std::string_view expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got  " << escapeBytes(actual) << "\nwant " << escapeBytes(expected);
}

}  // namespace tavolin::document::test
