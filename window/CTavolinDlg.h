// SPDX-License-Identifier: MIT
// The main window model: document, settings, command table and title, toolkit-free.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/UiText.h"
#include "window/DocumentCommands.h"
#include "document/DocumentFormat.h"
#include "session/FileFollow.h"
#include "session/PlayPoll.h"
#include "window/PassageLoop.h"
#include "document/RecentFiles.h"
#include "document/Recovery.h"
#include "music/ToneHelper.h"
#include "window/WindowView.h"
#include "output/SongBuilder.h"
#include "output/SongMap.h"
#include "output/BankTapRing.h"
#include "synth/BankMask.h"

namespace tavolin::window {

inline constexpr const char* kAppName = "TavolinApp";
inline constexpr const char* kAboutEntryText = TAVOLIN_TR_NOOP("Texts", "TavolinAppについて(&A)...");
inline constexpr int kAboutCommandId = 0x0010;
inline constexpr const char* kAboutCaption = TAVOLIN_TR_NOOP("Texts", "TavolinApp について");
// {version}: the build's version (app/version), so that a bug report can quote it.
inline constexpr const char* kAboutText = TAVOLIN_TR_NOOP("Texts", "TavolinApp、バージョン {version}");
inline constexpr const char* kAboutLicence = TAVOLIN_TR_NOOP("Texts", "MIT ライセンスのもとで配布されています。");
inline constexpr const char* kUntitled = TAVOLIN_TR_NOOP("Texts", "無題");
using music::kMsgTestPhraseUnencodable;

// The autosave runs this long after the last edit, and at most this long after the
// first edit it has not yet saved.
inline constexpr int kAutosaveIdleMs = 2000;
inline constexpr int kAutosaveMaxMs = 15000;

enum class Command {
    New, Open, Save, SaveAs, Exit,
    Play, Stop, Pause, WavExport, Test,
    WaveType, DutyAdd, DutyDel, FreqNoiseChange, SwitchChange,
    InsertTone, InsertEnvelope, EnvelopeTemplate,
    Import, TabChange, EditorChange, About, MidiExport,
    Autosave,    // the autosave countdown ran out
    OpenRecent,  // argument: index into the recent files
    MuteBank,    // argument: bank 0..4 (A..E); toggles its mute
    SoloBank,    // argument: bank 0..4; toggles its solo
    MidiImport,  // a MIDI file arranged as a new untitled document
    LoopPassage, // plays the selection's passage over and over (Stop or Play ends it)
    ReferencePlay,    // argument: an entry of music::mmlReference(); plays its example alone
    ReferenceInsert,  // argument: an entry; its example at the caret
    Count
};

// A key binding of the window, in the portable "Ctrl+N" notation.
struct Accelerator {
    const char* keys;
    Command command;
};
inline constexpr std::array<Accelerator, 7> kAccelerators = {{
    {"Ctrl+N", Command::New},
    {"Ctrl+O", Command::Open},
    {"Ctrl+S", Command::Save},
    {"Alt+F4", Command::Exit},
    {"F5", Command::Play},
    {"F6", Command::Stop},
    {"Ctrl+L", Command::LoopPassage},
}};
inline constexpr const char* kLoopPassageText = TAVOLIN_TR_NOOP("Texts", "選択範囲をループ再生");

// The File menu; an entry without text is a separator. Text after "\t" names the key.
struct MenuEntry {
    const char* text;
    Command command;
};
inline constexpr std::array<MenuEntry, 10> kFileMenu = {{
    {"&New\tCtrl+N", Command::New},
    {nullptr, Command::Count},
    {"&Open\tCtrl+O", Command::Open},
    {"&Save\tCtrl+S", Command::Save},
    {"Save &As...", Command::SaveAs},
    {nullptr, Command::Count},
    {TAVOLIN_TR_NOOP("Texts", "MIDI出力"), Command::MidiExport},
    {TAVOLIN_TR_NOOP("Texts", "MIDI読み込み…"), Command::MidiImport},
    {nullptr, Command::Count},
    {"&Exit\tAlt+F4", Command::Exit},
}};

// Buttons and check boxes whose click runs a command (the argument is the
// template number for the template buttons, else 0).
struct ButtonBinding {
    int id;
    Command command;
    int argument;
};
extern const std::array<ButtonBinding, 19> kButtonBindings;

// The items the window fills its lists with at start.
extern const std::array<const char*, 3> kArithmeticItems;
extern const std::array<const char*, 9> kSampleRateItems;
extern const std::array<const char*, 5> kWaveTypeItems;
extern const std::array<const char*, 6> kTabCaptions;

// Everything a build reads from the window, typed: the builder's inputs (the
// caret only with "Start from current cursor"; a rate text that names no
// usable rate becomes 0, which the build refuses with its message), the end
// of the selection and the Loop box.
struct WindowSnapshot {
    output::BuildInputs inputs;
    uint64_t caretEnd = 0;       // byte offset into the current tab's text
    bool loop = false;
};

// What became of a passage loop: the span that plays, or why nothing does.
using PassageOutcome = session::PickedPassage;

// What the window asks of the layers below: playback, export, documents. The
// application supplies the real one; model tests supply a recorder.
class WindowServices;

class CTavolinDlg {
public:
    explicit CTavolinDlg(WindowView& view);
    ~CTavolinDlg();
    CTavolinDlg(const CTavolinDlg&) = delete;
    CTavolinDlg& operator=(const CTavolinDlg&) = delete;

    // Connects the layers below; without it Play, Export and the file commands do nothing.
    void setServices(WindowServices* services) noexcept { m_services = services; }
    // Connects the recovery files; without it nothing is autosaved or offered.
    void setRecovery(document::RecoveryStore* recovery) noexcept { m_recovery = recovery; }

    // Offers the documents of windows that ended without saving (start-up, once the
    // window shows). Restoring one replaces this window's document.
    void offerRecovery();
    // Writes the recovery file now when the document is modified, removes it when not.
    void autosave();

    // Recent files: the stored list at start-up, and files opened or saved.
    void setRecentFiles(const std::vector<std::string>& paths);
    void rememberFile(const std::string& path);
    void forgetFile(const std::string& path);
    const std::vector<std::string>& recentFiles() const noexcept { return m_recent.paths(); }
    // The folder of the last file chosen in a file dialog: the stored one at
    // start-up, then each chosen file's (passed on to the view to keep).
    void setLastFolder(const std::string& folder) { m_lastFolder = folder; }
    void rememberFolder(const std::string& folder);
    const std::string& lastFolder() const noexcept { return m_lastFolder; }

    // Start-up, in the window's fixed order.
    void OnInitDialog();
    // Opens a document named on the command line (no prompt: the window is new).
    void openFile(const std::string& path);

    // Runs one row of the command table.
    void runCommand(Command command, int argument = 0);
    // A system-menu command; the About entry's id with its low four bits ignored.
    void onSystemCommand(int id);
    // The window is asked to close (Exit, close button, Escape). True when it may:
    // unsaved work is offered for saving first and playback is stopped.
    bool requestClose();

    // Text about to enter the editor (typed, pasted, inserted): upper-cased, or nullopt
    // (and a message) when it holds a character CP932 cannot store.
    std::optional<std::string> filterEditorInput(std::string_view utf8);

    // The editor replaced `unitsRemoved` characters at `unitPos` (UTF-16
    // positions) with `insertedUtf8`: the current tab's bytes are patched there
    // instead of converting the whole text again (a megabyte per keystroke).
    // False, with nothing changed, when the edit does not fit the stored text
    // or the inserted text has no CP932 form; the caller then runs EditorChange.
    bool editorEdited(size_t unitPos, size_t unitsRemoved, std::string_view insertedUtf8);

    // Loops a passage: the editor's selection in the shown tab, or with
    // `rulerFrames` a stretch dragged across the roll's ruler (frames of the
    // song, either order). Stops what plays first; the status line says what
    // loops, or why nothing does.
    void loopPassage(std::optional<std::pair<double, double>> rulerFrames = std::nullopt);
    // The passage looping now, for the roll to shade; nullopt once Stop,
    // Play or anything else has ended it.
    std::optional<LoopSpan> playingPassage() const;

    // The view's watcher saw the window's file change (written, replaced,
    // deleted). Unsaved edits are never lost: without them the file is read
    // again (the shown tab kept), with them the user chooses; our own saves
    // and versions already answered change nothing.
    void fileChangedOnDisk();

    // Operations other parts call.
    void updateTitle();
    std::string title() const;
    int currentTab() const;
    void setEditorText(std::string_view cp932);
    void insertAtCaret(std::string_view cp932);
    void selectTab(int index);
    void selectText(uint64_t startByte, uint64_t endByte);
    void messageBox(const std::string& utf8);

    // The settings of one build; `testMode` adds the test phrase and the tone command
    // (which may show the tone helper's messages). nullopt when the test phrase holds
    // a character CP932 cannot store (the user has been told).
    // nullopt when no arithmetic is selected (nothing to build, nothing said)
    // or, in test mode, when the phrase cannot be stored (said).
    std::optional<WindowSnapshot> snapshot(bool testMode);

    // The document; the document commands work on it. The three names below are
    // the window's own names for its fields.
    document::DocumentState& document() noexcept { return m_doc; }
    document::TabTexts& tabTexts;
    std::string& filePath;  // UTF-8
    bool& modified;
    bool paused = false;    // mirror of the Pause box

    // Mute and solo of banks A..E: what Play and the audio export let
    // through. Kept for the session, not in the document.
    const MuteSolo& bankMix() const noexcept { return m_bankMix; }

    music::ToneHelper& toneHelper() noexcept { return m_tone; }
    WindowView& view() noexcept { return m_view; }

private:
    void onTabChange();
    void onEditorChange();
    void afterEditorChange();
    void onInsertTone();
    void onInsertEnvelope();
    void onEnvelopeTemplate(int index);
    void refreshDutyList();
    std::string buildToneCommand();
    void afterDocumentCommand();
    void restore(const document::RecoveryRecord& record);
    void toggleBank(Command command, int bank);

    document::DocumentState m_doc;
    WindowView& m_view;
    WindowServices* m_services = nullptr;
    document::RecoveryStore* m_recovery = nullptr;
    music::ToneHelper m_tone;
    document::RecentFiles m_recent;
    std::string m_lastFolder;
    MuteSolo m_bankMix;
    std::optional<LoopSpan> m_passage;  // the passage the running stream loops
    session::FileFollow m_follow;
    std::string m_followedPath;  // the file m_follow's answers are about
    bool m_askingDisk = false;   // the question about the file is open
    std::string m_autosaveFailure;  // the last autosave problem shown, so it is shown once
};

// The layers below as the window uses them. Each call runs on the user-interface thread.
class WindowServices {
public:
    virtual ~WindowServices() = default;
    virtual void play(bool testMode) = 0;
    // Plays `mml` alone, as Test plays a phrase (no common text, nothing of
    // the document's): the MML reference's examples.
    virtual void playExample(std::string_view mml) { (void)mml; }
    virtual void stop() = 0;
    // Stops, builds as Play does (from the song's start, whatever the cursor
    // box says) and loops the passage `pick` names in that song.
    virtual PassageOutcome playPassage(const LoopPick& pick) { (void)pick; return {}; }
    virtual void setPaused(bool paused) = 0;
    virtual void exportWav() = 0;
    virtual void exportMidi() = 0;
    virtual bool promptSaveAndClear() = 0;
    virtual void saveDocument() = 0;
    virtual void saveDocumentAs() = 0;
    virtual void openDocument() = 0;
    virtual void importClipboard() = 0;
    // "MIDI読み込み…": the prompt to save, a MIDI file, its arrangement as a new
    // untitled document and the report.
    virtual void importMidi() {}
    // An example song at `path` as a new untitled document (see DocumentCommands::openExample).
    virtual void openExample(const std::string& path) { (void)path; }
    // The file at `path` as it is now (see readDiskDocument).
    virtual session::DiskDocument readDisk(const std::string& path) { (void)path; return {document::FileError::Other, std::nullopt}; }
    // Loads the file at `path` as Open does after its dialog.
    virtual void openPath(const std::string& path) = 0;
    // Open of a recent file: the prompt to save, then the file.
    virtual void openRecent(const std::string& path) = 0;
    // Mute and solo changed: the banks Play (the running stream included,
    // from its next block) and the audio export let through.
    virtual void setAudibleBanks(BankMask mask) { (void)mask; }
    // The running stream's per-bank rings for the scopes; null when none.
    virtual std::shared_ptr<const output::BankTapRings> bankRings() const { return nullptr; }
    // ---- composing while it plays: the song of Play follows the text
    // One change of tab `tab`'s stored bytes (0 common, 1..5 A..E): `removed`
    // bytes at `position` (in the text as it stood) replaced by `inserted`.
    virtual void textEdited(int tab, uint64_t position, uint64_t removed, uint64_t inserted) {
        (void)tab, (void)position, (void)removed, (void)inserted;
    }
    // Whole texts replaced at once (a full resync, a file reloaded from disk).
    virtual void textsReplaced(const document::TabTexts& before, const document::TabTexts& after) { (void)before, (void)after; }
    // A live check compiled `inputs` (with "Loop" as `loop`) into `map`: the
    // song Play is playing becomes it, when it compiled and its settings are
    // Play's. True when taken.
    virtual bool offerSong(const output::BuildInputs& inputs, bool loop, std::shared_ptr<const output::SongMap> map) {
        (void)inputs, (void)loop, (void)map;
        return false;
    }
    // The frame of the playing song's own timeline the listener hears now
    // (after a swap, the new song's; with "Loop" or a passage, within the
    // pass heard); nullopt when nothing is heard or no song follows the text.
    virtual std::optional<uint64_t> songFrame() const { return std::nullopt; }
    // The map of the song heard now, or about to be (null: follow the window's own).
    virtual std::shared_ptr<const output::SongMap> playingMap() const { return nullptr; }
    // Where the song that follows the text stands, its notes lit in `texts`
    // (the play timer's question; see session::PlayPoll).
    virtual session::PlayPoll pollPlaying(const document::TabTexts& texts) {
        (void)texts;
        return {};
    }
    // The passage looping now in playingMap()'s timeline, once edits moved it.
    virtual std::optional<LoopSpan> livePassage() const { return std::nullopt; }
    // A stream is open and its song not yet heard to the end (paused included).
    virtual bool streaming() const { return false; }
    // The song frame the listener hears now, counted from where playback
    // started; nullopt when nothing is heard (stopped, paused, ended).
    virtual std::optional<uint64_t> heardFrame() const { return std::nullopt; }
    // The window's kept sound device closes after a minute without a song:
    // how long until then if nothing plays (nullopt: nothing to close), and
    // the close, for a one-shot timer (an idle window wakes nobody up).
    virtual std::optional<std::chrono::milliseconds> idleDeviceDue() { return std::nullopt; }
    virtual void closeIdleDevice() {}
};

}  // namespace tavolin::window
