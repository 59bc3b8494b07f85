// SPDX-License-Identifier: MIT
// The song builder: play modes, cursor seek, error locations, the report text
// and the jump to the error.
#include <algorithm>

#include <gtest/gtest.h>

#include "compiler/ErrorTable.h"
#include "output/SongMap.h"
#include "tests/output/OutputTestSupport.h"

namespace tavolin::testing {
namespace {

using output::BuildInputs;

std::string msg(int32_t code) { return std::string(errorMessage(code)); }

TEST(ErrorReport, TextForEveryBankValueAndTestMode) {
    struct Row {
        const char* name;
        CompileResult result;
        bool testMode;
        std::string expected;
    };
    const int32_t code = err::UnknownCommand;
    const Row rows[] = {
        {"internal code", {code, -2, 7}, false, "error:内部MMLコード 7 文字目\n" + msg(code)},
        {"common text", {code, -1, 3}, false, "error:共通MMLコード 3 文字目\n" + msg(code)},
        {"bank A", {code, 0, 1}, false, "error:バンクA\nMMLコード 1 文字目\n" + msg(code)},
        {"bank C", {code, 2, 12}, false, "error:バンクC\nMMLコード 12 文字目\n" + msg(code)},
        {"bank E", {code, 4, 100000}, false, "error:バンクE\nMMLコード 100000 文字目\n" + msg(code)},
        {"test phrase", {code, 0, 5}, true, "error:テストフレーズ\nMMLコード 5 文字目\n" + msg(code)},
        {"internal code in test", {code, -2, 40}, true, "error:内部MMLコード 40 文字目\n" + msg(code)},
        {"code without a text", {errorCode(0x7F), 1, 2}, false, "error:バンクB\nMMLコード 2 文字目\n"},
    };
    for (const Row& r : rows) EXPECT_EQ(output::buildErrorReport(r.result, r.testMode), r.expected) << r.name;
}

// With the build's inputs the report names the line and column as the status
// bar does, and a Test error the part it lies in.
TEST(ErrorReport, NamesLineAndColumnAndTheTestPart) {
    struct Row {
        const char* name;
        CompileResult result;
        bool testMode;
        std::string expected;  // the report's first two lines
    };
    BuildInputs in = songInputs("*\x82\xa0*V999", {"", "C\r\nD\r\n  V300"});
    in.toneCommand = "@W0:0@0";
    const int32_t code = err::VolumeRange;
    const Row rows[] = {
        {"bank B, CR LF one break", {code, 1, 12}, false, "error:バンクB\nMMLコード 12 文字目 (3行 6列)"},
        {"common, a double-byte character one column", {code, -1, 8}, false, "error:共通MMLコード 8 文字目 (1行 7列)"},
        {"position 0", {code, 1, 0}, false, "error:バンクB\nMMLコード 0 文字目 (1行 1列)"},
        {"internal code: no place", {code, -2, 40}, false, "error:内部MMLコード 40 文字目"},
        {"test: the tone command", {code, 0, 3}, true, "error:音色定義コマンド\nMMLコード 3 文字目"},
        {"test: its last byte", {code, 0, 7}, true, "error:音色定義コマンド\nMMLコード 7 文字目"},
        {"test: the phrase, counted from its start", {code, 0, 9}, true, "error:テストフレーズ\nMMLコード 2 文字目"},
    };
    for (const Row& r : rows) {
        const std::string report = output::buildErrorReport(r.result, r.testMode, &in);
        EXPECT_EQ(report, r.expected + "\n" + msg(code)) << r.name;
    }
}

TEST(ErrorReport, JumpsToTheErrorBeforeTheMessageWhereItApplies) {
    struct Row {
        const char* name;
        CompileResult result;
        bool testMode;
        std::vector<std::string> calls;  // without the message text itself
    };
    const int32_t code = err::PanRange;
    const Row rows[] = {
        {"bank E first byte", {code, 4, 1}, false, {"tab:5", "text:0-1", "message"}},
        {"common text", {code, -1, 9}, false, {"tab:0", "text:8-9", "message"}},
        {"internal code does not move", {code, -2, 9}, false, {"message"}},
        {"position 0 does not move", {code, 1, 0}, false, {"message"}},
        {"test mode does not move", {code, 0, 3}, true, {"message"}},
    };
    for (const Row& r : rows) {
        RecordingHost host;
        output::reportCompileError(r.result, r.testMode, host);
        std::vector<std::string> calls;
        for (const auto& c : host.calls) calls.push_back(c.rfind("message:", 0) == 0 ? "message" : c);
        EXPECT_EQ(calls, r.calls) << r.name;
    }
}

TEST(ErrorReport, TestPhraseErrorsCountFromThePhrase) {
    struct Row {
        const char* tone;
        const char* phrase;
        const char* expected;
    };
    const Row rows[] = {
        {"@2", "CDQ", "error:テストフレーズ\nMMLコード 3 文字目\n"},
        {"@W1:1:50@1", "L8 CQ", "error:テストフレーズ\nMMLコード 5 文字目\n"},
        {"@1", "V300", "error:テストフレーズ\nMMLコード 4 文字目\n"},
        {"@1Q", "C", "error:音色定義コマンド\nMMLコード 3 文字目\n"},  // counted from the command's start
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.phrase);
        BuildInputs in = songInputs("", {"CDE"});
        in.toneCommand = r.tone;
        in.testPhrase = r.phrase;
        RecordingHost host;
        output::WaveFormat format;
        EXPECT_EQ(output::MakeGenerator(in, true, host, format), nullptr);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].rfind(r.expected, 0), 0u) << host.messages[0];
        EXPECT_EQ(host.calls.size(), 1u);  // no jump in Test mode
    }
}

struct LocationRow {
    const char* name;
    std::string common;
    std::vector<std::string> banks;
    CompileResult expected;
    std::vector<std::string> calls;
};

TEST(SongBuilder, ErrorLocationsAndJumps) {
    const LocationRow rows[] = {
        {"unknown first char of bank A", "", {"Q"}, {err::UnknownCommand, 0, 1}, {"tab:1", "text:0-1"}},
        {"unknown first char of common", "Q", {"C"}, {err::UnknownCommand, -1, 1}, {"tab:0", "text:0-1"}},
        {"digits continue the internal pan", "5", {"C"}, {err::PanRange, -1, 1}, {"tab:0", "text:0-1"}},
        {"bank E position 1", "", {"C", "C", "C", "C", "Q"}, {err::UnknownCommand, 4, 1}, {"tab:5", "text:0-1"}},
        {"later bank position", "T100", {"C", "CDQ"}, {err::UnknownCommand, 1, 3}, {"tab:2", "text:2-3"}},
        {"first failing bank wins", "", {"", "", "CQ", "Q"}, {err::UnknownCommand, 2, 2}, {"tab:3", "text:1-2"}},
    };
    for (const LocationRow& r : rows) {
        RecordingHost host;
        const BuildInputs inputs = songInputs(r.common, r.banks);
        auto outcome = output::BuildSong<float>(inputs, false, host);
        EXPECT_FALSE(outcome.wrapper) << r.name;
        EXPECT_EQ(outcome.result.code, r.expected.code) << r.name;
        EXPECT_EQ(outcome.result.bank, r.expected.bank) << r.name;
        EXPECT_EQ(outcome.result.position, r.expected.position) << r.name;
        std::vector<std::string> calls = r.calls;
        calls.push_back("message:" + output::buildErrorReport(r.expected, false, &inputs));
        EXPECT_EQ(host.calls, calls) << r.name;
    }
}

TEST(SongBuilder, TestModeErrorCountsFromThePhraseAndDoesNotMove) {
    RecordingHost host;
    BuildInputs in = songInputs("", {"Q"});
    in.toneCommand = "@1";
    in.testPhrase = "CQ";
    auto outcome = output::BuildSong<double>(in, true, host);
    EXPECT_FALSE(outcome.wrapper);
    EXPECT_EQ(outcome.result.bank, 0);
    EXPECT_EQ(outcome.result.position, 4u);  // the compile's own count is kept for its callers
    EXPECT_EQ(host.calls, std::vector<std::string>{"message:error:テストフレーズ\nMMLコード 2 文字目\n" + msg(err::UnknownCommand)});
}

TEST(SongBuilder, CurrentBankOnTheCommonTabIsRefused) {
    for (bool viaExportOrPlay : {false, true}) {
        RecordingHost host;
        BuildInputs in = songInputs("CDE", {"C"});
        in.currentBankMode = true;
        in.bankIndex = -1;
        if (viaExportOrPlay) {
            host.savePath = "/nonexistent/never.wav";
            EXPECT_EQ(output::OnWavExport(in, host), output::ExportOutcome::NotBuilt);
        } else {
            auto outcome = output::BuildSong<Fix>(in, false, host);
            EXPECT_FALSE(outcome.wrapper);
            EXPECT_EQ(outcome.result.bank, -3);
        }
        EXPECT_EQ(host.calls, std::vector<std::string>{"message:共通タブのみを再生することはできません"})
            << "no save dialog either";
    }
}

TEST(SongBuilder, NoArithmeticSelectedGivesNothingSilently) {
    for (int arith : {-1, 3}) {
        RecordingHost host;
        output::WaveFormat f{};
        EXPECT_FALSE(output::MakeGenerator(songInputs("", {"C"}, arith), false, host, f));
        EXPECT_TRUE(host.calls.empty());
        EXPECT_EQ(f.samplesPerSec, 0u) << "the record is filled only on success";
    }
}

TEST(SongBuilder, RateRangeAndWaveFormatRecord) {
    for (const uint32_t rate : {48000u, 192000u, 8000u, 22050u, 0u, 7999u, 192001u, UINT32_MAX}) {
        const bool builds = rate >= 8000 && rate <= 192000;
        RecordingHost host;
        output::WaveFormat f{};
        auto song = output::MakeGenerator(songInputs("", {"C"}, 1, rate), false, host, f);
        EXPECT_EQ(song != nullptr, builds) << rate;
        if (builds) {
            EXPECT_EQ(f, output::makeWaveFormat(rate)) << rate;
        } else {
            EXPECT_EQ(host.messages, std::vector<std::string>{std::string(output::kBadRateMessage)}) << rate;
        }
    }
}

// What a map that plays nothing says of why: each refusal its own reason,
// so that a front end names the right one.
TEST(SongBuilder, MapsSayWhyTheyPlayNothing) {
    struct Row {
        const char* name;
        void (*change)(output::BuildInputs&);
        output::Refusal refusal;
    };
    const Row rows[] = {
        {"plays", [](output::BuildInputs&) {}, output::Refusal::None},
        {"current bank on the common tab", [](output::BuildInputs& in) { in.currentBankMode = true; in.bankIndex = -1; },
         output::Refusal::CommonOnly},
        {"a rate below the range", [](output::BuildInputs& in) { in.sampleRateHz = 7999; }, output::Refusal::BadRate},
        {"no rate at all", [](output::BuildInputs& in) { in.sampleRateHz = 0; }, output::Refusal::BadRate},
        {"an arithmetic no parser gives", [](output::BuildInputs& in) { in.arith = Arith::Count; }, output::Refusal::NoArithmetic},
    };
    for (const Row& r : rows) {
        output::BuildInputs in = songInputs("", {"C"});
        r.change(in);
        const auto map = output::buildSongMap(in, false);
        EXPECT_EQ(map->refusal, r.refusal) << r.name;
        EXPECT_EQ(map->ok(), r.refusal == output::Refusal::None) << r.name;
        EXPECT_EQ(map->result.bank == -3, r.refusal != output::Refusal::None) << r.name;
    }
}

TEST(GeneratorWrapperTest, EmptyWrapperDoesNothing) {
    output::GeneratorWrapper w;
    EXPECT_FALSE(w.IsFinished());
    EXPECT_TRUE(w.Render(int64_t{16}).empty());
    w.SetLoop(true);
    w.SetExportMode();
    w.SeekToCursor();
    EXPECT_FALSE(w.hasSong());
}

template <typename T>
class TypedBuild : public ::testing::Test {
public:
    static constexpr int arith = static_cast<int>(arithOf<T>());
    std::vector<int16_t> render(const std::string& common, const std::vector<std::string>& banks) {
        auto song = buildOrFail(songInputs(common, banks, arith));
        return song ? renderToEnd(*song) : std::vector<int16_t>{};
    }
    std::vector<int16_t> renderInputs(const BuildInputs& in, bool testMode = false) {
        auto song = buildOrFail(in, testMode);
        return song ? renderToEnd(*song) : std::vector<int16_t>{};
    }
};
TYPED_TEST_SUITE(TypedBuild, ArithTypes);

std::vector<int16_t> mix(std::vector<int16_t> a, const std::vector<int16_t>& b) {
    if (a.size() < b.size()) a.resize(b.size(), 0);
    for (size_t i = 0; i < b.size(); ++i) a[i] = static_cast<int16_t>(a[i] + b[i]);
    return a;
}

TYPED_TEST(TypedBuild, EquivalentSongs) {
    struct Row {
        const char* name;
        std::string commonA;
        std::vector<std::string> banksA;
        std::string commonB;
        std::vector<std::string> banksB;
    };
    const Row rows[] = {
        {"command split across common and bank", "T6", {"0C"}, "", {"T60C"}},
        {"tempo in bank A stays in bank A", "", {"T60C", "L8CDE"}, "", {"T60C", "L8CDE"}},
        {"endless loop plays once on export", "", {"[CD]E"}, "", {"CDE"}},
        {"silent bank with settings changes nothing", "", {"C", "T200@2V10P0"}, "", {"C"}},
    };
    for (const Row& r : rows) {
        auto a = this->render(r.commonA, r.banksA);
        auto b = this->render(r.commonB, r.banksB);
        EXPECT_FALSE(a.empty()) << r.name;
        EXPECT_EQ(a, b) << r.name << ": " << firstDifference(a, b);
    }
    // The per-bank tempo, checked against the banks rendered apart.
    auto both = this->render("", {"T60C", "L8CDE"});
    auto alone = mix(this->render("", {"T60C"}), this->render("", {"", "L8CDE"}));
    EXPECT_EQ(both, alone) << firstDifference(both, alone);
    EXPECT_EQ(this->render("T6", {"0C"}).size(), this->render("", {"T60C"}).size());
    EXPECT_GT(this->render("", {"T60C"}).size(), 2 * 48000u - 10) << "a quarter at tempo 60 lasts a second";
}

TYPED_TEST(TypedBuild, NoNotesAnywhereIsFinishedAtOnce) {
    auto song = buildOrFail(songInputs("T90V20", {"@3", "P0", "", "", "T200"}, this->arith));
    ASSERT_TRUE(song);
    EXPECT_TRUE(song->IsFinished());
    for (int b = 0; b < 5; ++b) EXPECT_FALSE(song->bankSounds(b));
}

TYPED_TEST(TypedBuild, CurrentBankPlaysOnlyThatBankWithTheCommonText) {
    BuildInputs in = songInputs("L16", {"CDEF", "GAB", "C"}, this->arith);
    in.currentBankMode = true;
    in.bankIndex = 1;
    auto onlyB = this->renderInputs(in);
    auto expected = this->render("L16", {"", "GAB"});
    EXPECT_EQ(onlyB, expected) << firstDifference(onlyB, expected);
    // Notes of the common text reach every bank, the current one included.
    BuildInputs withCommonNotes = songInputs("L16C", {"D", "E"}, this->arith);
    withCommonNotes.currentBankMode = true;
    withCommonNotes.bankIndex = 0;
    auto song = buildOrFail(withCommonNotes);
    ASSERT_TRUE(song);
    for (int b = 0; b < 5; ++b) EXPECT_TRUE(song->bankSounds(b)) << b;
}

TYPED_TEST(TypedBuild, TestModeIgnoresTheCheckBoxesAndTheBanks) {
    BuildInputs in = songInputs("L16", {"CDEFGAB", "C"}, this->arith);
    in.testPhrase = "EG";
    in.toneCommand = "@2";
    in.currentBankMode = true;
    in.bankIndex = -1;  // would be refused outside Test
    in.startFromCursor = true;
    in.caret = 3;
    auto test = this->renderInputs(in, true);
    auto expected = this->render("L16", {"@2EG"});
    EXPECT_EQ(test, expected) << firstDifference(test, expected);
}

TYPED_TEST(TypedBuild, StartFromTheCursor) {
    const std::vector<std::string> banks = {"L16CDEFGAB", "L16EFGABCD", "T100V50", "L8[C]2R"};
    auto whole = this->render("", banks);
    const size_t sixteenth = 6000 * 2;  // samples of one sixteenth note at 48 kHz, tempo 120
    struct Row {
        const char* name;
        int bankIndex;
        uint64_t caret;
        bool startFromCursor;
        size_t skippedSamples;
    };
    const Row rows[] = {
        {"caret in bank B on its third note", 1, 5, true, 2 * sixteenth},
        {"caret in bank A on its fifth note", 0, 7, true, 4 * sixteenth},
        {"caret at offset 0", 1, 0, true, 0},
        {"common tab selected", -1, 2, true, 0},
        {"caret in a bank without notes", 2, 3, true, 0},
        {"box unchecked", 1, 5, false, 0},
    };
    for (const Row& r : rows) {
        BuildInputs in = songInputs("", banks, this->arith);
        in.bankIndex = r.bankIndex;
        in.caret = r.caret;
        in.startFromCursor = r.startFromCursor;
        auto fromCursor = this->renderInputs(in);
        ASSERT_GE(whole.size(), r.skippedSamples) << r.name;
        std::vector<int16_t> expected(whole.begin() + static_cast<long>(r.skippedSamples), whole.end());
        EXPECT_EQ(fromCursor, expected) << r.name << ": " << firstDifference(fromCursor, expected);
    }
}

// The caret at a loop's edges, for Play and export alike: on a `]` the song
// starts there (the passes left follow); on a part that a break skips on
// every pass, at the next note that playback reaches; an endless loop
// recorded in a macro stands in the way only where a call plays it. Each
// start is checked against the song played from its beginning.
TYPED_TEST(TypedBuild, CaretAtTheEdgesOfALoop) {
    struct Row {
        const char* name;
        std::string common;
        std::vector<std::string> banks;
        uint64_t caret;  // in bank A
        uint64_t sixteenthsBefore;
    };
    const Row rows[] = {
        {"on the ] of a counted loop", "L16", {"C[D]2E"}, 3, 2},
        {"on the ] of an endless loop", "L16", {"C[D]E"}, 3, 2},
        {"on a part an endless loop's break skips", "L16", {"[C:D]E"}, 3, 1},
        {"on a part skipped in a loop played once", "L16", {"C[D:E]1F"}, 4, 2},
        {"on a skipped part of a loop nested in a counted one", "L16", {"[[C:D]1E]2F"}, 4, 1},
        {"on a skipped part with nothing after it in its bank", "L16", {"C[D:E]", "CDEFG"}, 4, 2},
        {"endless loop recorded but called only after the caret", "L16@!A[C]!", {"DE!A"}, 1, 1},
    };
    constexpr uint64_t kSixteenth = 1000;  // frames at 8 kHz, tempo 120
    constexpr uint64_t kFrames = 12 * kSixteenth;
    const auto play = [](output::GeneratorWrapper& song, uint64_t frames) {
        std::vector<int16_t> out;
        for (uint64_t n = 0; n < frames && !song.IsFinished(); ++n) {
            std::vector<int16_t> frame = song.Render(1);
            out.insert(out.end(), frame.begin(), frame.end());
        }
        return out;
    };
    for (const Row& r : rows) {
        for (bool exportIt : {false, true}) {
            const std::string name = std::string(r.name) + (exportIt ? ", export" : ", play");
            BuildInputs in = songInputs(r.common, r.banks, this->arith, 8000);
            in.forExport = exportIt;
            auto whole = buildOrFail(in);
            in.bankIndex = 0;
            in.caret = r.caret;
            in.startFromCursor = true;
            auto fromCaret = buildOrFail(in);
            if (!whole || !fromCaret) {
                ADD_FAILURE() << name;
                continue;
            }
            const uint64_t skipped = r.sixteenthsBefore * kSixteenth;
            EXPECT_EQ(fromCaret->skippedFrames, skipped) << name;
            std::vector<int16_t> expected = play(*whole, skipped + kFrames);
            expected.erase(expected.begin(), expected.begin() + static_cast<long>(std::min<size_t>(2 * skipped, expected.size())));
            const std::vector<int16_t> got = play(*fromCaret, kFrames);
            EXPECT_GE(got.size(), 2 * kSixteenth) << name << ": at least one note plays";
            EXPECT_EQ(got, expected) << name << ": " << firstDifference(got, expected);
        }
    }
}

// An export from a caret after which nothing sounds would be an empty file:
// it is refused with a message. Play builds (Loop may take it back to the
// song's start), and so does an export that some bank still fills.
TYPED_TEST(TypedBuild, ExportWithNothingAfterTheCaretIsRefused) {
    struct Row {
        const char* name;
        std::vector<std::string> banks;
        uint64_t caret;  // in bank A
        bool exportIt;
        bool refused;
    };
    const Row rows[] = {
        {"export after the last note", {"CDE"}, 3, true, true},
        {"play after the last note", {"CDE"}, 3, false, false},
        {"export on a skipped part, nothing after it", {"[C:D]"}, 3, true, true},
        {"export on a skipped part, another bank plays on", {"[C:D]", "CDE"}, 3, true, false},
        {"export with the caret on the last note", {"CDE"}, 2, true, false},
    };
    const std::string refusal = "message:" + std::string(output::kNothingAfterCaretMessage);
    for (const Row& r : rows) {
        RecordingHost host;
        BuildInputs in = songInputs("", r.banks, this->arith, 8000);
        in.forExport = r.exportIt;
        in.bankIndex = 0;
        in.caret = r.caret;
        in.startFromCursor = true;
        const auto outcome = output::BuildSong<TypeParam>(in, false, host);
        EXPECT_EQ(!outcome.wrapper, r.refused) << r.name;
        EXPECT_EQ(host.calls, r.refused ? std::vector<std::string>{refusal} : std::vector<std::string>{}) << r.name;
    }
}

}  // namespace
}  // namespace tavolin::testing

namespace tavolin::testing {
namespace {

// The seek runs at most an hour of song time: a caret further in (behind
// counted loops, however deeply nested) is refused with a message, for Play
// and for export alike, never played from somewhere else.
TYPED_TEST(TypedBuild, CaretMoreThanAnHourInIsRefused) {
    struct Row {
        const char* name;
        const char* bankA;  // caret on its last character
        bool exportIt;
        bool refused;
        uint64_t wholeNotesBefore;  // played ones: the seek's length in whole notes (32,000 samples at 8 kHz, T60)
    };
    const Row rows[] = {
        {"nested counted loops, 4 h 4 min", "T60L1[[C]60]61 D", false, true, 0},
        {"five nested loops of 99", "T60L1[[[[[C]99]99]99]99]99 D", false, true, 0},
        {"the same, exported", "T60L1[[[[[C]99]99]99]99]99 D", true, true, 0},
        {"exactly one hour", "T60L1[C]900 D", false, false, 900},
        {"just under an hour, exported", "T60L1[C]899 D", true, false, 899},
    };
    for (const Row& r : rows) {
        RecordingHost host;
        host.savePath = ::testing::TempDir() + "tavolin-seek-bound.wav";
        BuildInputs in = songInputs("", {r.bankA}, this->arith, 8000);
        in.bankIndex = 0;
        in.caret = in.tabTexts[1].size() - 1;
        in.startFromCursor = true;
        const std::string refusal = "message:" + std::string(output::kSeekTooFarMessage);
        if (r.exportIt) {
            const auto outcome = output::OnWavExport(in, host);
            EXPECT_EQ(outcome == output::ExportOutcome::NotBuilt, r.refused) << r.name;
        } else {
            const auto outcome = output::BuildSong<TypeParam>(in, false, host);
            EXPECT_EQ(!outcome.wrapper, r.refused) << r.name;
            if (r.refused) {
                EXPECT_EQ(outcome.result.bank, -3) << r.name;
            } else {
                EXPECT_EQ(outcome.wrapper->skippedFrames, uint64_t{32000} * r.wholeNotesBefore) << r.name;
            }
        }
        const bool told = std::find(host.calls.begin(), host.calls.end(), refusal) != host.calls.end();
        EXPECT_EQ(told, r.refused) << r.name;
    }
}

TYPED_TEST(TypedBuild, RenderUntilFinishedMatchesFrameByFrame) {
    struct Row {
        const char* name;
        std::string common;
        std::vector<std::string> banks;
    };
    const Row rows[] = {
        {"banks of different lengths", "L16", {"CDEFG", "O3C", "", "R8E"}},
        {"slurs and tempo changes", "", {"L8C&D&ET200FG", "T90L16[CE]3"}},
        {"rest at the end", "", {"CR2", "L32C"}},
        {"endless loop and short notes", "T240", {"L64[CD]EF", "L128G"}},
        {"noise and vibrato", "@LT0:80:50", {"@4L16CCCC", "@8L8EGE"}},
    };
    for (const Row& r : rows) {
        for (size_t spanFrames : {size_t{1}, size_t{3}, size_t{1000}, size_t{1} << 20}) {
            auto exact = buildOrFail(songInputs(r.common, r.banks, this->arith));
            ASSERT_TRUE(exact);
            exact->SetExportMode();
            std::vector<int16_t> got;
            std::vector<int16_t> buf(spanFrames * 2);
            int calls = 0;
            while (!exact->IsFinished() && calls++ < 100000) {
                size_t n = exact->RenderUntilFinished(std::span<int16_t>(buf));
                ASSERT_GT(n, 0u);
                if (!exact->IsFinished()) {
                    ASSERT_EQ(n, spanFrames) << r.name << ": stopped early";
                }
                got.insert(got.end(), buf.begin(), buf.begin() + static_cast<long>(2 * n));
            }
            auto reference = buildOrFail(songInputs(r.common, r.banks, this->arith));
            std::vector<int16_t> expected = renderToEnd(*reference);
            EXPECT_EQ(got, expected) << r.name << ", span " << spanFrames << ": " << firstDifference(got, expected);
        }
    }
}

}  // namespace
}  // namespace tavolin::testing
