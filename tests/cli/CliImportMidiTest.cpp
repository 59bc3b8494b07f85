// SPDX-License-Identifier: MIT
// tavolin-cli import-midi end to end: where the document and the report go, JSON, exit codes.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace tavolin::testing {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(CliImportMidi, DocumentReportAndExitCodes) {
    const fs::path dir = fs::temp_directory_path() / ("tavolin-cli-midi-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // Format 0, 96 ticks a quarter: C and E together for a quarter note.
    const char song[] = "MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk\0\0\0\x14"
                        "\0\x90\x3C\x64\0\x90\x40\x64\x60\x80\x3C\0\0\x80\x40\0\0\xFF\x2F\0";
    std::ofstream(dir / "song.mid", std::ios::binary) << std::string(song, sizeof song - 1);
    std::ofstream(dir / "bad.mid", std::ios::binary) << "MThd";
    struct Row {
        const char* name;
        std::string args;
        int exitCode;
        std::string out;  // a part of standard output ("" for empty)
        std::string err;  // a part of standard error ("" for empty)
        bool documentWritten;
    };
    const std::string d = dir.string();
    const Row rows[] = {
        {"document to a file, report as JSON on standard output", "-o " + d + "/out.mml --json " + d + "/song.mid", 0,
         R"({"ok":true,"format":0,"grid":192,"lines":[{"track":1,"line":1,)", "", true},
        {"document on standard output, report on standard error", d + "/song.mid", 0, "SMML@T120\r\r\n", "バンクA: トラック1 ライン1", false},
        {"a grid and the newest rule are taken", "--grid 48 --overlap newest " + d + "/song.mid", 0, "*CH 1 LINE 2*", "全音符の1/48", false},
        {"a damaged file: its fault and offset, exit 1", d + "/bad.mid", 1, "", "bad.mid: チャンクがファイルの終わりを越えています", false},
        {"a damaged file with --json", "--json -o " + d + "/out.mml " + d + "/bad.mid", 1, R"({"ok":false,"error":")", "", false},
        {"a map naming a missing line", "--map A=1.9 " + d + "/song.mid", 1, "", "--map: the file has no line 1.9", false},
        {"a malformed map", "--map A " + d + "/song.mid", 2, "", "expected BANK=TRACK.LINE", false},
        {"an unknown overlap rule", "--overlap oldest " + d + "/song.mid", 2, "", "--overlap takes first or newest", false},
        {"a grid out of range", "--grid 0 " + d + "/song.mid", 2, "", "--grid takes 1 to 1536 steps per whole note, got 0", false},
    };
    for (const Row& r : rows) {
        fs::remove(dir / "out.mml");
        const std::string cmd = std::string(TAVOLIN_CLI_PATH) + " import-midi " + r.args + " >" + d + "/stdout 2>" + d + "/stderr </dev/null";
        const int status = std::system(cmd.c_str());
        const std::string out = slurp(dir / "stdout");
        const std::string err = slurp(dir / "stderr");
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, r.exitCode) << r.name << "\n" << err;
        if (r.out.empty()) EXPECT_EQ(out, "") << r.name;
        else EXPECT_NE(out.find(r.out), std::string::npos) << r.name << "\n" << out;
        if (r.err.empty()) EXPECT_EQ(err, "") << r.name;
        else EXPECT_NE(err.find(r.err), std::string::npos) << r.name << "\n" << err;
        EXPECT_EQ(fs::exists(dir / "out.mml"), r.documentWritten) << r.name;
        if (r.documentWritten) {
            EXPECT_EQ(slurp(dir / "out.mml").rfind("SMML@T120\r\r\n", 0), 0u) << r.name;
            EXPECT_TRUE(nlohmann::json::parse(out)["lines"][0]["bank"] == "A") << r.name;
        }
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tavolin::testing
