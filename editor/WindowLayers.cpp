// Routes the window's commands to the player, the exporter and the document commands.
#include "editor/WindowLayers.h"

#include <cstdio>

#include "compiler/Cp932.h"
#include "editor/CaretMapping.h"

namespace tavolin::editor {

output::BuildInputs toBuildInputs(const WindowSnapshot& s) {
    output::BuildInputs in;
    in.rateText = s.rateText;
    in.arithIndex = s.arithmetic;
    in.bankIndex = s.bankIndex;
    in.caret = s.startFromCursor ? s.caret : 0;
    in.startFromCursor = s.startFromCursor;
    in.currentBankMode = s.currentBankMode;
    for (size_t i = 0; i < in.tabTexts.size(); ++i) in.tabTexts[i] = s.tabTexts[i];
    in.testPhrase = s.testPhrase;
    in.toneCommand = s.toneCommand;
    return in;
}

WindowLayers::WindowLayers(CTavolinDlg& dlg, output::AudioDeviceFactory devices, std::unique_ptr<FileSystem> files,
                           output::ExportOptions exportOptions)
    : m_dlg(dlg),
      m_view(dlg.view()),
      m_files(std::move(files)),
      m_commands(dlg.document(), *this, *m_files),
      m_exportOptions(std::move(exportOptions)),
      m_player(std::move(devices)) {}

WindowLayers::~WindowLayers() { m_player.StopPlayback(); }

void WindowLayers::play(bool testMode) {
    // Play and Test stop the running song even when the new build fails.
    m_player.StopPlayback();
    auto snapshot = m_dlg.snapshot(testMode);
    if (!snapshot) return;
    m_player.StartPlayback(toBuildInputs(*snapshot), testMode, snapshot->loop, *this);
}

void WindowLayers::stop() { m_player.StopPlayback(); }

void WindowLayers::setPaused(bool paused) { m_player.setPaused(paused); }

void WindowLayers::exportWav() {
    auto snapshot = m_dlg.snapshot(false);
    if (!snapshot) return;
    m_lastExport = exportAudio(toBuildInputs(*snapshot));
}

// Build (its errors shown at once), then the export dialog, then the save
// dialog for the chosen type; the busy cursor from the first rendered frame
// to the confirmation.
output::ExportOutcome WindowLayers::exportAudio(const output::BuildInputs& inputs) {
    output::WaveFormat format;
    std::shared_ptr<output::GeneratorWrapper> song = output::MakeGenerator(inputs, false, *this, format);
    if (!song) return output::ExportOutcome::NotBuilt;
    const std::optional<ExportChoice> choice = m_view.askExportChoice(m_exportChoice);
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
    const output::ExportOutcome outcome = output::writeSongToFile(*song, format, *path, *this, options);
    m_view.setBusy(false);
    m_view.endProgress();
    if (outcome == output::ExportOutcome::Written) messageBox(exportDoneText(*path, m_exportedFrames, format.samplesPerSec));
    return outcome;
}

void WindowLayers::exportMidi() {
    auto snapshot = m_dlg.snapshot(false);
    if (!snapshot) return;
    m_exportWarnings.clear();
    m_lastSavePath.reset();
    m_lastExport = output::OnMidiExport(toBuildInputs(*snapshot), *this, m_exportOptions);
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
        const std::string bad = firstUnencodableChar(*text);
        if (!bad.empty()) {
            messageBox(kMsgClipboardUnencodable + bad);
            return;
        }
    }
    m_commands.importClipboard();
}

void WindowLayers::openPath(const std::string& path) {
    const auto bytes = m_files->readFile(path);
    if (!bytes) {
        messageBox(kOpenFailedText);
        return;
    }
    m_player.StopPlayback();
    m_dlg.filePath = path;
    m_commands.loadDocumentText(textModeRead(*bytes), false, false);
}

PromptAnswer WindowLayers::askYesNoCancel(const std::string& text, const std::string& caption) {
    return m_view.askYesNoCancel(text, caption);
}

namespace {

FileDialogRequest toRequest(const FileDialogOptions& o, bool save) {
    FileDialogRequest r;
    r.save = save;
    r.filter = o.filter;
    r.defaultExtension = o.defaultExtension;
    r.initialName = o.initialFileName;
    r.confirmOverwrite = save && o.promptOverwrite;
    return r;
}

}  // namespace

std::optional<std::string> WindowLayers::showOpenDialog(const FileDialogOptions& options) {
    return m_view.fileDialog(toRequest(options, false));
}

std::optional<std::string> WindowLayers::showSaveDialog(const FileDialogOptions& options) {
    return m_view.fileDialog(toRequest(options, true));
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
void WindowLayers::stopPlayback() { m_player.StopPlayback(); }

ImportControls WindowLayers::importControls() {
    ImportControls c;
    c.removeBankTempo = m_view.isChecked(ctl::ImportIgnoreTempo);
    c.sourceMaxText = m_view.controlText(ctl::ImportSourceMax);
    c.divideByBanks = m_view.isChecked(ctl::ImportDivide);
    return c;
}

void WindowLayers::selectTab(int tab) { m_dlg.selectTab(tab); }
void WindowLayers::selectText(uint64_t fromByte, uint64_t toByte) { m_dlg.selectText(fromByte, toByte); }

std::optional<std::string> WindowLayers::askSavePath(const output::SaveDialogRequest& request) {
    FileDialogRequest r;
    r.save = true;
    r.filter = request.filter;
    r.defaultExtension = request.defaultExtension;
    r.initialName = request.initialFileName;
    r.confirmOverwrite = request.overwritePrompt;
    m_lastSavePath = m_view.fileDialog(r);
    return m_lastSavePath;
}

bool WindowLayers::exportProgress(uint64_t framesDone, double secondsDone) {
    m_exportedFrames = framesDone;
    char label[96];
    std::snprintf(label, sizeof label, "ファイルに書き出しています… %.1f 秒", secondsDone);
    return m_view.reportProgress(label, -1.0);
}

}  // namespace tavolin::editor
