// SPDX-License-Identifier: MIT
// tavolin-cli check and dump end to end: exit codes, diagnostics placed in the file, JSON.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace tavolin::test {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class CliCheckDump : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("tavolin-cli-test-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string write(const std::string& name, const std::string& bytes) {
        const fs::path p = m_dir / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    static std::string slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    CliRun run(const std::string& args) {
        const std::string cmd = std::string(TAVOLIN_CLI_PATH) + " " + args + " >" + (m_dir / "out").string() + " 2>" +
                                (m_dir / "err").string() + " </dev/null";
        const int status = std::system(cmd.c_str());
        CliRun r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = slurp(m_dir / "out");
        r.err = slurp(m_dir / "err");
        return r;
    }
    fs::path m_dir;
};

// Documents as the editor saves them: CR CR LF inside texts.
struct CheckRow {
    const char* name;
    std::string document;
    std::string args;
    int exitCode;
    std::string json;       // expected --json line
    std::string diagnostic; // expected compiler-style line (file name replaced by F)
};

const CheckRow kCheckRows[] = {
    {"clean document", "SMML@T150;MML@CDE,R,,,;", "", 0, R"({"ok":true})", ""},
    {"error on the third line of bank A", "SMML@T150\r\r\nL8;MML@CDE\r\r\nF*\x82\xa0*G V300,C,,,;", "", 1,
     R"({"ok":false,"code":"0x80000014","bank":0,"position":16,"message":"ボリューム値が範囲外"})",
     "F:3:10: error: ボリューム値が範囲外 [0x80000014]"},
    {"common 5 continues the default code", "SMML@5;MML@C,,,,;", "", 1,
     R"({"ok":false,"code":"0x80000013","bank":-1,"position":1,"message":"パン値が範囲外"})",
     "F:1:6: error: パン値が範囲外 [0x80000013]"},
    {"bank C after commas and lower case", "SMML@;MML@c,d,e}", "", 1,
     R"({"ok":false,"code":"0x80000018","bank":2,"position":2,"message":"連符開始していないのに連符終了が来た"})",
     "F:1:16: error: 連符開始していないのに連符終了が来た [0x80000018]"},
    {"endless loop before the cursor", "SMML@;MML@C,[D] E,,,;", "--cursor B:4", 1,
     R"({"ok":false,"code":"0x80000029","bank":1,"position":3,"message":"現在位置が無限ループよりあとにある"})",
     "F:1:15: error: 現在位置が無限ループよりあとにある [0x80000029]"},
    {"counted loop before the cursor", "SMML@;MML@C,[D]2 E,,,;", "--cursor B:5", 0, R"({"ok":true})", ""},
    {"cursor inside the loop", "SMML@;MML@C,[D]2 E,,,;", "--cursor B:1", 0, R"({"ok":true})", ""},
    {"fix arithmetic", "SMML@;MML@{CDE};", "--arith fix", 0, R"({"ok":true})", ""},
    // Written as UTF-8 by another editor: read as the window opens it, places unchanged.
    {"UTF-8 file", "SMML@T150\r\nL8;MML@CDE\r\nF*あ*G V300,C,,,;", "", 1,
     R"({"ok":false,"code":"0x80000014","bank":0,"position":15,"message":"ボリューム値が範囲外"})",
     "F:3:10: error: ボリューム値が範囲外 [0x80000014]"},
};

TEST_F(CliCheckDump, CheckExitCodesJsonAndPlaces) {
    for (const auto& row : kCheckRows) {
        const std::string file = write("doc.mml", row.document);
        const CliRun j = run("check --json " + row.args + " " + file);
        EXPECT_EQ(j.exitCode, row.exitCode) << row.name << ": " << j.err;
        EXPECT_EQ(j.out, row.json + "\n") << row.name;
        const CliRun t = run("check " + row.args + " " + file);
        EXPECT_EQ(t.exitCode, row.exitCode) << row.name;
        if (row.diagnostic.empty()) {
            EXPECT_NE(t.out.find(": ok ("), std::string::npos) << row.name << ": " << t.out;
            continue;
        }
        std::string expected = row.diagnostic;
        expected.replace(0, 1, file);
        EXPECT_NE(t.out.find(expected), std::string::npos) << row.name << ": " << t.out;
        EXPECT_EQ(t.out.rfind("error:", 0), 0u) << row.name << ": the report text comes first";
    }
}

TEST_F(CliCheckDump, UsageAndInputErrorsExitWithTwo) {
    const std::string file = write("doc.mml", "SMML@;MML@C;");
    const char* bad[] = {"check --arith quad ", "check --cursor F:1 ", "check --cursor A:x ", "dump --cursor A ",
                         "check --bogus "};
    for (const char* args : bad) {
        const CliRun r = run(std::string(args) + file);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_FALSE(r.err.empty()) << args;
    }
    EXPECT_EQ(run("check " + (m_dir / "missing.mml").string()).exitCode, 2);
    // UTF-8 with a character CP932 cannot hold: refused, naming its line.
    const CliRun emoji = run("check " + write("emoji.mml", "MML@C\n/* \xF0\x9F\x8E\xB5 */ D;"));
    EXPECT_EQ(emoji.exitCode, 2);
    EXPECT_NE(emoji.err.find("line 2: \xF0\x9F\x8E\xB5"), std::string::npos) << emoji.err;
    // A binary file or bytes that are no CP932 character: no document, nothing compiled.
    struct Refused { const char* name; std::string bytes; const char* why; };
    const std::vector<Refused> refused = {
        {"ls.mml", std::string("\x7F" "ELF\x02\x01\x01\0\0", 9), "NUL byte at byte 8 (2 in all)"},
        {"bad.mml", "MML@C\x80\x85\x40;", "2 byte sequence(s) that are no CP932 character, the first at byte 6"},
    };
    for (const auto& r : refused) {
        const std::string path = write(r.name, r.bytes);
        const CliRun run1 = run("check " + path);
        EXPECT_EQ(run1.exitCode, 2) << r.name;
        EXPECT_NE(run1.err.find("'" + path + "' is not a document"), std::string::npos) << run1.err;
        EXPECT_NE(run1.err.find(r.why), std::string::npos) << run1.err;
        EXPECT_TRUE(run1.out.empty()) << run1.out;
    }
    // Text the record leaves out is read as the window reads it, with a warning.
    const CliRun loses = run("check " + write("notes.txt", "T120 CDE; NOTES"));
    EXPECT_EQ(loses.exitCode, 0) << loses.err;
    EXPECT_NE(loses.err.find("6 byte(s) outside the document record"), std::string::npos) << loses.err;
    EXPECT_EQ(run("dump").exitCode, 2);
}

TEST_F(CliCheckDump, ReportTextForTheCommonText) {
    const CliRun r = run("check " + write("doc.mml", "SMML@V999;MML@C;"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n', r.out.find('\n') + 1)), "error:共通MMLコード 4 文字目\nボリューム値が範囲外");
}

TEST_F(CliCheckDump, DumpJsonHoldsTheListsAsThePlayerDoes) {
    const std::string file = write("doc.mml", "SMML@@S3;MML@[C&D:E]2,,{CDE},,;");
    const CliRun r = run("dump --json --arith fix --cursor A:2 " + file);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto j = nlohmann::ordered_json::parse(r.out);
    EXPECT_EQ(j["arith"], "Fix");
    ASSERT_EQ(j["banks"].size(), 5u);
    EXPECT_EQ(j["banks"][1]["events"].size(), 0u); // no note: empty
    EXPECT_EQ(j["banks"][3]["events"].size(), 0u);
    const auto& a = j["banks"][0]["events"];
    ASSERT_EQ(a.size(), 22u);
    EXPECT_EQ(a[15]["kind"], "Portamento");
    EXPECT_EQ(a[15]["ratio"].get<double>(), 21845.0 / 65536.0); // Fix: raw / 65536, exactly
    EXPECT_EQ(a[16]["kind"], "LoopControl");
    EXPECT_EQ(a[16]["op"], "LoopStart");
    EXPECT_EQ(a[16]["partner"], 21);
    EXPECT_EQ(a[16]["count"], 2);
    EXPECT_EQ(a[17]["slurTarget"], 18);
    EXPECT_EQ(a[17]["groupLength"].get<double>(), 128.0);
    EXPECT_EQ(a[17]["startMarker"], 1); // the cursor on "&": the record of the command holding it (C)
    EXPECT_EQ(a[9]["startMarker"], 0);
    const auto& c = j["banks"][2]["events"];
    EXPECT_EQ(c[16]["length"].get<double>(), 1398101.0 / 65536.0);
    EXPECT_EQ(c[8]["kind"], "LfoDef");
    EXPECT_EQ(c[8]["points"].size(), 1u);
    EXPECT_EQ(c[8]["points"][0]["periodMs"].get<double>(), 20.0);
    // Where each record was written: none for the prologue, then the default code, the common text, bank A.
    EXPECT_TRUE(a[0]["source"].is_null());
    EXPECT_EQ(a[9]["source"].dump(), R"({"tab":"default","offset":0,"length":4})");
    EXPECT_EQ(a[15]["source"].dump(), R"({"tab":"common","offset":0,"length":3})");
    EXPECT_EQ(a[21]["source"].dump(), R"({"tab":"A","offset":6,"length":2})");
    EXPECT_FALSE(a[17].contains("call"));
}

// The song's map on the command line: the timeline as JSON and as a table,
// and the macro call on a replayed record.
TEST_F(CliCheckDump, TimelineListsNotesWithFramesAndSources) {
    const std::string file = write("doc.mml", "SMML@@!AC8!;MML@D!A,,O3[E]2,,;");
    const CliRun j = run("timeline --json " + file);
    ASSERT_EQ(j.exitCode, 0) << j.err;
    EXPECT_EQ(j.out, R"({"rate":48000,"frames":48001,"truncated":false,"banks":[)"
                     R"({"bank":"A","notes":[{"start":0,"frames":24000,"frequency":293.665,"volume":128,"tone":0,"pan":128,"slur":false,"source":{"tab":"A","offset":0,"length":1}},)"
                     R"({"start":24000,"frames":12000,"frequency":261.626,"volume":128,"tone":0,"pan":128,"slur":false,"source":{"tab":"common","offset":3,"length":2},"call":{"tab":"A","offset":1,"length":2}}]},)"
                     R"({"bank":"C","notes":[{"start":0,"frames":24000,"frequency":164.814,"volume":128,"tone":0,"pan":128,"slur":false,"source":{"tab":"C","offset":3,"length":1}},)"
                     R"({"start":24000,"frames":24000,"frequency":164.814,"volume":128,"tone":0,"pan":128,"slur":false,"source":{"tab":"C","offset":3,"length":1}}]}]})"
                     "\n");
    // A loop end after the last note costs the export one more frame.
    const CliRun slow = run("timeline --json --rate 22050 --arith fix " + file);
    EXPECT_EQ(nlohmann::json::parse(slow.out)["banks"][0]["notes"][1]["start"], 11025);
    const CliRun d = run("dump --json " + file);
    EXPECT_EQ(nlohmann::ordered_json::parse(d.out)["banks"][0]["events"][16]["call"].dump(), R"({"tab":"A","offset":1,"length":2})");
    const CliRun t = run("timeline " + file);
    EXPECT_EQ(t.exitCode, 0);
    EXPECT_NE(t.out.find("48001 frames at 48000 Hz (0:01.000)"), std::string::npos) << t.out;
    EXPECT_NE(t.out.find("common:3+2 via A:1+2"), std::string::npos) << t.out;
    const CliRun e = run("timeline --json " + write("bad.mml", "SMML@;MML@V256;"));
    EXPECT_EQ(e.exitCode, 1);
    EXPECT_EQ(e.out, R"({"ok":false,"code":"0x80000014","bank":0,"position":4,"message":"ボリューム値が範囲外"})" "\n");
    EXPECT_EQ(run("timeline --rate 7999 " + file).exitCode, 2);
}

// The timeline's length is the length of the exported file, for every example.
TEST_F(CliCheckDump, TimelineFramesEqualTheRenderedFrames) {
    int examples = 0;
    for (const auto& e : fs::directory_iterator(TAVOLIN_SOURCE_DIR "/examples")) {
        if (e.path().extension() != ".mml") continue;
        ++examples;
        for (const char* rate : {"48000", "22050"}) {
            const CliRun t = run(std::string("timeline --json --rate ") + rate + " " + e.path().string());
            ASSERT_EQ(t.exitCode, 0) << e.path() << ": " << t.err;
            const std::string wav = (m_dir / "out.wav").string();
            const CliRun r = run(std::string("render --rate ") + rate + " -o " + wav + " " + e.path().string());
            ASSERT_EQ(r.exitCode, 0) << e.path() << ": " << r.err;
            const uint64_t frames = (fs::file_size(wav) - 44) / 4;
            EXPECT_EQ(nlohmann::json::parse(t.out)["frames"].get<uint64_t>(), frames) << e.path() << " at " << rate;
        }
    }
    EXPECT_GE(examples, 4);
}

TEST_F(CliCheckDump, DumpTextAndErrors) {
    const std::string file = write("doc.mml", "SMML@;MML@C,,,,;");
    const CliRun r = run("dump " + file);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("bank A: 16 events"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("15   Note frequency=261.626"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("bank E: silent"), std::string::npos);
    const CliRun e = run("dump --json " + write("bad.mml", "SMML@;MML@V256;"));
    EXPECT_EQ(e.exitCode, 1);
    EXPECT_EQ(e.out, R"({"ok":false,"code":"0x80000014","bank":0,"position":4,"message":"ボリューム値が範囲外"})" "\n");
}

TEST_F(CliCheckDump, EveryExampleCompilesInEveryArithmetic) {
    int examples = 0;
    for (const auto& e : fs::directory_iterator(TAVOLIN_SOURCE_DIR "/examples")) {
        if (e.path().extension() != ".mml") continue;
        ++examples;
        for (const char* arith : {"fix", "float", "double"}) {
            const CliRun r = run(std::string("check --json --arith ") + arith + " " + e.path().string());
            EXPECT_EQ(r.exitCode, 0) << e.path() << " " << arith << ": " << r.out;
            // From the middle of bank A too: no loop end may lie before the caret's start.
            const CliRun c = run(std::string("check --json --arith ") + arith + " --cursor A:0 " + e.path().string());
            EXPECT_EQ(c.exitCode, 0) << e.path() << " from the cursor: " << c.out;
        }
    }
    EXPECT_GE(examples, 4);
}

}  // namespace
}  // namespace tavolin::test
