// SPDX-License-Identifier: MIT
// CompileBanks: joined texts, error location per text, empty banks, cursor bank.
#include <string>

#include "tests/compiler/MmlTestUtil.h"

namespace tavolin::test {
namespace {

template <typename T>
class CompileBanksTest : public ::testing::Test {};
TYPED_TEST_SUITE(CompileBanksTest, ArithTypes);

struct SongRow {
    const char* name;
    std::string common;
    std::array<std::string, kBankCount> banks;
    int64_t cursorBank;
    uint64_t cursorOffset;
    uint32_t code; // 0 = success, else low bits of 0x80000000 + n
    int64_t bank;
    uint64_t position;
};

const SongRow kErrorSongs[] = {
    {"unknown command first in bank A", "", {"c"}, -1, 0, 0x00, 0, 1},
    {"unknown command first in the common text", "c", {"C"}, -1, 0, 0x00, -1, 1},
    {"common 5 continues the default code's pan", "5", {"C"}, -1, 0, 0x13, -1, 1},
    {"error on the common text's last byte stays in the common text", "V300", {"C"}, -1, 0, 0x14, -1, 4},
    {"a command split over common and bank text fails in the bank", "V2", {"", "", "56"}, -1, 0, 0x14, 2, 2},
    {"the first failing bank is reported", "", {"C", "V300", "C", "c", ""}, -1, 0, 0x14, 1, 4},
    {"endless loop in the common text before the cursor bank's start", "[C]", {"C"}, 0, 0, 0x29, -1, 3},
    {"endless loop before the cursor in its own bank", "", {"", "C [D] E"}, 1, 10, 0x29, 1, 5},
    {"endless loop recorded in the common text, played before the cursor", "@!A[C]!", {"!A D"}, 0, 3, 0x29, 0, 2},
    {"loop count 0 in a bank without the cursor", "", {"C", "", "[C]0"}, 0, 0, 0x1E, 2, 4},
    {"loop end without start", "", {"]"}, -1, 0, 0x1C, 0, 1},
    {"loop without a note", "", {"", "", "", "", "[V100]"}, -1, 0, 0x2A, 4, 6},
};

template <EngineNumType T>
CompileResult compile(const SongRow& row, std::array<EventList<T>, kBankCount>& lists) {
    std::array<std::string_view, kBankCount> banks;
    for (size_t i = 0; i < banks.size(); ++i) banks[i] = row.banks[i];
    return CompileBanks<T>(row.common, banks, row.cursorBank, row.cursorOffset, lists);
}

TYPED_TEST(CompileBanksTest, ErrorsAreLocatedInTheirText) {
    for (const auto& row : kErrorSongs) {
        std::array<EventList<TypeParam>, kBankCount> lists;
        lists[3].push_back(MmlEvent<TypeParam>::makeInt(EventKind::Tempo, 1)); // stale content is dropped
        const CompileResult r = compile<TypeParam>(row, lists);
        EXPECT_EQ(hexCode(r.code) + " bank " + std::to_string(r.bank) + " pos " + std::to_string(r.position),
                  hexCode(errorCode(row.code)) + " bank " + std::to_string(row.bank) + " pos " + std::to_string(row.position))
            << row.name;
        for (const auto& l : lists) EXPECT_TRUE(l.empty()) << row.name;
    }
}

// A counted loop in the common text plays through before any cursor, with or
// without a cursor bank.
TYPED_TEST(CompileBanksTest, CommonCountedLoopCompilesWithAnyCursorBank) {
    for (int64_t cursorBank : {-1, 0, 3}) {
        SongRow row{"", "[C]2", {""}, cursorBank, 0, 0, 0, 0};
        std::array<EventList<TypeParam>, kBankCount> lists;
        const CompileResult r = compile<TypeParam>(row, lists);
        EXPECT_EQ(r.code, 0) << cursorBank;
        for (int b = 0; b < kBankCount; ++b) {
            // the cursor lies at the end of the cursor bank's (empty) text
            const std::string end = b == cursorBank ? " END*" : "";
            EXPECT_EQ(describeList(lists[static_cast<size_t>(b)]), "[c2p2l0 N261.626/64/g64 ]c2p0l0" + end) << cursorBank;
        }
    }
}

TYPED_TEST(CompileBanksTest, SplitCommandAndSilentBanks) {
    // T1 + 20C is tempo 120 and a note; banks B..E hold no note and stay empty.
    SongRow row{"", "T1", {"20C", "V100", "T90", "", "@3"}, -1, 0, 0, 0, 0};
    std::array<EventList<TypeParam>, kBankCount> lists;
    const CompileResult r = compile<TypeParam>(row, lists);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(describeList(lists[0]), "T120 N261.626/64/g64");
    EXPECT_EQ(lists[0][9].startMarker, 1); // no cursor: the first command of the default code
    for (int b = 1; b < kBankCount; ++b) EXPECT_TRUE(lists[static_cast<size_t>(b)].empty()) << b;

    // Notes in the common text reach every bank.
    SongRow shared{"", "C", {"", "D", "", "", ""}, -1, 0, 0, 0, 0};
    ASSERT_EQ(compile<TypeParam>(shared, lists).code, 0);
    for (int b = 0; b < kBankCount; ++b) EXPECT_FALSE(lists[static_cast<size_t>(b)].empty()) << b;
    EXPECT_EQ(describeList(lists[1]), "N261.626/64/g64 N293.665/64/g64");
}

TYPED_TEST(CompileBanksTest, CursorBankGetsTheMarker) {
    struct Row { int64_t cursorBank; uint64_t offset; std::string bankB; std::string expectedB; };
    const Row rows[] = {
        {1, 2, "C D E", "N261.626/64/g64 N293.665/64/g64* N329.628/64/g64"},
        {1, 0, "C D", "N261.626/64/g64* N293.665/64/g64"},
        {1, 99, "C D", "N261.626/64/g64 N293.665/64/g64 END*"},
        {1, UINT64_MAX, "C D", "N261.626/64/g64 N293.665/64/g64 END*"}, // no wrap-around
        {0, 5, "C D", "N261.626/64/g64 N293.665/64/g64"},               // cursor elsewhere
        {-1, 3, "C D", "N261.626/64/g64 N293.665/64/g64"},              // common tab
    };
    for (const auto& row : rows) {
        SongRow song{"", "", {"R", row.bankB}, row.cursorBank, row.offset, 0, 0, 0};
        std::array<EventList<TypeParam>, kBankCount> lists;
        ASSERT_EQ(compile<TypeParam>(song, lists).code, 0);
        EXPECT_EQ(describeList(lists[1]), row.expectedB) << row.cursorBank << ":" << row.offset;
        int markers = 0;
        for (const auto& e : lists[1]) markers += e.startMarker;
        EXPECT_EQ(markers, 1);
    }
}

TEST(LocateError, PositionsMapToTheirText) {
    struct Row { uint64_t joined, commonLength; int64_t bank; uint64_t position; };
    const Row rows[] = {
        {1, 0, -2, 1},   {42, 0, -2, 42}, {42, 5, -2, 42}, {43, 0, 3, 1},
        {43, 5, -1, 1},  {47, 5, -1, 5},  {48, 5, 3, 1},   {1000, 5, 3, 953},
    };
    for (const auto& r : rows) {
        const ErrorLocation at = locateError(r.joined, r.commonLength, 3);
        EXPECT_EQ(std::to_string(at.bank) + "/" + std::to_string(at.position),
                  std::to_string(r.bank) + "/" + std::to_string(r.position))
            << r.joined << " with common " << r.commonLength;
    }
}

}  // namespace
}  // namespace tavolin::test
