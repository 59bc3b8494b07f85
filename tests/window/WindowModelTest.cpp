// SPDX-License-Identifier: MIT
// The window model against a recording view: start-up, title, tabs, editor, helpers,
// settings snapshot, error jump, About and closing.
#include <gtest/gtest.h>

#include <algorithm>

#include "FakeView.h"
#include "compiler/Cp932.h"
#include "document/CaretMapping.h"
#include "document/UserTexts.h"
#include "music/NumberText.h"

namespace tavolin::window {
namespace {

using testing::FakeServices;
using testing::FakeView;

std::string cp932(const std::string& utf8) { return utf8ToCp932(utf8).value(); }

struct Window {
    FakeView view;
    CTavolinDlg dlg{view};
    FakeServices services{dlg};
    Window() {
        dlg.setServices(&services);
        dlg.OnInitDialog();
    }
    ~Window() { dlg.setServices(nullptr); }
};

size_t indexOf(const std::vector<std::string>& calls, const std::string& call) {
    auto it = std::find(calls.begin(), calls.end(), call);
    return it == calls.end() ? calls.size() : static_cast<size_t>(it - calls.begin());
}

TEST(WindowStartUp, StepsRunInOrder) {
    Window w;
    const auto& c = w.view.calls;
    const std::vector<std::string> milestones = {
        "addAboutEntry",
        "setIcon",
        "setItems:" + std::to_string(ctl::DutyCombo),
        "setCurrentIndex:" + std::to_string(ctl::DutyCombo) + "=49",
        "setControlText:" + std::to_string(ctl::FreqNoise) + "=0",
        "setItems:" + std::to_string(ctl::Tabs),
        "setCurrentIndex:" + std::to_string(ctl::ToneNumber) + "=0",
        "setControlText:" + std::to_string(ctl::AttackTime) + "=20",
        "setControlText:" + std::to_string(ctl::ImportSourceMax) + "=15",
        "setChecked:" + std::to_string(ctl::ImportDivide) + "=1",
        "setTitle",
        "installAccelerators",
    };
    size_t last = 0;
    for (const auto& m : milestones) {
        const size_t at = indexOf(c, m);
        ASSERT_LT(at, c.size()) << "missing " << m;
        EXPECT_GE(at, last) << m << " out of order";
        last = at;
    }
}

TEST(WindowStartUp, ControlsHoldTheirDefaults) {
    Window w;
    auto& v = w.view;
    EXPECT_EQ(v.items[ctl::DutyCombo].size(), 99u);
    EXPECT_EQ(v.items[ctl::DutyCombo].front(), "1");
    EXPECT_EQ(v.items[ctl::DutyCombo].back(), "99");
    EXPECT_EQ(v.controlText(ctl::DutyCombo), "50");
    EXPECT_EQ(v.items[ctl::Arithmetic], (std::vector<std::string>{"Fix", "Float", "Double"}));
    EXPECT_EQ(v.controlText(ctl::Arithmetic), "Float");
    EXPECT_EQ(v.controlText(ctl::SampleRate), "48,000");
    EXPECT_EQ(v.items[ctl::SampleRate].back(), "192,000");
    EXPECT_EQ(v.controlText(ctl::WaveType), "矩形");
    EXPECT_EQ(v.items[ctl::Tabs], (std::vector<std::string>{"共通", "A", "B", "C", "D", "E"}));
    EXPECT_EQ(v.currentIndex(ctl::Tabs), 0);
    EXPECT_EQ(v.items[ctl::ToneNumber].size(), 32u);
    EXPECT_EQ(v.controlText(ctl::ToneNumber), "0");
    const std::pair<int, const char*> texts[] = {
        {ctl::FreqNoise, "0"},   {ctl::SwitchMs, "0"},    {ctl::AttackTime, "20"},    {ctl::DecayTime, "20"},
        {ctl::ReleaseTime, "20"}, {ctl::AttackLevel, "255"}, {ctl::SustainLevel, "204"},
        {ctl::ImportSourceMax, "15"}, {ctl::TestPhrase, "C"}, {ctl::EnvelopeNumber, "0"}, {ctl::LevelNoise, "0"},
    };
    for (const auto& [id, text] : texts) EXPECT_EQ(v.controlText(id), text) << id;
    EXPECT_TRUE(v.isChecked(ctl::ImportIgnoreTempo));
    EXPECT_TRUE(v.isChecked(ctl::ImportDivide));
    EXPECT_FALSE(v.isChecked(ctl::Loop));
    EXPECT_FALSE(w.dlg.modified);
    EXPECT_TRUE(w.dlg.filePath.empty());
    for (const auto& t : w.dlg.tabTexts) EXPECT_TRUE(t.empty());
    EXPECT_EQ(v.aboutEntries, (std::vector<std::string>{"TavolinAppについて(&A)..."}));
    EXPECT_TRUE(v.iconSet);
    EXPECT_TRUE(v.acceleratorsInstalled);
}

TEST(WindowTitle, TrailingBlankThenStar) {
    Window w;
    EXPECT_EQ(w.view.title, "tavolin Ostra - 無題 ");
    w.view.type(w.dlg, "c");
    EXPECT_EQ(w.view.title, "tavolin Ostra - 無題 *");
    w.dlg.filePath = "/home/u/曲.mml";
    w.dlg.modified = false;
    w.dlg.updateTitle();
    EXPECT_EQ(w.view.title, "tavolin Ostra - /home/u/曲.mml ");
}

TEST(WindowEditor, TypedLettersAreStoredUpperCaseWithCrLf) {
    Window w;
    for (const char* key : {"c", "d", "e"}) w.view.type(w.dlg, key);
    EXPECT_EQ(w.dlg.tabTexts[0], "CDE");
    w.view.type(w.dlg, "\nt120 あ");
    EXPECT_EQ(w.dlg.tabTexts[0], "CDE\r\nT120 " + cp932("あ"));
    EXPECT_TRUE(w.dlg.modified);
}

TEST(WindowEditor, CharactersCp932CannotHoldAreRefused) {
    Window w;
    w.view.type(w.dlg, "c");
    EXPECT_FALSE(w.view.type(w.dlg, "d😀"));
    EXPECT_EQ(w.dlg.tabTexts[0], "C");
    EXPECT_EQ(w.view.editorText(), "C");
    ASSERT_EQ(w.view.messages.size(), 1u);
    EXPECT_EQ(w.view.messages[0], std::string(document::kMsgUnencodable) + "😀");
    EXPECT_EQ(w.view.captions[0], "TavolinApp");
}

TEST(WindowTabs, SwitchingShowsEachTabsTextAndLeavesModifiedAlone) {
    Window w;
    w.view.clickTab(w.dlg, 1);
    w.view.type(w.dlg, "cde");
    w.view.clickTab(w.dlg, 2);
    EXPECT_EQ(w.view.editorText(), "");
    w.view.type(w.dlg, "f\ng");
    w.dlg.modified = false;
    w.dlg.updateTitle();
    const std::string title = w.view.title;
    for (int round = 0; round < 3; ++round) {
        w.view.clickTab(w.dlg, 1);
        EXPECT_EQ(w.view.editorText(), "CDE");
        w.view.clickTab(w.dlg, 2);
        EXPECT_EQ(w.view.editorText(), "F\nG");
        w.view.clickTab(w.dlg, 0);
        EXPECT_EQ(w.view.editorText(), "");
    }
    EXPECT_FALSE(w.dlg.modified);
    EXPECT_EQ(w.view.title, title);
    EXPECT_EQ(w.dlg.tabTexts[1], "CDE");
    EXPECT_EQ(w.dlg.tabTexts[2], "F\r\nG");
}

TEST(WindowTabs, SelectTabShowsTextWithoutEditing) {
    Window w;
    w.dlg.tabTexts[5] = cp932("音\r\nE");
    w.dlg.selectTab(5);
    EXPECT_EQ(w.view.currentIndex(ctl::Tabs), 5);
    EXPECT_EQ(w.view.editorText(), "音\nE");
    EXPECT_FALSE(w.dlg.modified);
}

struct JumpRow {
    const char* name;
    std::string bankText;  // UTF-8 with "\n"; stored with CR LF
    uint64_t position;     // 1-based byte position of the error
    std::string selected;  // the character the editor selects
};

// The error report selects the last byte consumed (position - 1 .. position).
TEST(WindowErrorJump, SelectsTheRightCharacterAfterJapaneseText) {
    const JumpRow rows[] = {
        {"ascii", "CDX", 3, "X"},
        {"first byte", "XCD", 1, "X"},
        {"after kanji", "音色X", 5, "X"},
        {"after comment line", "/*日本語コメント*/\nCDX", 23, "X"},
        {"inside a kanji selects it whole", "C音X", 2, "音"},
        {"second byte of a kanji", "C音X", 3, "音"},
        {"on the LF of a break", "C\nX", 3, "\n"},
        {"half-width kana", "ｱｲX", 3, "X"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Window w;
        w.dlg.tabTexts[3] = w.dlg.tabTexts[0] = "";
        w.dlg.tabTexts[3] = *document::editorTextToBytes(r.bankText);
        w.dlg.selectTab(3);
        w.dlg.selectText(r.position - 1, r.position);
        const std::u16string shown = testing::toUtf16(w.view.editorText());
        const auto sel = w.view.selection;
        ASSERT_LE(sel.end, shown.size());
        EXPECT_EQ(testing::toUtf8(shown.substr(sel.start, sel.end - sel.start)), r.selected);
        EXPECT_TRUE(w.view.editorFocused);
    }
}

TEST(WindowSnapshot, ReadsEverySettingAtEachBuild) {
    Window w;
    auto& v = w.view;
    w.dlg.tabTexts[2] = cp932("音色\r\nCDE");
    w.dlg.selectTab(2);
    v.selection = {4, 5};  // "D": after "音色", the break and "C"
    v.indexes[ctl::SampleRate] = 8;
    v.indexes[ctl::Arithmetic] = 2;
    v.checks[ctl::Loop] = true;
    v.checks[ctl::CurrentBankPlay] = true;

    auto s = w.dlg.snapshot(false);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->inputs.sampleRateHz, 192000u);  // the list's "192,000"
    EXPECT_EQ(s->inputs.arith, Arith::Double);
    EXPECT_EQ(s->inputs.bankIndex, 1);
    EXPECT_EQ(s->inputs.caret, 0u);  // only with "Start from current cursor"
    EXPECT_TRUE(s->loop);
    EXPECT_TRUE(s->inputs.currentBankMode);
    EXPECT_EQ(s->inputs.tabTexts, w.dlg.tabTexts);
    EXPECT_TRUE(s->inputs.testPhrase.empty());
    EXPECT_TRUE(s->inputs.toneCommand.empty());

    v.checks[ctl::StartFromCursor] = true;
    s = w.dlg.snapshot(false);
    EXPECT_EQ(s->inputs.caret, 7u);  // 4 + CR LF + "C"
    EXPECT_EQ(s->caretEnd, 8u);
    EXPECT_EQ(w.dlg.tabTexts[2].substr(s->inputs.caret, 1), "D");

    // A typed rate the engine cannot run at reaches the build as none, which
    // refuses it with its message; no arithmetic chosen builds nothing.
    v.texts[ctl::SampleRate] = "7,999";
    EXPECT_EQ(w.dlg.snapshot(false)->inputs.sampleRateHz, 0u);
    v.indexes[ctl::Arithmetic] = -1;
    EXPECT_FALSE(w.dlg.snapshot(false));
}

TEST(WindowSnapshot, TestModeAddsPhraseAndToneCommand) {
    Window w;
    w.view.texts[ctl::TestPhrase] = "cde";
    auto s = w.dlg.snapshot(true);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->inputs.testPhrase, "cde");  // taken as typed
    EXPECT_EQ(s->inputs.toneCommand, "@W0:0@0");
    EXPECT_EQ(w.view.messages, (std::vector<std::string>{music::kMsgNoDuty}));

    w.view.texts[ctl::TestPhrase] = "c😀";
    EXPECT_FALSE(w.dlg.snapshot(true));
    EXPECT_EQ(w.view.messages.back(), kMsgTestPhraseUnencodable);
}

TEST(WindowSnapshot, Pseudo8BitBoxChangesNothing) {
    Window w;
    w.view.type(w.dlg, "cde");
    auto a = w.dlg.snapshot(true);
    w.view.checks[ctl::Pseudo8Bit] = true;
    auto b = w.dlg.snapshot(true);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->inputs.sampleRateHz, b->inputs.sampleRateHz);
    EXPECT_EQ(a->inputs.arith, b->inputs.arith);
    EXPECT_EQ(a->inputs.tabTexts, b->inputs.tabTexts);
    EXPECT_EQ(a->inputs.toneCommand, b->inputs.toneCommand);
    EXPECT_EQ(a->inputs.testPhrase, b->inputs.testPhrase);
}

TEST(WindowToneGroup, InsertAtCaretMarksModified) {
    Window w;
    w.view.type(w.dlg, "cd");
    w.view.placeCaret(1);
    w.dlg.modified = false;
    w.dlg.runCommand(Command::InsertTone);
    EXPECT_EQ(w.dlg.tabTexts[0], "C@W0:0@0D");
    EXPECT_EQ(w.view.messages, (std::vector<std::string>{music::kMsgNoDuty}));
    EXPECT_TRUE(w.dlg.modified);
    EXPECT_EQ(w.view.title, "tavolin Ostra - 無題 *");

    // Add from the combo, then insert over a selection.
    w.view.texts[ctl::DutyCombo] = "12.5";
    w.dlg.runCommand(Command::DutyAdd);
    EXPECT_EQ(w.view.items[ctl::DutyList], (std::vector<std::string>{"12.5"}));
    EXPECT_EQ(w.view.currentIndex(ctl::DutyList), -1);
    w.view.selection = {0, 1};
    w.dlg.runCommand(Command::InsertTone);
    EXPECT_EQ(w.dlg.tabTexts[0], "@W0:0:12.5@0@W0:0@0D");
}

TEST(WindowToneGroup, RefusedNoiseChangesNothing) {
    Window w;
    w.view.type(w.dlg, "cde");
    w.dlg.modified = false;
    w.dlg.updateTitle();
    w.view.texts[ctl::FreqNoise] = "101";
    w.dlg.runCommand(Command::FreqNoiseChange);
    w.view.selection = {1, 2};
    w.dlg.runCommand(Command::InsertTone);
    EXPECT_EQ(w.dlg.tabTexts[0], "CDE");
    EXPECT_EQ(w.view.editorText(), "CDE");
    EXPECT_EQ(w.view.selection.start, 1u);
    EXPECT_EQ(w.view.selection.end, 2u);
    EXPECT_FALSE(w.dlg.modified);
    EXPECT_EQ(w.view.title, "tavolin Ostra - 無題 ");
    EXPECT_EQ(w.view.messages, (std::vector<std::string>{music::kMsgNoDuty, music::kMsgNoiseRange}));
}

TEST(WindowToneGroup, ControlsFeedTheCommand) {
    Window w;
    auto& v = w.view;
    v.indexes[ctl::WaveType] = 4;
    v.texts[ctl::DutyCombo] = "25";
    w.dlg.runCommand(Command::DutyAdd);
    v.texts[ctl::DutyCombo] = "75";
    w.dlg.runCommand(Command::DutyAdd);
    v.texts[ctl::DutyCombo] = "99";
    w.dlg.runCommand(Command::DutyAdd);
    v.texts[ctl::DutyCombo] = "507";  // refused with a message; the list stays
    w.dlg.runCommand(Command::DutyAdd);
    EXPECT_EQ(v.messages, (std::vector<std::string>{music::kMsgDutyRange}));
    EXPECT_EQ(v.items[ctl::DutyList], (std::vector<std::string>{"25", "75", "99"}));
    v.indexes[ctl::DutyList] = 2;
    w.dlg.runCommand(Command::DutyDel);
    w.dlg.runCommand(Command::DutyDel);  // nothing selected after the refresh
    v.indexes[ctl::ToneNumber] = 3;
    v.texts[ctl::FreqNoise] = "5";
    w.dlg.runCommand(Command::FreqNoiseChange);
    v.texts[ctl::SwitchMs] = "100";
    w.dlg.runCommand(Command::SwitchChange);
    v.texts[ctl::LevelNoise] = "10";
    w.dlg.runCommand(Command::InsertTone);
    EXPECT_EQ(w.dlg.tabTexts[0], "@W3:4R5N10C100:25:75@3");
}

TEST(WindowEnvelopeGroup, InsertAndRefuse) {
    Window w;
    w.dlg.runCommand(Command::InsertEnvelope);
    EXPECT_EQ(w.dlg.tabTexts[0], "@ED0:20:20:20:255:204");
    EXPECT_TRUE(w.dlg.modified);

    w.dlg.runCommand(Command::EnvelopeTemplate, 1);
    w.view.texts[ctl::EnvelopeNumber] = "3";
    w.view.selection = {0, w.view.editor.size()};
    w.dlg.runCommand(Command::InsertEnvelope);
    EXPECT_EQ(w.dlg.tabTexts[0], "@ED3:0:0:0:255:255");

    w.dlg.modified = false;
    w.view.texts[ctl::SustainLevel] = "256";
    w.dlg.runCommand(Command::InsertEnvelope);
    EXPECT_EQ(w.view.messages.back(), "sustain levelが不正です(0～255)");
    EXPECT_EQ(w.dlg.tabTexts[0], "@ED3:0:0:0:255:255");
    EXPECT_FALSE(w.dlg.modified);
    EXPECT_EQ(w.view.captions.back(), "TavolinApp");
}

TEST(WindowEnvelopeGroup, TemplateSetsFieldsOnly) {
    Window w;
    w.view.texts[ctl::EnvelopeNumber] = "7";
    w.dlg.runCommand(Command::EnvelopeTemplate, 6);
    const std::pair<int, const char*> expected[] = {
        {ctl::AttackTime, "30"}, {ctl::DecayTime, "20"}, {ctl::ReleaseTime, "200"},
        {ctl::AttackLevel, "229"}, {ctl::SustainLevel, "204"}, {ctl::EnvelopeNumber, "7"},
    };
    for (const auto& [id, text] : expected) EXPECT_EQ(w.view.controlText(id), text) << id;
    EXPECT_FALSE(w.dlg.modified);
    w.dlg.runCommand(Command::EnvelopeTemplate, 7);  // no such template: nothing
    EXPECT_EQ(w.view.controlText(ctl::AttackTime), "30");
}

struct RouteRow {
    Command command;
    std::vector<std::string> services;
};

TEST(WindowCommands, RouteToTheLayersBelow) {
    const RouteRow rows[] = {
        {Command::New, {"new"}},       {Command::Open, {"open"}},     {Command::Save, {"save"}},
        {Command::SaveAs, {"saveAs"}}, {Command::Play, {"play"}},     {Command::Test, {"test"}},
        {Command::Stop, {"stop"}},     {Command::WavExport, {"export"}}, {Command::Import, {"import"}},
        {Command::MidiExport, {"exportMidi"}}, {Command::MidiImport, {"importMidi"}},
    };
    for (const auto& r : rows) {
        Window w;
        w.dlg.runCommand(r.command);
        EXPECT_EQ(w.services.calls, r.services) << static_cast<int>(r.command);
    }
    // The keys and the menu reach the same rows.
    EXPECT_EQ(kAccelerators.size(), 7u);
    EXPECT_STREQ(kAccelerators[6].keys, "Ctrl+L");
    EXPECT_EQ(kAccelerators[6].command, Command::LoopPassage);
    EXPECT_STREQ(kAccelerators[4].keys, "F5");
    EXPECT_EQ(kAccelerators[4].command, Command::Play);
    EXPECT_EQ(kAccelerators[5].command, Command::Stop);
    EXPECT_STREQ(kFileMenu[0].text, "&New\tCtrl+N");
    EXPECT_EQ(kFileMenu[1].text, nullptr);
    EXPECT_STREQ(kFileMenu[6].text, "MIDI出力");
    EXPECT_STREQ(kFileMenu[7].text, "MIDI読み込み…");
    EXPECT_EQ(kFileMenu[7].command, Command::MidiImport);
    EXPECT_STREQ(kFileMenu[9].text, "&Exit\tAlt+F4");
    // The clear button is New.
    auto clear = std::find_if(kButtonBindings.begin(), kButtonBindings.end(),
                              [](const ButtonBinding& b) { return b.id == ctl::ClearAll; });
    ASSERT_NE(clear, kButtonBindings.end());
    EXPECT_EQ(clear->command, Command::New);
}

TEST(WindowCommands, PauseMirrorsTheBox) {
    Window w;
    w.view.checks[ctl::Pause] = true;
    w.dlg.runCommand(Command::Pause);
    EXPECT_TRUE(w.dlg.paused);
    w.view.checks[ctl::Pause] = false;
    w.dlg.runCommand(Command::Pause);
    EXPECT_FALSE(w.dlg.paused);
    EXPECT_EQ(w.services.calls, (std::vector<std::string>{"pause", "resume"}));
}

TEST(WindowAbout, SystemCommandOpensAboutBox) {
    Window w;
    const std::pair<int, int> rows[] = {{0x10, 1}, {0x1F, 1}, {0x20, 0}, {0xF060, 0}, {0, 0}};
    for (const auto& [id, opens] : rows) {
        const int before = w.view.aboutShown;
        w.dlg.onSystemCommand(id);
        EXPECT_EQ(w.view.aboutShown - before, opens) << id;
    }
    w.view.type(w.dlg, "c");
    const auto tabs = w.dlg.tabTexts;
    w.dlg.runCommand(Command::About);
    EXPECT_EQ(w.dlg.tabTexts, tabs);
    EXPECT_TRUE(w.dlg.modified);
}

struct CloseRow {
    const char* name;
    bool modified;
    std::vector<PromptAnswer> answers;
    bool saveSucceeds;
    bool closes;
    std::vector<std::string> services;
};

// Closing never loses unsaved work silently, and always stops playback first.
TEST(WindowClose, AsksBeforeLosingWork) {
    const CloseRow rows[] = {
        {"clean closes at once", false, {}, true, true, {"stop"}},
        {"cancel keeps the window", true, {PromptAnswer::Cancel}, true, false, {}},
        {"no discards the work", true, {PromptAnswer::No}, true, true, {"stop"}},
        {"yes saves then closes", true, {PromptAnswer::Yes}, true, true, {"save", "stop"}},
        {"yes but save cancelled stays", true, {PromptAnswer::Yes}, false, false, {"save"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Window w;
        if (r.modified) w.view.type(w.dlg, "c");
        w.view.answers.assign(r.answers.begin(), r.answers.end());
        w.services.saveSucceeds = r.saveSucceeds;
        w.dlg.runCommand(Command::Exit);
        EXPECT_EQ(w.view.closed, r.closes ? 1 : 0);
        EXPECT_EQ(w.services.calls, r.services);
        const bool asked = indexOf(w.view.calls, "ask:ファイルが変更されています、保存しますか？") < w.view.calls.size();
        EXPECT_EQ(asked, r.modified);
        if (r.modified) {
            EXPECT_EQ(w.view.captions.back(), "tavolin ostra");
        }
    }
}

TEST(WindowClose, DestroyingTheModelStopsPlayback) {
    FakeView view;
    std::vector<std::string> calls;
    {
        CTavolinDlg dlg(view);
        FakeServices services(dlg);
        dlg.setServices(&services);
        dlg.runCommand(Command::Play);
        dlg.~CTavolinDlg();
        calls = services.calls;
        new (&dlg) CTavolinDlg(view);  // keep the scope's destructor well-defined
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"play", "stop"}));
}

}  // namespace
}  // namespace tavolin::window

namespace tavolin::window {
namespace {

// An edit patches the stored bytes where it happened, exactly as converting the
// whole editor text would (CR LF breaks, double-byte characters), and leaves bytes
// elsewhere as they were; edits that do not fit are refused untouched.
TEST(WindowModel, EditsPatchTheStoredBytesInPlace) {
    struct Row {
        const char* name;
        std::string before;
        size_t pos, removed;
        std::string inserted;  // UTF-8, "\n" breaks
        std::optional<std::string> after;
    };
    const std::string jp = cp932("*ドレ*");
    const Row rows[] = {
        {"type at the end", "CD", 2, 0, "E", "CDE"},
        {"a break is CR LF", "CD", 1, 0, "\n", "C\r\nD"},
        {"delete a break", "C\r\nD", 1, 1, "", "CD"},
        {"after a double-byte character", jp + "C", 3, 0, "D", cp932("*ドレD*C")},
        {"replace a double-byte character", jp, 1, 1, "ミ", cp932("*ミレ*")},
        {"a lone LF elsewhere stays", "C\nD", 3, 0, "E", "C\nDE"},
        {"past the end", "CD", 2, 1, "", std::nullopt},
        {"not CP932", "CD", 0, 0, "😀", std::nullopt},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Window w;
        w.view.indexes[ctl::Tabs] = 2;
        w.dlg.tabTexts[2] = r.before;
        w.dlg.modified = false;
        EXPECT_EQ(w.dlg.editorEdited(r.pos, r.removed, r.inserted), r.after.has_value());
        EXPECT_EQ(w.dlg.tabTexts[2], r.after.value_or(r.before));
        EXPECT_EQ(w.dlg.modified, r.after.has_value());
    }
}

}  // namespace
}  // namespace tavolin::window

namespace tavolin::window {
namespace {

// Mute and solo toggles: each click flips one flag, the toggle shows the
// model's flag, the layers below learn the banks heard (any solo wins), and
// nothing of it reaches the document.
TEST(WindowModel, MuteAndSoloToggles) {
    Window w;
    const std::string before = w.dlg.tabTexts[1];
    struct Step {
        Command command;
        int bank;
        BankMask audible;  // 0x1F = A..E
        int toggle;        // the control shown checked (or unchecked: negative)
    };
    const Step steps[] = {
        {Command::MuteBank, 0, 0x1E, ctl::MuteA},
        {Command::MuteBank, 4, 0x0E, ctl::MuteA + 4},
        {Command::SoloBank, 1, 0x02, ctl::SoloA + 1},
        {Command::SoloBank, 0, 0x03, ctl::SoloA},      // a muted bank that is soloed is heard
        {Command::SoloBank, 1, 0x01, -(ctl::SoloA + 1)},
        {Command::SoloBank, 0, 0x0E, -ctl::SoloA},     // no solo left: the mutes count again
        {Command::MuteBank, 0, 0x0F, -ctl::MuteA},
        {Command::MuteBank, 4, 0x1F, -(ctl::MuteA + 4)},
        {Command::MuteBank, 5, 0x1F, 0},               // no such bank: nothing happens
        {Command::SoloBank, -1, 0x1F, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(std::to_string(static_cast<int>(s.command)) + " bank " + std::to_string(s.bank));
        w.view.calls.clear();
        w.services.calls.clear();
        w.dlg.runCommand(s.command, s.bank);
        EXPECT_EQ(w.dlg.bankMix().audible(), s.audible);
        if (s.toggle == 0) {
            EXPECT_TRUE(w.view.calls.empty());
            EXPECT_TRUE(w.services.calls.empty());
            continue;
        }
        const int id = s.toggle > 0 ? s.toggle : -s.toggle;
        EXPECT_EQ(w.view.calls, (std::vector<std::string>{"setChecked:" + std::to_string(id) + "=" + (s.toggle > 0 ? "1" : "0")}));
        EXPECT_EQ(w.services.calls, (std::vector<std::string>{"audible:" + std::to_string(s.audible)}));
    }
    EXPECT_EQ(w.dlg.tabTexts[1], before);
    EXPECT_FALSE(w.dlg.modified);
}

}  // namespace
}  // namespace tavolin::window
