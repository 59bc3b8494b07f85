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
    m_lastExport = output::OnWavExport(toBuildInputs(*snapshot), *this, m_exportOptions);
    m_view.endProgress();
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
    return m_view.fileDialog(r);
}

bool WindowLayers::exportProgress(uint64_t, double secondsDone) {
    char label[96];
    std::snprintf(label, sizeof label, "WAVファイルに書き出しています… %.1f 秒", secondsDone);
    return m_view.reportProgress(label, -1.0);
}

}  // namespace tavolin::editor
