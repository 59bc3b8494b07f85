// SPDX-License-Identifier: MIT
// The window's autosave, its recovery offer at start-up and its recent files, on a
// recording view and an in-memory disk.
#include <gtest/gtest.h>

#include <set>

#include "FakeView.h"
#include "document/Recovery.h"
#include "tests/window/DocumentFakes.h"

namespace tavolin::window {
namespace {

using testing::FakeServices;
using testing::FakeView;

constexpr const char* kFolder = "/state/tavolin";
constexpr const char* kOwn = "/state/tavolin/window-100-1.recovery";

struct Window {
    test::CallLog log;
    test::FakeFileSystem files{log};
    std::set<int64_t> running{100};
    document::RecoveryStore store{files, kFolder, 100, 1, [this](int64_t pid) { return running.contains(pid); },
                        [] { return int64_t{1800000000}; }};
    FakeView view;
    CTavolinDlg dlg{view};
    FakeServices services{dlg};
    Window() {
        dlg.setServices(&services);
        dlg.setRecovery(&store);
        dlg.OnInitDialog();
    }
    ~Window() { dlg.setServices(nullptr); }

    std::optional<document::RecoveryRecord> own() {
        auto it = files.files.find(kOwn);
        if (it == files.files.end()) return std::nullopt;
        return document::decodeRecovery(it->second);
    }
    void leftBehind(int64_t pid, int64_t savedAt, const std::string& path, const document::TabTexts& tabs, int tab = 0,
                    int window = 1) {
        document::RecoveryRecord r;
        r.pid = pid;
        r.savedAt = savedAt;
        r.documentPath = path;
        r.tabTexts = tabs;
        r.selectedTab = tab;
        files.files[std::string(kFolder) + "/window-" + std::to_string(pid) + "-" + std::to_string(window) +
                   ".recovery"] = document::encodeRecovery(r);
    }
};

TEST(WindowRecovery, EditsScheduleTheAutosaveWhichWritesTheDocument) {
    Window w;
    w.dlg.runCommand(Command::Autosave);  // clean: nothing to write
    EXPECT_FALSE(w.own());
    w.view.clickTab(w.dlg, 2);
    w.view.type(w.dlg, "cde");
    w.view.type(w.dlg, "f");
    EXPECT_EQ(w.view.autosaveSchedules,
              (std::vector<std::pair<int, int>>{{kAutosaveIdleMs, kAutosaveMaxMs}, {kAutosaveIdleMs, kAutosaveMaxMs}}));
    EXPECT_LE(kAutosaveIdleMs, 5000);  // "a few seconds"
    w.dlg.runCommand(Command::Autosave);
    const auto saved = w.own();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->tabTexts[2], "CDEF");
    EXPECT_EQ(saved->selectedTab, 2);
    EXPECT_EQ(saved->documentPath, "");
    // Tab changes are no edits.
    const size_t schedules = w.view.autosaveSchedules.size();
    w.view.clickTab(w.dlg, 1);
    EXPECT_EQ(w.view.autosaveSchedules.size(), schedules);
}

TEST(WindowRecovery, PlayAndTestWriteTheRecoveryFileFirst) {
    for (Command command : {Command::Play, Command::Test}) {
        Window w;
        w.view.type(w.dlg, "cde");
        w.services.calls.clear();
        w.log.clear();
        w.dlg.runCommand(command);
        EXPECT_EQ(w.log, (test::CallLog{std::string("write ") + kOwn + " written"}));
        EXPECT_EQ(w.services.calls.size(), 1u);
        ASSERT_TRUE(w.own());
        EXPECT_EQ(w.own()->tabTexts[0], "CDE");
    }
}

TEST(WindowRecovery, CleanDocumentsLeaveNoRecoveryFile) {
    struct Row {
        const char* name;
        std::function<void(Window&)> act;
        bool removed;
    };
    const std::vector<Row> rows = {
        {"save", [](Window& w) { w.dlg.runCommand(Command::Save); }, true},
        {"failed save keeps it", [](Window& w) { w.services.saveSucceeds = false; w.dlg.runCommand(Command::Save); },
         false},
        {"close, discarding", [](Window& w) { w.view.answers = {PromptAnswer::No}; w.dlg.runCommand(Command::Exit); },
         true},
        {"close cancelled keeps it",
         [](Window& w) { w.view.answers = {PromptAnswer::Cancel}; w.dlg.runCommand(Command::Exit); }, false},
        {"close, saving", [](Window& w) { w.view.answers = {PromptAnswer::Yes}; w.dlg.runCommand(Command::Exit); },
         true},
        {"new on a document made clean",
         [](Window& w) { w.dlg.modified = false; w.dlg.runCommand(Command::New); }, true},
        {"autosave of a clean document", [](Window& w) { w.dlg.modified = false; w.dlg.runCommand(Command::Autosave); },
         true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Window w;
        w.view.type(w.dlg, "cde");
        w.dlg.runCommand(Command::Autosave);
        ASSERT_TRUE(w.own());
        r.act(w);
        EXPECT_EQ(!w.own(), r.removed);
    }
}

// Undo (or retyping) back to the saved texts makes the document clean again:
// no star, no prompt, no recovery file.
TEST(WindowRecovery, TextsBackToTheSavedOnesAreClean) {
    struct Step {
        const char* name;
        std::function<void(Window&)> act;
        bool modified;
    };
    const auto retype = [](const char* text) {
        return [text](Window& w) {
            w.view.selection = {0, w.view.editor.size()};
            w.view.type(w.dlg, text);
        };
    };
    const std::vector<Step> steps = {
        {"typed", [](Window& w) { w.view.type(w.dlg, "cd"); }, true},
        {"undone to the empty start", retype(""), false},
        {"typed in bank B", [](Window& w) { w.view.clickTab(w.dlg, 2); w.view.type(w.dlg, "e"); }, true},
        {"bank B undone", retype(""), false},
        {"saved", [](Window& w) { w.view.type(w.dlg, "f"); w.dlg.runCommand(Command::Save); }, false},
        {"edited after the save", [](Window& w) { w.view.type(w.dlg, "g"); }, true},
        {"back to the saved text", retype("f"), false},
        {"the old empty text is no longer the clean one", retype(""), true},
    };
    Window w;
    for (const Step& s : steps) {
        s.act(w);
        w.dlg.runCommand(Command::Autosave);
        EXPECT_EQ(w.dlg.modified, s.modified) << s.name;
        EXPECT_EQ(w.view.title.back() == '*', s.modified) << s.name << ": " << w.view.title;
        EXPECT_EQ(w.own().has_value(), s.modified) << s.name;
    }
    // A restored document has no known clean text: it stays modified until saved.
    Window r;
    r.leftBehind(7, 1700000000, "", {"C", "", "", "", "", ""});
    r.view.recoveryAnswers = {RecoveryChoice::Restore};
    r.dlg.offerRecovery();
    r.view.type(r.dlg, "d");
    r.view.selection = {0, r.view.editor.size()};
    r.view.type(r.dlg, "c");
    EXPECT_TRUE(r.dlg.modified);
}

TEST(WindowRecovery, AutosaveFailureIsToldOnceInTheStatusBar) {
    Window w;
    w.files.fullDisk = {kOwn};
    w.view.type(w.dlg, "c");
    w.dlg.runCommand(Command::Autosave);
    w.view.type(w.dlg, "d");
    w.dlg.runCommand(Command::Autosave);
    EXPECT_EQ(w.view.statusLines,
              (std::vector<std::string>{"自動保存できませんでした（/state/tavolin）。ディスクの空き容量が足りません。"}));
    EXPECT_TRUE(w.view.messages.empty());  // no box in the middle of typing
    w.files.fullDisk.clear();
    w.dlg.runCommand(Command::Autosave);
    EXPECT_TRUE(w.own());
}

TEST(WindowRecovery, OffersWhatCrashedWindowsLeft) {
    const document::TabTexts older{"T120", "CDE", "", "", "", ""};
    const document::TabTexts newer{"", "", "GAB", "", "", ""};
    struct Row {
        const char* name;
        std::vector<RecoveryChoice> answers;
        size_t offers;
        std::string restoredPath;  // empty: nothing restored
        std::set<int64_t> leftPids;
    };
    const std::vector<Row> rows = {
        {"restore the newest", {RecoveryChoice::Restore}, 1, "/songs/b.mml", {7}},
        {"discard it, then restore the older", {RecoveryChoice::Discard, RecoveryChoice::Restore}, 2, "/songs/a.mml", {}},
        {"later keeps both", {RecoveryChoice::Later}, 1, "", {7, 8}},
        {"discard both", {RecoveryChoice::Discard, RecoveryChoice::Discard}, 2, "", {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Window w;
        w.leftBehind(7, 1700000000, "/songs/a.mml", older, 1);
        w.leftBehind(8, 1700000500, "/songs/b.mml", newer, 2);
        w.leftBehind(100, 1700000900, "/other.mml", newer, 0, 2);  // another window of this process
        w.view.recoveryAnswers.assign(r.answers.begin(), r.answers.end());
        w.dlg.offerRecovery();
        ASSERT_EQ(w.view.recoveryOffers.size(), r.offers);
        const RecoveryOffer& first = w.view.recoveryOffers[0];
        EXPECT_EQ(first.title, "ドキュメントの復元");
        EXPECT_NE(first.text.find("/songs/b.mml"), std::string::npos) << first.text;
        EXPECT_NE(first.text.find("ほかに 1 件"), std::string::npos) << first.text;
        EXPECT_EQ(first.restoreLabel, "復元する");
        EXPECT_EQ(first.discardLabel, "破棄する");
        EXPECT_EQ(first.laterLabel, "後で");
        std::set<int64_t> left;
        for (int64_t pid : {7, 8})
            if (w.files.files.contains(std::string(kFolder) + "/window-" + std::to_string(pid) + "-1.recovery"))
                left.insert(pid);
        EXPECT_EQ(left, r.leftPids);
        if (r.restoredPath.empty()) {
            EXPECT_FALSE(w.dlg.modified);
            EXPECT_EQ(w.dlg.tabTexts, document::TabTexts{});
            EXPECT_FALSE(w.own());
            continue;
        }
        const document::TabTexts& expected = r.restoredPath == "/songs/a.mml" ? older : newer;
        const int tab = r.restoredPath == "/songs/a.mml" ? 1 : 2;
        EXPECT_EQ(w.dlg.tabTexts, expected);
        EXPECT_EQ(w.dlg.filePath, r.restoredPath);
        EXPECT_TRUE(w.dlg.modified);
        EXPECT_EQ(w.view.title, "tavolin Ostra - " + r.restoredPath + " *");
        EXPECT_EQ(w.view.currentIndex(ctl::Tabs), tab);
        EXPECT_EQ(w.view.editorText(), tab == 1 ? "CDE" : "GAB");
        // The work now lives in this window's own recovery file.
        ASSERT_TRUE(w.own());
        EXPECT_EQ(w.own()->tabTexts, expected);
    }
}

TEST(WindowRecovery, AWindowHoldingADocumentKeepsIt) {
    struct Row {
        const char* name;
        std::string filePath;  // named on the command line
        bool modified;
        std::vector<std::string> offered;
    };
    const std::vector<Row> rows = {
        {"an empty window: every document", "", false, {"/songs/b.mml", "/songs/a.mml"}},
        {"started with a.mml: only its work", "/songs/a.mml", false, {"/songs/a.mml"}},
        {"started with another file: nothing", "/songs/c.mml", false, {}},
        {"edits of its own: nothing", "", true, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Window w;
        w.leftBehind(7, 1700000000, "/songs/a.mml", {"", "A", "", "", "", ""});
        w.leftBehind(8, 1700000500, "/songs/b.mml", {"", "B", "", "", "", ""});
        w.dlg.filePath = r.filePath;
        w.dlg.modified = r.modified;
        w.view.recoveryAnswers.assign(r.offered.size(), RecoveryChoice::Discard);
        w.dlg.offerRecovery();
        std::vector<std::string> offered;
        for (const RecoveryOffer& o : w.view.recoveryOffers)
            offered.push_back(o.text.find("/songs/a.mml") != std::string::npos ? "/songs/a.mml" : "/songs/b.mml");
        EXPECT_EQ(offered, r.offered);
        EXPECT_EQ(w.dlg.filePath, r.filePath);
        EXPECT_EQ(w.files.files.size(), 2 - r.offered.size());  // the rest left for another window
    }
}

TEST(WindowRecovery, UntitledDocumentsAreOfferedAsUntitled) {
    Window w;
    w.leftBehind(7, 1700000000, "", {"", "C", "", "", "", ""});
    w.view.recoveryAnswers = {RecoveryChoice::Restore};
    w.dlg.offerRecovery();
    ASSERT_EQ(w.view.recoveryOffers.size(), 1u);
    EXPECT_NE(w.view.recoveryOffers[0].text.find("ファイル: 無題"), std::string::npos);
    EXPECT_EQ(w.view.recoveryOffers[0].text.find("ほかに"), std::string::npos);
    EXPECT_EQ(w.view.title, "tavolin Ostra - 無題 *");
}

TEST(WindowRecovery, NothingWithoutAStore) {
    FakeView view;
    CTavolinDlg dlg(view);
    dlg.OnInitDialog();
    view.type(dlg, "c");
    dlg.runCommand(Command::Autosave);
    dlg.offerRecovery();
    EXPECT_TRUE(view.autosaveSchedules.empty());
    EXPECT_TRUE(view.recoveryOffers.empty());
}

TEST(WindowRecentFiles, NewestFirstAtMostEight) {
    Window w;
    w.dlg.setRecentFiles({"/a", "", "s1/song.mml", "/b", "/a", "/c"});  // a relative entry of an older version goes
    EXPECT_EQ(w.view.recentFiles, (std::vector<std::string>{"/a", "/b", "/c"}));
    for (int i = 1; i <= 9; ++i) w.dlg.rememberFile("/f" + std::to_string(i));
    w.dlg.rememberFile("/f5");
    EXPECT_EQ(w.view.recentFiles, (std::vector<std::string>{"/f5", "/f9", "/f8", "/f7", "/f6", "/f4", "/f3", "/f2"}));
    w.dlg.forgetFile("/f9");
    EXPECT_EQ(w.view.recentFiles.size(), 7u);
    w.dlg.runCommand(Command::OpenRecent, 1);
    w.dlg.runCommand(Command::OpenRecent, 7);   // past the end: nothing
    w.dlg.runCommand(Command::OpenRecent, -1);
    EXPECT_EQ(w.services.calls, (std::vector<std::string>{"openRecent:/f8"}));
}

}  // namespace
}  // namespace tavolin::window
