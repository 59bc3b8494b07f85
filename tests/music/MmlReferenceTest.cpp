// SPDX-License-Identifier: MIT
// The MML reference against the compiler: it names every command the parser
// reads and no other, and every example compiles and sounds in all three
// arithmetic types.
#include <algorithm>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "compiler/ErrorTable.h"
#include "compiler/ParseMml.h"
#include "music/MmlReference.h"
#include "tests/output/OutputTestSupport.h"

namespace tavolin::testing {
namespace {

// What the parser makes of a bank's text: success or the error's code, and
// the kinds of the records.
std::string parsed(const std::string& text, uint64_t* errorAt = nullptr) {
    EventList<double> out;
    uint64_t position = 0;
    int32_t code = 0;
    std::string s = ParseMml<double>(32, text, out, position, code, UINT64_MAX) ? "ok" : std::to_string(code);
    for (const auto& e : out) s += " " + std::to_string(static_cast<int>(e.kind));
    if (errorAt) *errorAt = position;
    return s;
}

// The heads the parser reads: a byte that does not fail as an unknown command
// where it stands (after an octave and a space), and a letter after @ that
// changes what the text means (@ before any other letter is passed over).
std::set<std::string> parserHeads() {
    std::set<std::string> heads;
    uint64_t unknownAt = 0;
    const std::string unknown = parsed("O4 Y", &unknownAt);
    for (int c = 0x21; c < 0x7F; ++c) {
        uint64_t at = 0;
        if (parsed("O4 " + std::string(1, static_cast<char>(c)), &at) != unknown || at != unknownAt)
            heads.insert(std::string(1, static_cast<char>(c)));
    }
    for (char c : std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ!")) {
        const std::string rest = std::string(1, c) + "AC";
        if (parsed("@" + rest) != parsed(rest)) heads.insert("@" + std::string(1, c));
    }
    return heads;
}

TEST(MmlReference, NamesEveryCommandOfTheParserAndNoOther) {
    std::set<std::string> named;
    for (const auto& e : music::mmlReference()) {
        std::istringstream in(e.heads);
        for (std::string h; in >> h;) named.insert(h.size() > 2 && h[0] == '@' ? h.substr(0, 2) : h);
    }
    EXPECT_EQ(named, parserHeads());
    EXPECT_GE(music::mmlReference().size(), 26u);
}

TEST(MmlReference, EveryExampleCompilesAndSoundsInEveryArithmetic) {
    for (const auto& e : music::mmlReference()) {
        for (int arith : {0, 1, 2}) {
            const auto song = buildOrFail(songInputs("", {e.example}, arith));
            ASSERT_NE(song, nullptr) << e.heads << ": " << e.example;
            const std::vector<int16_t> samples = renderToEnd(*song, 48000ull * 30);
            EXPECT_GT(samples.size(), 4800u) << e.heads << " (arith " << arith << ")";
            EXPECT_TRUE(std::any_of(samples.begin(), samples.end(), [](int16_t v) { return v != 0; }))
                << e.heads << " (arith " << arith << ") is silent";
        }
    }
}

TEST(MmlReference, GroupsStayTogetherAndEveryEntryIsFilled) {
    std::set<std::string> closed;
    std::string group;
    for (const auto& e : music::mmlReference()) {
        for (const char* field : {e.group, e.heads, e.syntax, e.what, e.example}) EXPECT_STRNE(field, "") << e.heads;
        if (e.group != group) {
            EXPECT_TRUE(closed.insert(group).second) << e.group << " comes back after another group";
            group = e.group;
        }
    }
    const std::string page = music::mmlReferenceMarkdown();
    for (const auto& e : music::mmlReference()) EXPECT_NE(page.find(e.example), std::string::npos) << e.heads;
}

}  // namespace
}  // namespace tavolin::testing
