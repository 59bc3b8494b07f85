// SPDX-License-Identifier: MIT
// The Help menu's pages: the menu, docs/ and README.md name the same pages, and a page is found
// where an installed program and a program in a build tree look for it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "tests/output/OutputTestSupport.h"
#include "window/Examples.h"
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

// File → "サンプル曲" lists every song of examples/, and finds it where an installed program or
// a program in a build tree looks.
TEST(HelpPages, EveryExampleSongIsListedAndFound) {
    std::set<std::string> listed, folder;
    for (const ExampleSong& song : kExamples) EXPECT_TRUE(listed.insert(song.file).second) << song.file;
    for (const auto& entry : fs::directory_iterator(fs::path(TAVOLIN_SOURCE_DIR) / "examples"))
        if (entry.path().extension() == ".mml") folder.insert(entry.path().filename().string());
    EXPECT_EQ(listed, folder);
    const tavolin::testing::TempDir dir;
    for (const char* f : {"usr/share/tavolin/examples/demo.mml", "src/examples/canon.mml"}) {
        fs::create_directories((dir.path() / f).parent_path());
        std::ofstream(dir.path() / f) << "SMML@;MML@C,,,,;";
    }
    EXPECT_EQ(findExample((dir.path() / "usr/bin").string(), "demo.mml"), (dir.path() / "usr/share/tavolin/examples/demo.mml").string());
    EXPECT_EQ(findExample((dir.path() / "src/build/release/app").string(), "canon.mml"), (dir.path() / "src/examples/canon.mml").string());
    EXPECT_EQ(findExample((dir.path() / "usr/bin").string(), "canon.mml"), "");
}

}  // namespace
}  // namespace tavolin::window
