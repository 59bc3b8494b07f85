// SPDX-License-Identifier: MIT
// Record sources: the bytes of the command behind every record, and the macro call that replayed it.
#include <gtest/gtest.h>

#include <cstring>

#include "compiler/SourceMap.h"
#include "tests/compiler/MmlTestUtil.h"
#include "tests/compiler/TextGenerator.h"

namespace tavolin::test {
namespace {

std::string tabName(int tab) { return tab == -2 ? "d" : tab == -1 ? "c" : std::string(1, static_cast<char>('A' + tab)); }

// "text@tab offset" of a span, e.g. "D8@A2"; the text is what the span covers
// in the joined text, so a wrong length shows as a wrong text.
std::string spanText(const std::string& joined, TextSpan span, uint64_t commonLength, int bank) {
    if (!span.valid()) return "-";
    const TabSpan at = tabSpanOf(span, commonLength, bank);
    return joined.substr(span.begin, span.length) + "@" + tabName(at.tab) + std::to_string(at.offset);
}

// Bank A's records after the ones every list starts with, as
// "command@place" or "command@place<call@place".
std::string sourcesOfBankA(const std::string& common, const std::string& bank) {
    std::array<EventList<double>, kBankCount> lists;
    std::array<SourceSpans, kBankCount> spans;
    const std::array<std::string_view, kBankCount> banks{bank, "", "", "", ""};
    const CompileResult r = CompileBanks<double>(common, banks, -1, 0, lists, &spans);
    if (r.code != 0) return "error " + std::to_string(r.code);
    if (spans[0].size() != lists[0].size()) return "spans and records differ in number";
    const std::string joined = std::string(kInternalDefaultCode) + common + bank;
    std::string out;
    for (size_t i = kHeadRecords; i < spans[0].size(); ++i) {
        out += (out.empty() ? "" : " ") + spanText(joined, spans[0][i].command, common.size(), 0);
        if (spans[0][i].call.valid()) out += "<" + spanText(joined, spans[0][i].call, common.size(), 0);
    }
    return out;
}

struct SourceRow {
    const char* name;
    std::string common;
    std::string bank;
    std::string expected;
};

TEST(SourceMap, EveryRecordNamesTheCommandThatWroteIt) {
    const SourceRow rows[] = {
        {"notes", "", "C D8 E", "C@A0 D8@A2 E@A5"},
        {"lengths, dots and separators", "", "C4.. R8. N60:8 X440.5:8", "C4..@A0 R8.@A5 N60:8@A9 X440.5:8@A15"},
        {"commands without records, comments", "", "O5L8C&>D<E *comment* F", "C@A4 D@A7 E@A9 F@A21"},
        {"a Japanese comment counts its bytes", "", "*\x83\x68\x83\x8C*C", "C@A6"},
        {"tempo, volume, pan, tone, portamento, envelope select", "", "T150 V100 P64 @3 @S4 @E1 C",
         "T150@A0 V100@A5 P64@A10 @3@A14 @S4@A17 @E1@A21 C@A25"},
        {"definitions", "", "@ED1:2:3:4:5:6 @W1:2R10:50:25 @LT0:10:5 C",
         "@ED1:2:3:4:5:6@A0 @W1:2R10:50:25@A15 @LT0:10:5@A30 C@A40"},
        {"a lone @ writes nothing", "", "@ C", "C@A2"},
        {"loops and breaks", "", "[C:D]3 E", "[@A0 C@A1 :@A2 D@A3 ]3@A4 E@A7"},
        {"tuplet notes keep their own bytes", "", "{CD>E}F", "C@A1 D@A2 E@A4 F@A6"},
        {"common text first", "V90 C", "D", "V90@c0 C@c4 D@A0"},
        {"a command running from the common text into the bank", "T1", "20C", "T120@c0 C@A2"},
        {"macro replay names the call", "@!AC8!", "D!A", "D@A0 C8@c3<!A@A1"},
        {"macro inside a loop", "@!BEF!", "[!B]2", "[@A0 E@c3<!B@A1 F@c4<!B@A1 ]2@A3"},
        {"macro with its own loop and tuplet", "", "@!Z[{CD}]2! !Z!Z",
         "[@A3<!Z@A12 C@A5<!Z@A12 D@A6<!Z@A12 ]2@A8<!Z@A12 [@A3<!Z@A14 C@A5<!Z@A14 D@A6<!Z@A14 ]2@A8<!Z@A14"},
    };
    for (const auto& row : rows) EXPECT_EQ(sourcesOfBankA(row.common, row.bank), row.expected) << row.name;
}

// What a command letter can produce.
bool kindMatchesCommand(const MmlEvent<double>& e, char c) {
    switch (e.kind) {
    case EventKind::Note: return std::string_view("CDEFGABNXR").find(c) != std::string_view::npos;
    case EventKind::Tempo: return c == 'T';
    case EventKind::Volume: return c == 'V';
    case EventKind::Pan: return c == 'P';
    case EventKind::LoopControl: return c == "[]:"[static_cast<int>(e.loop.op)];
    case EventKind::EndMarker: return false;
    default: return c == '@';
    }
}

// Over random texts: asking for the map changes no record; every span lies
// in the text and starts with a letter that can make its record's kind;
// records not replayed by a call follow the text; calls start with "!".
TEST(SourceMap, RandomTextsMapEveryRecordToItsCommand) {
    TextGenerator gen(1107);
    int checked = 0;
    for (int n = 0; n < 4000; ++n) {
        const std::string joined = std::string(kInternalDefaultCode) + gen.text();
        const uint64_t start = gen.pick(0, 1) ? UINT64_MAX : static_cast<uint64_t>(gen.pick(0, static_cast<int>(joined.size())));
        EventList<double> plain;
        EventList<double> mapped;
        SourceSpans spans;
        uint64_t pos = 0;
        int32_t code = 0;
        const bool ok = ParseMml<double>(kMaxLevel, joined, plain, pos, code, start);
        ASSERT_EQ(ParseMml<double>(kMaxLevel, joined, mapped, pos, code, start, &spans), ok) << joined;
        if (!ok) {
            EXPECT_TRUE(spans.empty());
            continue;
        }
        ++checked;
        ASSERT_EQ(plain.size(), mapped.size()) << joined;
        EXPECT_EQ(std::memcmp(plain.data(), mapped.data(), plain.size() * sizeof plain[0]), 0) << joined;
        ASSERT_EQ(spans.size(), mapped.size()) << joined;
        int64_t lastBegin = -1;
        for (size_t i = 0; i < spans.size(); ++i) {
            const RecordSource& s = spans[i];
            if (i < static_cast<size_t>(kPrologueCount) || mapped[i].kind == EventKind::EndMarker) {
                EXPECT_FALSE(s.command.valid()) << joined << " record " << i;
                continue;
            }
            ASSERT_TRUE(s.command.valid()) << joined << " record " << i;
            ASSERT_LE(uint64_t{s.command.begin} + s.command.length, joined.size()) << joined;
            EXPECT_TRUE(kindMatchesCommand(mapped[i], joined[s.command.begin])) << joined << " record " << i;
            if (s.call.valid()) {
                EXPECT_EQ(joined[s.call.begin], '!') << joined;
                EXPECT_LT(s.command.begin, s.call.begin) << joined;
            } else {
                EXPECT_GT(int64_t{s.command.begin}, lastBegin) << joined << " record " << i;
                lastBegin = s.command.begin;
            }
        }
        if (HasFailure()) return;
    }
    EXPECT_GT(checked, 300);
}

}  // namespace
}  // namespace tavolin::test
