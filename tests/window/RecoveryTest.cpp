// SPDX-License-Identifier: MIT
// Recovery files: their stored form, their folder, and one window's store on a fake disk.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "document/Recovery.h"
#include "tests/window/DocumentFakes.h"

namespace tavolin::window {
namespace {

document::RecoveryRecord sample() {
    document::RecoveryRecord r;
    r.pid = 4242;
    r.savedAt = 1800000000;
    r.selectedTab = 3;
    r.documentPath = "/home/u/曲/song;1,2.mml";
    // Everything the document format cannot carry comes back byte for byte.
    r.tabTexts = {"T150;V100", "C,D\r\nE", std::string("F\0G", 3), "\t\x83\x54", "", "text 6\n"};
    return r;
}

TEST(RecoveryFile, RoundTripsEveryByte) {
    const document::RecoveryRecord r = sample();
    const auto back = document::decodeRecovery(document::encodeRecovery(r));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pid, r.pid);
    EXPECT_EQ(back->savedAt, r.savedAt);
    EXPECT_EQ(back->selectedTab, r.selectedTab);
    EXPECT_EQ(back->documentPath, r.documentPath);
    EXPECT_TRUE(test::tabsEqual(back->tabTexts, r.tabTexts));
}

TEST(RecoveryFile, RejectsDamagedFiles) {
    const std::string good = document::encodeRecovery(sample());
    struct Row { const char* name; std::string bytes; };
    const std::vector<Row> rows = {
        {"empty", ""},
        {"another file", "SMML@;MML@,,,,;"},
        {"cut short", good.substr(0, good.size() - 3)},
        {"trailing bytes", good + "x"},
        {"tab out of range", document::encodeRecovery([] { auto r = sample(); r.selectedTab = 6; return r; }())},
        {"length past the end", std::string("TAVOLIN-RECOVERY 1\npid 1\nsaved 2\ntab 0\npath 99\n/a\n")},
        {"number with junk", std::string("TAVOLIN-RECOVERY 1\npid 1x\nsaved 2\ntab 0\npath 0\n\n")},
    };
    for (const auto& r : rows) EXPECT_FALSE(document::decodeRecovery(r.bytes)) << r.name;
}

TEST(RecoveryFile, Folder) {
    struct Row { const char* name; std::map<std::string, std::string> env; std::string expected; };
    const std::vector<Row> rows = {
        {"XDG_STATE_HOME", {{"XDG_STATE_HOME", "/s"}, {"HOME", "/h"}}, "/s/tavolin"},
        {"trailing slash", {{"XDG_STATE_HOME", "/s/"}}, "/s/tavolin"},
        {"relative XDG_STATE_HOME is ignored", {{"XDG_STATE_HOME", "rel"}, {"HOME", "/h"}}, "/h/.local/state/tavolin"},
        {"empty XDG_STATE_HOME", {{"XDG_STATE_HOME", ""}, {"HOME", "/h"}}, "/h/.local/state/tavolin"},
        {"HOME only", {{"HOME", "/h"}}, "/h/.local/state/tavolin"},
        {"nothing", {}, ""},
    };
    for (const auto& r : rows) {
        const auto env = [&r](const char* name) -> const char* {
            auto it = r.env.find(name);
            return it == r.env.end() ? nullptr : it->second.c_str();
        };
        EXPECT_EQ(document::recoveryFolder(env), r.expected) << r.name;
    }
}

struct StoreFixture {
    test::CallLog log;
    test::FakeFileSystem files{log};
    std::set<int64_t> running{100};
    int64_t now = 1000;
    document::RecoveryStore store{files, "/state/tavolin", 100, 1, [this](int64_t pid) { return running.contains(pid); },
                        [this] { return now; }};

    void leftBehind(int64_t pid, int window, int64_t savedAt, const std::string& path) {
        document::RecoveryRecord r;
        r.pid = pid;
        r.savedAt = savedAt;
        r.documentPath = path;
        r.tabTexts[1] = "CDE";
        files.files["/state/tavolin/window-" + std::to_string(pid) + "-" + std::to_string(window) + ".recovery"] =
            document::encodeRecovery(r);
    }
};

TEST(RecoveryStore, WritesAndRemovesItsOwnFile) {
    StoreFixture f;
    const document::TabTexts tabs{"", "CDE", "", "", "", ""};
    EXPECT_EQ(f.store.save(tabs, "/a.mml", 1).error, document::FileError::None);
    EXPECT_TRUE(f.files.folders.contains("/state/tavolin"));
    const std::string own = "/state/tavolin/window-100-1.recovery";
    EXPECT_EQ(f.store.ownFile(), own);
    ASSERT_TRUE(f.files.files.contains(own));
    const auto stored = document::decodeRecovery(f.files.files[own]);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->documentPath, "/a.mml");
    EXPECT_EQ(stored->savedAt, 1000);
    EXPECT_EQ(stored->pid, 100);
    EXPECT_EQ(stored->tabTexts, tabs);
    f.store.remove();
    f.store.remove();  // once only
    EXPECT_FALSE(f.files.files.contains(own));
    EXPECT_TRUE(test::logEqual(f.log, {"write " + own + " written", "remove " + own}));
}

TEST(RecoveryStore, SaveFailuresCarryTheirReason) {
    test::CallLog log;
    test::FakeFileSystem files{log};
    document::RecoveryStore locked{files, "/missing/state", 1, 1, nullptr, nullptr};
    EXPECT_EQ(locked.save({}, "", 0).error, document::FileError::AccessDenied);
    document::RecoveryStore nowhere{files, "", 1, 1, nullptr, nullptr};
    EXPECT_EQ(nowhere.save({}, "", 0).error, document::FileError::NotFound);
    EXPECT_TRUE(nowhere.orphans().empty());
    files.fullDisk = {"/s/window-1-1.recovery"};
    document::RecoveryStore full{files, "/s", 1, 1, nullptr, nullptr};
    EXPECT_EQ(full.save({}, "", 0).error, document::FileError::DiskFull);
    EXPECT_FALSE(full.hasOwnFile());
}

TEST(RecoveryStore, OffersOnlyFilesOfWindowsThatAreGone) {
    StoreFixture f;
    f.store.save({}, "/mine.mml", 0);             // this window's own file
    f.leftBehind(100, 2, 900, "/other-window.mml"); // another window of this running process
    f.leftBehind(7, 1, 500, "/old.mml");
    f.leftBehind(8, 1, 800, "/newer.mml");
    f.running.insert(9);
    f.leftBehind(9, 1, 950, "/running.mml");
    f.files.files["/state/tavolin/window-10-1.recovery"] = "garbage";
    f.files.files["/state/tavolin/notes.txt"] = "not ours";
    f.files.files["/state/tavolin/.window-11-1.recovery.saving-0"] = "a temporary file";
    const auto found = f.store.orphans();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].documentPath, "/newer.mml");  // newest first
    EXPECT_EQ(found[0].file, "/state/tavolin/window-8-1.recovery");
    EXPECT_EQ(found[1].documentPath, "/old.mml");
    EXPECT_EQ(found[1].tabTexts[1], "CDE");
    f.store.discard(found[1]);
    EXPECT_FALSE(f.files.files.contains("/state/tavolin/window-7-1.recovery"));
    EXPECT_EQ(f.store.orphans().size(), 1u);
    EXPECT_TRUE(f.files.files.contains("/state/tavolin/window-10-1.recovery"));  // unreadable: left alone
}

TEST(RecoveryStore, TwoWindowsStartedTogetherNeverOfferTheSameFile) {
    StoreFixture f;
    f.running.insert(200);
    document::RecoveryStore other{f.files, "/state/tavolin", 200, 1, [&f](int64_t pid) { return f.running.contains(pid); },
                        [] { return int64_t{0}; }};
    f.leftBehind(7, 1, 500, "/song.mml");
    auto mine = f.store.orphans();
    auto theirs = other.orphans();
    ASSERT_EQ(mine.size(), 1u);
    ASSERT_EQ(theirs.size(), 1u);  // both saw it before either claimed it
    EXPECT_TRUE(f.store.claim(mine[0]));
    EXPECT_FALSE(other.claim(theirs[0]));
    EXPECT_EQ(mine[0].file, "/state/tavolin/window-100-1-claimed-1.recovery");
    EXPECT_EQ(mine[0].documentPath, "/song.mml");
    EXPECT_TRUE(other.orphans().empty());  // held by a running process
    // Given back, the next window may take it; if the claiming process dies, it is an orphan again.
    f.store.release(mine[0]);
    EXPECT_EQ(mine[0].file, "/state/tavolin/window-7-1.recovery");
    theirs = other.orphans();
    ASSERT_EQ(theirs.size(), 1u);
    EXPECT_TRUE(other.claim(theirs[0]));  // its second claim: a failed one uses up a name too
    f.running.erase(200);
    ASSERT_EQ(f.store.orphans().size(), 1u);
    EXPECT_EQ(f.store.orphans()[0].file, "/state/tavolin/window-200-1-claimed-2.recovery");
}

TEST(RecoveryStore, RealProcessCheck) {
    EXPECT_TRUE(document::isTavolinRunning(document::currentProcessId()));
    EXPECT_FALSE(document::isTavolinRunning(0));
    EXPECT_FALSE(document::isTavolinRunning(-5));
    EXPECT_FALSE(document::isTavolinRunning(1));  // init is some other program

    struct Row { const char* stat; bool running; };
    const std::vector<Row> rows = {
        {"4242 (tavolin) S 1 4242 4242 0 -1", true},
        {"4242 (tavolin) R 1", true},
        {"4242 (tavolin) Z 1 4242", false},
        {"4242 (tavolin) X 1", false},
        {"4242 (a) Z) S 1", true},   // a name holding ") Z"
        {"4242 (a) S) Z 1", false},
        {"4242 (tavolin)", false},
        {"", false},
    };
    for (const auto& r : rows) EXPECT_EQ(document::statSaysRunning(r.stat), r.running) << r.stat;

    // A child that has ended but was not yet waited for: same name, kill(0) works, not running.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    bool zombie = false;
    for (int i = 0; i < 200 && !zombie; ++i) {
        std::ifstream in("/proc/" + std::to_string(child) + "/stat");
        std::string stat;
        std::getline(in, stat);
        zombie = !document::statSaysRunning(stat);
        if (!zombie) ::usleep(5000);
    }
    EXPECT_TRUE(zombie);
    EXPECT_FALSE(document::isTavolinRunning(child));
    ::waitpid(child, nullptr, 0);
}

}  // namespace
}  // namespace tavolin::window
