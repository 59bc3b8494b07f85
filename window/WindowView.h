// SPDX-License-Identifier: MIT
// The narrow interface through which the window model drives its widgets.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "window/DocumentCommands.h"  // PromptAnswer
#include "window/ExportSteps.h"       // ExportChoice
#include "synth/BankMask.h"

namespace tavolin::window {

// Control identifiers of the main window (their numbers are the window's own ids).
namespace ctl {
inline constexpr int Editor = 1000;
inline constexpr int DutyList = 1001;
inline constexpr int DutyCombo = 1002;
inline constexpr int DutyAdd = 1003;
inline constexpr int DutyDel = 1004;
inline constexpr int Play = 1005;
inline constexpr int WaveType = 1006;
inline constexpr int FreqNoise = 1007;
inline constexpr int SwitchMs = 1008;
inline constexpr int WavExport = 1009;
inline constexpr int Arithmetic = 1010;
inline constexpr int SampleRate = 1011;
inline constexpr int Tabs = 1012;
inline constexpr int InsertTone = 1013;
inline constexpr int InsertEnvelope = 1014;
inline constexpr int ToneNumber = 1015;
inline constexpr int Loop = 1016;
inline constexpr int StartFromCursor = 1017;
inline constexpr int CurrentBankPlay = 1018;
inline constexpr int Stop = 1019;
inline constexpr int AttackTime = 1020;
inline constexpr int DecayTime = 1021;
inline constexpr int ReleaseTime = 1022;
inline constexpr int AttackLevel = 1023;
inline constexpr int SustainLevel = 1024;
inline constexpr int Template0 = 1025;  // 1025..1031: templates 0..6
inline constexpr int Import = 1032;
inline constexpr int ClearAll = 1033;
inline constexpr int ImportIgnoreTempo = 1034;
inline constexpr int ImportSourceMax = 1035;
inline constexpr int ImportDivide = 1036;
inline constexpr int LevelNoise = 1037;
inline constexpr int TestPhrase = 1038;
inline constexpr int Test = 1039;
inline constexpr int Pseudo8Bit = 1040;
inline constexpr int EnvelopeNumber = 1041;
inline constexpr int Pause = 1043;
inline constexpr int LoopPassage = 1044;  // loops the selected passage (beside Play)
inline constexpr int MuteA = 1050;  // 1050..1054: mute toggles of banks A..E
inline constexpr int SoloA = 1055;  // 1055..1059: solo toggles of banks A..E
}  // namespace ctl

// Parameters of an open or save file dialog. `filter` is in the "label|pattern|...||"
// form; the view turns it into its toolkit's form.
struct FileDialogRequest {
    bool save = false;
    std::string filter;
    std::string defaultExtension;  // appended when the typed name has none
    std::string folder;       // where the dialog starts; empty: the toolkit's choice
    std::string initialName;  // the file name filled in; empty: none
    bool confirmOverwrite = false;
};

// The start-up question about a document a crashed window left behind. All texts
// come from the model; the view shows `text` with three buttons under `title`.
enum class RecoveryChoice { Restore, Discard, Later };
struct RecoveryOffer {
    std::string title;
    std::string text;
    std::string restoreLabel;
    std::string discardLabel;
    std::string laterLabel;
};

// Selection of the editor in UTF-16 positions (start <= end).
struct EditorSelection {
    size_t start = 0;
    size_t end = 0;
};

// Everything the model asks of the widgets. All texts are UTF-8; the editor's line
// breaks are "\n". Setting a control from here never notifies the model back.
class WindowView {
public:
    virtual ~WindowView() = default;

    // Boxes and dialogs. `caption` is the application's name unless a caller names one.
    virtual void messageBox(const std::string& text, const std::string& caption) = 0;
    virtual PromptAnswer askYesNoCancel(const std::string& text, const std::string& caption) = 0;
    virtual std::optional<std::string> fileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> clipboardText() = 0;  // nullopt: no text on it
    virtual void showAbout() = 0;
    virtual RecoveryChoice askRecovery(const RecoveryOffer& offer) = 0;
    // A question with two answers, `keepLabel` (the default, and Escape) and
    // `reloadLabel`; true for the second.
    virtual bool askKeepOrReload(const std::string& text, const std::string& keepLabel, const std::string& reloadLabel) {
        (void)text, (void)keepLabel, (void)reloadLabel;
        return false;
    }

    // The editor (control 1000).
    virtual std::string editorText() const = 0;
    virtual void setEditorText(const std::string& text) = 0;  // a replacement, not an edit
    virtual void replaceEditorSelection(const std::string& text) = 0;
    virtual EditorSelection editorSelection() const = 0;
    // Selects, scrolls the selection into view and gives the editor the focus.
    virtual void selectEditorRange(size_t start, size_t end) = 0;

    // Other controls by id: texts of fields and editable combos, item lists of
    // combos, the list box and the tab strip, current indexes (-1: none), checks.
    virtual std::string controlText(int id) const = 0;
    virtual void setControlText(int id, const std::string& text) = 0;
    virtual void setItems(int id, const std::vector<std::string>& items) = 0;
    virtual int currentIndex(int id) const = 0;
    virtual void setCurrentIndex(int id, int index) = 0;
    virtual bool isChecked(int id) const = 0;
    virtual void setChecked(int id, bool checked) = 0;

    // The window itself.
    virtual void setTitle(const std::string& title) = 0;
    virtual void setIcon() = 0;
    virtual void addAboutEntry(const std::string& text) = 0;  // system menu and Help menu
    virtual void installAccelerators() = 0;
    virtual void closeWindow() = 0;  // closes without asking again
    // A line in the status bar that goes away by itself.
    virtual void showStatus(const std::string& text) = 0;
    // The recent files of the File menu, newest first; the view also keeps them for
    // the next run.
    virtual void setRecentFiles(const std::vector<std::string>& paths) = 0;
    // The folder of the last file chosen in a file dialog; the view keeps it
    // for the next run.
    virtual void setLastFolder(const std::string& folder) = 0;
    // (Re)starts the autosave countdown: Command::Autosave runs `idleMs` after the
    // last call, and at the latest `maxMs` after the first call since it last ran,
    // so steady typing is still saved.
    virtual void scheduleAutosave(int idleMs, int maxMs) = 0;

    // Long work on the user-interface thread (WAV export). `fraction` 0..1, or
    // negative when unknown. Returns false when the user asked to cancel.
    virtual bool reportProgress(const std::string& label, double fraction) = 0;
    virtual void endProgress() = 0;
    // The export dialog (file type, loop count, fade, per-bank files), opened
    // with `initial`; `audible` tells which banks mute and solo let through,
    // so the dialog can say that the others are left out. nullopt when the
    // user cancels.
    virtual std::optional<ExportChoice> askExportChoice(const ExportChoice& initial, BankMask audible) = 0;
    // The busy cursor over the window while an export renders.
    virtual void setBusy(bool busy) = 0;
};

}  // namespace tavolin::window
