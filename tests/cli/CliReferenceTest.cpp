// SPDX-License-Identifier: MIT
// `tavolin-cli reference`: its English Markdown is the table docs/mml.md opens with, and its JSON
// holds every entry in the locale's language.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace tavolin::test {
namespace {

std::string run(const std::string& env, const std::string& args) {
    const std::string cmd = "env LC_ALL= LC_MESSAGES= " + env + " " + TAVOLIN_CLI_PATH + " reference " + args;
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        EXPECT_EQ(::pclose(p), 0) << cmd;
    }
    return out;
}

TEST(CliReference, DocsTableIsTheEnglishOutputAndJsonSpeaksTheLocale) {
    std::ifstream in(std::string(TAVOLIN_SOURCE_DIR) + "/docs/mml.md", std::ios::binary);
    std::ostringstream doc;
    doc << in.rdbuf();
    const std::string text = doc.str();
    const std::string begin = "<!-- reference: begin (tavolin-cli reference, English) -->\n", end = "<!-- reference: end -->";
    const size_t from = text.find(begin), to = text.find(end);
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    EXPECT_EQ(text.substr(from + begin.size(), to - from - begin.size()), run("LANG=en_US.UTF-8", ""))
        << "docs/mml.md: put `LANG=en_US.UTF-8 tavolin-cli reference` between the markers";

    for (const auto& [env, group] : {std::pair{"LANG=ja_JP.UTF-8", "音符と休符"}, {"LANG=en_US.UTF-8", "Notes and rests"}}) {
        const auto list = nlohmann::json::parse(run(env, "--json"));
        ASSERT_TRUE(list.is_array()) << env;
        EXPECT_GE(list.size(), 26u) << env;
        EXPECT_EQ(list.at(0).at("group"), group) << env;
        for (const auto& e : list) EXPECT_FALSE(e.at("example").get<std::string>().empty()) << env;
    }
}

}  // namespace
}  // namespace tavolin::test
