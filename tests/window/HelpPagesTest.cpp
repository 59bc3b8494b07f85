// SPDX-License-Identifier: MIT
// The Help menu's pages: the menu, docs/ and README.md name the same pages, and a page is found
// where an installed program and a program in a build tree look for it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "tests/output/OutputTestSupport.h"
#include "window/HelpPages.h"

namespace tavolin::window {
namespace {

namespace fs = std::filesystem;

TEST(HelpPages, EveryPageOfDocsIsInTheMenuAndLinkedFromTheReadme) {
    std::set<std::string> menu, docs;
    for (const HelpPage& page : kHelpPages) {
        EXPECT_EQ(page.title == nullptr, page.file == nullptr) << "a separator has neither";
        if (page.file) EXPECT_TRUE(menu.insert(page.file).second) << page.file << " twice in the menu";
    }
    for (const auto& entry : fs::directory_iterator(fs::path(TAVOLIN_SOURCE_DIR) / "docs"))
        if (entry.path().extension() == ".md") docs.insert(entry.path().filename().string());
    EXPECT_EQ(menu, docs);
    std::ifstream in(fs::path(TAVOLIN_SOURCE_DIR) / "README.md");
    std::stringstream readme;
    readme << in.rdbuf();
    for (const std::string& file : docs)
        EXPECT_NE(readme.str().find("](docs/" + file + ")"), std::string::npos) << "README.md does not link docs/" << file;
}

TEST(HelpPages, FoundBesideAnInstalledProgramOrInTheSourcesOfABuildTree) {
    struct Row {
        const char* name;
        std::vector<const char*> files;  // made under a scratch folder; a trailing / makes a folder
        const char* programDir;
        const char* found;  // "" for none
    };
    const Row rows[] = {
        {"installed", {"usr/share/doc/tavolin/mml.md"}, "usr/bin", "usr/share/doc/tavolin/mml.md"},
        {"build tree", {"src/docs/mml.md"}, "src/build/release/app", "src/docs/mml.md"},
        {"an installed page comes first",
         {"src/build/release/share/doc/tavolin/mml.md", "src/docs/mml.md"}, "src/build/release/app",
         "src/build/release/share/doc/tavolin/mml.md"},
        {"only the other page is there", {"usr/share/doc/tavolin/cli.md", "docs/cli.md"}, "usr/bin", ""},
        {"a folder of that name is no page", {"usr/share/doc/tavolin/mml.md/"}, "usr/bin", ""},
    };
    for (const Row& row : rows) {
        const tavolin::testing::TempDir dir;
        for (const char* f : row.files) {
            const fs::path path = dir.path() / f;
            if (std::string(f).ends_with('/')) {
                fs::create_directories(path);
            } else {
                fs::create_directories(path.parent_path());
                std::ofstream(path) << "# page\n";
            }
        }
        const std::string found = findHelpPage((dir.path() / row.programDir).string(), "mml.md");
        EXPECT_EQ(found, *row.found ? (dir.path() / row.found).string() : "") << row.name;
    }
}

}  // namespace
}  // namespace tavolin::window
