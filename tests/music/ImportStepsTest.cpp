// SPDX-License-Identifier: MIT
// Clipboard import through the reader: leading tempo, tempo removal, volume rescaling.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "document/DocumentFormat.h"
#include "music/ImportSteps.h"
#include "tests/document/DocumentTestSupport.h"

namespace tavolin::music {
namespace {

using document::test::tabsEqual;

ImportOptions importOptions(bool removeBankTempo = true, std::string sourceMax = "15", bool divide = true) {
    ImportOptions o;
    o.rescale = true;
    o.importMode = true;
    o.removeBankTempo = removeBankTempo;
    o.sourceMaxText = std::move(sourceMax);
    o.divideByBanks = divide;
    return o;
}

struct ImportRow {
    const char* name;
    std::string clipboard;
    ImportOptions options;
    document::TabTexts expected;
};

TEST(ImportSteps, ClipboardTexts) {
    const std::string example = "MML@t120v15cde,v10efg;";
    const std::vector<ImportRow> rows = {
        {"example, start values", example, importOptions(), {"T120", "V127CDE", "V84EFG", "", "", ""}},
        {"example, not divided", example, importOptions(true, "15", false), {"T120", "V255CDE", "V170EFG", "", "", ""}},
        {"example, bank tempos kept", "MML@t120v15cT90de,v10efg;", importOptions(false),
         {"T120", "V127CT90DE", "V84EFG", "", "", ""}},
        {"source 8, one bank", "V8C", importOptions(true, "8"), {"", "V255C", "", "", "", ""}},
        {"V without digits gains 0", "VC", importOptions(), {"", "V0C", "", "", "", ""}},
        {"V at the very end", "CV", importOptions(), {"", "CV0", "", "", "", ""}},
        {"beyond source maximum is limited", "V30", importOptions(true, "15", false), {"", "V255", "", "", "", ""}},
        {"no tags: whole text to A, leading tempo to common", "t150cde\tv15", importOptions(),
         {"T150", "CDEV255", "", "", "", ""}},
        {"tempo in a bank is removed", "C8T90D8", importOptions(), {"", "C8D8", "", "", "", ""}},
        {"tempo removal takes every T", "MML@T100CT1TT23D,T5;", importOptions(), {"T100", "CD", "", "", "", ""}},
        {"sixth part dropped", "MML@V15A,V15B,V15C,V15D,V15E,V15F;", importOptions(),
         {"", "V51A", "V51B", "V51C", "V51D", "V51E"}},
        {"leading tempo needs T first", "MML@O4T120C;", importOptions(), {"", "O4C", "", "", "", ""}},
        {"bank emptied by tempo removal is unused", "MML@V15C,T90;", importOptions(), {"", "V255C", "", "", "", ""}},
        {"own format keeps its common block", "SMML@T130V15;MML@V15C,V15D,,,;", importOptions(),
         {"T130V127", "V127C", "V127D", "", "", ""}},
        {"common block is not a tempo source", "SMML@O3;MML@T99C,,,,;", importOptions(), {"O3", "C", "", "", "", ""}},
        {"text before MML@ and after ; ignored", "title: x\r\nMML@v15c;comment", importOptions(),
         {"", "V255C", "", "", "", ""}},
        {"no bank used, target stays 255", "MML@,,;", importOptions(), {"", "", "", "", "", ""}},
        // Japanese comments: 0x83 0x54 (trail "T") and 0x83 0x56 (trail "V") survive unchanged.
        {"double-byte comment survives", "MML@T120*\x83\x54\x83\x56*CDE,*\x83\x56*V15D;", importOptions(),
         {"T120", "*\x83\x54\x83\x56*CDE", "*\x83\x56*V127D", "", "", ""}},
    };
    for (const auto& r : rows)
        EXPECT_TRUE(tabsEqual(parseImportText(r.clipboard, r.options), r.expected)) << r.name;
}

struct VolumeRow {
    const char* name;
    std::string text;
    int32_t target;
    std::string sourceMax;
    std::string expected;
};

TEST(ImportSteps, VolumeLimits) {
    const std::string manyDigits(80, '9');
    const std::vector<VolumeRow> rows = {
        {"zero", "V0", 255, "15", "V0"},
        {"leading zeros dropped", "V0015", 255, "15", "V255"},
        {"truncates toward zero", "V1", 127, "15", "V8"},
        {"product beyond 32 bits", "V4294967295", 255, "15", "V255"},
        {"product just beyond int32", "V8421505", 255, "2147483647", "V1"},
        {"80 digits", "V" + manyDigits + "C", 51, "15", "V255C"},
        {"huge source maximum", "V15", 255, "99999999999999999999", "V0"},
        {"huge volume, huge source", "V" + manyDigits, 51, "2147483647", "V255"},
        {"source 0 leaves volumes", "V15CVD", 255, "0", "V15CVD"},
        {"empty source field leaves volumes", "V15C", 255, "", "V15C"},
        {"source field read by leading digits", "V15C", 255, "15abc", "V255C"},
        {"non-digit source field", "V15C", 255, "x15", "V15C"},
        {"every V rewritten", "V15@V3V", 255, "15", "V255@V51V0"},
        {"trail byte V untouched", "*\x83V*V1", 255, "1", "*\x83V*V255"},
    };
    for (const auto& r : rows) {
        std::string got = rescaleVolumes(r.text, r.target, readLeadingInt(r.sourceMax));
        EXPECT_TRUE(document::test::bytesEqual(got, r.expected)) << r.name;
    }
}

TEST(ImportSteps, TargetPerUsedBanks) {
    const int32_t expected[] = {255, 255, 127, 85, 63, 51};
    for (int used = 0; used <= 5; ++used) {
        EXPECT_EQ(volumeTarget(true, used), expected[used]) << used << " banks";
        EXPECT_EQ(volumeTarget(false, used), 255) << used << " banks";
    }
}

TEST(ImportSteps, OpenSkipsImportSteps) {
    // Open reads the same text without the import steps: the tempo stays in bank A and V is untouched.
    EXPECT_TRUE(tabsEqual(document::parseDocumentText("MML@t120v15c;"), {"", "T120V15C", "", "", "", ""}));
    ImportOptions rescaleOnly;
    rescaleOnly.rescale = true;
    EXPECT_TRUE(tabsEqual(parseImportText("MML@t120v15c;", rescaleOnly), {"", "T120V255C", "", "", "", ""}));
}

TEST(ImportSteps, ExternalRecord) {
    struct Row { const char* name; document::TabTexts tabs; std::optional<std::string> expected; };
    const std::vector<Row> rows = {
        {"empty document", {}, "MML@,,,,;"},
        {"common in front of banks with commands", {"T120", "CDE", "", "V10EFG", "", ""}, "MML@T120CDE,,T120V10EFG,,;"},
        {"blank and comment-only banks stay empty", {"T120", " \r\n", "*A,B*", "*open", "C", ""},
         "MML@,,,T120C,;"},
        {"comment kept in a bank with commands", {"", "*\x83\x54*C\r\nD", "", "", "", ""},
         "MML@*\x83\x54*C\r\nD,,,,;"},
        {"comma in the common text cannot be carried", {"@E0,1", "C", "", "", "", ""}, std::nullopt},
        {"semicolon in an exported bank cannot be carried", {"", "", "C;D", "", "", ""}, std::nullopt},
        {"common with a comma, no bank to carry it", {"@E0,1", "", "*x*", "", "", ""}, "MML@,,,,;"},
        {"tag formed where common meets bank", {"V1SM", "ML@C", "", "", "", ""}, std::nullopt},
    };
    for (const auto& r : rows) {
        auto got = externalMmlRecord(r.tabs);
        EXPECT_EQ(got.has_value(), r.expected.has_value()) << r.name;
        if (got && r.expected) {
            EXPECT_TRUE(document::test::bytesEqual(*got, *r.expected)) << r.name;
        }
    }
}

TEST(ImportSteps, ExportThenImportKeepsTheMusic) {
    // Volumes survive when the import's source maximum is ours and banks are not divided.
    const document::TabTexts doc{"T150", "V200CDE", "", "O3V100G", "", ""};
    auto record = externalMmlRecord(doc);
    ASSERT_TRUE(record);
    ImportOptions o = importOptions(true, "255", false);
    // The leading tempo returns to the common text; the copies in later banks are dropped.
    EXPECT_TRUE(tabsEqual(parseImportText(*record, o), {"T150", "V200CDE", "", "O3V100G", "", ""}));
}

}  // namespace
}  // namespace tavolin::music
