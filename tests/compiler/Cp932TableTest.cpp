// The table conversion (the WebAssembly build's) against glibc's iconv: every single byte, every
// lead byte with every following byte, every BMP code point, and malformed UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "compiler/Cp932.h"
#include "compiler/Cp932Table.h"

namespace tavolin {
namespace {

std::string utf8Of(char32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | cp >> 6);
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | cp >> 12);
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

TEST(Cp932Table, DecodesEveryByteSequenceAsIconv) {
    int differences = 0;
    auto same = [&](const std::string& bytes) {
        const std::string want = cp932ToUtf8(bytes), got = cp932ToUtf8ByTable(bytes);
        if (want != got && ++differences <= 10) ADD_FAILURE() << "bytes " << testing::PrintToString(bytes) << ": iconv "
                                                               << testing::PrintToString(want) << ", table " << testing::PrintToString(got);
    };
    for (int a = 0; a < 256; ++a) {
        same(std::string(1, static_cast<char>(a)));
        for (int b = 0; b < 256; ++b) same({static_cast<char>(a), static_cast<char>(b)});
    }
    // A lead byte cut short at the end, and bad sequences between good ones.
    same("A\x82");
    same("\x82\xa0\x82\x20\x82\xa0\x85\x40\xff\xa0");
    EXPECT_EQ(differences, 0);
}

TEST(Cp932Table, EncodesEveryCodePointAsIconv) {
    int differences = 0;
    auto same = [&](const std::string& utf8) {
        const auto want = utf8ToCp932(utf8), got = utf8ToCp932ByTable(utf8);
        if (want != got && ++differences <= 10)
            ADD_FAILURE() << "UTF-8 " << testing::PrintToString(utf8) << ": iconv " << testing::PrintToString(want)
                          << ", table " << testing::PrintToString(got);
    };
    for (char32_t cp = 0; cp <= 0xFFFF; ++cp)
        if (cp < 0xD800 || cp > 0xDFFF) same(utf8Of(cp));
    // Malformed or beyond CP932: overlong, surrogate, cut short, stray continuation, outside the BMP.
    for (const char* bad : {"\xc0\xaf", "\xed\xa0\x80", "\xe3\x81", "\x80", "\xf0\x9f\x98\x80", "A\xe3\x81\x82\xff"}) same(bad);
    same("C D\r\n*\xe3\x81\x82*");
    EXPECT_EQ(differences, 0);
}

}  // namespace
}  // namespace tavolin
