// SPDX-License-Identifier: MIT
// The window joined to the real song builder, player (virtual device), exporter and
// document commands: what a user does end to end, without a display.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "FakeView.h"
#include "compiler/Cp932.h"
#include "document/CaretMapping.h"
#include "window/WindowLayers.h"
#include "output/VirtualAudioDevice.h"

namespace tavolin::window {
namespace {

using testing::FakeView;
namespace fs = std::filesystem;

std::string cp932(const std::string& utf8) { return utf8ToCp932(utf8).value(); }

struct LiveWindow {
    std::shared_ptr<output::VirtualDeviceLog> log = std::make_shared<output::VirtualDeviceLog>();
    FakeView view;
    CTavolinDlg dlg{view};
    std::unique_ptr<WindowLayers> layers;
    fs::path dir;

    explicit LiveWindow(bool realTime = false) {
        output::VirtualDeviceOptions options;
        options.realTime = realTime;
        layers = std::make_unique<WindowLayers>(dlg, output::VirtualAudioDevice::factory(options, log));
        dlg.setServices(layers.get());
        dlg.OnInitDialog();
        dir = fs::temp_directory_path() /
              ("tavolin-window-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~LiveWindow() {
        dlg.setServices(nullptr);
        layers.reset();
        fs::remove_all(dir);
    }
    std::string readFile(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST(WindowLive, CompileErrorAfterJapaneseCommentSelectsTheFaultyCharacter) {
    LiveWindow w;
    w.dlg.tabTexts[2] = cp932("*日本語のコメント*\r\nCDE!");
    w.dlg.runCommand(Command::Play);
    ASSERT_EQ(w.view.messages.size(), 1u);
    // "!" is byte 24 of bank B's own text: 18 bytes of comment, CR LF, C, D, E, "!";
    // in the editor it is line 2, column 4.
    EXPECT_EQ(w.view.messages[0].rfind("error:バンクB\nMMLコード 24 文字目 (2行 4列)\n", 0), 0u) << w.view.messages[0];
    EXPECT_EQ(w.view.captions[0], "TavolinApp");
    EXPECT_EQ(w.view.currentIndex(ctl::Tabs), 2);
    const std::u16string shown = testing::toUtf16(w.view.editorText());
    const auto sel = w.view.selection;
    EXPECT_EQ(testing::toUtf8(shown.substr(sel.start, sel.end - sel.start)), "!");
    // The jump happens before the box is shown, and it is not an edit.
    EXPECT_LT(std::find(w.view.calls.begin(), w.view.calls.end(), "selectEditorRange:14-15") - w.view.calls.begin(),
              std::find_if(w.view.calls.begin(), w.view.calls.end(),
                           [](const std::string& c) { return c.rfind("messageBox:", 0) == 0; }) -
                  w.view.calls.begin());
    EXPECT_FALSE(w.dlg.modified);
    EXPECT_FALSE(w.layers->player().isPlaying());
}

TEST(WindowLive, PlayAndTestReachTheDevice) {
    LiveWindow w;
    w.view.clickTab(w.dlg, 1);
    w.view.type(w.dlg, "l16cdefg");
    w.dlg.runCommand(Command::Play);
    EXPECT_TRUE(w.view.messages.empty());
    EXPECT_TRUE(w.layers->player().isPlaying());
    w.dlg.runCommand(Command::Stop);
    EXPECT_FALSE(w.layers->player().isPlaying());
    EXPECT_GE(w.log->blocksPlayed, 4u);

    // Test plays the tone helper's command with the phrase. Without a duty the
    // helper warns and the compiler refuses the tone; with one it plays.
    w.dlg.runCommand(Command::Test);
    ASSERT_EQ(w.view.messages.size(), 2u);
    EXPECT_EQ(w.view.messages[0], music::kMsgNoDuty);
    EXPECT_EQ(w.view.messages[1].rfind("error:音色定義コマンド\nMMLコード ", 0), 0u) << w.view.messages[1];
    EXPECT_FALSE(w.layers->player().isPlaying());
    w.view.texts[ctl::DutyCombo] = "25";
    w.dlg.runCommand(Command::DutyAdd);
    w.view.texts[ctl::TestPhrase] = "CDE";
    w.dlg.runCommand(Command::Test);
    EXPECT_EQ(w.view.messages.size(), 2u);
    EXPECT_TRUE(w.layers->player().isPlaying());
}

TEST(WindowLive, ClosingWhilePlayingStopsTheStreamFirst) {
    LiveWindow w(true);
    w.view.checks[ctl::Loop] = true;
    w.view.clickTab(w.dlg, 1);
    w.view.type(w.dlg, "cdef");
    w.dlg.runCommand(Command::Play);
    ASSERT_TRUE(w.layers->player().isPlaying());
    w.view.answers = {PromptAnswer::No};
    w.dlg.runCommand(Command::Exit);
    EXPECT_EQ(w.view.closed, 1);
    EXPECT_FALSE(w.layers->player().isPlaying());
    EXPECT_GE(w.log->blocksPlayed, 4u);
    EXPECT_EQ(w.log->blocksDropped, 0u) << "the blocks at the device played out";
    EXPECT_EQ(w.log->opens, 1) << "the window keeps one device";
}

TEST(WindowLive, SaveOpenRoundTripWithJapaneseText) {
    LiveWindow w;
    w.view.type(w.dlg, "t150 *共通*");
    w.view.clickTab(w.dlg, 1);
    w.view.type(w.dlg, "cde\nfga");
    const fs::path file = w.dir / "曲.mml";
    w.view.dialogAnswers = {file.string()};
    w.dlg.runCommand(Command::Save);
    EXPECT_EQ(w.view.title, "tavolin Ostra - " + file.string() + " ");
    EXPECT_EQ(w.readFile(file), "SMML@T150 " + cp932("*共通*") + ";MML@CDE\r\r\nFGA,,,,;");

    w.dlg.runCommand(Command::New);
    EXPECT_EQ(w.view.editorText(), "");
    w.dlg.openFile(file.string());
    EXPECT_EQ(w.dlg.tabTexts[0], "T150 " + cp932("*共通*"));
    EXPECT_EQ(w.dlg.tabTexts[1], "CDE\r\nFGA");
    EXPECT_EQ(w.view.editorText(), "CDE\nFGA");  // tab A is still selected
    EXPECT_FALSE(w.dlg.modified);
    EXPECT_EQ(w.dlg.filePath, file.string());

    w.dlg.openFile((w.dir / "missing.mml").string());
    EXPECT_EQ(w.view.messages.back(), "「" + (w.dir / "missing.mml").string() +
                                          "」を開けませんでした。\nファイルまたはフォルダが見つかりません。");
    EXPECT_EQ(w.dlg.tabTexts[1], "CDE\r\nFGA");
}

TEST(WindowLive, ExportWritesTheFileAndCanBeCancelled) {
    LiveWindow w;
    w.view.clickTab(w.dlg, 1);
    w.view.type(w.dlg, "t240l16cdefgab");
    const fs::path wav = w.dir / "out.wav";
    w.view.dialogAnswers = {wav.string()};
    w.dlg.runCommand(Command::WavExport);
    EXPECT_EQ(w.layers->lastExport(), output::ExportOutcome::Written);
    const std::string bytes = w.readFile(wav);
    ASSERT_GT(bytes.size(), 44u);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_GT(w.view.progressReports, 0);
    ASSERT_FALSE(w.view.dialogRequests.empty());
    EXPECT_EQ(w.view.dialogRequests.back().initialName, "output.wav");
    EXPECT_EQ(w.view.dialogRequests.back().defaultExtension, "wav");
    EXPECT_TRUE(w.view.dialogRequests.back().confirmOverwrite);

    const fs::path cancelled = w.dir / "cancelled.wav";
    w.view.cancelProgress = true;
    w.view.dialogAnswers = {cancelled.string()};
    w.dlg.runCommand(Command::WavExport);
    EXPECT_EQ(w.layers->lastExport(), output::ExportOutcome::Cancelled);
    EXPECT_FALSE(fs::exists(cancelled));
    EXPECT_EQ(std::count(w.view.calls.begin(), w.view.calls.end(), "endProgress"), 2);
}

// The export dialog's choice reaches the file: its type, its loop count and
// fade, the save dialog for that type, the busy cursor while rendering and a
// confirmation with the length; the dialog reopens with the last choice.
TEST(WindowLive, ExportDialogChoosesTypeLoopsAndFade) {
    LiveWindow w;
    w.view.clickTab(w.dlg, 1);
    w.view.type(w.dlg, "v255c[d]e");
    const fs::path flac = w.dir / "take.flac";
    w.view.exportChoices = {ExportChoice{output::AudioFileType::Flac, 2, 0.5}};
    w.view.dialogAnswers = {flac.string()};
    w.view.calls.clear();
    w.dlg.runCommand(Command::WavExport);
    ASSERT_EQ(w.layers->lastExport(), output::ExportOutcome::Written);
    const auto decoded = output::decodeAudioFile(flac.string());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->samples.size(), 2u * (72000 + 24000));
    ASSERT_EQ(w.view.dialogRequests.size(), 1u);
    EXPECT_EQ(w.view.dialogRequests[0].defaultExtension, "flac");
    EXPECT_EQ(w.view.dialogRequests[0].initialName, "output.flac");
    EXPECT_EQ(w.view.dialogRequests[0].filter, "FLAC File(*.flac)|*.flac||");
    const std::string done = "messageBox:書き出しました\n" + flac.string() + "\n長さ 0:02.000 (96000 フレーム, 48000 Hz)";
    std::vector<std::string> order;
    for (const std::string& c : w.view.calls)
        if (c == "exportDialog" || c.rfind("busy:", 0) == 0 || c == "endProgress" || c.rfind("messageBox:", 0) == 0) order.push_back(c);
    EXPECT_EQ(order, (std::vector<std::string>{"exportDialog", "busy:on", "busy:off", "endProgress", done}));

    // Reopened with the last choice; cancelling it asks for no path and writes nothing.
    w.view.exportChoices = {std::nullopt};
    w.dlg.runCommand(Command::WavExport);
    EXPECT_EQ(w.layers->lastExport(), output::ExportOutcome::Cancelled);
    ASSERT_EQ(w.view.exportDialogsOpened.size(), 2u);
    EXPECT_EQ(w.view.exportDialogsOpened[1], (ExportChoice{output::AudioFileType::Flac, 2, 0.5}));
    EXPECT_EQ(w.view.dialogRequests.size(), 1u);
    // Out-of-range fields are brought into range.
    EXPECT_EQ(clampedChoice(ExportChoice{output::AudioFileType::Opus, 0, -3}), (ExportChoice{output::AudioFileType::Opus, 1, 0}));
    EXPECT_EQ(clampedChoice(ExportChoice{output::AudioFileType::Wav, 500, 1e9}).loops, kMaxExportLoops);
}

// "ループ情報を書き込む（ゲーム用）": the intro and one loop with its smpl
// chunk, the confirmation giving the file's length; a song without a loop is
// told so and nothing is written; stems leave the choice out.
TEST(WindowLive, ExportDialogWritesLoopPoints) {
    struct Row {
        const char* mml;
        output::ExportOutcome outcome;
        std::string message;  // the start of the one message
        uint32_t smplStart, smplEnd;
    };
    const Row rows[] = {
        {"v255c[d]e", output::ExportOutcome::Written, "書き出しました\n", 24000, 47999},
        {"v255cde", output::ExportOutcome::NoLoop, std::string(output::kNoLoopMessage), 0, 0},
    };
    for (const Row& r : rows) {
        LiveWindow w;
        w.view.clickTab(w.dlg, 1);
        w.view.type(w.dlg, r.mml);
        const fs::path wav = w.dir / "game.wav";
        ExportChoice choice;
        choice.loopPoints = true;
        w.view.exportChoices = {choice};
        w.view.dialogAnswers = {wav.string()};
        w.dlg.runCommand(Command::WavExport);
        EXPECT_EQ(w.layers->lastExport(), r.outcome) << r.mml;
        ASSERT_EQ(w.view.messages.size(), 1u) << r.mml;
        EXPECT_EQ(w.view.messages[0].rfind(r.message, 0), 0u) << w.view.messages[0];
        EXPECT_EQ(fs::exists(wav), r.outcome == output::ExportOutcome::Written) << r.mml;
        if (r.outcome != output::ExportOutcome::Written) continue;
        EXPECT_NE(w.view.messages[0].find("(48000 フレーム"), std::string::npos) << w.view.messages[0];
        const std::string bytes = w.readFile(wav);
        const size_t at = bytes.find("smpl");
        ASSERT_NE(at, std::string::npos);
        const auto le32 = [&](size_t i) {
            uint32_t v = 0;
            for (size_t k = 0; k < 4; ++k) v |= uint32_t{static_cast<uint8_t>(bytes[i + k])} << (8 * k);
            return v;
        };
        EXPECT_EQ(le32(at + 8 + 44), r.smplStart);
        EXPECT_EQ(le32(at + 8 + 48), r.smplEnd);
    }
    ExportChoice both;
    both.perBank = true;
    both.loopPoints = true;
    EXPECT_FALSE(clampedChoice(both).loopPoints);
}

// Each dialog starts beside the document, named after it (an export with its
// type's extension), else in the folder last chosen, else at home; an export
// that cannot create its file names it and says why.
TEST(WindowLive, DialogsStartBesideTheDocumentElseInTheLastFolder) {
    LiveWindow w;
    const char* home = std::getenv("HOME");
    const fs::path sub = w.dir / "sub";
    fs::create_directories(sub / "taken.wav");  // a folder where the export wants a file
    w.view.type(w.dlg, "c");
    struct Step {
        Command command;
        std::optional<std::string> answer;
        std::string folder;
        std::string name;
    };
    const Step steps[] = {
        {Command::SaveAs, std::nullopt, home ? home : "", "title.mml"},
        {Command::SaveAs, (sub / "a.mml").string(), home ? home : "", "title.mml"},
        {Command::WavExport, (sub / "taken.wav").string(), sub.string(), "a.wav"},
        {Command::MidiExport, std::nullopt, sub.string(), "a.mid"},
        {Command::Open, std::nullopt, sub.string(), "a.mml"},
        {Command::New, std::nullopt, "", ""},
        {Command::Open, std::nullopt, sub.string(), ""},
        {Command::MidiExport, std::nullopt, sub.string(), "output.mid"},
    };
    for (const Step& s : steps) {
        const size_t before = w.view.dialogRequests.size();
        w.view.dialogAnswers = {s.answer};
        w.dlg.runCommand(s.command);
        if (s.folder.empty()) continue;
        ASSERT_EQ(w.view.dialogRequests.size(), before + 1) << static_cast<int>(s.command);
        EXPECT_EQ(w.view.dialogRequests.back().folder, s.folder) << static_cast<int>(s.command);
        EXPECT_EQ(w.view.dialogRequests.back().initialName, s.name) << static_cast<int>(s.command);
    }
    EXPECT_EQ(w.view.lastFolders, std::vector<std::string>{sub.string()});
    EXPECT_EQ(w.layers->lastExport(), output::ExportOutcome::Cancelled);
    EXPECT_NE(std::find(w.view.messages.begin(), w.view.messages.end(),
                        "「" + (sub / "taken.wav").string() + "」を作成できませんでした。\nファイルではありません（フォルダなど）。"),
              w.view.messages.end());
}

TEST(WindowLive, MidiExportFromTheFileMenu) {
    LiveWindow w;
    w.view.clickTab(w.dlg, 1);
    w.view.type(w.dlg, "t150o4cd8e");
    w.view.clickTab(w.dlg, 2);
    w.view.type(w.dlg, "t100c");
    const fs::path mid = w.dir / "song.mid";
    w.view.dialogAnswers = {mid.string()};
    w.dlg.runCommand(Command::MidiExport);
    ASSERT_EQ(w.layers->lastExport(), output::ExportOutcome::Written);
    EXPECT_EQ(w.readFile(mid).substr(0, 4), "MThd");
    ASSERT_EQ(w.view.dialogRequests.size(), 1u);
    EXPECT_EQ(w.view.dialogRequests[0].defaultExtension, "mid");
    ASSERT_FALSE(w.view.messages.empty());
    EXPECT_EQ(w.view.messages.back().rfind("MIDIファイルを書き出しました\n" + mid.string() + "\n注意: バンクごとのテンポ変化が異なる", 0), 0u)
        << w.view.messages.back();
}

TEST(WindowLive, ClipboardThatCp932CannotHoldIsRefusedBeforeThePrompt) {
    LiveWindow w;
    w.view.type(w.dlg, "cde");
    w.view.clipboard = "MML@cde😀,efg;";
    w.dlg.runCommand(Command::Import);
    ASSERT_EQ(w.view.messages.size(), 1u);
    EXPECT_EQ(w.view.messages[0], std::string(kMsgClipboardUnencodable) + "😀");
    EXPECT_EQ(w.dlg.tabTexts[0], "CDE");
    EXPECT_TRUE(w.dlg.modified);

    w.view.clipboard = "MML@t120v15cde,v10efg;";
    w.view.answers = {PromptAnswer::No};
    w.dlg.runCommand(Command::Import);
    EXPECT_EQ(w.dlg.tabTexts[0], "T120");
    EXPECT_EQ(w.dlg.tabTexts[1], "V127CDE");
    EXPECT_EQ(w.dlg.tabTexts[2], "V84EFG");
    EXPECT_FALSE(w.dlg.modified);
    EXPECT_EQ(w.view.title, "tavolin Ostra - 無題 ");
}


// Two windows in a row on the real disk: the first is killed with unsaved work, the
// second (a new process) finds it, restores it and saves it where it belonged.
TEST(WindowLive, WorkOfAKilledWindowComesBack) {
    const fs::path dir = fs::temp_directory_path() /
                         ("tavolin-recovery-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path state = dir / "state" / "tavolin";
    const fs::path song = dir / "曲.mml";
    auto setup = [&](int64_t pid) {
        RecoverySetup s;
        s.folder = state.string();
        s.pid = pid;
        s.window = 1;
        s.isRunning = [pid](int64_t other) { return other == pid; };  // the other process is gone
        s.clock = [] { return int64_t{1800000000}; };
        return s;
    };
    auto log = std::make_shared<output::VirtualDeviceLog>();
    auto files = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(state)) names.push_back(e.path().filename().string());
        return names;
    };
    {
        FakeView view;
        CTavolinDlg dlg(view);
        WindowLayers layers(dlg, output::VirtualAudioDevice::factory({}, log), std::make_unique<document::RealFileSystem>(), {},
                            setup(501));
        dlg.setServices(&layers);
        dlg.OnInitDialog();
        view.clickTab(dlg, 1);
        view.type(dlg, "cde");
        view.dialogAnswers = {song.string()};
        dlg.runCommand(Command::Save);
        EXPECT_EQ(view.recentFiles, std::vector<std::string>{song.string()});
        view.type(dlg, "fg");
        dlg.runCommand(Command::Autosave);
        EXPECT_EQ(files(), std::vector<std::string>{"window-501-1.recovery"});
        EXPECT_EQ(fs::status(state).permissions() & fs::perms::all, fs::perms::owner_all);
        dlg.setServices(nullptr);  // the process dies here: no close, the file stays
        dlg.setRecovery(nullptr);
    }
    {
        FakeView view;
        CTavolinDlg dlg(view);
        WindowLayers layers(dlg, output::VirtualAudioDevice::factory({}, log), std::make_unique<document::RealFileSystem>(), {},
                            setup(502));
        dlg.setServices(&layers);
        dlg.OnInitDialog();
        view.recoveryAnswers = {RecoveryChoice::Restore};
        dlg.offerRecovery();
        ASSERT_EQ(view.recoveryOffers.size(), 1u);
        EXPECT_NE(view.recoveryOffers[0].text.find(song.string()), std::string::npos);
        EXPECT_EQ(dlg.tabTexts[1], "CDEFG");
        EXPECT_EQ(dlg.filePath, song.string());
        EXPECT_TRUE(dlg.modified);
        EXPECT_EQ(view.editorText(), "CDEFG");
        EXPECT_EQ(files(), std::vector<std::string>{"window-502-1.recovery"});
        dlg.runCommand(Command::Save);
        EXPECT_TRUE(files().empty());
        std::ifstream in(song, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "SMML@;MML@CDEFG,,,,;");
        dlg.setServices(nullptr);
        dlg.setRecovery(nullptr);
    }
    fs::remove_all(dir);
}


// Mute and solo reach the export: the dialog is told which banks are heard,
// a plain export leaves the others out, and "バンク別に書き出す" writes one
// file per audible sounding bank, each as long as the mix, which the single
// files match byte for byte.
TEST(WindowLive, ExportHonoursMuteAndSoloAndWritesStems) {
    LiveWindow w;
    w.view.clickTab(w.dlg, 1);
    w.view.type(w.dlg, "@w1:0n40:50@1v200l8cdefg");
    w.view.clickTab(w.dlg, 2);
    w.view.type(w.dlg, "@w2:4:0@2v180l16o5[cr]4");
    w.view.clickTab(w.dlg, 3);
    w.view.type(w.dlg, "v120o3c4.");
    const auto exportAs = [&](const fs::path& path, bool perBank) {
        ExportChoice c;
        c.perBank = perBank;
        w.view.exportChoices = {c};
        w.view.dialogAnswers = {path.string()};
        w.dlg.runCommand(Command::WavExport);
        return w.layers->lastExport();
    };
    ASSERT_EQ(exportAs(w.dir / "all.wav", true), output::ExportOutcome::Written);
    ASSERT_EQ(w.view.exportDialogAudible.back(), kAllBanks);
    for (const char* name : {"all_A.wav", "all_B.wav", "all_C.wav"}) EXPECT_TRUE(fs::exists(w.dir / name)) << name;
    EXPECT_FALSE(fs::exists(w.dir / "all_D.wav")) << "bank D holds no note";
    EXPECT_EQ(fs::file_size(w.dir / "all_A.wav"), fs::file_size(w.dir / "all_C.wav"));
    EXPECT_NE(w.view.messages.back().find("all_B.wav"), std::string::npos);

    struct Row {
        Command command;
        int bank;
        const char* same;  // the stem the single file must equal
    };
    const Row rows[] = {
        {Command::SoloBank, 1, "all_B.wav"},
        {Command::SoloBank, 1, nullptr},  // solo off again
        {Command::MuteBank, 0, nullptr},
        {Command::MuteBank, 2, "all_B.wav"},  // A and C muted: B alone
    };
    int n = 0;
    for (const Row& r : rows) {
        w.dlg.runCommand(r.command, r.bank);
        if (!r.same) continue;
        const fs::path single = w.dir / ("single" + std::to_string(n++) + ".wav");
        ASSERT_EQ(exportAs(single, false), output::ExportOutcome::Written);
        EXPECT_EQ(w.view.exportDialogAudible.back(), w.dlg.bankMix().audible());
        EXPECT_TRUE(w.readFile(single) == w.readFile(w.dir / r.same)) << single;
    }
    // Stems with A and C muted: only B's file.
    ASSERT_EQ(exportAs(w.dir / "muted.wav", true), output::ExportOutcome::Written);
    EXPECT_FALSE(fs::exists(w.dir / "muted_A.wav"));
    EXPECT_TRUE(w.readFile(w.dir / "muted_B.wav") == w.readFile(w.dir / "all_B.wav"));
    EXPECT_FALSE(fs::exists(w.dir / "muted_C.wav"));
    // The player keeps the same banks for the next Play.
    EXPECT_EQ(w.layers->player().audibleBanks(), bankBit(1) | bankBit(3) | bankBit(4));
}

// The stems' names: the bank letter before the extension of the file name.
TEST(ExportSteps, StemPaths) {
    const std::pair<const char*, const char*> rows[] = {
        {"/x/song.wav", "/x/song_C.wav"},
        {"/x/song", "/x/song_C"},
        {"/x.d/song", "/x.d/song_C"},
        {"/x/.hidden", "/x/.hidden_C"},
        {"take.2.flac", "take.2_C.flac"},
    };
    for (auto [path, c] : rows) {
        const auto paths = stemPaths(path);
        EXPECT_EQ(paths[2], c) << path;
        EXPECT_EQ(paths[0].size(), paths[4].size()) << path;
    }
}


// Ctrl+L on a selection: the stretch from its first note to the end of its
// last is heard pass after pass, each the whole song's own samples; a
// selection without a note says so and plays nothing; Stop ends the loop.
TEST(WindowLive, CtrlLLoopsTheSelectedPassage) {
    LiveWindow w;
    w.view.clickTab(w.dlg, 1);
    w.view.type(w.dlg, "t120l8 c d e f @4g");
    struct Row {
        size_t from, to;                 // editor selection in bank A's text
        std::optional<LoopSpan> expected;  // eighth notes of 12,000 frames
    };
    const Row rows[] = {{9, 12, LoopSpan{12000, 36000}}, {4, 6, std::nullopt}, {15, 18, LoopSpan{48000, 60000}}};
    for (const Row& row : rows) {
        const size_t statusBefore = w.view.statusLines.size();
        w.view.selection = {row.from, row.to};
        { std::lock_guard lock(w.log->mutex); w.log->heard.clear(); }
        w.dlg.runCommand(Command::LoopPassage);
        EXPECT_EQ(w.dlg.playingPassage(), row.expected) << row.from;
        ASSERT_EQ(w.view.statusLines.size(), statusBefore + 1) << row.from;
        if (!row.expected) {
            EXPECT_EQ(w.view.statusLines.back(), kMsgLoopNoNote);
            EXPECT_FALSE(w.layers->player().isPlaying());
            continue;
        }
        EXPECT_EQ(w.view.statusLines.back(), loopStatusText(*row.expected, 48000));
        // Every pass is the whole render's own stretch (endless loops once).
        output::WaveFormat format;
        auto song = output::MakeGenerator(w.dlg.snapshot(false)->inputs, false, *w.layers, format);
        ASSERT_TRUE(song);
        song->SetExportMode();
        const std::vector<int16_t> all = song->Render(static_cast<int64_t>(row.expected->to));
        const std::vector<int16_t> passage(all.begin() + static_cast<ptrdiff_t>(2 * row.expected->from), all.end());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (w.log->heardCopy().size() < 3 * passage.size() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const std::vector<int16_t> heard = w.log->heardCopy();
        ASSERT_GE(heard.size(), 3 * passage.size());
        for (size_t pass = 0; pass < 3; ++pass)
            EXPECT_TRUE(std::equal(passage.begin(), passage.end(), heard.begin() + static_cast<ptrdiff_t>(pass * passage.size())))
                << "selection " << row.from << " pass " << pass + 1;
        w.dlg.runCommand(Command::Stop);
        EXPECT_EQ(w.dlg.playingPassage(), std::nullopt) << "Stop ends the loop";
    }
}

// A phrase a loop repeats loops one pass of it, as `--from A:11 --to A:14`
// plays it, not the stretch from its first pass to its last.
TEST(WindowLive, CtrlLOnALoopedPhraseLoopsOnePass) {
    LiveWindow w;
    w.view.clickTab(w.dlg, 1);
    w.view.type(w.dlg, "l8 o5 [cdefgab>c<]16");
    w.view.selection = {11, 14};  // "GAB"
    w.dlg.runCommand(Command::LoopPassage);
    EXPECT_EQ(w.dlg.playingPassage(), (LoopSpan{48000, 84000}));
    EXPECT_EQ(w.view.statusLines.back(), "ループ再生中: 0:01.000 – 0:01.750");
    w.dlg.runCommand(Command::Stop);
}


// The window's file changed by something else: each row opens the file
// (common "T120", A "CDE"), shows tab A, perhaps edits it, then changes the
// file and tells the window (twice, as watchers do) and checks what it did.
TEST(WindowLive, FileChangedOnDiskIsReloadedAskedAboutOrTold) {
    enum class Change { Rewrite, RenameOver, Delete, DeleteThenRewrite, OwnSave, Binary };
    struct Row {
        const char* name;
        bool edit;             // an unsaved edit ("G" typed) before the change
        Change change;
        std::deque<bool> answers;  // to the question (true: reload)
        const char* bankA;     // A's text after
        bool modified;
        int questions;
        const char* status;    // the last status line's start ("" none)
    };
    const Row rows[] = {
        {"rewritten, no edits: reloaded", false, Change::Rewrite, {}, "CDEFG", false, 0, "「"},
        {"replaced by a rename", false, Change::RenameOver, {}, "CDEFG", false, 0, "「"},
        {"rewritten over an edit, kept", true, Change::Rewrite, {false}, "GCDE", true, 1, ""},
        {"rewritten over an edit, reloaded", true, Change::Rewrite, {true}, "CDEFG", false, 1, "「"},
        {"our own save, typed after", true, Change::OwnSave, {}, "GACDE", true, 0, ""},
        {"deleted: told once, text kept", true, Change::Delete, {}, "GCDE", true, 0, "「"},
        {"deleted and written again", false, Change::DeleteThenRewrite, {}, "CDEFG", false, 0, "「"},
        {"not a document any more", false, Change::Binary, {}, "CDE", false, 0, ""},
    };
    for (const Row& row : rows) {
        LiveWindow w;
        const fs::path file = w.dir / "song.mml";
        const auto write = [&](const std::string& bytes) {
            const fs::path tmp = w.dir / "tmp";
            std::ofstream(tmp, std::ios::binary) << bytes;
            fs::rename(tmp, file);
        };
        write(document::writeDocumentBytes({"T120", "CDE"}));
        w.dlg.openFile(file.string());
        w.view.clickTab(w.dlg, 1);
        if (row.edit) {
            w.view.placeCaret(0);
            w.view.type(w.dlg, "g");
        }
        size_t statusBefore = w.view.statusLines.size();
        switch (row.change) {
        case Change::Rewrite: std::ofstream(file, std::ios::binary | std::ios::trunc) << document::writeDocumentBytes({"T120", "CDEFG"}); break;
        case Change::RenameOver: write(document::writeDocumentBytes({"T120", "CDEFG"})); break;
        case Change::Delete: fs::remove(file); break;
        case Change::DeleteThenRewrite:
            fs::remove(file);
            w.dlg.fileChangedOnDisk();
            statusBefore = w.view.statusLines.size();
            write(document::writeDocumentBytes({"T120", "CDEFG"}));
            break;
        case Change::OwnSave:
            // Typing goes on before the watcher reports the save.
            w.dlg.runCommand(Command::Save);
            w.view.type(w.dlg, "a");
            break;
        case Change::Binary: write(std::string("\0\1\2MML@", 8)); break;
        }
        w.view.reloadAnswers = row.answers;
        w.dlg.fileChangedOnDisk();
        w.dlg.fileChangedOnDisk();
        EXPECT_EQ(w.dlg.tabTexts[1], row.bankA) << row.name;
        EXPECT_EQ(w.view.editorText(), row.bankA) << row.name << ": the tab shown stays, with the text it holds";
        EXPECT_EQ(w.view.currentIndex(ctl::Tabs), 1) << row.name;
        EXPECT_EQ(w.dlg.modified, row.modified) << row.name;
        EXPECT_EQ(w.view.reloadQuestions, row.questions) << row.name;
        const size_t told = w.view.statusLines.size() - statusBefore;
        EXPECT_EQ(told, *row.status ? 1u : 0u) << row.name;
        if (told) {
            EXPECT_EQ(w.view.statusLines.back().rfind(row.status, 0), 0u) << row.name << ": " << w.view.statusLines.back();
        }
    }
}


// While Play runs, each newer compile of Play's inputs takes over the stream
// at the same place in the music; the edits reach the swap in the stored
// bytes (here after a Japanese comment, where the editor's positions and the
// bytes differ). T480: a quarter is 6,000 frames; E, a whole note, sounds
// from 12,000 to 36,000, and the edit is made while it does.
TEST(WindowLive, EditsWhilePlayingSwapTheSongInAtTheSamePlace) {
    struct Row {
        const char* name;
        size_t unit, removed;  // the edit in the editor (UTF-16 positions)
        const char* inserted;
        bool retyped;      // the editor's whole text taken again instead of a patch
                           // (no unit: the file saved elsewhere with it, and reloaded)
        bool loopChanged;  // "Loop" unchecked after Play
        int swaps;
        int anchorBank;    // -1: the same song time
        int64_t shift;     // anchor frame minus the old song's frame
    };
    const Row rows[] = {
        {"a note put in front", 5, 0, "C ", false, false, 1, 0, 6000},
        {"a note put in front, whole text", 5, 0, "C ", true, false, 1, 0, 6000},
        {"a note put in front, file reloaded", 5, 0, "C ", true, false, 1, 0, 6000},
        {"the note heard deleted", 9, 3, "", false, false, 1, -1, 0},
        {"inside the comment", 2, 0, "X", false, false, 1, 0, 0},
        {"a compile error keeps the song", 15, 0, "!", false, false, 0, 0, 0},
        {"Loop changed since Play", 5, 0, "C ", false, true, 0, 0, 0},
    };
    for (const Row& row : rows) {
        LiveWindow w(true);
        w.view.checks[ctl::Loop] = true;
        w.view.type(w.dlg, "t480");
        w.view.clickTab(w.dlg, 1);
        w.view.type(w.dlg, "*日本語*c d e1 f g");
        const bool fromDisk = std::string_view(row.name).ends_with("reloaded");
        const fs::path file = w.dir / "song.mml";
        if (fromDisk) {
            w.view.dialogAnswers.push_back(file.string());
            w.dlg.runCommand(Command::SaveAs);
        }
        w.dlg.runCommand(Command::Play);
        ASSERT_TRUE(w.layers->liveSwap().active()) << row.name;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (w.layers->songFrame().value_or(0) < 14000 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (row.loopChanged) w.view.checks[ctl::Loop] = false;
        if (fromDisk) {
            document::TabTexts texts = w.dlg.tabTexts;
            texts[1].insert(8, row.inserted);  // after the comment's 8 bytes
            std::ofstream(file, std::ios::binary | std::ios::trunc) << document::writeDocumentBytes(texts);
            w.dlg.fileChangedOnDisk();
            ASSERT_EQ(w.dlg.tabTexts, texts) << row.name;
        } else if (row.retyped) {
            w.view.selection = {row.unit, row.unit + row.removed};
            w.view.type(w.dlg, row.inserted);
        } else {
            w.view.editor.replace(row.unit, row.removed, testing::toUtf16(row.inserted));
            ASSERT_TRUE(w.dlg.editorEdited(row.unit, row.removed, row.inserted)) << row.name;
        }
        // What the window's live check does with its result.
        const auto snapshot = w.dlg.snapshot(false);
        const output::BuildInputs& inputs = snapshot->inputs;
        const bool taken = w.layers->offerSong(inputs, snapshot->loop, output::buildSongMap(inputs, false));
        EXPECT_EQ(taken, row.swaps > 0) << row.name;
        w.layers->liveSwap().waitIdle();
        const session::LiveSwapReport report = w.layers->liveSwap().report();
        EXPECT_EQ(report.swaps, static_cast<uint64_t>(row.swaps)) << row.name;
        EXPECT_TRUE(w.layers->player().isPlaying()) << row.name;
        if (row.swaps == 0) continue;
        EXPECT_EQ(report.anchor.bank, row.anchorBank) << row.name;
        EXPECT_EQ(static_cast<int64_t>(report.anchor.frame) - static_cast<int64_t>(report.oldFrame), row.shift) << row.name;
        EXPECT_EQ(w.layers->playingMap()->timeline.banks[0].notes.size(), w.dlg.tabTexts[1].find("C C") != std::string::npos ? 6u : (row.anchorBank < 0 ? 4u : 5u))
            << row.name << ": the playing map is the new song's";
    }
}

}  // namespace
}  // namespace tavolin::window
