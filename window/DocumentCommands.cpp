// SPDX-License-Identifier: MIT
// The file commands and the clipboard import, driving the window through DocumentHost.
#include "window/DocumentCommands.h"

#include <algorithm>

#include "compiler/UiText.h"
#include "document/DocumentCheck.h"
#include "document/DocumentFormat.h"
#include "music/ImportSteps.h"
#include "music/MidiImport.h"
#include "document/TextEncoding.h"
#include "document/UserTexts.h"

namespace tavolin::window {

std::vector<FileFilterEntry> splitFileFilter(std::string_view filter) {
    std::vector<std::string_view> fields;
    while (!filter.empty()) {
        std::size_t bar = filter.find('|');
        fields.push_back(filter.substr(0, bar));
        if (bar == std::string_view::npos) break;
        filter.remove_prefix(bar + 1);
    }
    std::vector<FileFilterEntry> entries;
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
        if (fields[i].empty()) break; // the "||" that ends the list
        entries.push_back({std::string(fields[i]), std::string(fields[i + 1])});
    }
    return entries;
}

FileDialogOptions DocumentCommands::openDialogOptions() { return FileDialogOptions{}; }

FileDialogOptions DocumentCommands::saveDialogOptions() {
    FileDialogOptions options;
    options.promptOverwrite = true;
    return options;
}

bool DocumentCommands::promptSave() {
    if (!m_state.modified) return true;
    switch (m_host.askYesNoCancel(uiText(kSavePromptText), kSavePromptCaption)) {
    case PromptAnswer::Cancel:
        return false;
    case PromptAnswer::Yes:
        // The user asked to keep the work: a save that did not happen must
        // not be followed by throwing the document away.
        return saveDocument();
    case PromptAnswer::No:
        break;
    }
    return true;
}

void DocumentCommands::clearDocument() {
    m_host.stopPlayback();
    m_host.setEditorText({});
    for (auto& text : m_state.tabTexts) text.clear();
    m_state.modified = false;
    m_state.cleanTexts = m_state.tabTexts;
    m_state.filePath.clear();
    m_host.updateTitle();
}

bool DocumentCommands::promptSaveAndClear() {
    if (!promptSave()) return false;
    clearDocument();
    return true;
}

bool DocumentCommands::saveDocument() {
    if (!m_state.filePath.empty()) return saveTo(m_state.filePath);
    std::optional<std::string> chosen = m_host.showSaveDialog(saveDialogOptions());
    if (!chosen || chosen->empty()) return false;
    return saveTo(*chosen);
}

bool DocumentCommands::saveTo(std::string path) {
    path = m_files.absolutePath(path);
    const std::string bytes = document::writeDocumentBytes(m_state.tabTexts);
    for (;;) {
        const document::WriteResult result = m_files.replaceFile(path, bytes);
        if (result.outcome == document::WriteOutcome::Written) break;
        // Say what failed and why, then let the user pick another place; Cancel
        // leaves name, title and modified flag as they were.
        m_host.messageBox(document::fileFailureMessage(document::text::kSaveFailed, path, result.failure) + "\n" +
                          uiText(document::text::kSaveElsewhere));
        std::optional<std::string> chosen = m_host.showSaveDialog(saveDialogOptions());
        if (!chosen || chosen->empty()) return false;
        path = m_files.absolutePath(*chosen);
    }
    m_state.filePath = path;
    m_state.modified = false;
    m_state.cleanTexts = m_state.tabTexts;
    m_host.updateTitle();
    m_host.fileUsed(path);
    return true;
}

bool DocumentCommands::saveDocumentAs() {
    std::optional<std::string> chosen = m_host.showSaveDialog(saveDialogOptions());
    if (!chosen || chosen->empty()) return false;
    return saveTo(*chosen);
}

bool DocumentCommands::openDocument() {
    if (!promptSave()) return false;
    std::optional<std::string> chosen = m_host.showOpenDialog(openDialogOptions());
    if (!chosen || chosen->empty()) return false;
    return openPath(*chosen);
}

bool DocumentCommands::openPath(const std::string& requested) {
    // Known by its full path: the title, the recent files and the recovery file
    // must name the same file from any folder.
    const std::string path = m_files.absolutePath(requested);
    const document::ReadResult read = m_files.readFile(path);
    if (!read.ok()) {
        m_host.messageBox(document::fileFailureMessage(document::text::kOpenFailed, path, read.failure));
        return false;
    }
    // A file the document cannot hold is not taken for one: a save would write back
    // only what the reader kept.
    const document::LoadedDocument loaded = document::loadDocumentFile(read.bytes);
    const document::DecodedFile& decoded = loaded.decoded;
    const document::DocumentFileCheck& check = loaded.check;
    switch (loaded.refusal) {
    case document::LoadedDocument::Refusal::None: break;
    case document::LoadedDocument::Refusal::TooLarge: m_host.messageBox(document::documentTooLargeMessage(path, read.bytes.size())); return false;
    case document::LoadedDocument::Refusal::Unencodable: m_host.messageBox(document::unencodableMessage(path, decoded.unencodable)); return false;
    case document::LoadedDocument::Refusal::NotADocument: m_host.messageBox(document::documentCheckMessage(path, check)); return false;
    }
    if (check.losesText() &&
        m_host.askYesNoCancel(document::documentCheckMessage(path, check), kSavePromptCaption) != PromptAnswer::Yes)
        return false;
    m_host.stopPlayback();
    m_state.filePath = path;
    loadDocumentText(document::textModeRead(decoded.bytes), false, false);
    if (decoded.encoding == document::FileEncoding::Utf8) m_host.showStatus(uiText(document::text::kUtf8Converted));
    m_host.fileUsed(path);
    return true;
}

void DocumentCommands::loadDocumentText(std::string_view text, bool rescale, bool importMode) {
    music::ImportOptions options;
    options.rescale = rescale;
    options.importMode = importMode;
    if (rescale || importMode) {
        ImportControls controls = m_host.importControls();
        options.removeBankTempo = controls.removeBankTempo;
        options.sourceMaxText = std::move(controls.sourceMaxText);
        options.divideByBanks = controls.divideByBanks;
    }
    m_state.tabTexts = music::parseImportText(text, options);
    m_state.modified = false;
    m_state.cleanTexts = m_state.tabTexts;
    int tab = std::clamp(m_state.selectedTab, 0, document::kTabCount - 1);
    m_host.setEditorText(m_state.tabTexts[static_cast<std::size_t>(tab)]);
    m_host.updateTitle();
}

bool DocumentCommands::importClipboard() {
    if (!m_host.clipboardHasText()) {
        m_host.messageBox(uiText(kNoClipboardText));
        return false;
    }
    // Taken before the prompt, like holding the clipboard open across it: what
    // is imported is what was there when the button was pressed.
    std::optional<std::string> clip = m_host.readClipboardText();
    if (!clip) return false;
    std::string text = clip->substr(0, clip->find('\0'));
    if (!promptSave()) return false;
    clearDocument();
    loadDocumentText(text, true, true);
    return true;
}

FileDialogOptions DocumentCommands::midiOpenDialogOptions() {
    FileDialogOptions o;
    o.filter = kMidiFileFilter;
    o.entries = splitFileFilter(kMidiFileFilter);
    o.defaultExtension = "mid";
    o.initialFileName = "";
    return o;
}

bool DocumentCommands::importMidiFile() {
    if (!promptSave()) return false;
    const std::optional<std::string> chosen = m_host.showOpenDialog(midiOpenDialogOptions());
    if (!chosen || chosen->empty()) return false;
    const document::ReadResult read = m_files.readFile(*chosen);
    if (!read.ok()) {
        m_host.messageBox(document::fileFailureMessage(document::text::kOpenFailed, *chosen, read.failure));
        return false;
    }
    const auto outcome = music::importMidi(read.bytes);
    if (const auto* error = std::get_if<std::string>(&outcome)) {
        m_host.messageBox(document::fillIn(document::fillIn(uiText(kMidiImportFailed), "file", *chosen), "reason", *error));
        return false;
    }
    const auto& result = std::get<music::MidiImportResult>(outcome);
    clearDocument();
    m_state.tabTexts = result.tabs;
    m_state.cleanTexts = m_state.tabTexts;  // unmodified, as the clipboard's import leaves it
    const int tab = std::clamp(m_state.selectedTab, 0, document::kTabCount - 1);
    m_host.setEditorText(m_state.tabTexts[static_cast<std::size_t>(tab)]);
    m_host.updateTitle();
    m_host.messageBox(music::midiReportText(result.report));
    return true;
}

bool DocumentCommands::openExample(const std::string& path) {
    if (!promptSave()) return false;
    const document::ReadResult read = m_files.readFile(path);
    if (!read.ok()) {
        m_host.messageBox(document::fileFailureMessage(document::text::kOpenFailed, path, read.failure));
        return false;
    }
    clearDocument();
    m_state.tabTexts = document::readDocumentBytes(read.bytes);
    m_state.cleanTexts = m_state.tabTexts;
    const int tab = std::clamp(m_state.selectedTab, 0, document::kTabCount - 1);
    m_host.setEditorText(m_state.tabTexts[static_cast<std::size_t>(tab)]);
    m_host.updateTitle();
    return true;
}

}  // namespace tavolin::window
