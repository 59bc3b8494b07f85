// SPDX-License-Identifier: MIT
// The main window model: start-up, command routing, title, tabs and the editor text.
#include "window/CTavolinDlg.h"

#include "compiler/UiText.h"
#include "compiler/Utf8.h"
#include "document/CaretMapping.h"
#include "music/EnvelopeHelper.h"
#include "music/MmlReference.h"
#include "music/NumberText.h"
#include "document/UserTexts.h"
#include "session/SongSettings.h"

#include <ctime>

#include "compiler/Cp932.h"

namespace tavolin::window {

const std::array<ButtonBinding, 19> kButtonBindings = {{
    {ctl::Play, Command::Play, 0},
    {ctl::LoopPassage, Command::LoopPassage, 0},
    {ctl::Stop, Command::Stop, 0},
    {ctl::WavExport, Command::WavExport, 0},
    {ctl::Pause, Command::Pause, 0},
    {ctl::ClearAll, Command::New, 0},
    {ctl::DutyAdd, Command::DutyAdd, 0},
    {ctl::DutyDel, Command::DutyDel, 0},
    {ctl::InsertTone, Command::InsertTone, 0},
    {ctl::Test, Command::Test, 0},
    {ctl::InsertEnvelope, Command::InsertEnvelope, 0},
    {ctl::Template0 + 0, Command::EnvelopeTemplate, 0},
    {ctl::Template0 + 1, Command::EnvelopeTemplate, 1},
    {ctl::Template0 + 2, Command::EnvelopeTemplate, 2},
    {ctl::Template0 + 3, Command::EnvelopeTemplate, 3},
    {ctl::Template0 + 4, Command::EnvelopeTemplate, 4},
    {ctl::Template0 + 5, Command::EnvelopeTemplate, 5},
    {ctl::Template0 + 6, Command::EnvelopeTemplate, 6},
    {ctl::Import, Command::Import, 0},
}};

const std::array<const char*, 3> kArithmeticItems = {"Fix", "Float", "Double"};
const std::array<const char*, 9> kSampleRateItems = {"8,000",  "12,000", "16,000", "22,050", "32,000",
                                                     "44,100", "48,000", "96,000", "192,000"};
const std::array<const char*, 5> kWaveTypeItems = music::kToneWaveTypes;
const std::array<const char*, 6> kTabCaptions = {TAVOLIN_TR_NOOP("Texts", "共通"), "A", "B", "C", "D", "E"};

namespace {

template <size_t N>
std::vector<std::string> toItems(const std::array<const char*, N>& items) {
    return std::vector<std::string>(items.begin(), items.end());
}

// The items as the user reads them; the model keeps only their indexes.
template <size_t N>
std::vector<std::string> toDisplayItems(const std::array<const char*, N>& items) {
    std::vector<std::string> shown;
    for (const char* item : items) shown.push_back(uiText(item));
    return shown;
}

std::vector<std::string> numberItems(int from, int to) {
    std::vector<std::string> items;
    for (int i = from; i <= to; ++i) items.push_back(std::to_string(i));
    return items;
}

}  // namespace

CTavolinDlg::CTavolinDlg(WindowView& view)
    : tabTexts(m_doc.tabTexts), filePath(m_doc.filePath), modified(m_doc.modified), m_view(view) {}

CTavolinDlg::~CTavolinDlg() {
    // The player's callbacks reach the window; nothing of it may go while a stream runs.
    if (m_services) m_services->stop();
}

void CTavolinDlg::OnInitDialog() {
    m_view.addAboutEntry(uiText(kAboutEntryText));
    m_view.setIcon();

    m_view.setItems(ctl::DutyCombo, numberItems(1, 99));
    m_view.setItems(ctl::WaveType, toDisplayItems(kWaveTypeItems));
    m_view.setItems(ctl::Arithmetic, toItems(kArithmeticItems));
    m_view.setItems(ctl::SampleRate, toItems(kSampleRateItems));
    m_view.setCurrentIndex(ctl::WaveType, 0);
    m_view.setCurrentIndex(ctl::DutyCombo, 49);
    m_view.setControlText(ctl::DutyCombo, "50");
    m_view.setCurrentIndex(ctl::Arithmetic, 1);
    m_view.setCurrentIndex(ctl::SampleRate, 6);
    m_view.setControlText(ctl::FreqNoise, "0");
    m_view.setControlText(ctl::SwitchMs, "0");

    m_view.setItems(ctl::Tabs, toDisplayItems(kTabCaptions));
    m_view.setCurrentIndex(ctl::Tabs, 0);

    m_view.setItems(ctl::ToneNumber, numberItems(0, music::kToneNumberMax));
    m_view.setCurrentIndex(ctl::ToneNumber, 0);

    onEnvelopeTemplate(0);

    m_view.setControlText(ctl::ImportSourceMax, "15");
    m_view.setControlText(ctl::TestPhrase, "C");
    m_view.setControlText(ctl::EnvelopeNumber, "0");
    m_view.setControlText(ctl::LevelNoise, "0");
    m_view.setChecked(ctl::ImportIgnoreTempo, true);
    m_view.setChecked(ctl::ImportDivide, true);

    updateTitle();
    m_view.installAccelerators();
}

void CTavolinDlg::openFile(const std::string& path) {
    if (m_services) m_services->openPath(path);
}

void CTavolinDlg::runCommand(Command command, int argument) {
    // Whatever plays next, or nothing, it is not the passage any more.
    if (command == Command::Play || command == Command::Test || command == Command::Stop) m_passage.reset();
    switch (command) {
    case Command::New:
        if (m_services) m_services->promptSaveAndClear();
        afterDocumentCommand();
        break;
    case Command::Open:
        if (m_services) m_services->openDocument();
        afterDocumentCommand();
        break;
    case Command::OpenRecent:
        if (m_services && argument >= 0 && static_cast<size_t>(argument) < recentFiles().size()) {
            const std::string path = recentFiles()[static_cast<size_t>(argument)];
            m_services->openRecent(path);
        }
        afterDocumentCommand();
        break;
    case Command::Save:
        if (m_services) m_services->saveDocument();
        afterDocumentCommand();
        break;
    case Command::SaveAs:
        if (m_services) m_services->saveDocumentAs();
        afterDocumentCommand();
        break;
    case Command::Exit:
        if (requestClose()) m_view.closeWindow();
        break;
    case Command::Play:
        // A song that takes the machine down with it must not take the work too.
        autosave();
        if (m_services) m_services->play(false);
        break;
    case Command::Test:
        autosave();
        if (m_services) m_services->play(true);
        break;
    case Command::Stop:
        if (m_services) m_services->stop();
        break;
    case Command::Pause:
        paused = m_view.isChecked(ctl::Pause);
        if (m_services) m_services->setPaused(paused);
        break;
    case Command::WavExport:
        if (m_services) m_services->exportWav();
        break;
    case Command::MidiExport:
        if (m_services) m_services->exportMidi();
        break;
    case Command::WaveType:
        m_tone.setWaveType(m_view.currentIndex(ctl::WaveType));
        break;
    case Command::DutyAdd:
        if (const std::string refused = m_tone.addDuty(m_view.controlText(ctl::DutyCombo), m_view.currentIndex(ctl::WaveType));
            !refused.empty()) {
            messageBox(refused);
            break;
        }
        refreshDutyList();
        break;
    case Command::DutyDel:
        m_tone.deleteDuty(m_view.currentIndex(ctl::DutyList));
        refreshDutyList();
        break;
    case Command::FreqNoiseChange:
        m_tone.setFreqNoiseText(m_view.controlText(ctl::FreqNoise));
        break;
    case Command::SwitchChange:
        m_tone.setSwitchText(m_view.controlText(ctl::SwitchMs));
        break;
    case Command::InsertTone:
        onInsertTone();
        break;
    case Command::ReferencePlay:
    case Command::ReferenceInsert: {
        const auto entries = music::mmlReference();
        if (argument < 0 || static_cast<size_t>(argument) >= entries.size()) break;
        const char* example = entries[static_cast<size_t>(argument)].example;
        if (command == Command::ReferenceInsert) insertAtCaret(example);
        else if (m_services) m_services->playExample(example);
        break;
    }
    case Command::InsertEnvelope:
        onInsertEnvelope();
        break;
    case Command::EnvelopeTemplate:
        if (argument >= 0 && argument < music::kEnvelopeTemplateCount) onEnvelopeTemplate(argument);
        break;
    case Command::Import:
        if (m_services) m_services->importClipboard();
        afterDocumentCommand();
        break;
    case Command::MidiImport:
        if (m_services) m_services->importMidi();
        afterDocumentCommand();
        break;
    case Command::Autosave:
        autosave();
        break;
    case Command::TabChange:
        onTabChange();
        break;
    case Command::EditorChange:
        onEditorChange();
        break;
    case Command::About:
        m_view.showAbout();
        break;
    case Command::MuteBank:
    case Command::SoloBank:
        toggleBank(command, argument);
        break;
    case Command::LoopPassage:
        loopPassage();
        break;
    case Command::Count:
        break;
    }
}

void CTavolinDlg::loopPassage(std::optional<std::pair<double, double>> rulerFrames) {
    m_passage.reset();
    if (!m_services) return;
    autosave();
    LoopPick pick;
    pick.tab = currentTab();
    pick.frames = rulerFrames;
    if (!rulerFrames) {
        const EditorSelection sel = m_view.editorSelection();
        const std::string& text = tabTexts[static_cast<size_t>(pick.tab)];
        pick.fromByte = document::unitToByteOffset(text, sel.start);
        pick.toByte = document::unitToByteOffset(text, sel.end);
    }
    const PassageOutcome outcome = m_services->playPassage(pick);
    switch (outcome.result) {
    case PassageOutcome::Result::NotBuilt:
        break;
    case PassageOutcome::Result::NoNote:
        m_view.showStatus(uiText(kMsgLoopNoNote));
        break;
    case PassageOutcome::Result::Playing:
        m_passage = outcome.span;
        m_view.showStatus(loopStatusText(outcome.span, outcome.rate));
        break;
    }
}

void CTavolinDlg::fileChangedOnDisk() {
    if (filePath.empty() || !m_services || m_askingDisk) return;
    if (filePath != m_followedPath) {
        m_follow.reset();
        m_followedPath = filePath;
    }
    const session::DiskDocument disk = m_services->readDisk(filePath);
    bool reload = false;
    switch (m_follow.decide(disk, m_doc)) {
    case session::DiskAction::None:
        return;
    case session::DiskAction::TellDeleted:
        m_view.showStatus(document::fillIn(uiText(session::kMsgFileDeleted), "file", filePath));
        return;
    case session::DiskAction::Reload:
        reload = true;
        break;
    case session::DiskAction::Ask:
        // The watcher may report again while the question is open: one question.
        m_askingDisk = true;
        reload = m_view.askKeepOrReload(document::fillIn(uiText(session::kMsgFileChangedAsk), "file", filePath), uiText(session::kMsgFileKeepMine),
                                        uiText(session::kMsgFileReload));
        m_askingDisk = false;
        if (!reload) m_follow.kept(*disk.texts);
        break;
    }
    if (!reload) return;
    const bool sameText = *disk.texts == tabTexts;
    // A song that plays goes on with the file's text, at the same place.
    if (!sameText) m_services->textsReplaced(tabTexts, *disk.texts);
    tabTexts = *disk.texts;
    modified = false;
    m_doc.cleanTexts = tabTexts;
    setEditorText(tabTexts[static_cast<size_t>(currentTab())]);
    updateTitle();
    afterDocumentCommand();
    if (!sameText) m_view.showStatus(document::fillIn(uiText(session::kMsgFileReloaded), "file", filePath));
}

std::optional<LoopSpan> CTavolinDlg::playingPassage() const {
    if (!m_passage || !m_services || !m_services->streaming()) return std::nullopt;
    // Edits move the passage with its notes.
    return m_services->livePassage().value_or(*m_passage);
}

void CTavolinDlg::toggleBank(Command command, int bank) {
    if (bank < 0 || bank >= kBankCount) return;
    const bool mute = command == Command::MuteBank;
    BankMask& flags = mute ? m_bankMix.muted : m_bankMix.soloed;
    flags = static_cast<BankMask>(flags ^ bankBit(bank));
    // The toggle shows the model's state, whatever the widget did on its own.
    m_view.setChecked((mute ? ctl::MuteA : ctl::SoloA) + bank, (flags & bankBit(bank)) != 0);
    if (m_services) m_services->setAudibleBanks(m_bankMix.audible());
}

void CTavolinDlg::onSystemCommand(int id) {
    if ((id & ~0xF) == kAboutCommandId) m_view.showAbout();
}

bool CTavolinDlg::requestClose() {
    if (modified) {
        switch (m_view.askYesNoCancel(uiText(kSavePromptText), kSavePromptCaption)) {
        case PromptAnswer::Cancel:
            return false;
        case PromptAnswer::Yes:
            if (m_services) m_services->saveDocument();
            // A cancelled save dialog leaves the work unsaved: keep the window open.
            if (modified) return false;
            break;
        case PromptAnswer::No:
            break;
        }
    }
    if (m_services) m_services->stop();
    // Saved or deliberately discarded: nothing is left to recover.
    if (m_recovery) m_recovery->remove();
    return true;
}

std::optional<std::string> CTavolinDlg::filterEditorInput(std::string_view utf8) {
    const std::string bad = document::firstUnencodableChar(utf8);
    if (!bad.empty()) {
        messageBox(uiText(document::kMsgUnencodable) + bad);
        return std::nullopt;
    }
    return document::upperCaseAscii(utf8);
}

std::string CTavolinDlg::title() const {
    return std::string("tavolin Ostra - ") + (filePath.empty() ? uiText(kUntitled) : filePath) + " " +
           (modified ? "*" : "");
}

void CTavolinDlg::updateTitle() { m_view.setTitle(title()); }

int CTavolinDlg::currentTab() const {
    const int tab = m_view.currentIndex(ctl::Tabs);
    return tab >= 0 && tab < document::kTabCount ? tab : 0;
}

void CTavolinDlg::setEditorText(std::string_view cp932) { m_view.setEditorText(document::bytesToEditorText(cp932)); }

void CTavolinDlg::insertAtCaret(std::string_view cp932) {
    m_view.replaceEditorSelection(document::upperCaseAscii(document::bytesToEditorText(cp932)));
    onEditorChange();
}

void CTavolinDlg::selectTab(int index) {
    m_view.setCurrentIndex(ctl::Tabs, index);
    onTabChange();
}

void CTavolinDlg::selectText(uint64_t startByte, uint64_t endByte) {
    const std::string& text = tabTexts[static_cast<size_t>(currentTab())];
    const size_t start = document::byteOffsetToUnit(text, startByte, false);
    const size_t end = document::byteOffsetToUnit(text, endByte, true);
    m_view.selectEditorRange(start, end < start ? start : end);
}

void CTavolinDlg::messageBox(const std::string& utf8) { m_view.messageBox(utf8, kAppName); }

void CTavolinDlg::onTabChange() {
    m_doc.selectedTab = currentTab();
    setEditorText(tabTexts[static_cast<size_t>(currentTab())]);
}

void CTavolinDlg::onEditorChange() {
    const std::string text = m_view.editorText();
    auto bytes = document::editorTextToBytes(text);
    if (!bytes) {
        // Only placeholders shown for undecodable bytes of a loaded file can get here
        // (the editor refuses other characters); they are stored as "?".
        std::string fixed;
        for (size_t i = 0; i < text.size();) {
            const size_t len = utf8StepAt(text, i);
            const std::string one = text.substr(i, len);
            fixed += document::firstUnencodableChar(one).empty() ? one : "?";
            i += len;
        }
        bytes = document::editorTextToBytes(fixed);
    }
    std::string& stored = tabTexts[static_cast<size_t>(currentTab())];
    std::string now = bytes.value_or(std::string{});
    if (m_services && now != stored) {
        document::TabTexts before = tabTexts;
        stored = std::move(now);
        m_services->textsReplaced(before, tabTexts);
    } else {
        stored = std::move(now);
    }
    afterEditorChange();
}

void CTavolinDlg::afterEditorChange() {
    modified = !m_doc.cleanTexts || tabTexts != *m_doc.cleanTexts;
    updateTitle();
    if (m_recovery) m_view.scheduleAutosave(kAutosaveIdleMs, kAutosaveMaxMs);
}

bool CTavolinDlg::editorEdited(size_t unitPos, size_t unitsRemoved, std::string_view insertedUtf8) {
    std::string& text = tabTexts[static_cast<size_t>(currentTab())];
    const auto inserted = document::editorTextToBytes(insertedUtf8);
    if (!inserted) return false;
    const uint64_t from = document::unitToByteOffset(text, unitPos);
    // One walk for both ends: the removed units follow `from`.
    uint64_t to = from;
    for (size_t i = 0; i < unitsRemoved; ++i) {
        const size_t len = document::unitLengthAt(text, static_cast<size_t>(to));
        if (len == 0) return false;  // past the end: not this text's edit
        to += len;
    }
    if (from == text.size() && unitPos > document::unitCount(text)) return false;
    if (to - from == inserted->size() && text.compare(static_cast<size_t>(from), inserted->size(), *inserted) == 0)
        return true;  // the same text again (a change of formats only)
    text.replace(static_cast<size_t>(from), static_cast<size_t>(to - from), *inserted);
    if (m_services) m_services->textEdited(currentTab(), from, to - from, inserted->size());
    afterEditorChange();
    return true;
}

void CTavolinDlg::afterDocumentCommand() {
    // A clean document (saved, replaced, or cleared) has nothing to recover.
    if (!modified && m_recovery) m_recovery->remove();
}

void CTavolinDlg::autosave() {
    if (!m_recovery) return;
    if (!modified) {
        m_recovery->remove();
        return;
    }
    const document::FileFailure failure = m_recovery->save(tabTexts, filePath, currentTab());
    if (failure.error == document::FileError::None) {
        m_autosaveFailure.clear();
        return;
    }
    // Told in the status bar, once per kind of failure: a box would stop the typing.
    std::string message = document::fillIn(uiText(document::text::kRecoveryWriteFailed), "folder", m_recovery->folder()) + document::failureReason(failure);
    if (message != m_autosaveFailure) m_view.showStatus(message);
    m_autosaveFailure = std::move(message);
}

namespace {

std::string localTimeText(int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

}  // namespace

void CTavolinDlg::offerRecovery() {
    if (!m_recovery) return;
    // Restoring replaces the window's document: a window that already holds one
    // (named on the command line) takes back only that document's work, and one
    // with edits of its own takes back nothing.
    if (modified) return;
    std::vector<document::RecoveryRecord> found = m_recovery->orphans();
    if (!filePath.empty())
        std::erase_if(found, [this](const document::RecoveryRecord& r) { return r.documentPath != filePath; });
    for (size_t i = 0; i < found.size(); ++i) {
        document::RecoveryRecord& record = found[i];
        // Another window started at the same time may be offering it already.
        if (!m_recovery->claim(record)) continue;
        RecoveryOffer offer;
        offer.title = uiText(document::text::kRecoveryTitle);
        offer.text = document::fillIn(document::fillIn(uiText(document::text::kRecoveryText), "file", record.documentPath.empty() ? uiText(kUntitled) : record.documentPath),
                            "time", localTimeText(record.savedAt));
        if (const size_t others = found.size() - i - 1; others > 0) {
            offer.text += '\n';
            offer.text += document::fillIn(uiText(document::text::kRecoveryOthers), "count", std::to_string(others));
        }
        offer.restoreLabel = uiText(document::text::kRecoveryRestore);
        offer.discardLabel = uiText(document::text::kRecoveryDiscard);
        offer.laterLabel = uiText(document::text::kRecoveryLater);
        switch (m_view.askRecovery(offer)) {
        case RecoveryChoice::Restore:
            // One window holds one document: the others wait for the next start.
            restore(record);
            return;
        case RecoveryChoice::Discard:
            m_recovery->discard(record);
            break;
        case RecoveryChoice::Later:
            m_recovery->release(record);
            return;
        }
    }
}

void CTavolinDlg::restore(const document::RecoveryRecord& record) {
    if (m_services) m_services->stop();
    tabTexts = record.tabTexts;
    filePath = record.documentPath;
    modified = true;
    m_doc.cleanTexts.reset();  // whatever the file holds, it is not known to match
    m_view.setCurrentIndex(ctl::Tabs, record.selectedTab);
    onTabChange();
    updateTitle();
    // This window's own file holds the work before the old one goes.
    autosave();
    if (m_recovery->hasOwnFile()) m_recovery->discard(record);
}

void CTavolinDlg::setRecentFiles(const std::vector<std::string>& paths) {
    // A relative entry (kept by older versions) names different files from different
    // folders: it is dropped; the same file by its full path stays.
    std::vector<std::string> absolute;
    for (const std::string& path : paths)
        if (path.starts_with('/')) absolute.push_back(path);
    m_recent.assign(absolute);
    m_view.setRecentFiles(m_recent.paths());
}

void CTavolinDlg::rememberFile(const std::string& path) {
    m_recent.add(path);
    m_view.setRecentFiles(m_recent.paths());
}

void CTavolinDlg::forgetFile(const std::string& path) {
    m_recent.remove(path);
    m_view.setRecentFiles(m_recent.paths());
}

void CTavolinDlg::rememberFolder(const std::string& folder) {
    if (folder.empty() || folder == m_lastFolder) return;
    m_lastFolder = folder;
    m_view.setLastFolder(folder);
}

void CTavolinDlg::refreshDutyList() {
    m_view.setItems(ctl::DutyList, m_tone.listLines());
    m_view.setCurrentIndex(ctl::DutyList, -1);
}

std::string CTavolinDlg::buildToneCommand() {
    return m_tone.buildToneCommand(m_view.currentIndex(ctl::ToneNumber), m_view.controlText(ctl::LevelNoise),
                                   [this](const std::string& m) { messageBox(m); });
}

void CTavolinDlg::onInsertTone() {
    const std::string command = buildToneCommand();
    // A refused command (its message shown) leaves the text and its selection alone.
    if (command.empty()) return;
    insertAtCaret(command);
}

void CTavolinDlg::onInsertEnvelope() {
    music::EnvelopeFields fields{m_view.controlText(ctl::AttackTime),   m_view.controlText(ctl::DecayTime),
                          m_view.controlText(ctl::ReleaseTime),  m_view.controlText(ctl::AttackLevel),
                          m_view.controlText(ctl::SustainLevel), m_view.controlText(ctl::EnvelopeNumber)};
    const music::EnvelopeCommand command = music::buildEnvelopeCommand(fields);
    if (!command.ok()) {
        messageBox(command.message);
        return;
    }
    insertAtCaret(command.text);
}

void CTavolinDlg::onEnvelopeTemplate(int index) {
    const auto texts = music::applyEnvelopeTemplate(index);
    m_view.setControlText(ctl::AttackTime, texts[0]);
    m_view.setControlText(ctl::DecayTime, texts[1]);
    m_view.setControlText(ctl::ReleaseTime, texts[2]);
    m_view.setControlText(ctl::AttackLevel, texts[3]);
    m_view.setControlText(ctl::SustainLevel, texts[4]);
}

std::optional<WindowSnapshot> CTavolinDlg::snapshot(bool testMode) {
    const std::optional<Arith> arith = session::arithAt(m_view.currentIndex(ctl::Arithmetic));
    if (!arith) return std::nullopt;
    WindowSnapshot s;
    output::BuildInputs& in = s.inputs;
    in.arith = *arith;
    in.sampleRateHz = session::parseSampleRate(m_view.controlText(ctl::SampleRate)).value_or(0);
    const int tab = currentTab();
    in.bankIndex = tab - 1;
    in.startFromCursor = m_view.isChecked(ctl::StartFromCursor);
    in.currentBankMode = m_view.isChecked(ctl::CurrentBankPlay);
    s.loop = m_view.isChecked(ctl::Loop);
    in.tabTexts = tabTexts;
    if (in.startFromCursor) {
        const EditorSelection sel = m_view.editorSelection();
        const std::string& text = tabTexts[static_cast<size_t>(tab)];
        in.caret = document::unitToByteOffset(text, sel.start);
        s.caretEnd = document::unitToByteOffset(text, sel.end);
    }
    in.testPhrase.clear();  // Test's alone
    if (testMode) {
        auto phrase = utf8ToCp932(m_view.controlText(ctl::TestPhrase));
        if (!phrase) {
            messageBox(uiText(kMsgTestPhraseUnencodable));
            return std::nullopt;
        }
        in.testPhrase = *phrase;
        in.toneCommand = buildToneCommand();
    }
    return s;
}

}  // namespace tavolin::window
