// SPDX-License-Identifier: MIT
// The layers below the window (playback, WAV export, document commands) joined to
// the window model: implements the hosts they call back through.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compiler/UiText.h"
#include "window/CTavolinDlg.h"
#include "window/DocumentCommands.h"
#include "window/ExportSteps.h"
#include "document/FileSystem.h"
#include "session/PlaySession.h"
#include "document/Recovery.h"
#include "output/AudioDevice.h"
#include "output/Playback.h"
#include "output/MidiExport.h"
#include "output/WavExport.h"

namespace tavolin::window {

inline constexpr const char* kMsgClipboardUnencodable =
    TAVOLIN_TR_NOOP("Texts", "クリップボードのテキストにCP932で表せない文字があるため、インポートできません: ");

// Where and how the window keeps its recovery file; an empty folder keeps none.
struct RecoverySetup {
    std::string folder;
    int64_t pid = 0;
    int window = 0;
    document::ProcessProbe isRunning;
    std::function<int64_t()> clock;
};
// The running program's: the user's state folder, this process, the system clock.
RecoverySetup defaultRecoverySetup();


// All calls on the user-interface thread. Destroying it stops playback and waits for
// the sound device, so no callback can outlive the window. It hands the window its
// recovery store; the window runs no command once this is gone.
class WindowLayers : public WindowServices, public DocumentHost, public output::ExportHost {
public:
    WindowLayers(CTavolinDlg& dlg, output::AudioDeviceFactory devices,
                 std::unique_ptr<document::FileSystem> files = std::make_unique<document::RealFileSystem>(),
                 output::ExportOptions exportOptions = {}, RecoverySetup recovery = {});
    ~WindowLayers() override;

    output::Player& player() noexcept { return m_session.player(); }
    DocumentCommands& documents() noexcept { return m_commands; }
    output::ExportOutcome lastExport() const noexcept { return m_lastExport; }

    // WindowServices
    void play(bool testMode) override;
    void stop() override;
    PassageOutcome playPassage(const LoopPick& pick) override;
    void setPaused(bool paused) override;
    void exportWav() override;
    void exportMidi() override;
    bool promptSaveAndClear() override;
    void saveDocument() override;
    void saveDocumentAs() override;
    void openDocument() override;
    void importClipboard() override;
    void importMidi() override;
    void openPath(const std::string& path) override;
    session::DiskDocument readDisk(const std::string& path) override { return session::readDiskDocument(*m_files, path); }
    void openRecent(const std::string& path) override;
    void setAudibleBanks(BankMask mask) override { m_session.player().setAudibleBanks(mask); }
    std::shared_ptr<const output::BankTapRings> bankRings() const override { return m_session.player().bankRings(); }
    bool streaming() const override;
    std::optional<uint64_t> heardFrame() const override;
    void playExample(std::string_view mml) override;
    void openExample(const std::string& path) override;
    std::optional<std::chrono::milliseconds> idleDeviceDue() override;
    void closeIdleDevice() override;
    void textEdited(int tab, uint64_t position, uint64_t removed, uint64_t inserted) override;
    void textsReplaced(const document::TabTexts& before, const document::TabTexts& after) override;
    bool offerSong(const output::BuildInputs& inputs, bool loop, std::shared_ptr<const output::SongMap> map) override;
    std::shared_ptr<const output::SongMap> playingMap() const override { return m_session.swap().playingMap(); }
    session::PlayPoll pollPlaying(const document::TabTexts& texts) override {
        return m_session.poll(output::PlayPosition::Clock::now(), &texts);
    }
    std::optional<uint64_t> songFrame() const override;
    std::optional<LoopSpan> livePassage() const override;
    session::LiveSwap& liveSwap() noexcept { return m_session.swap(); }

    // DocumentHost and BuildHost (the message box serves both)
    PromptAnswer askYesNoCancel(const std::string& text, const std::string& caption) override;
    std::optional<std::string> showOpenDialog(const FileDialogOptions& options) override;
    std::optional<std::string> showSaveDialog(const FileDialogOptions& options) override;
    void messageBox(const std::string& text) override;
    bool clipboardHasText() override;
    std::optional<std::string> readClipboardText() override;
    void setEditorText(const std::string& text) override;
    void updateTitle() override;
    void stopPlayback() override;
    ImportControls importControls() override;
    void showStatus(const std::string& text) override;
    void fileUsed(const std::string& path) override;
    void selectTab(int tab) override;
    void selectText(uint64_t fromByte, uint64_t toByte) override;

    // ExportHost
    std::optional<std::string> askSavePath(const output::SaveDialogRequest& request) override;
    bool exportProgress(uint64_t framesDone, double secondsDone) override;
    void exportWarning(const std::string& text) override { m_exportWarnings.push_back(text); }
    void exportFileFailed(const output::ExportFileFailure& failure) override;

private:
    output::ExportOutcome exportAudio(const output::BuildInputs& inputs);
    // The file dialog, started beside the document (named after it, with
    // `extension` when given), else in the last folder used; the chosen file's
    // folder becomes the last one.
    std::optional<std::string> askFile(FileDialogRequest request, std::string_view extension,
                                       std::string_view untitledName);

    CTavolinDlg& m_dlg;
    WindowView& m_view;
    std::unique_ptr<document::FileSystem> m_files;
    DocumentCommands m_commands;
    std::unique_ptr<document::RecoveryStore> m_recovery;
    output::ExportOptions m_exportOptions;
    output::ExportOutcome m_lastExport = output::ExportOutcome::NotBuilt;
    ExportChoice m_exportChoice;      // the export dialog opens with the last choice
    uint64_t m_exportedFrames = 0;    // frames the running export has written
    std::vector<std::string> m_exportWarnings;
    std::optional<std::string> m_lastSavePath;  // the save dialog's last answer
    session::PlaySession m_session;  // stopped and gone before anything it calls back into
    bool m_playLoop = false;  // "Loop" as Play read it: a compile with another is not swapped in
};

}  // namespace tavolin::window
