// SPDX-License-Identifier: MIT
// ParseMml: records produced per command, error codes with positions, start markers, exact values.
#include <bit>
#include <string>

#include "tests/compiler/MmlTestUtil.h"

namespace tavolin::test {
namespace {

template <typename T>
class ParseMmlTest : public ::testing::Test {};
TYPED_TEST_SUITE(ParseMmlTest, ArithTypes);

struct RecordRow {
    const char* name;
    std::string mml;
    std::string expected; // records after the head, see describe()
};

const RecordRow kRecordRows[] = {
    {"C and C0 use the default length", "C C0", "N261.626/64/g64 N261.626/64/g64"},
    {"dots add halves of the base", "C4. C4.. C2...", "N261.626/96/g96 N261.626/112/g112 N261.626/240/g240"},
    {"dotted default length", "L8.C L16 C", "N261.626/48/g48 N261.626/16/g16"},
    {"one accidental each", "C# D- E+ B-", "N277.183/64/g64 N277.183/64/g64 N349.228/64/g64 N466.164/64/g64"},
    {"octave commands have no range of their own", "O5A <A >>A O9<<A", "N880/64/g64 N440/64/g64 N1760/64/g64 N3520/64/g64"},
    {"N95 is the top B, O8C- the same note", "N95 O8C- N12", "N3951.066/64/g64 N3951.066/64/g64 N32.703/64/g64"},
    {"N and X take a colon before the length", "N57:8 X440:8 X4408 N57", "N440/32/g32 N440/32/g32 N4408/64/g64 N440/64/g64"},
    {"X with a fraction", "X440.5 X12.", "N440.5/64/g64 N12/64/g64"},
    {"rests", "R8 R", "R/32/g32 R/64/g64"},
    {"slur chain sums group lengths", "C&D&E", "N261.626/64/g192>1 N293.665/64/g128>2 N329.628/64/g64"},
    {"slur passes O, L and <", "C&O5L8<&D", "N261.626/64/g96>1 N293.665/32/g32"},
    {"slur refers to the last note across other commands", "C T100 &D", "N261.626/64/g128>2 T100 N293.665/64/g64"},
    {"slur passes brackets", "C&[D]2", "N261.626/64/g128>2 [c2p3l0 N293.665/64/g64 ]c2p1l0"},
    {"& before any note does nothing", "&C", "N261.626/64/g64"},
    {"tuplet splits one default length", "{CDE}", "N261.626/21.333/g21.333 N293.665/21.333/g21.333 N329.628/21.333/g21.333"},
    {"tuplet with octave change and N X R", "L8{C>CN12X100R}", "N261.626/6.4/g6.4 N523.251/6.4/g6.4 N32.703/6.4/g6.4 N100/6.4/g6.4 R/6.4/g6.4"},
    {"C0 inside a tuplet is the default length", "{C0D}", "N261.626/32/g32 N293.665/32/g32"},
    {"slur into a tuplet links its first note", "C&{DE}", "N261.626/64/g96>1 N293.665/32/g32 N329.628/32/g32"},
    {"slur after a tuplet leaves its last note", "{CD}&E", "N261.626/32/g32 N293.665/32/g96>2 N329.628/64/g64"},
    {"tuplet open at the end is dropped", "C{DE", "N261.626/64/g64"},
    {"loop with break", "[C:D]3", "[c3p4l0 N261.626/64/g64 :c0p0l0 N293.665/64/g64 ]c3p0l0"},
    {"endless loop of a rest", "[R4]", "[c-1p2l0 R/64/g64 ]c-1p0l0"},
    {"nested loops carry their levels", "[[C]2D:]", "[c-1p6l0 [c2p3l1 N261.626/64/g64 ]c2p1l1 N293.665/64/g64 :c0p0l0 ]c-1p0l0"},
    {"loop count saturates", "[C]99999999999", "[c2147483647p2l0 N261.626/64/g64 ]c2147483647p0l0"},
    {"open loop plays once, its break leaves to the end", "[C:D", "[c0p3l0 N261.626/64/g64 :c0p0l0 N293.665/64/g64"},
    {"macro keeps the octave change", "@!AO5C!D", "N587.33/64/g64"},
    {"macro replays fixed records", "@!AO5C!O3!A", "N523.251/64/g64"},
    {"macro loops point at their own copies", "@!A[C]2!!A!A", "[c2p2l0 N261.626/64/g64 ]c2p0l0 [c2p5l0 N261.626/64/g64 ]c2p3l0"},
    {"macro slur moves with the copy", "V1@!AC&D!!A", "V1 N261.626/64/g128>2 N293.665/64/g64"},
    {"! ends the recording, the letter is a note", "@!AC!A", "N440/64/g64"},
    {"macro called inside a loop gets deeper levels", "@!A[C]![!A]", "[c-1p4l0 [c-1p3l1 N261.626/64/g64 ]c-1p1l1 ]c-1p0l0"},
    {"& after a macro call continues from its last note", "@!ACD!!A&E", "N261.626/64/g64 N293.665/64/g128>2 N329.628/64/g64"},
    {"& after a call of a macro without notes keeps the last note", "@!AV9!C!A&D", "N261.626/64/g128>2 V9 N293.665/64/g64"},
    {"slur across the start of a recording is dropped", "C@!A&D!!A", "N261.626/64/g64 N293.665/64/g64"},
    {"slur across the end of a recording is dropped", "@!AC!&D", "N293.665/64/g64"},
    {"a macro never recorded appends nothing", "!Z C", "N261.626/64/g64"},
    {"! while recording always ends it", "@!AC!A!A", "N440/64/g64 N261.626/64/g64"},
    {"a recording open at the end is never played", "C@!AD", "N261.626/64/g64"},
    {"comments hold any byte but *", "C*x\x82\xa0\t!*D", "N261.626/64/g64 N293.665/64/g64"},
    {"unclosed comment ends the text", "C*D E", "N261.626/64/g64"},
    {"CR and LF are white space", "C\r\nD", "N261.626/64/g64 N293.665/64/g64"},
    {"a lone @ is dropped", "@C C@", "N261.626/64/g64 N261.626/64/g64"},
    {"tempo volume pan limits", "T999 V255 V0 P256 P0 T99999999999", "T999 V255 V0 P256 P0 T2147483647"},
    {"tone select keeps the low 8 bits", "@31 @256 @0", "@31 @0 @0"},
    {"portamento ratios", "@S1 @S4 @S2.5", "S1 S0.25 S0.4"},
    {"envelope definition with fractions", "@ED0:1.5:2.25:3:255:128", "ED0:1.5:2.25:3:255:128"},
    {"envelope select", "@E255 @E0", "E255 E0"},
    {"tone definition", "@W0:0:50", "W0:0:R0:N0:C0:50"},
    {"tone definition with every option", "@W1:2R10N20C100:25:50:75", "W1:2:R10:N20:C100:25,50,75"},
    {"tone definition with some options", "@W31:4N100:0 @W2:3C1000:99", "W31:4:R0:N100:C0:0 W2:3:R0:N0:C1000:99"},
    {"eight duties", "@W0:0:1:2:3:4:5:6:7:8.5", "W0:0:R0:N0:C0:1,2,3,4,5,6,7,8.5"},
    {"amplitude LFO", "@LV0:100:50", "LFO0(0L,100,0.5)"},
    {"pitch LFO with step and ramp", "@LT0S:50:20:500L:50:100", "LFO1(0S,50,0.2)(500L,50,1)"},
    {"LFO in percent", "@LVP0:10:5 @LTP10:20:30", "LFO2(0L,10,0.05) LFO3(10L,20,0.3)"},
    {"a seventh LFO point is not read", "@LT0:1:1:1:1:1:2:1:1:3:1:1:4:1:1:5:1:1:C",
     "LFO1(0L,1,0.01)(1L,1,0.01)(2L,1,0.01)(3L,1,0.01)(4L,1,0.01)(5L,1,0.01) N261.626/64/g64"},
    {"text ends at NUL", std::string("C\0D", 3), "N261.626/64/g64"},
};

TYPED_TEST(ParseMmlTest, RecordsPerCommand) {
    for (const auto& row : kRecordRows) {
        auto p = parse<TypeParam>(row.mml);
        const std::string& expected = row.expected;
        if (!p.ok) {
            ADD_FAILURE() << row.name << ": \"" << row.mml << "\" failed with " << hexCode(p.code) << " at " << p.position;
            continue;
        }
        EXPECT_EQ(describeList(p.list), expected) << row.name << ": \"" << row.mml << "\"";
    }
}

struct ErrorRow {
    const char* name;
    std::string mml;
    uint32_t code; // low bits of 0x80000000 + n
    int64_t position;
};

std::string repeat(std::string_view s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

// A macro of 1100 notes called 1000 times asks for more than kMaxEvents
// records: 15 head records + 1100 recorded + 1100 per call, so the 953rd
// call (ending at byte 1104 + 953 * 2) is refused.
std::string bigMacroText() { return "@!A" + repeat("C", 1100) + "!" + repeat("!A", 1000); }

const ErrorRow kErrorRows[] = {
    {"lower-case letter", "c", 0x00, 1},
    {"tab between commands", "C\tD", 0x00, 2},
    {"point after a tempo", "T120.5", 0x00, 5},
    {"second accidental", "C#+", 0x00, 3},
    {"stray digit", "C 5", 0x00, 3},
    {"double-byte outside a comment", "\x82\xa0", 0x00, 1},
    {"volume while a slur is pending", "C&V100 D", 0x01, 3},
    {"unknown command while a slur is pending", "C&c", 0x01, 3},
    {"slur onto a rest", "C&R", 0x01, 3},
    {"slur onto X0", "C&X0", 0x01, 4},
    {"slur onto X0:", "C&X0.0:4", 0x01, 7},
    {"macro call while a slur is pending", "@!AC!C&!A", 0x01, 8},
    {"portamento below 1", "@S0.5", 0x02, 5},
    {"portamento 0", "@S0", 0x02, 3},
    {"tempo 0", "T0", 0x03, 2},
    {"length 0", "L0", 0x04, 2},
    {"envelope with five values", "@ED0:1:2:3:4", 0x05, 12},
    {"envelope separator replaced", "@ED0;1:2:3:4:5", 0x05, 5},
    {"tone definition without colon after the tone", "@W1.0:50", 0x05, 4},
    {"envelope number 256", "@ED256:0:0:0:0:0", 0x06, 6},
    {"attack level 256", "@ED0:1:2:3:256:0", 0x06, 14},
    {"sustain level 256", "@ED0:1:2:3:255:256", 0x06, 18},
    {"envelope select 256", "@E256", 0x06, 5},
    {"slur open at the end", "C&", 0x07, 2},
    {"slur into a tuplet that never closes", "C&{D", 0x07, 4},
    {"O0 C-", "O0C-", 0x08, 4},
    {"below octave 0", "O0<C", 0x08, 4},
    {"O7 B+", "O7B+", 0x09, 4},
    {"O8 C", "O8C", 0x09, 3},
    {"N96", "N96", 0x09, 3},
    {"huge octave", "O99999999999C", 0x09, 13},
    {"tone 32", "@32", 0x0A, 3},
    {"tone 288 is 32 after the low 8 bits", "@288", 0x0A, 4},
    {"tone definition 32", "@W32:0:50", 0x0B, 4},
    {"wave 5", "@W1:5:50", 0x0C, 5},
    {"frequency noise 101", "@W0:0R101:50", 0x0D, 9},
    {"level noise 100.5", "@W0:0N100.5:50", 0x0E, 11},
    {"duty switch 1001", "@W0:0C1001:50", 0x0F, 10},
    {"duty 100", "@W1:0:100", 0x10, 9},
    {"duty 99.5", "@W1:0:99.5", 0x10, 10},
    {"no duty list", "@W1:0", 0x11, 5},
    {"R after N is not an option", "@W1:2N20R10:50", 0x11, 9},
    {"colon after eight duties", "@W0:0:50:50:50:50:50:50:50:50:", 0x12, 30},
    {"colon after seven duties", "@W0:0:50:50:50:50:50:50:50:", 0x15, 27},
    {"pan 257", "P257", 0x13, 4},
    {"volume 256", "V256", 0x14, 4},
    {"O without number", "OC", 0x15, 1},
    {"L without number", "L", 0x15, 1},
    {"T without number", "T", 0x15, 1},
    {"N without number", "NC", 0x15, 1},
    {"X without number", "X:", 0x15, 1},
    {"@S without number", "@S", 0x15, 2},
    {"@E without number", "@EX", 0x15, 2},
    {"@ED without number", "@ED:", 0x15, 3},
    {"@W option without number", "@W0:0R:50", 0x15, 6},
    {"LFO without time", "@LV:1:1", 0x15, 3},
    {"command inside a tuplet", "{V100}", 0x16, 2},
    {"length inside a tuplet", "{C4DE}", 0x16, 3},
    {"dot inside a tuplet", "{C.DE}", 0x16, 3},
    {"slur inside a tuplet", "{C&D}", 0x16, 3},
    {"L inside a tuplet", "{L8C}", 0x16, 2},
    {"macro recording inside a tuplet", "{@!A", 0x16, 2},
    {"macro call inside a tuplet", "{C!A}", 0x16, 3},
    {"33 notes in a tuplet", "{" + repeat("C", 33) + "}", 0x17, 34},
    {"} without {", "}", 0x18, 1},
    {"empty tuplet", "{}", 0x19, 2},
    {"tuplet in a tuplet", "{C{D}}", 0x19, 3},
    {"loop start in a tuplet", "{C[D]}", 0x1B, 3},
    {"loop end in a tuplet", "[{C]}", 0x1B, 4},
    {"break in a tuplet", "[{C:}]", 0x1B, 4},
    {"] without [", "]", 0x1C, 1},
    {"break outside every loop", "C:", 0x1C, 2},
    {"33 nested loops", repeat("[", 33), 0x1D, 33},
    {"macro loop too deep at the call", "@!A[C]!" + repeat("[", 32) + "!A", 0x1D, 41},
    {"loop count 0", "[C]0", 0x1E, 4},
    {"LFO type X", "@LX0:1:1", 0x1F, 3},
    {"LFO type missing at the end", "@L", 0x1F, 2},
    {"LFO period without depth", "@LV0:1", 0x20, 6},
    {"LFO time separator replaced", "@LV0;1:1", 0x20, 5},
    {"LFO times not increasing", "@LTP0:100:50:0:100:50", 0x21, 15},
    {"recording inside a loop", "[@!A", 0x23, 3},
    {"recording inside a recording", "@!A @!B", 0x24, 6},
    {"recording ends inside a loop", "@!A [C !]", 0x26, 8},
    {"lower-case macro letter", "!a", 0x28, 1},
    {"recording needs a letter", "@!1", 0x28, 2},
    {"macro letter missing at the end", "C!", 0x28, 2},
    {"loop without a note", "[V100]", 0x2A, 6},
    {"empty loop", "C[]", 0x2A, 3},
    {"too many records", bigMacroText(), 0x2B, 1104 + 953 * 2},
};

TYPED_TEST(ParseMmlTest, ErrorCodesAndPositions) {
    for (const auto& row : kErrorRows) {
        auto p = parse<TypeParam>(row.mml);
        const int32_t code = errorCode(row.code);
        if (p.ok) {
            ADD_FAILURE() << row.name << ": \"" << row.mml << "\" compiled to " << describeList(p.list)
                          << ", expected " << hexCode(code) << " at " << row.position;
            continue;
        }
        EXPECT_EQ(hexCode(p.code) + " at " + std::to_string(p.position),
                  hexCode(code) + " at " + std::to_string(row.position))
            << row.name << ": \"" << row.mml.substr(0, 80) << "\"";
    }
}

TYPED_TEST(ParseMmlTest, FailureLeavesTheListUntouched) {
    EventList<TypeParam> list(3, MmlEvent<TypeParam>::makeInt(EventKind::Tempo, 77));
    uint64_t position = 0;
    int32_t code = 0;
    EXPECT_FALSE(ParseMml<TypeParam>(kMaxLevel, "C D V300", list, position, code, 0));
    EXPECT_EQ(code, err::VolumeRange);
    EXPECT_EQ(position, 8u);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].tempo, 77);
}

struct MarkerRow {
    const char* name;
    std::string mml;
    uint64_t start; // offset into mml
    std::string expected;
};

const MarkerRow kMarkerRows[] = {
    {"inside the second of three notes", "C D E", 2, "N261.626/64/g64 N293.665/64/g64* N329.628/64/g64"},
    {"on a command without a record", "C D O5 E", 4, "N261.626/64/g64 N293.665/64/g64* N659.255/64/g64"},
    {"in white space: the next command", "C  D", 1, "N261.626/64/g64 N293.665/64/g64*"},
    {"in a comment: the next command", "C *x* D", 3, "N261.626/64/g64 N293.665/64/g64*"},
    {"at the start of the text", "C", 0, "N261.626/64/g64*"},
    {"beyond the last command", "C D", 10, "N261.626/64/g64 N293.665/64/g64 END*"},
    {"on a loop start", "C [D]2", 2, "N261.626/64/g64 [c2p3l0* N293.665/64/g64 ]c2p1l0"},
    {"on a loop end", "C [D]2 E", 4, "N261.626/64/g64 [c2p3l0 N293.665/64/g64 ]c2p1l0* N329.628/64/g64"},
    {"inside a tuplet: the record before it", "C {DE}", 4, "N261.626/64/g64* N293.665/32/g32 N329.628/32/g32"},
    {"inside a recording: where the recording sits", "C @!A D ! !A !A", 6,
     "N261.626/64/g64* N293.665/64/g64 N293.665/64/g64"},
};

TYPED_TEST(ParseMmlTest, StartMarker) {
    for (const auto& row : kMarkerRows) {
        auto p = parse<TypeParam>(row.mml, row.start);
        ASSERT_TRUE(p.ok) << row.name << ": " << hexCode(p.code) << " at " << p.position;
        EXPECT_EQ(describeList(p.list), row.expected) << row.name;
        int markers = 0;
        for (const auto& e : p.list) markers += e.startMarker;
        EXPECT_EQ(markers, 1) << row.name;
    }
}

// Only an endless loop that playback never leaves may not end before the
// cursor: counted loops, endless loops with a break of their own, a cursor
// inside a body or on the ] and a recording that no call before the cursor
// plays are all fine; a call that does play one is refused where it stands.
TYPED_TEST(ParseMmlTest, EndlessLoopBeforeTheCursorIsAnError) {
    struct Row { const char* name; const char* mml; uint64_t start; int64_t errorAt; };  // errorAt -1: compiles
    const Row rows[] = {
        {"counted loop", "[C]2 D", 5, -1},
        {"counted loops nested", "[[C]3 D]2 E", 10, -1},
        {"endless loop", "C [D] E", 6, 5},
        {"endless loop with a break", "[C:D] E", 6, -1},
        {"endless loop whose break belongs to an inner loop", "[[C:D]2 E] F", 11, 10},
        {"counted loop recorded in a macro", "@!A[C]2! !A D", 12, -1},
        {"cursor on the ] itself: reached on the first pass", "C [D] E", 4, -1},
        {"cursor in white space before the ]", "C [D ] E", 4, -1},
        {"cursor right after the ]", "C [D]E", 5, 5},
        {"endless loop in a macro called before the cursor: at the call", "@!A[C]! !A D", 11, 10},
        {"endless loop in a macro never called", "@!A[C]! D", 8, -1},
        {"endless loop in a macro called after the cursor", "@!A[C]! D !A", 8, -1},
        {"cursor on a call that ends with the loop's ]", "@!A[C]! !A", 9, -1},
        {"cursor on a call whose loop has more after it", "@!A[C]D! !A", 10, 11},
        {"a macro recorded again loses its loop", "@!A[C]! @!AC! !A D", 17, -1},
        {"cursor inside an endless loop's body", "C [D E] F", 4, -1},
        {"cursor passed before an endless loop", "C [D]", 0, -1},
    };
    for (const auto& row : rows) {
        auto p = parse<TypeParam>(row.mml, row.start);
        if (row.errorAt < 0) {
            EXPECT_TRUE(p.ok) << row.name << ": " << hexCode(p.code) << " at " << p.position;
            continue;
        }
        EXPECT_FALSE(p.ok) << row.name;
        EXPECT_EQ(hexCode(p.code) + " at " + std::to_string(p.position),
                  hexCode(err::CursorAfterLoop) + " at " + std::to_string(row.errorAt))
            << row.name;
    }
}

TYPED_TEST(ParseMmlTest, PrologueAndDefaultCode) {
    auto p = parse<TypeParam>("");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(describeList(p.list, 0),
              "V127 T120 @0 S0.25 ED-1:20:20:20:255:204 E0 P128 LFO0(0S,20,0) LFO1(0S,20,0) "
              "T120 V128 @0 S0.25 ED0:15:15:30:255:200 P128");
    // The prologue alone, without any text, and a different maxLevel.
    EventList<TypeParam> list;
    uint64_t position = 0;
    int32_t code = 0;
    ASSERT_TRUE(ParseMml<TypeParam>(100, "", list, position, code, 5));
    EXPECT_EQ(describeList(list, 0), "V50 T120 @0 S0.25 ED-1:20:20:20:100:80 E0 P128 LFO0(0S,20,0) LFO1(0S,20,0) END*");
}

TYPED_TEST(ParseMmlTest, ExactArithmetic) {
    using T = TypeParam;
    auto first = [](const char* mml) {
        auto p = parse<T>(mml);
        EXPECT_TRUE(p.ok) << mml;
        return p.ok ? p.list[kHeadRecords] : MmlEvent<T>::blank(EventKind::EndMarker);
    };
    const T third = first("{CDE}").note.length;
    const T ratio3 = first("@S3").ratio;
    const T ratio4 = first("@S4").ratio;
    if constexpr (std::is_same_v<T, Fix>) {
        EXPECT_EQ(third.raw(), 1398101);
        EXPECT_EQ(ratio3.raw(), 21845);
        EXPECT_EQ(ratio4.raw(), 16384);
        EXPECT_EQ(first("C4..").note.length.raw(), 112 * 65536);
        EXPECT_EQ(first("L3C").note.length.raw(), (int64_t{1} << 24) / 3);
        EXPECT_EQ(first("X0.5").note.frequency.raw(), 32768);
        EXPECT_EQ(first("X0.00001").note.frequency.raw(), 0); // truncated toward zero
        EXPECT_EQ(noteFrequency<Fix>(57).raw(), 28835840);
        EXPECT_EQ(noteFrequency<Fix>(0).raw(), 1071611);
    } else {
        EXPECT_EQ(third, T(64) / T(3));
        EXPECT_EQ(ratio3, T(1) / T(3));
        EXPECT_EQ(ratio4, T(0.25));
        EXPECT_EQ(first("C4..").note.length, T(112));
        EXPECT_EQ(first("L3C").note.length, T(256) / T(3));
        if constexpr (std::is_same_v<T, float>) {
            EXPECT_EQ(noteFrequency<float>(0), 16.3515f);
            EXPECT_EQ(noteFrequency<float>(94), 3729.31f);
        } else {
            EXPECT_EQ(noteFrequency<double>(0), 16.3515);
            EXPECT_EQ(noteFrequency<double>(94), 3729.31);
        }
    }
    // X440, N57 and O4A name the same frequency in every type.
    EXPECT_EQ(first("X440").note.frequency, first("N57").note.frequency);
    EXPECT_EQ(first("O4A").note.frequency, first("N57").note.frequency);
    EXPECT_EQ(noteFrequency<T>(96), Num<T>::zero());
    EXPECT_EQ(noteFrequency<T>(-1), Num<T>::zero());
}

TYPED_TEST(ParseMmlTest, ThirtyTwoNotesFillOneTuplet) {
    auto p = parse<TypeParam>("{" + repeat("C", 32) + "}");
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.list.size(), kHeadRecords + 32);
    EXPECT_EQ(Num<TypeParam>::toDouble(p.list.back().note.length), 2.0);
}

TYPED_TEST(ParseMmlTest, ThirtyTwoNestedLoopsAndLongNumbers) {
    auto p = parse<TypeParam>(repeat("[", 32) + "C" + repeat("]2", 32));
    ASSERT_TRUE(p.ok) << hexCode(p.code);
    EXPECT_EQ(p.list[kHeadRecords + 31].loop.level, 31);
    // Numbers far longer than 31 characters are read whole and saturate.
    auto q = parse<TypeParam>("T" + repeat("9", 4000) + " X" + repeat("1", 500) + "." + repeat("5", 500));
    ASSERT_TRUE(q.ok) << hexCode(q.code);
    EXPECT_EQ(q.list[kHeadRecords].tempo, 2147483647);
    EXPECT_EQ(Num<TypeParam>::toDouble(q.list[kHeadRecords + 1].note.frequency), Num<TypeParam>::toDouble(Num<TypeParam>::fromDouble(2147483647.0)));
    // Any run of dots converges to twice the base without overflowing a counter.
    auto d = parse<TypeParam>("C4" + repeat(".", 5000));
    ASSERT_TRUE(d.ok);
    const TypeParam len = d.list[kHeadRecords].note.length;
    if constexpr (std::is_same_v<TypeParam, Fix>) {
        EXPECT_EQ(len.raw(), (int64_t{1} << 23) - 1);
    }
    EXPECT_GE(Num<TypeParam>::toDouble(len), 127.999);
    EXPECT_LE(Num<TypeParam>::toDouble(len), 128.0);
}

TEST(DefaultToneTable, Slots) {
    const auto& t = defaultToneTable();
    struct Row { int slot, wave; float duty, freqNoise; };
    const Row rows[] = {{0, 0, 50, 0}, {1, 1, 50, 0}, {2, 2, 50, 0}, {3, 3, 50, 0}, {4, 4, 0, 0},
                        {5, 0, std::bit_cast<float>(0x42055555u), 0}, {6, 0, 25, 0}, {7, 0, 12.5f, 0},
                        {8, 0, 50, 50}, {9, 1, 50, 50}, {10, 0, 50, 0}, {31, 0, 50, 0}};
    for (const auto& r : rows) {
        const auto& s = t[static_cast<size_t>(r.slot)];
        EXPECT_EQ(s.tone, r.slot);
        EXPECT_EQ(s.wave, r.wave) << r.slot;
        EXPECT_EQ(s.dutyCount, 1) << r.slot;
        EXPECT_EQ(s.duties[0], r.duty) << r.slot;
        EXPECT_EQ(s.freqNoise, r.freqNoise) << r.slot;
        EXPECT_EQ(s.levelNoise, 0.0f);
        EXPECT_EQ(s.dutySwitchMs, 0.0f);
    }
    EXPECT_EQ(std::bit_cast<uint32_t>(t[5].duties[0]), 0x42055555u);
}

TEST(ErrorTable, MessagesForEveryCode) {
    EXPECT_EQ(errorMessage(0), "success");
    EXPECT_EQ(errorMessage(err::UnknownCommand), "不明なコマンド");
    EXPECT_EQ(errorMessage(err::TooManyDuties), "ーティー比指定が多すぎる");
    EXPECT_EQ(errorMessage(err::TupletNotOpen), "連符開始していないのに連符終了が来た");
    EXPECT_EQ(errorMessage(err::LoopWithoutNote), "ループ内に音がなるコマンドがない");
    EXPECT_EQ(errorMessage(errorCode(0x27)), "連符中にマクロを呼び出すことはできません");
    for (uint32_t n = 0; n <= 0x2B; ++n) EXPECT_FALSE(errorMessage(errorCode(n)).empty()) << n;
    EXPECT_TRUE(errorMessage(errorCode(0x2C)).empty());
    EXPECT_TRUE(errorMessage(1).empty());
}

}  // namespace
}  // namespace tavolin::test
