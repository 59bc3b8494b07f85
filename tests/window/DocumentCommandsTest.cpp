// SPDX-License-Identifier: MIT
// New, Open, Save, Save As and Import against a scripted window and an in-memory disk.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "compiler/Cp932.h"
#include "window/DocumentCommands.h"
#include "music/MidiImport.h"
#include "document/UserTexts.h"
#include "tests/window/DocumentFakes.h"
#include "tests/output/MidiBytes.h"

namespace tavolin::window {
namespace {

using test::CallLog;
using test::DocumentFixture;

const std::string kPrompt = std::string("ask ") + kSavePromptText + " / tavolin ostra";
const document::TabTexts kDoc{"T150", "C\r\nD", "", "", "", "E"};
const std::string kDocBytes = "SMML@T150;MML@C\r\r\nD,,,,E;";
const document::TabTexts kEmpty{};

// The box of a failed save: what, why, and the offer of another place.
std::string saveFailed(const std::string& path, const char* reason) {
    return "message 「" + path + "」に保存できませんでした。\n" + reason + "\n別の場所を選んで保存してください。";
}
std::string openFailed(const std::string& path, const char* reason) {
    return "message 「" + path + "」を開けませんでした。\n" + reason;
}
const char* const kNotFound = "ファイルまたはフォルダが見つかりません。";
const char* const kDenied = "アクセス権がありません。";
const char* const kFull = "ディスクの空き容量が足りません。";

// The warning before opening a file with text outside the document record.
std::string losesAsk(const std::string& path, int bytes) {
    return "ask 「" + path + "」には、開いて保存すると失われる部分があります。\nドキュメントの枠（SMML@…;MML@…;）の外にある " +
           std::to_string(bytes) + " バイトは読み込まれません。\n\nこのまま開きますか？（元のファイルは保存するまで変わりません） / tavolin ostra";
}

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
    document::TabTexts expectedTabs;
    std::string expectedPath;
    bool expectedModified;
    std::map<std::string, std::string> expectedFiles = {}; // only these paths are checked
};

void runScenarios(const std::vector<Scenario>& rows) {
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        DocumentFixture f;
        r.setup(f);
        const bool wasModified = f.state.modified;
        bool result = r.run(f);
        EXPECT_EQ(result, r.expectedResult);
        EXPECT_TRUE(test::logEqual(f.log, r.expectedLog));
        EXPECT_TRUE(test::tabsEqual(f.state.tabTexts, r.expectedTabs));
        EXPECT_EQ(f.state.filePath, r.expectedPath);
        EXPECT_EQ(f.state.modified, r.expectedModified);
        // Made clean: these texts are what later edits are compared with.
        if (wasModified && !f.state.modified) EXPECT_EQ(f.state.cleanTexts, std::optional(f.state.tabTexts));
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
auto importMidiFile = [](DocumentFixture& f) { return f.commands.importMidiFile(); };
auto openExample = [](DocumentFixture& f) { return f.commands.openExample("/ex/demo.mml"); };

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
         promptAndClear, false, {kPrompt, "save-dialog -> cancel"}, kDoc, "", true},
        {"yes then a failing write, then cancel, keeps the document",
         [](auto& f) {
             editedDocument(f, "/full.mml");
             f.files.files["/full.mml"] = "old";
             f.files.fullDisk = {"/full.mml"};
             f.host.answers = {PromptAnswer::Yes};
             f.host.saveResults = {std::nullopt};
         },
         promptAndClear, false,
         {kPrompt, "write /full.mml write-failed", saveFailed("/full.mml", kFull), "save-dialog -> cancel"},
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
        {"read-only file: each failure says why, the dialog comes back until a file is written",
         [](auto& f) {
             editedDocument(f, "/ro.mml");
             f.files.readOnly = {"/ro.mml", "/ro2.mml"};
             f.host.saveResults = {"/ro2.mml", "/missing/x.mml", "/ok.mml"};
         },
         save, true,
         {"write /ro.mml cannot-open", saveFailed("/ro.mml", kDenied), "save-dialog -> /ro2.mml",
          "write /ro2.mml cannot-open", saveFailed("/ro2.mml", kDenied), "save-dialog -> /missing/x.mml",
          "write /missing/x.mml cannot-open", saveFailed("/missing/x.mml", kNotFound), "save-dialog -> /ok.mml",
          "write /ok.mml written", "title /ok.mml "},
         kDoc, "/ok.mml", false, {{"/ok.mml", kDocBytes}}},
        {"read-only file, then cancel: name, title and modified flag stay",
         [](auto& f) { editedDocument(f, "/ro.mml"); f.files.readOnly = {"/ro.mml"}; f.host.saveResults = {std::nullopt}; },
         save, false, {"write /ro.mml cannot-open", saveFailed("/ro.mml", kDenied), "save-dialog -> cancel"}, kDoc,
         "/ro.mml", true},
        {"full disk: reported with its reason, still modified, old file intact",
         [](auto& f) {
             editedDocument(f, "/full.mml");
             f.files.files["/full.mml"] = "SMML@OLD;MML@,,,,;";
             f.files.fullDisk = {"/full.mml"};
             f.host.saveResults = {std::nullopt};
         },
         save, false, {"write /full.mml write-failed", saveFailed("/full.mml", kFull), "save-dialog -> cancel"}, kDoc,
         "/full.mml", true, {{"/full.mml", "SMML@OLD;MML@,,,,;"}}},
        {"save as always shows the dialog",
         [](auto& f) { editedDocument(f, "/a.mml"); f.host.saveResults = {"/b.mml"}; },
         [](auto& f) { return f.commands.saveDocumentAs(); }, true,
         {"save-dialog -> /b.mml", "write /b.mml written", "title /b.mml "}, kDoc, "/b.mml", false,
         {{"/b.mml", kDocBytes}}},
        {"save as, cancel: the name stays, and the next save writes to it",
         [](auto& f) { editedDocument(f, "/a.mml"); f.host.saveResults = {std::nullopt}; },
         [](auto& f) {
             bool first = f.commands.saveDocumentAs();
             EXPECT_EQ(f.state.filePath, "/a.mml");
             EXPECT_TRUE(f.state.modified);
             return !first && f.commands.saveDocument();
         },
         true, {"save-dialog -> cancel", "write /a.mml written", "title /a.mml "}, kDoc, "/a.mml", false,
         {{"/a.mml", kDocBytes}}},
    });
}

TEST(DocumentCommands, Open) {
    runScenarios({
        {"no, then cancel in the open dialog: the edits stay",
         [](auto& f) { editedDocument(f, "/a.mml"); f.host.answers = {PromptAnswer::No}; f.host.openResults = {std::nullopt}; },
         open, false, {kPrompt, "open-dialog -> cancel"}, kDoc, "/a.mml", true},
        {"cancel in the open dialog of a clean document",
         [](auto& f) { f.state.tabTexts = kDoc; f.state.filePath = "/a.mml"; f.host.openResults = {std::nullopt}; },
         open, false, {"open-dialog -> cancel"}, kDoc, "/a.mml", false},
        {"missing file: name and reason, the document stays",
         [](auto& f) { editedDocument(f, "/a.mml"); f.host.answers = {PromptAnswer::No}; f.host.openResults = {"/gone.mml"}; },
         open, false, {kPrompt, "open-dialog -> /gone.mml", openFailed("/gone.mml", kNotFound)}, kDoc, "/a.mml", true},
        {"unreadable file: access denied",
         [](auto& f) {
             f.files.readErrors["/locked.mml"] = document::FileError::AccessDenied;
             f.host.openResults = {"/locked.mml"};
         },
         open, false, {"open-dialog -> /locked.mml", openFailed("/locked.mml", kDenied)}, kEmpty, "", false},
        {"cancel in the prompt shows no dialog",
         [](auto& f) { editedDocument(f, "/a.mml"); f.host.answers = {PromptAnswer::Cancel}; }, open, false, {kPrompt},
         kDoc, "/a.mml", true},
        {"cr cr lf comes back as cr lf, editor shows the selected tab",
         [](auto& f) {
             f.files.files["/s.mml"] = kDocBytes;
             f.state.selectedTab = 1;
             f.host.openResults = {"/s.mml"};
         },
         open, true, {"open-dialog -> /s.mml", "stop", "editor \"C\\r\\nD\"", "title /s.mml "}, kDoc, "/s.mml", false},
        {"file written elsewhere: upper-cased, no import steps",
         [](auto& f) {
             f.files.files["/x.txt"] = "t120v15\tc";
             f.host.openResults = {"/x.txt"};
         },
         open, true, {"open-dialog -> /x.txt", "stop", "editor \"\"", "title /x.txt "},
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
         {kPrompt, "write /a.mml written", "title /a.mml ", "open-dialog -> /b.mml", "stop", "editor \"G\"",
          "title /b.mml "},
         {"", "G", "", "", "", ""}, "/b.mml", false, {{"/a.mml", kDocBytes}}},
        {"a UTF-8 file is converted, with a notice",
         [](auto& f) {
             f.files.files["/u.mml"] = "SMML@T150;MML@cde /* ドレミ */,,,,;";
             f.state.selectedTab = 2;
             f.host.openResults = {"/u.mml"};
         },
         open, true,
         {"open-dialog -> /u.mml", "stop", "editor \"\"", "title /u.mml ", std::string("status ") + document::text::kUtf8Converted},
         {"T150", *utf8ToCp932("CDE /* ドレミ */"), "", "", "", ""}, "/u.mml", false},
        {"a UTF-8 file with characters CP932 lacks: each reported with its line, nothing changes",
         [](auto& f) {
             editedDocument(f, "/a.mml");
             f.host.answers = {PromptAnswer::No};
             f.files.files["/e.mml"] = "MML@C /* ドレミ */\r\nD /* \xF0\x9F\x8E\xB5 */\r\nE \xED\x95\x9C;";
             f.host.openResults = {"/e.mml"};
         },
         open, false,
         {kPrompt, "open-dialog -> /e.mml",
          "message 「/e.mml」は UTF-8 で書かれていますが、CP932 で表せない文字があるため開きませんでした"
          "（ファイルは変更していません）:\n2 行目: \xF0\x9F\x8E\xB5\n3 行目: \xED\x95\x9C"},
         kDoc, "/a.mml", true},
        {"a binary file is refused, naming it and why; the document stays",
         [](auto& f) {
             editedDocument(f, "/a.mml");
             f.host.answers = {PromptAnswer::No};
             f.files.files["/ls.mml"] = std::string("\x7F" "ELF\x02\x01\x01\0\0", 9);
             f.host.openResults = {"/ls.mml"};
         },
         open, false,
         {kPrompt, "open-dialog -> /ls.mml",
          "message 「/ls.mml」はドキュメントとして読めないため、開きませんでした（ファイルは変更していません）。\n"
          "8 バイト目に NUL バイトがあります（全部で 2 個）。バイナリファイルのようです。"},
         kDoc, "/a.mml", true, {{"/ls.mml", std::string("\x7F" "ELF\x02\x01\x01\0\0", 9)}}},
        {"text a save would drop: No to the warning opens nothing",
         [](auto& f) {
             f.files.files["/t.txt"] = "CDE; NOTES";
             f.host.answers = {PromptAnswer::No};
             f.host.openResults = {"/t.txt"};
         },
         open, false, {"open-dialog -> /t.txt", losesAsk("/t.txt", 6)}, kEmpty, "", false},
        {"text a save would drop: Yes opens what the reader keeps",
         [](auto& f) {
             f.files.files["/t.txt"] = "CDE; NOTES";
             f.host.answers = {PromptAnswer::Yes};
             f.host.openResults = {"/t.txt"};
         },
         open, true, {"open-dialog -> /t.txt", losesAsk("/t.txt", 6), "stop", "editor \"\"", "title /t.txt "},
         {"", "CDE", "", "", "", ""}, "/t.txt", false},
        {"a relative name is kept as a full path, steps resolved",
         [](auto& f) {
             f.files.files["/s1/rel.mml"] = "MML@C;";
             f.host.openResults = {"s1/./x/../rel.mml"};
         },
         open, true, {"open-dialog -> s1/./x/../rel.mml", "stop", "editor \"\"", "title /s1/rel.mml "},
         {"", "C", "", "", "", ""}, "/s1/rel.mml", false},
    });
}

TEST(DocumentCommands, EveryFailureSaysItsReason) {
    struct Row { document::FileError error; const char* reason; };
    const std::vector<Row> rows = {
        {document::FileError::NotFound, "ファイルまたはフォルダが見つかりません。"},
        {document::FileError::AccessDenied, "アクセス権がありません。"},
        {document::FileError::NotPermitted, "この操作は許可されていません（変更できないファイルです）。"},
        {document::FileError::ReadOnlyFileSystem, "読み取り専用のファイルシステムです。"},
        {document::FileError::DiskFull, "ディスクの空き容量が足りません。"},
        {document::FileError::NotAFile, "ファイルではありません（フォルダなど）。"},
        {document::FileError::Other, "システムエラーが発生しました（エラー番号 1）。"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.reason);
        DocumentFixture f;
        editedDocument(f, "/doc.mml");
        f.files.writeErrors["/doc.mml"] = r.error;
        f.files.readErrors["/in.mml"] = r.error;
        f.host.saveResults = {std::nullopt};
        EXPECT_FALSE(f.commands.saveDocument());
        f.state.modified = false;
        EXPECT_FALSE(f.commands.openPath("/in.mml"));
        EXPECT_TRUE(test::logEqual(f.log, {"write /doc.mml cannot-open", saveFailed("/doc.mml", r.reason),
                                           "save-dialog -> cancel", openFailed("/in.mml", r.reason)}));
        EXPECT_TRUE(test::tabsEqual(f.state.tabTexts, kDoc));
        EXPECT_EQ(f.state.filePath, "/doc.mml");
        EXPECT_TRUE(f.host.used.empty());
    }
    // The errno values behind the reasons.
    EXPECT_EQ(document::failureFromErrno(ENOENT).error, document::FileError::NotFound);
    EXPECT_EQ(document::failureFromErrno(ENOTDIR).error, document::FileError::NotFound);
    EXPECT_EQ(document::failureFromErrno(EACCES).error, document::FileError::AccessDenied);
    EXPECT_EQ(document::failureFromErrno(EPERM).error, document::FileError::NotPermitted);
    EXPECT_EQ(document::failureFromErrno(EROFS).error, document::FileError::ReadOnlyFileSystem);
    EXPECT_EQ(document::failureFromErrno(ENOSPC).error, document::FileError::DiskFull);
    EXPECT_EQ(document::failureFromErrno(EDQUOT).error, document::FileError::DiskFull);
    EXPECT_EQ(document::failureFromErrno(EISDIR).error, document::FileError::NotAFile);
    EXPECT_EQ(document::failureFromErrno(EIO), (document::FileFailure{document::FileError::Other, EIO}));
}

// Above the size limit a file is refused with its size, before anything changes.
TEST(DocumentCommands, OversizedDocumentsAreRefused) {
    struct Row { uint64_t bytes; const char* message; };
    const Row rows[] = {
        {document::kMaxDocumentBytes, nullptr},
        {document::kMaxDocumentBytes + 1, "「/big.mml」は大きすぎるため開けません（2.1 MB。開けるのは 2 MB までです）。"},
        {uint64_t{20} << 20, "「/big.mml」は大きすぎるため開けません（20.0 MB。開けるのは 2 MB までです）。"},
    };
    for (const Row& r : rows) {
        DocumentFixture f;
        editedDocument(f, "/doc.mml");
        f.state.modified = false;
        f.files.files["/big.mml"] = "SMML@;MML@" + std::string(r.bytes - 15, 'C') + ",,,,;";
        f.log.clear();
        EXPECT_EQ(f.commands.openPath("/big.mml"), r.message == nullptr) << r.bytes;
        if (!r.message) continue;
        EXPECT_TRUE(test::logEqual(f.log, {std::string("message ") + r.message}));
        EXPECT_TRUE(test::tabsEqual(f.state.tabTexts, kDoc));
        EXPECT_EQ(f.state.filePath, "/doc.mml");
    }
}

TEST(DocumentCommands, OpenedAndSavedFilesAreRemembered) {
    DocumentFixture f;
    f.files.files["/a.mml"] = "SMML@;MML@C,,,,;";
    f.host.openResults = {"/a.mml"};
    f.host.saveResults = {"/b.mml"};
    ASSERT_TRUE(f.commands.openDocument());
    ASSERT_TRUE(f.commands.saveDocumentAs());
    f.host.openResults = {std::nullopt};
    EXPECT_FALSE(f.commands.openDocument());
    // A relative name, as typed or given on a command line, is remembered and saved by its full path.
    ASSERT_TRUE(f.commands.openPath("a.mml"));
    f.host.saveResults = {"songs/../c.mml"};
    ASSERT_TRUE(f.commands.saveDocumentAs());
    EXPECT_TRUE(f.files.files.contains("/c.mml"));
    EXPECT_EQ(f.host.used, (std::vector<std::string>{"/a.mml", "/b.mml", "/a.mml", "/c.mml"}));
}

TEST(DocumentCommands, ImportFromClipboard) {
    const document::TabTexts example{"T120", "V127CDE", "V84EFG", "", "", ""};
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
        {"yes, then cancel in the save dialog: nothing happens",
         [](auto& f) {
             editedDocument(f, "");
             f.host.clipboard = "MML@C;";
             f.host.answers = {PromptAnswer::Yes};
             f.host.saveResults = {std::nullopt};
         },
         importClip, false, {kPrompt, "save-dialog -> cancel"}, kDoc, "", true},
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

TEST(DocumentCommands, ImportMidiFile) {
    using namespace tavolin::testing;
    const std::string song = header(0, 1) + track(events({{0, 60, 0, 96}}));
    const auto imported = std::get<music::MidiImportResult>(music::importMidi(song));
    runScenarios({
        {"cancel in the prompt shows no dialog",
         [](auto& f) { editedDocument(f, "/a.mml"); f.host.answers = {PromptAnswer::Cancel}; }, importMidiFile, false, {kPrompt},
         kDoc, "/a.mml", true},
        {"cancel in the dialog: the edits stay",
         [](auto& f) { editedDocument(f, "/a.mml"); f.host.answers = {PromptAnswer::No}; f.host.openResults = {std::nullopt}; },
         importMidiFile, false, {kPrompt, "open-dialog -> cancel"}, kDoc, "/a.mml", true},
        {"a damaged file: its name and the fault, the document stays",
         [](auto& f) { f.state.tabTexts = kDoc; f.files.files["/bad.mid"] = "RIFF"; f.host.openResults = {"/bad.mid"}; },
         importMidiFile, false,
         {"open-dialog -> /bad.mid", "message 「/bad.mid」を読み込めませんでした。\nMIDIファイルではありません（先頭にMThdがない）（バイトオフセット0）"},
         kDoc, "", false},
        {"a missing file", [](auto& f) { f.host.openResults = {"/missing/x.mid"}; }, importMidiFile, false,
         {"open-dialog -> /missing/x.mid", openFailed("/missing/x.mid", kNotFound)}, kEmpty, "", false},
        {"the arrangement becomes a new untitled document, then the report",
         [&](auto& f) {
             editedDocument(f, "/a.mml");
             f.state.selectedTab = 2;
             f.host.answers = {PromptAnswer::No};
             f.files.files["/s.mid"] = song;
             f.host.openResults = {"/s.mid"};
         },
         importMidiFile, true,
         CallLog{kPrompt, "open-dialog -> /s.mid"} + cleared() + CallLog{"editor \"\"", "title 無題 ", "message " + music::midiReportText(imported.report)},
         imported.tabs, "", false},
    });
}

// An example opens as an untitled copy: a save asks where, and the shipped file stays as it is.
TEST(DocumentCommands, ExampleOpensAsAnUntitledCopy) {
    runScenarios({
        {"cancel in the prompt: the edits stay", [](auto& f) { editedDocument(f, "/a.mml"); f.host.answers = {PromptAnswer::Cancel}; },
         openExample, false, {kPrompt}, kDoc, "/a.mml", true},
        {"a missing example: said, nothing changes", [](auto& f) { f.state.tabTexts = kDoc; f.state.filePath = "/a.mml"; },
         openExample, false, {openFailed("/ex/demo.mml", kNotFound)}, kDoc, "/a.mml", false},
        {"untitled and unmodified, the editor showing the selected tab",
         [](auto& f) {
             editedDocument(f, "/a.mml");
             f.state.selectedTab = 5;
             f.host.answers = {PromptAnswer::No};
             f.files.files["/ex/demo.mml"] = kDocBytes;
         },
         openExample, true, CallLog{kPrompt} + cleared() + CallLog{"editor \"E\"", "title 無題 "}, kDoc, "", false,
         {{"/ex/demo.mml", kDocBytes}}},
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
}  // namespace tavolin::window
