// SPDX-License-Identifier: MIT
// New, Open, Save, Save As and clipboard Import on the window's document, toolkit-free.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/UiText.h"
#include "document/DocumentFormat.h"
#include "document/DocumentState.h"
#include "document/FileSystem.h"

namespace tavolin::window {

// Texts the user sees (UTF-8; the host converts them for its toolkit).
inline constexpr const char* kSavePromptText = TAVOLIN_TR_NOOP("Texts", "ファイルが変更されています、保存しますか？");
inline constexpr const char* kSavePromptCaption = "tavolin ostra";
inline constexpr const char* kNoClipboardText = TAVOLIN_TR_NOOP("Texts", "クリップボードにテキストがありません");
inline constexpr const char* kMidiFileFilter = TAVOLIN_TR_NOOP("Texts", "MIDIファイル(*.mid)|*.mid||");
inline constexpr const char* kMidiImportFailed = TAVOLIN_TR_NOOP("Texts", "「{file}」を読み込めませんでした。\n{reason}");
inline constexpr const char* kDocumentFileFilter = TAVOLIN_TR_NOOP("Texts", "mmlファイル(*.mml)|*.mml|テキストファイル(*.txt)|*.txt||");
inline constexpr const char* kDocumentDefaultExtension = "mml";
inline constexpr const char* kDocumentInitialFileName = "title.mml";

// One entry of a "name|pattern|name|pattern||" filter.
struct FileFilterEntry {
    std::string name;    // "mmlファイル(*.mml)"
    std::string pattern; // "*.mml"
    bool operator==(const FileFilterEntry&) const = default;
};
std::vector<FileFilterEntry> splitFileFilter(std::string_view filter);

// Parameters of the Open, Save and Save As dialogs (owner: the main window).
struct FileDialogOptions {
    std::string filter = kDocumentFileFilter;
    std::vector<FileFilterEntry> entries = splitFileFilter(kDocumentFileFilter);
    std::string defaultExtension = kDocumentDefaultExtension; // added to a name typed without one
    std::string initialFileName = kDocumentInitialFileName;
    bool hideReadOnly = true;
    bool promptOverwrite = false; // true for the save dialog: ask before replacing a file
};

enum class PromptAnswer { Yes, No, Cancel };

// Values of the import group's controls, read when an import runs.
struct ImportControls {
    bool removeBankTempo = true;      // check box 1034
    std::string sourceMaxText = "15"; // text of field 1035
    bool divideByBanks = true;        // check box 1036
};

// What the commands need from the window. All calls come on the UI thread.
class DocumentHost {
public:
    virtual ~DocumentHost() = default;
    // Yes / No / Cancel box with the question icon.
    virtual PromptAnswer askYesNoCancel(const std::string& text, const std::string& caption) = 0;
    // The confirmed full path, or nullopt when the user cancelled.
    virtual std::optional<std::string> showOpenDialog(const FileDialogOptions& options) = 0;
    virtual std::optional<std::string> showSaveDialog(const FileDialogOptions& options) = 0;
    // OK box with the application's name as caption.
    virtual void messageBox(const std::string& text) = 0;
    // Whether the clipboard holds text at all.
    virtual bool clipboardHasText() = 0;
    // The clipboard's text as CP932 bytes; nullopt when it cannot be read.
    // Bytes from the first NUL on are ignored by the caller.
    virtual std::optional<std::string> readClipboardText() = 0;
    // Replaces the editor's whole text; not an edit (no change handling runs).
    virtual void setEditorText(const std::string& text) = 0;
    // Recomputes the window title from the document state.
    virtual void updateTitle() = 0;
    virtual void stopPlayback() = 0;
    virtual ImportControls importControls() = 0;
    // A line in the status bar that goes away by itself.
    virtual void showStatus(const std::string& text) = 0;
    // A file was opened or saved under `path` (for the recent files).
    virtual void fileUsed(const std::string& path) = 0;
};

class DocumentCommands {
public:
    DocumentCommands(document::DocumentState& state, DocumentHost& host, document::FileSystem& files)
        : m_state(state), m_host(host), m_files(files) {}

    // The prompt to save of a modified document. True when the command may go on
    // (No, or Yes and the save went through); false on Cancel or a save that did not happen.
    bool promptSave();
    // New. False when the user cancelled, or answered Yes and the save did not
    // happen (cancelled or failed): then nothing changes.
    bool promptSaveAndClear();
    // Save. True when the file was written; the document is then clean and named.
    // A failed write says why and offers the save dialog; Cancel there keeps the
    // document's name and modified flag as they were.
    bool saveDocument();
    // Save As: the dialog always shows; Cancel changes nothing.
    bool saveDocumentAs();
    // Open: the prompt, the dialog, then the file. The document is replaced only
    // when a file was chosen and read; true then.
    bool openDocument();
    // Reads `path` (CP932, or UTF-8 converted with a notice) and replaces the
    // document with it, named by its absolute path. On failure the user is told
    // why and nothing changes. A file that is no document (binary, undecodable
    // bytes) is refused; one holding text a save would not write back opens
    // only when the user says Yes to the warning.
    bool openPath(const std::string& path);
    // The reader on `text` (already in text mode), then clean document, editor and title.
    void loadDocumentText(std::string_view text, bool rescale, bool importMode);
    // Import from the clipboard. True when the document was replaced.
    bool importClipboard();
    // MIDI import: the prompt, the open dialog for MIDI files, then the file
    // arranged as a new untitled, unmodified document, and the report in a
    // message box. A file that cannot be read or imported is reported and
    // changes nothing. True when the document was replaced.
    bool importMidiFile();
    static FileDialogOptions midiOpenDialogOptions();
    // An example song: the prompt, then the file at `path` as a new untitled,
    // unmodified document (a save asks where, so the shipped file stays as it
    // is). A file that cannot be read is reported and changes nothing.
    bool openExample(const std::string& path);

    static FileDialogOptions openDialogOptions();
    static FileDialogOptions saveDialogOptions();

private:
    bool saveTo(std::string path);
    void clearDocument();

    document::DocumentState& m_state;
    DocumentHost& m_host;
    document::FileSystem& m_files;
};

}  // namespace tavolin::window
