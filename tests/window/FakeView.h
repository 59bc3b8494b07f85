// SPDX-License-Identifier: MIT
// A recording stand-in for the window's widgets, so the model runs without a display.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "window/CTavolinDlg.h"
#include "window/WindowView.h"

namespace tavolin::window::testing {

std::u16string toUtf16(const std::string& utf8);
std::string toUtf8(const std::u16string& utf16);

class FakeView : public WindowView {
public:
    // What the view was asked to do, in order ("setTitle:...", "messageBox:...").
    std::vector<std::string> calls;
    std::vector<std::string> messages;   // message box texts
    std::vector<std::string> captions;   // their captions
    std::deque<PromptAnswer> answers;    // scripted Yes/No/Cancel answers
    std::deque<std::optional<std::string>> dialogAnswers;  // scripted file dialog results
    std::vector<FileDialogRequest> dialogRequests;
    std::optional<std::string> clipboard;
    int aboutShown = 0;
    int closed = 0;
    std::vector<std::string> aboutEntries;
    std::string title;
    bool iconSet = false;
    bool acceleratorsInstalled = false;
    bool cancelProgress = false;
    int progressReports = 0;
    std::deque<RecoveryChoice> recoveryAnswers;  // scripted; Later when none is left
    std::vector<RecoveryOffer> recoveryOffers;
    std::vector<std::string> statusLines;
    std::vector<std::string> recentFiles;
    std::vector<std::string> lastFolders;  // every folder the model asked the view to keep
    std::vector<std::pair<int, int>> autosaveSchedules;  // (idleMs, maxMs) per call

    std::u16string editor;
    EditorSelection selection;
    bool editorFocused = false;
    std::map<int, std::string> texts;
    std::map<int, std::vector<std::string>> items;
    std::map<int, int> indexes;
    std::map<int, bool> checks;

    void messageBox(const std::string& text, const std::string& caption) override;
    PromptAnswer askYesNoCancel(const std::string& text, const std::string& caption) override;
    std::optional<std::string> fileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> clipboardText() override { return clipboard; }
    void showAbout() override { ++aboutShown; calls.push_back("showAbout"); }
    RecoveryChoice askRecovery(const RecoveryOffer& offer) override;
    void showStatus(const std::string& text) override { statusLines.push_back(text); calls.push_back("status:" + text); }
    void setRecentFiles(const std::vector<std::string>& paths) override { recentFiles = paths; }
    void setLastFolder(const std::string& folder) override { lastFolders.push_back(folder); }
    void scheduleAutosave(int idleMs, int maxMs) override { autosaveSchedules.emplace_back(idleMs, maxMs); }

    std::string editorText() const override { return toUtf8(editor); }
    void setEditorText(const std::string& text) override;
    void replaceEditorSelection(const std::string& text) override;
    EditorSelection editorSelection() const override { return selection; }
    void selectEditorRange(size_t start, size_t end) override;

    std::string controlText(int id) const override;
    void setControlText(int id, const std::string& text) override;
    void setItems(int id, const std::vector<std::string>& list) override;
    int currentIndex(int id) const override;
    void setCurrentIndex(int id, int index) override;
    bool isChecked(int id) const override;
    void setChecked(int id, bool checked) override;

    void setTitle(const std::string& t) override { title = t; calls.push_back("setTitle"); }
    void setIcon() override { iconSet = true; calls.push_back("setIcon"); }
    void addAboutEntry(const std::string& text) override;
    void installAccelerators() override { acceleratorsInstalled = true; calls.push_back("installAccelerators"); }
    void closeWindow() override { ++closed; calls.push_back("closeWindow"); }
    bool reportProgress(const std::string&, double) override { ++progressReports; return !cancelProgress; }
    void endProgress() override { calls.push_back("endProgress"); }
    // Scripted export dialog answers; with none left the dialog is accepted as opened.
    std::deque<std::optional<ExportChoice>> exportChoices;
    std::vector<ExportChoice> exportDialogsOpened;
    std::vector<BankMask> exportDialogAudible;  // what each dialog was told of mute and solo
    std::optional<ExportChoice> askExportChoice(const ExportChoice& initial, BankMask audible) override {
        exportDialogsOpened.push_back(initial);
        exportDialogAudible.push_back(audible);
        calls.push_back("exportDialog");
        if (exportChoices.empty()) return initial;
        auto answer = exportChoices.front();
        exportChoices.pop_front();
        return answer;
    }
    void setBusy(bool busy) override { calls.push_back(busy ? "busy:on" : "busy:off"); }
    // Scripted answers to the question about a file changed on disk (true:
    // reload); with none left the window's own text is kept.
    std::deque<bool> reloadAnswers;
    int reloadQuestions = 0;
    bool askKeepOrReload(const std::string& text, const std::string&, const std::string&) override {
        ++reloadQuestions;
        calls.push_back("askKeepOrReload:" + text);
        if (reloadAnswers.empty()) return false;
        const bool answer = reloadAnswers.front();
        reloadAnswers.pop_front();
        return answer;
    }

    // What the editor widget does when the user types or pastes `utf8` at the caret:
    // the model filters it, the widget inserts it, the model stores the text.
    bool type(CTavolinDlg& model, const std::string& utf8);
    // The user picks tab `index` in the tab strip.
    void clickTab(CTavolinDlg& model, int index);
    void placeCaret(size_t pos) { selection = {pos, pos}; }
};

// Records what the window asks of the layers below.
class FakeServices : public WindowServices {
public:
    explicit FakeServices(CTavolinDlg& dlg) : m_dlg(dlg) {}
    std::vector<std::string> calls;
    bool saveSucceeds = true;

    void play(bool testMode) override { calls.push_back(testMode ? "test" : "play"); }
    void stop() override { calls.push_back("stop"); }
    void setPaused(bool p) override { calls.push_back(p ? "pause" : "resume"); }
    void exportWav() override { calls.push_back("export"); }
    void exportMidi() override { calls.push_back("exportMidi"); }
    bool promptSaveAndClear() override { calls.push_back("new"); return true; }
    void saveDocument() override;
    void saveDocumentAs() override { calls.push_back("saveAs"); }
    void openDocument() override { calls.push_back("open"); }
    void importClipboard() override { calls.push_back("import"); }
    void importMidi() override { calls.push_back("importMidi"); }
    void openPath(const std::string& path) override { calls.push_back("openPath:" + path); }
    void openRecent(const std::string& path) override { calls.push_back("openRecent:" + path); }
    void setAudibleBanks(BankMask mask) override { calls.push_back("audible:" + std::to_string(mask)); }

private:
    CTavolinDlg& m_dlg;
};

}  // namespace tavolin::window::testing
