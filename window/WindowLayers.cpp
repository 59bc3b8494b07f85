// SPDX-License-Identifier: MIT
// Routes the window's commands to the player, the exporter and the document commands.
#include "window/WindowLayers.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "compiler/Cp932.h"
#include "compiler/UiText.h"
#include "document/CaretMapping.h"
#include "document/DialogStart.h"
#include "document/UserTexts.h"
#include "output/SongMap.h"

namespace tavolin::window {

RecoverySetup defaultRecoverySetup() {
    static std::atomic<int> windows{0};
    RecoverySetup setup;
    setup.folder = document::recoveryFolder([](const char* name) { return std::getenv(name); });
    setup.pid = document::currentProcessId();
    setup.window = ++windows;
    setup.isRunning = document::isTavolinRunning;
    setup.clock = [] { return static_cast<int64_t>(std::time(nullptr)); };
    return setup;
}

namespace {

// One sound device for the window's whole life, at the default rate: Play
// does not wait for a device to open, and nothing of the device's start (SDL
// may hand its driver a first period of silence of its own) comes between
// Play and the song.
output::PlayerOptions keptDevice() {
    output::PlayerOptions options;
    options.keepDevice = output::makeWaveFormat(output::BuildInputs{}.sampleRateHz);
    return options;
}

}  // namespace

WindowLayers::WindowLayers(CTavolinDlg& dlg, output::AudioDeviceFactory devices, std::unique_ptr<document::FileSystem> files,
                           output::ExportOptions exportOptions, RecoverySetup recovery)
    : m_dlg(dlg),
      m_view(dlg.view()),
      m_files(std::move(files)),
      m_commands(dlg.document(), *this, *m_files),
      m_exportOptions(std::move(exportOptions)),
      m_session(std::move(devices), keptDevice()) {
    // The window shows every bank's scope while a song plays.
    m_session.player().setBankTaps(true);
    if (!recovery.folder.empty()) {
        m_recovery = std::make_unique<document::RecoveryStore>(*m_files, recovery.folder, recovery.pid, recovery.window,
                                                     std::move(recovery.isRunning), std::move(recovery.clock));
        m_dlg.setRecovery(m_recovery.get());
    }
}

// The window model may already be gone (the Qt window destroys it first), so it is
// not touched here; it runs no command after its layers are gone.
WindowLayers::~WindowLayers() {
    m_session.stop();
}

void WindowLayers::play(bool testMode) {
    // Play and Test stop the running song even when the new build fails.
    stop();
    auto snapshot = m_dlg.snapshot(testMode);
    if (!snapshot) return;
    // From here every newer compile of these inputs takes over the stream (not Test's).
    m_playLoop = snapshot->loop;
    m_session.play(snapshot->inputs, testMode, *this, {snapshot->loop, std::nullopt});
}

void WindowLayers::playExample(std::string_view mml) {
    stop();
    // The window's arithmetic and rate; the text is the example's alone.
    auto snapshot = m_dlg.snapshot(false);
    if (!snapshot) return;
    output::BuildInputs inputs = snapshot->inputs;
    inputs.tabTexts = {};
    inputs.toneCommand.clear();
    inputs.testPhrase = std::string(mml);
    m_session.play(inputs, true, *this, {false, std::nullopt});
}

void WindowLayers::openExample(const std::string& path) { m_commands.openExample(path); }

void WindowLayers::stop() { m_session.stop(); }

void WindowLayers::textEdited(int tab, uint64_t position, uint64_t removed, uint64_t inserted) {
    m_session.edited(tab, position, removed, inserted);
}

void WindowLayers::textsReplaced(const document::TabTexts& before, const document::TabTexts& after) { m_session.editedTexts(before, after); }

bool WindowLayers::offerSong(const output::BuildInputs& inputs, bool loop, std::shared_ptr<const output::SongMap> map) {
    return loop == m_playLoop && m_session.offer(inputs, std::move(map));
}

std::optional<LoopSpan> WindowLayers::livePassage() const {
    const std::optional<session::LivePassage> p = m_session.swap().passage();
    if (!p) return std::nullopt;
    return LoopSpan{p->from, p->to};
}

PassageOutcome WindowLayers::playPassage(const LoopPick& pick) {
    auto snapshot = m_dlg.snapshot(false);
    if (!snapshot) {
        stop();
        return {};
    }
    m_playLoop = snapshot->loop;
    return m_session.loopPick(snapshot->inputs, pick, *this);
}

void WindowLayers::setPaused(bool paused) { m_session.player().setPaused(paused); }

void WindowLayers::exportWav() {
    auto snapshot = m_dlg.snapshot(false);
    if (!snapshot) return;
    m_lastExport = exportAudio(snapshot->inputs);
}

// Build (its errors shown at once), then the export dialog, then the save
// dialog for the chosen type; the busy cursor from the first rendered frame
// to the confirmation.
output::ExportOutcome WindowLayers::exportAudio(const output::BuildInputs& inputs) {
    output::WaveFormat format;
    std::shared_ptr<output::GeneratorWrapper> song = output::MakeGenerator(inputs, false, *this, format);
    if (!song) return output::ExportOutcome::NotBuilt;
    // The export is heard as Play is: muted banks run but are left out.
    const BankMask audible = m_session.player().audibleBanks();
    song->setAudible(audible);
    const std::optional<ExportChoice> choice = m_view.askExportChoice(m_exportChoice, audible);
    if (!choice) return output::ExportOutcome::Cancelled;
    m_exportChoice = clampedChoice(*choice);
    const std::optional<std::string> path = askSavePath(saveRequestFor(m_exportChoice.type));
    if (!path) return output::ExportOutcome::Cancelled;
    output::ExportOptions options = m_exportOptions;
    options.type = m_exportChoice.type;
    options.loops = m_exportChoice.loops;
    options.fadeSeconds = m_exportChoice.fadeSeconds;
    m_exportedFrames = 0;
    m_view.setBusy(true);
    output::ExportOutcome outcome;
    std::vector<std::string> written;
    if (m_exportChoice.perBank) {
        const auto paths = stemPaths(*path);
        std::vector<int> banks;
        outcome = output::writeStems(*song, format, paths, *this, options, &banks);
        for (int b : banks) written.push_back(paths[static_cast<size_t>(b)]);
    } else if (m_exportChoice.loopPoints) {
        outcome = output::writeSongWithLoop(*song, format, *path, *this, false, options);
        written.push_back(*path);
        // Rendered through the loop's second pass; the file holds the intro and one pass.
        if (const auto loop = output::songLoopOf(*song).loop) m_exportedFrames = loop->start + loop->length;
    } else {
        outcome = output::writeSongToFile(*song, format, *path, *this, options);
        written.push_back(*path);
    }
    m_view.setBusy(false);
    m_view.endProgress();
    if (outcome == output::ExportOutcome::Written)
        messageBox(m_exportChoice.perBank ? stemsDoneText(written, m_exportedFrames, format.samplesPerSec)
                                          : exportDoneText(*path, m_exportedFrames, format.samplesPerSec));
    return outcome;
}

void WindowLayers::exportMidi() {
    auto snapshot = m_dlg.snapshot(false);
    if (!snapshot) return;
    m_exportWarnings.clear();
    m_lastSavePath.reset();
    m_lastExport = output::OnMidiExport(snapshot->inputs, *this, m_exportOptions);
    if (m_lastExport == output::ExportOutcome::Written && m_lastSavePath)
        messageBox(midiDoneText(*m_lastSavePath, m_exportWarnings));
}

bool WindowLayers::promptSaveAndClear() { return m_commands.promptSaveAndClear(); }
void WindowLayers::saveDocument() { m_commands.saveDocument(); }
void WindowLayers::saveDocumentAs() { m_commands.saveDocumentAs(); }
void WindowLayers::openDocument() { m_commands.openDocument(); }

void WindowLayers::importClipboard() {
    // Refused before the save prompt, so a clipboard that cannot be imported costs
    // the user nothing.
    if (auto text = m_view.clipboardText()) {
        const std::string bad = document::firstUnencodableChar(*text);
        if (!bad.empty()) {
            messageBox(uiText(kMsgClipboardUnencodable) + bad);
            return;
        }
    }
    m_commands.importClipboard();
}

void WindowLayers::importMidi() { m_commands.importMidiFile(); }

void WindowLayers::openPath(const std::string& path) { m_commands.openPath(path); }

void WindowLayers::openRecent(const std::string& path) {
    if (!m_commands.promptSave()) return;
    // A file that is gone leaves the list (the user was told why).
    if (!m_commands.openPath(path) && m_files->readFile(path).failure.error == document::FileError::NotFound)
        m_dlg.forgetFile(path);
}

PromptAnswer WindowLayers::askYesNoCancel(const std::string& text, const std::string& caption) {
    return m_view.askYesNoCancel(text, caption);
}

namespace {

FileDialogRequest toRequest(const FileDialogOptions& o, bool save) {
    FileDialogRequest r;
    r.save = save;
    r.filter = uiText(o.filter);
    r.defaultExtension = o.defaultExtension;
    r.confirmOverwrite = save && o.promptOverwrite;
    return r;
}

}  // namespace

std::optional<std::string> WindowLayers::askFile(FileDialogRequest request, std::string_view extension,
                                                 std::string_view untitledName) {
    const char* home = std::getenv("HOME");
    const document::DialogStart start = document::dialogStart(m_dlg.filePath, m_dlg.lastFolder(), home ? home : "", extension, untitledName);
    request.folder = start.folder;
    request.initialName = start.name;
    std::optional<std::string> chosen = m_view.fileDialog(request);
    if (chosen && !chosen->empty()) m_dlg.rememberFolder(document::folderOf(*chosen));
    return chosen;
}

std::optional<std::string> WindowLayers::showOpenDialog(const FileDialogOptions& options) {
    // An untitled window's open dialog fills in no invented name.
    return askFile(toRequest(options, false), "", "");
}

std::optional<std::string> WindowLayers::showSaveDialog(const FileDialogOptions& options) {
    return askFile(toRequest(options, true), "", options.initialFileName);
}

void WindowLayers::messageBox(const std::string& text) { m_dlg.messageBox(text); }

bool WindowLayers::clipboardHasText() { return m_view.clipboardText().has_value(); }

std::optional<std::string> WindowLayers::readClipboardText() {
    auto text = m_view.clipboardText();
    if (!text) return std::nullopt;
    return utf8ToCp932(*text);
}

void WindowLayers::setEditorText(const std::string& text) { m_dlg.setEditorText(text); }
void WindowLayers::updateTitle() { m_dlg.updateTitle(); }
void WindowLayers::stopPlayback() { stop(); }
void WindowLayers::showStatus(const std::string& text) { m_view.showStatus(text); }
void WindowLayers::fileUsed(const std::string& path) { m_dlg.rememberFile(path); }

ImportControls WindowLayers::importControls() {
    ImportControls c;
    c.removeBankTempo = m_view.isChecked(ctl::ImportIgnoreTempo);
    c.sourceMaxText = m_view.controlText(ctl::ImportSourceMax);
    c.divideByBanks = m_view.isChecked(ctl::ImportDivide);
    return c;
}

void WindowLayers::selectTab(int tab) { m_dlg.selectTab(tab); }

bool WindowLayers::streaming() const {
    const output::Player& p = m_session.player();
    return p.isPlaying() && !p.songHeard() && p.stream()->hWaveOut.load();
}

std::optional<std::chrono::milliseconds> WindowLayers::idleDeviceDue() {
    const auto now = output::PlayPosition::Clock::now();
    const auto due = m_session.player().idleCloseDue(now);
    if (!due) return std::nullopt;
    return std::chrono::ceil<std::chrono::milliseconds>(std::max(*due - now, output::PlayPosition::Clock::duration::zero()));
}

void WindowLayers::closeIdleDevice() { m_session.player().closeIdleDevice(output::PlayPosition::Clock::now()); }

std::optional<uint64_t> WindowLayers::heardFrame() const { return m_session.player().heardFrame(output::PlayPosition::Clock::now()); }

std::optional<uint64_t> WindowLayers::songFrame() const {
    return m_session.heardFrame(output::PlayPosition::Clock::now());
}
void WindowLayers::selectText(uint64_t fromByte, uint64_t toByte) { m_dlg.selectText(fromByte, toByte); }

std::optional<std::string> WindowLayers::askSavePath(const output::SaveDialogRequest& request) {
    FileDialogRequest r;
    r.save = true;
    r.filter = request.filter;
    r.defaultExtension = request.defaultExtension;
    r.confirmOverwrite = request.overwritePrompt;
    // The export is named after the document, with the chosen type's extension.
    m_lastSavePath = askFile(r, request.defaultExtension, request.initialFileName);
    return m_lastSavePath;
}

void WindowLayers::exportFileFailed(const output::ExportFileFailure& failure) {
    messageBox(exportFailureMessage(failure));
}

bool WindowLayers::exportProgress(uint64_t framesDone, double secondsDone) {
    m_exportedFrames = framesDone;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", secondsDone);
    const std::string label = uiText(TAVOLIN_TR_NOOP("Texts", "ファイルに書き出しています… {seconds} 秒"));
    return m_view.reportProgress(document::fillIn(label, "seconds", seconds), -1.0);
}

}  // namespace tavolin::window
