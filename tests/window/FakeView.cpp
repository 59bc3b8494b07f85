// SPDX-License-Identifier: MIT
// The recording view and services used by the window model tests.
#include "FakeView.h"

namespace tavolin::window::testing {

std::u16string toUtf16(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        char32_t cp;
        size_t len;
        if (b0 < 0x80) { cp = b0; len = 1; }
        else if ((b0 >> 5) == 0x6) { cp = b0 & 0x1Fu; len = 2; }
        else if ((b0 >> 4) == 0xE) { cp = b0 & 0x0Fu; len = 3; }
        else { cp = b0 & 0x07u; len = 4; }
        for (size_t k = 1; k < len && i + k < s.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string toUtf8(const std::u16string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

void FakeView::messageBox(const std::string& text, const std::string& caption) {
    messages.push_back(text);
    captions.push_back(caption);
    calls.push_back("messageBox:" + text);
}

PromptAnswer FakeView::askYesNoCancel(const std::string& text, const std::string& caption) {
    calls.push_back("ask:" + text);
    captions.push_back(caption);
    if (answers.empty()) return PromptAnswer::Cancel;
    const PromptAnswer a = answers.front();
    answers.pop_front();
    return a;
}

RecoveryChoice FakeView::askRecovery(const RecoveryOffer& offer) {
    recoveryOffers.push_back(offer);
    calls.push_back("askRecovery");
    if (recoveryAnswers.empty()) return RecoveryChoice::Later;
    const RecoveryChoice c = recoveryAnswers.front();
    recoveryAnswers.pop_front();
    return c;
}

std::optional<std::string> FakeView::fileDialog(const FileDialogRequest& request) {
    dialogRequests.push_back(request);
    calls.push_back(request.save ? "saveDialog" : "openDialog");
    if (dialogAnswers.empty()) return std::nullopt;
    auto a = dialogAnswers.front();
    dialogAnswers.pop_front();
    return a;
}

void FakeView::setEditorText(const std::string& text) {
    editor = toUtf16(text);
    selection = {0, 0};
    calls.push_back("setEditorText");
}

void FakeView::replaceEditorSelection(const std::string& text) {
    const std::u16string t = toUtf16(text);
    editor.replace(selection.start, selection.end - selection.start, t);
    selection.start += t.size();
    selection.end = selection.start;
}

void FakeView::selectEditorRange(size_t start, size_t end) {
    selection = {start, end};
    editorFocused = true;
    calls.push_back("selectEditorRange:" + std::to_string(start) + "-" + std::to_string(end));
}

std::string FakeView::controlText(int id) const {
    if (auto it = texts.find(id); it != texts.end()) return it->second;
    // A drop-down list's text is its selected item.
    auto items_ = items.find(id);
    auto index = indexes.find(id);
    if (items_ != items.end() && index != indexes.end() && index->second >= 0 &&
        static_cast<size_t>(index->second) < items_->second.size())
        return items_->second[static_cast<size_t>(index->second)];
    return {};
}

void FakeView::setControlText(int id, const std::string& text) {
    texts[id] = text;
    calls.push_back("setControlText:" + std::to_string(id) + "=" + text);
}

void FakeView::setItems(int id, const std::vector<std::string>& list) {
    items[id] = list;
    calls.push_back("setItems:" + std::to_string(id));
}

int FakeView::currentIndex(int id) const {
    auto it = indexes.find(id);
    return it == indexes.end() ? -1 : it->second;
}

void FakeView::setCurrentIndex(int id, int index) {
    indexes[id] = index;
    // An editable combo shows the chosen item's text.
    if (id == ctl::DutyCombo && index >= 0) texts[id] = items[id].at(static_cast<size_t>(index));
    calls.push_back("setCurrentIndex:" + std::to_string(id) + "=" + std::to_string(index));
}

bool FakeView::isChecked(int id) const {
    auto it = checks.find(id);
    return it != checks.end() && it->second;
}

void FakeView::setChecked(int id, bool checked) {
    checks[id] = checked;
    calls.push_back("setChecked:" + std::to_string(id) + "=" + (checked ? "1" : "0"));
}

void FakeView::addAboutEntry(const std::string& text) {
    aboutEntries.push_back(text);
    calls.push_back("addAboutEntry");
}

bool FakeView::type(CTavolinDlg& model, const std::string& utf8) {
    auto filtered = model.filterEditorInput(utf8);
    if (!filtered) return false;
    replaceEditorSelection(*filtered);
    model.runCommand(Command::EditorChange);
    return true;
}

void FakeView::clickTab(CTavolinDlg& model, int index) {
    indexes[ctl::Tabs] = index;
    model.runCommand(Command::TabChange);
}

void FakeServices::saveDocument() {
    calls.push_back("save");
    if (saveSucceeds) {
        m_dlg.modified = false;
        m_dlg.document().cleanTexts = m_dlg.tabTexts;
        if (m_dlg.filePath.empty()) m_dlg.filePath = "/tmp/saved.mml";
        m_dlg.updateTitle();
    }
}

}  // namespace tavolin::window::testing
