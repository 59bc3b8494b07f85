// SPDX-License-Identifier: MIT
// tavolin-cli's language from the locale variables: Japanese for none, C, POSIX and
// ja, English for any other, with LC_ALL before LC_MESSAGES before LANG.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace tavolin::test {
namespace {

namespace fs = std::filesystem;

struct LocaleRow {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    bool english;
};

TEST(CliLanguage, LocaleChoosesTheMessagesLanguage) {
    const fs::path dir = fs::temp_directory_path() / ("tavolin-cli-lang-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // Bank A holds a volume above 255.
    const fs::path song = dir / "song.mml";
    std::ofstream(song, std::ios::binary) << "SMML@;MML@V999C,,,,;";
    const LocaleRow rows[] = {
        {"", "", "", false},
        {"", "", "C", false},
        {"", "", "C.UTF-8", false},
        {"", "", "POSIX", false},
        {"", "", "ja_JP.UTF-8", false},
        {"", "", "en_US.UTF-8", true},
        {"", "", "de_DE@euro", true},
        {"", "fr_FR.UTF-8", "ja_JP.UTF-8", true},
        {"", "ja_JP.UTF-8", "en_GB.UTF-8", false},
        {"C", "en_US.UTF-8", "en_US.UTF-8", false},
        {"en_US.UTF-8", "ja_JP.UTF-8", "C", true},
    };
    for (const LocaleRow& r : rows) {
        const std::string cmd = std::string("env LC_ALL='") + r.lcAll + "' LC_MESSAGES='" + r.lcMessages + "' LANG='" +
                                r.lang + "' " + TAVOLIN_CLI_PATH + " check " + song.string() + " >" +
                                (dir / "out").string() + " 2>&1";
        const int status = std::system(cmd.c_str());
        std::ifstream in(dir / "out", std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        const std::string row = std::string(r.lcAll) + "|" + r.lcMessages + "|" + r.lang;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << row;
        const bool english = out.str().find("Volume value out of range") != std::string::npos &&
                             out.str().find("bank A") != std::string::npos;
        const bool japanese = out.str().find("ボリューム値が範囲外") != std::string::npos &&
                              out.str().find("バンクA") != std::string::npos;
        EXPECT_EQ(english, r.english) << row << "\n" << out.str();
        EXPECT_EQ(japanese, !r.english) << row << "\n" << out.str();
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tavolin::test
