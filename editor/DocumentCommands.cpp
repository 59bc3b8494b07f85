// The file commands and the clipboard import, driving the window through DocumentHost.
#include "editor/DocumentCommands.h"

#include <algorithm>

namespace tavolin::editor {

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

bool DocumentCommands::promptSaveAndClear() {
    if (m_state.modified) {
        switch (m_host.askYesNoCancel(kSavePromptText, kSavePromptCaption)) {
        case PromptAnswer::Cancel:
            return false;
        case PromptAnswer::Yes:
            // The user asked to keep the work: a save that did not happen must
            // not be followed by throwing the document away.
            if (!saveDocument()) return false;
            break;
        case PromptAnswer::No:
            break;
        }
    }
    m_host.stopPlayback();
    m_host.setEditorText({});
    for (auto& text : m_state.tabTexts) text.clear();
    m_state.modified = false;
    m_state.filePath.clear();
    m_host.updateTitle();
    return true;
}

bool DocumentCommands::saveDocument() {
    const std::string bytes = writeDocumentBytes(m_state.tabTexts);
    WriteOutcome outcome =
        m_state.filePath.empty() ? WriteOutcome::CannotOpen : m_files.replaceFile(m_state.filePath, bytes);
    // A file that cannot be opened brings the dialog back until one opens or the user cancels.
    while (outcome == WriteOutcome::CannotOpen) {
        m_state.filePath.clear();
        if (auto chosen = m_host.showSaveDialog(saveDialogOptions())) m_state.filePath = *chosen;
        if (m_state.filePath.empty()) {
            m_host.updateTitle(); // the document is untitled now; say so
            return false;
        }
        outcome = m_files.replaceFile(m_state.filePath, bytes);
    }
    if (outcome == WriteOutcome::WriteFailed) {
        m_host.messageBox(kSaveFailedText);
        m_host.updateTitle();
        return false;
    }
    m_state.modified = false;
    m_host.updateTitle();
    return true;
}

bool DocumentCommands::saveDocumentAs() {
    m_state.filePath.clear();
    return saveDocument();
}

bool DocumentCommands::openDocument() {
    if (!promptSaveAndClear()) return false;
    std::optional<std::string> chosen = m_host.showOpenDialog(openDialogOptions());
    if (!chosen || chosen->empty()) return false;
    std::optional<std::string> bytes = m_files.readFile(*chosen);
    if (!bytes) {
        m_host.messageBox(kOpenFailedText);
        return false;
    }
    m_state.filePath = *chosen;
    loadDocumentText(textModeRead(*bytes), false, false);
    return true;
}

void DocumentCommands::loadDocumentText(std::string_view text, bool rescale, bool importMode) {
    ImportOptions options;
    options.rescale = rescale;
    options.importMode = importMode;
    if (rescale || importMode) {
        ImportControls controls = m_host.importControls();
        options.removeBankTempo = controls.removeBankTempo;
        options.sourceMaxText = std::move(controls.sourceMaxText);
        options.divideByBanks = controls.divideByBanks;
    }
    m_state.tabTexts = parseDocumentText(text, options);
    m_state.modified = false;
    int tab = std::clamp(m_state.selectedTab, 0, kTabCount - 1);
    m_host.setEditorText(m_state.tabTexts[static_cast<std::size_t>(tab)]);
    m_host.updateTitle();
}

bool DocumentCommands::importClipboard() {
    if (!m_host.clipboardHasText()) {
        m_host.messageBox(kNoClipboardText);
        return false;
    }
    // Taken before the prompt, like holding the clipboard open across it: what
    // is imported is what was there when the button was pressed.
    std::optional<std::string> clip = m_host.readClipboardText();
    if (!clip) return false;
    std::string text = clip->substr(0, clip->find('\0'));
    if (!promptSaveAndClear()) return false;
    loadDocumentText(text, true, true);
    return true;
}

}  // namespace tavolin::editor
