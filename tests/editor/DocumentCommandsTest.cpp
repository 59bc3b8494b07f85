// New, Open, Save, Save As and Import against a scripted window and an in-memory disk.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "editor/DocumentCommands.h"
#include "tests/editor/DocumentFakes.h"

namespace tavolin::editor {
namespace {

using test::CallLog;
using test::DocumentFixture;

const std::string kPrompt = std::string("ask ") + kSavePromptText + " / tavolin ostra";
const TabTexts kDoc{"T150", "C\r\nD", "", "", "", "E"};
const std::string kDocBytes = "SMML@T150;MML@C\r\r\nD,,,,E;";
const TabTexts kEmpty{};

// The steps of a clear that followed the prompt.
CallLog cleared() { return {"stop", "editor \"\"", "title 無題 "}; }
CallLog operator+(CallLog a, const CallLog& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void editedDocument(DocumentFixture& f, std::string path) {
    f.state.tabTexts = kDoc;
    f.state.modified = true;
    f.state.filePath = std::move(path);
}

struct Scenario {
    const char* name;
    std::function<void(DocumentFixture&)> setup;
    std::function<bool(DocumentFixture&)> run;
    bool expectedResult;
    CallLog expectedLog;
    TabTexts expectedTabs;
    std::string expectedPath;
    bool expectedModified;
    std::map<std::string, std::string> expectedFiles = {}; // only these paths are checked
};

void runScenarios(const std::vector<Scenario>& rows) {
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        DocumentFixture f;
        r.setup(f);
        bool result = r.run(f);
        EXPECT_EQ(result, r.expectedResult);
        EXPECT_TRUE(test::logEqual(f.log, r.expectedLog));
        EXPECT_TRUE(test::tabsEqual(f.state.tabTexts, r.expectedTabs));
        EXPECT_EQ(f.state.filePath, r.expectedPath);
        EXPECT_EQ(f.state.modified, r.expectedModified);
        for (const auto& [path, bytes] : r.expectedFiles) {
            auto it = f.files.files.find(path);
            ASSERT_NE(it, f.files.files.end()) << path << " missing";
            EXPECT_TRUE(test::bytesEqual(it->second, bytes)) << path;
        }
    }
}

auto promptAndClear = [](DocumentFixture& f) { return f.commands.promptSaveAndClear(); };
auto save = [](DocumentFixture& f) { return f.commands.saveDocument(); };
auto open = [](DocumentFixture& f) { return f.commands.openDocument(); };
auto importClip = [](DocumentFixture& f) { return f.commands.importClipboard(); };

TEST(DocumentCommands, NewAndItsPrompt) {
    runScenarios({
        {"unmodified: no prompt", [](auto& f) { f.state.tabTexts = kDoc; f.state.filePath = "/a.mml"; },
         promptAndClear, true, cleared(), kEmpty, "", false},
        {"cancel changes nothing", [](auto& f) { editedDocument(f, "/a.mml"); f.host.answers = {PromptAnswer::Cancel}; },
         promptAndClear, false, {kPrompt}, kDoc, "/a.mml", true},
        {"no discards the edits", [](auto& f) { editedDocument(f, "/a.mml"); f.host.answers = {PromptAnswer::No}; },
         promptAndClear, true, CallLog{kPrompt} + cleared(), kEmpty, "", false, {}},
        {"yes saves to its file, then clears",
         [](auto& f) { editedDocument(f, "/a.mml"); f.host.answers = {PromptAnswer::Yes}; },
         promptAndClear, true, CallLog{kPrompt, "write /a.mml written", "title /a.mml "} + cleared(), kEmpty, "", false,
         {{"/a.mml", kDocBytes}}},
        {"yes then cancel in the save dialog keeps the document",
         [](auto& f) { editedDocument(f, ""); f.host.answers = {PromptAnswer::Yes}; f.host.saveResults = {std::nullopt}; },
         promptAndClear, false, {kPrompt, "save-dialog -> cancel", "title 無題 *"}, kDoc, "", true},
        {"yes then a failing write keeps the document",
         [](auto& f) {
             editedDocument(f, "/full.mml");
             f.files.files["/full.mml"] = "old";
             f.files.fullDisk = {"/full.mml"};
             f.host.answers = {PromptAnswer::Yes};
         },
         promptAndClear, false,
         {kPrompt, "write /full.mml write-failed", std::string("message ") + kSaveFailedText, "title /full.mml *"},
         kDoc, "/full.mml", true, {{"/full.mml", "old"}}},
    });
}

TEST(DocumentCommands, SaveAndSaveAs) {
    runScenarios({
        {"new empty document: 15 bytes, titled with the path",
         [](auto& f) { f.host.saveResults = {"/new.mml"}; }, save, true,
         {"save-dialog -> /new.mml", "write /new.mml written", "title /new.mml "}, kEmpty, "/new.mml", false,
         {{"/new.mml", "SMML@;MML@,,,,;"}}},
        {"named document saves without a dialog", [](auto& f) { editedDocument(f, "/a.mml"); }, save, true,
         {"write /a.mml written", "title /a.mml "}, kDoc, "/a.mml", false, {{"/a.mml", kDocBytes}}},
        {"read-only file: the dialog comes back until a file opens",
         [](auto& f) {
             editedDocument(f, "/ro.mml");
             f.files.readOnly = {"/ro.mml", "/ro2.mml"};
             f.host.saveResults = {"/ro2.mml", "/missing/x.mml", "/ok.mml"};
         },
         save, true,
         {"write /ro.mml cannot-open", "save-dialog -> /ro2.mml", "write /ro2.mml cannot-open",
          "save-dialog -> /missing/x.mml", "write /missing/x.mml cannot-open", "save-dialog -> /ok.mml",
          "write /ok.mml written", "title /ok.mml "},
         kDoc, "/ok.mml", false, {{"/ok.mml", kDocBytes}}},
        {"read-only file, then cancel: untitled and still modified",
         [](auto& f) { editedDocument(f, "/ro.mml"); f.files.readOnly = {"/ro.mml"}; f.host.saveResults = {std::nullopt}; },
         save, false, {"write /ro.mml cannot-open", "save-dialog -> cancel", "title 無題 *"}, kDoc, "", true},
        {"full disk: reported, still modified, old file intact",
         [](auto& f) {
             editedDocument(f, "/full.mml");
             f.files.files["/full.mml"] = "SMML@OLD;MML@,,,,;";
             f.files.fullDisk = {"/full.mml"};
         },
         save, false,
         {"write /full.mml write-failed", std::string("message ") + kSaveFailedText, "title /full.mml *"}, kDoc,
         "/full.mml", true, {{"/full.mml", "SMML@OLD;MML@,,,,;"}}},
        {"save as always shows the dialog",
         [](auto& f) { editedDocument(f, "/a.mml"); f.host.saveResults = {"/b.mml"}; },
         [](auto& f) { return f.commands.saveDocumentAs(); }, true,
         {"save-dialog -> /b.mml", "write /b.mml written", "title /b.mml "}, kDoc, "/b.mml", false,
         {{"/b.mml", kDocBytes}}},
        {"save as, cancel: untitled, and the next save shows the dialog",
         [](auto& f) { editedDocument(f, "/a.mml"); f.host.saveResults = {std::nullopt, "/c.mml"}; },
         [](auto& f) {
             bool first = f.commands.saveDocumentAs();
             EXPECT_EQ(f.state.filePath, "");
             return !first && f.commands.saveDocument();
         },
         true,
         {"save-dialog -> cancel", "title 無題 *", "save-dialog -> /c.mml", "write /c.mml written", "title /c.mml "},
         kDoc, "/c.mml", false, {{"/c.mml", kDocBytes}}},
    });
}

TEST(DocumentCommands, Open) {
    runScenarios({
        {"cancel in the open dialog leaves the document cleared",
         [](auto& f) { f.state.tabTexts = kDoc; f.state.filePath = "/a.mml"; f.host.openResults = {std::nullopt}; },
         open, false, cleared() + CallLog{"open-dialog -> cancel"}, kEmpty, "", false},
        {"unreadable file: message, cleared and untitled",
         [](auto& f) { f.state.tabTexts = kDoc; f.host.openResults = {"/gone.mml"}; }, open, false,
         cleared() + CallLog{"open-dialog -> /gone.mml", std::string("message ") + kOpenFailedText}, kEmpty, "", false},
        {"cancel in the prompt shows no dialog",
         [](auto& f) { editedDocument(f, "/a.mml"); f.host.answers = {PromptAnswer::Cancel}; }, open, false, {kPrompt},
         kDoc, "/a.mml", true},
        {"cr cr lf comes back as cr lf, editor shows the selected tab",
         [](auto& f) {
             f.files.files["/s.mml"] = kDocBytes;
             f.state.selectedTab = 1;
             f.host.openResults = {"/s.mml"};
         },
         open, true, cleared() + CallLog{"open-dialog -> /s.mml", "editor \"C\\r\\nD\"", "title /s.mml "}, kDoc,
         "/s.mml", false},
        {"file written elsewhere: upper-cased, no import steps",
         [](auto& f) {
             f.files.files["/x.txt"] = "t120v15\tc";
             f.host.openResults = {"/x.txt"};
         },
         open, true, cleared() + CallLog{"open-dialog -> /x.txt", "editor \"\"", "title /x.txt "},
         {"", "T120V15C", "", "", "", ""}, "/x.txt", false},
        {"yes in the prompt saves before opening",
         [](auto& f) {
             editedDocument(f, "/a.mml");
             f.host.answers = {PromptAnswer::Yes};
             f.files.files["/b.mml"] = "SMML@;MML@G,,,,;";
             f.host.openResults = {"/b.mml"};
             f.state.selectedTab = 1;
         },
         open, true,
         CallLog{kPrompt, "write /a.mml written", "title /a.mml "} + cleared() +
             CallLog{"open-dialog -> /b.mml", "editor \"G\"", "title /b.mml "},
         {"", "G", "", "", "", ""}, "/b.mml", false, {{"/a.mml", kDocBytes}}},
    });
}

TEST(DocumentCommands, ImportFromClipboard) {
    const TabTexts example{"T120", "V127CDE", "V84EFG", "", "", ""};
    runScenarios({
        {"the example with start values: untitled and unmodified",
         [](auto& f) { f.state.filePath = "/a.mml"; f.host.clipboard = "MML@t120v15cde,v10efg;"; },
         importClip, true, cleared() + CallLog{"editor \"T120\"", "title 無題 "}, example, "", false},
        {"no text on the clipboard: message, no prompt, document untouched",
         [](auto& f) { editedDocument(f, "/a.mml"); f.host.hasText = false; }, importClip, false,
         {std::string("message ") + kNoClipboardText}, kDoc, "/a.mml", true},
        {"clipboard cannot be read: nothing happens",
         [](auto& f) { editedDocument(f, "/a.mml"); f.host.clipboard = std::nullopt; }, importClip, false, {}, kDoc,
         "/a.mml", true},
        {"cancel in the prompt: nothing happens",
         [](auto& f) {
             editedDocument(f, "/a.mml");
             f.host.clipboard = "MML@C;";
             f.host.answers = {PromptAnswer::Cancel};
         },
         importClip, false, {kPrompt}, kDoc, "/a.mml", true},
        {"text ends at the first nul",
         [](auto& f) { f.host.clipboard = std::string("MML@v15c\0,v15d;", 15); f.state.selectedTab = 1; }, importClip,
         true, cleared() + CallLog{"editor \"V255C\"", "title 無題 "}, {"", "V255C", "", "", "", ""}, "", false},
        {"control values are read when importing",
         [](auto& f) {
             f.host.clipboard = "MML@T1V8CT2,V4D;";
             f.host.controls = ImportControls{false, "8", false};
             f.state.selectedTab = 2;
         },
         importClip, true, cleared() + CallLog{"editor \"V127D\"", "title 無題 "}, {"T1", "V255CT2", "V127D", "", "", ""},
         "", false},
        {"selected tab out of range shows bank E",
         [](auto& f) { f.host.clipboard = "A,B,C,D,E"; f.state.selectedTab = 9; }, importClip, true,
         cleared() + CallLog{"editor \"E\"", "title 無題 "}, {"", "A", "B", "C", "D", "E"}, "", false},
    });
}

TEST(DocumentCommands, DialogParameters) {
    DocumentFixture f;
    f.host.saveResults = {"/a.mml"};
    f.host.openResults = {std::nullopt};
    f.commands.saveDocument();
    f.commands.openDocument();
    ASSERT_EQ(f.host.dialogOptions.size(), 2u);
    for (const auto& o : f.host.dialogOptions) {
        EXPECT_EQ(o.filter, "mmlファイル(*.mml)|*.mml|テキストファイル(*.txt)|*.txt||");
        EXPECT_EQ(o.entries, (std::vector<FileFilterEntry>{{"mmlファイル(*.mml)", "*.mml"},
                                                           {"テキストファイル(*.txt)", "*.txt"}}));
        EXPECT_EQ(o.defaultExtension, "mml");
        EXPECT_EQ(o.initialFileName, "title.mml");
        EXPECT_TRUE(o.hideReadOnly);
    }
    EXPECT_TRUE(f.host.dialogOptions[0].promptOverwrite);
    EXPECT_FALSE(f.host.dialogOptions[1].promptOverwrite);
}

TEST(DocumentCommands, SplitFileFilter) {
    struct Row { const char* name; std::string filter; std::vector<FileFilterEntry> expected; };
    const std::vector<Row> rows = {
        {"one entry", "All(*.*)|*.*||", {{"All(*.*)", "*.*"}}},
        {"no terminator", "A|*.a|B|*.b", {{"A", "*.a"}, {"B", "*.b"}}},
        {"dangling name ignored", "A|*.a|B", {{"A", "*.a"}}},
        {"empty", "", {}},
    };
    for (const auto& r : rows) EXPECT_EQ(splitFileFilter(r.filter), r.expected) << r.name;
}

}  // namespace
}  // namespace tavolin::editor
