// SPDX-License-Identifier: MIT
// The Qt main window: the widgets of the control table, implementing the model's view. One class,
// one file per concern (see TavolinWindow.cpp).
#pragma once

#include <array>
#include <map>
#include <memory>

#include <QElapsedTimer>
#include <QFont>
#include <QIcon>
#include <QMainWindow>

#include "window/CTavolinDlg.h"
#include "window/KeyMap.h"
#include "window/LiveEditor.h"
#include "window/WindowView.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFileSystemWatcher;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QProgressDialog;
class QPushButton;
class QSettings;
class QSplitter;
class QTabBar;
class QLabel;
class QTextDocument;
class QTimer;
class QToolButton;

namespace tavolin::qt {

class BankScopes;
class CEditEx;
class DisplayLines;
class MmlHighlighter;
class PianoRollView;

class TavolinWindow : public QMainWindow, public window::WindowView {
    Q_OBJECT
public:
    explicit TavolinWindow(QWidget* parent = nullptr);
    ~TavolinWindow() override;

    window::CTavolinDlg& model() noexcept { return *m_model; }
    // Hands the layers below to the model; the window keeps them alive until the
    // model is gone (the model stops playback on its way out).
    void setServices(std::unique_ptr<window::WindowServices> services);

    // Widgets by control id, for the application and the tests.
    QWidget* control(int id) const;
    CEditEx* editor() const noexcept { return m_editor; }
    QAction* commandAction(window::Command command) const;
    QMenu* recentMenu() const noexcept { return m_recentMenu; }
    QSplitter* splitter() const noexcept { return m_splitter; }
    // The live check's error message (clicking it jumps to the error) and the
    // caret's line:column with the song times.
    QToolButton* errorStatus() const noexcept { return m_errorStatus; }
    QLabel* caretStatus() const noexcept { return m_caretStatus; }
    // The last spoken sentence (F8, Shift+F8, the live check's error): a status line
    // whose name changes, for the screen reader.
    QLabel* speechStatus() const noexcept { return m_speech; }
    // The editor's text size in percent of its usual size (Ctrl+plus, Ctrl+minus, Ctrl+0).
    int editorZoom() const noexcept { return m_zoomPercent; }
    void setEditorZoom(int percent);
    static constexpr int kZoomStep = 10, kZoomMin = 50, kZoomMax = 300;

signals:
    // A sentence went to the screen reader (the speech status's name changed).
    void spoken(const QString& text);

public:
    // The find bar under the editor (Ctrl+F).
    QWidget* findBar() const noexcept { return m_findBar; }
    window::LiveEditor& live() noexcept { return *m_live; }
    QTimer* playTimer() const noexcept { return m_playTimer; }
    PianoRollView* pianoRoll() const noexcept { return m_roll; }
    // Mute/solo toggles and the banks' scopes and meters.
    BankScopes* bankScopes() const noexcept { return m_scopes; }
    // The tab strip's mark of a tab whose text does not compile, and the blank
    // of the same size the other tabs carry.
    static const QIcon& tabErrorMark();
    static const QIcon& noErrorMark();

    // Remembered between runs with QSettings (the application's only): recent
    // files, window size, splitter position, the last dialog's folder. Without this call nothing is read
    // or written, so tests leave the user's settings alone.
    void useSettings();

    // window::WindowView
    void messageBox(const std::string& text, const std::string& caption) override;
    window::PromptAnswer askYesNoCancel(const std::string& text, const std::string& caption) override;
    std::optional<std::string> fileDialog(const window::FileDialogRequest& request) override;
    std::optional<std::string> clipboardText() override;
    void showAbout() override;
    window::RecoveryChoice askRecovery(const window::RecoveryOffer& offer) override;
    bool askKeepOrReload(const std::string& text, const std::string& keepLabel, const std::string& reloadLabel) override;
    std::string editorText() const override;
    void setEditorText(const std::string& text) override;
    void replaceEditorSelection(const std::string& text) override;
    window::EditorSelection editorSelection() const override;
    void selectEditorRange(size_t start, size_t end) override;
    std::string controlText(int id) const override;
    void setControlText(int id, const std::string& text) override;
    void setItems(int id, const std::vector<std::string>& items) override;
    int currentIndex(int id) const override;
    void setCurrentIndex(int id, int index) override;
    bool isChecked(int id) const override;
    void setChecked(int id, bool checked) override;
    void setTitle(const std::string& title) override;
    void setIcon() override;
    void addAboutEntry(const std::string& text) override;
    void installAccelerators() override;
    void closeWindow() override;
    void showStatus(const std::string& text) override;
    void setRecentFiles(const std::vector<std::string>& paths) override;
    void setLastFolder(const std::string& folder) override;
    void scheduleAutosave(int idleMs, int maxMs) override;
    bool reportProgress(const std::string& label, double fraction) override;
    void endProgress() override;
    std::optional<window::ExportChoice> askExportChoice(const window::ExportChoice& initial, BankMask audible) override;
    void setBusy(bool busy) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void buildLanguageMenu();
    // The Help menu's documentation pages (window::kHelpPages), opened by the desktop's viewer.
    void buildHelpPages();
    // File → "サンプル曲": each example song opens as an untitled copy.
    void buildExamplesMenu(QMenu* file);
    // A file shipped with the program (a help page, an example song) as `find` finds it, or ""
    // once the user has been told, with `missing`, where it was looked for.
    std::string shippedFile(const char* file, std::string (*find)(const std::string&, const char*),
                            std::array<std::string, 2> (*folders)(const std::string&), const char* missing);
    void openHelpPage(const char* file);
    void buildEditMenu();
    QWidget* buildFindBar();
    void showFindBar();
    void hideFindBar();
    // Selects the next (previous) place of the find field's text in the shown
    // tab; `focusEditor` false keeps the focus in the find field.
    void findInTab(bool backward, bool focusEditor = true);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void connectSignals();
    QWidget* buildLeftPane();
    QGroupBox* buildToneGroup();
    QGroupBox* buildEnvelopeGroup();
    QGroupBox* buildImportGroup();
    // Registers a widget under its control id (its object name says which).
    template <typename W>
    W* make(int id, W* widget) {
        widget->setObjectName(QStringLiteral("ctl%1").arg(id));
        m_controls[id] = widget;
        return widget;
    }
    template <typename W>
    W* as(int id) const {
        auto it = m_controls.find(id);
        return it == m_controls.end() ? nullptr : qobject_cast<W*>(it->second);
    }
    // The mark on a tab whose text holds the live check's error: a small red dot.
    static QIcon errorMark();
    void run(window::Command command, int argument = 0);
    // What the window shows after a command of the model has run.
    void afterCommand(window::Command command);
    void autosaveTimeout();
    void saveSettings();
    // Brings the window (its frame) inside the available area of the screen it mostly
    // lies on, shrinking it where it is larger; without `move` only the size changes.
    void fitOnScreen(bool move);
    // The roll's height: what the controls leave of the window, within the roll's
    // minimum and its usual height.
    void fitRollHeight();
    // Each tab's own document (undo history, caret, scroll), swapped into the editor.
    void showTabDocument(int tab);
    void showColumnsColoured();
    // The document or a build setting changed: the live check runs shortly.
    void liveChanged();
    void pollLive();
    void showLive();
    void updateCaretStatus();
    void jumpToLiveError();
    // While a Play stream runs: lights the notes the listener hears now.
    void startPlayWatch();
    void showPlaying();
    // Arms (or disarms) the one-shot timer that closes the idle sound device.
    void armIdleClose();
    // The Play menu (Play, Stop, loop the selection) and the passage's shading.
    void buildPlayMenu();
    void showPassage();
    // The piano roll dock (TavolinWindowRoll.cpp): built once, then fed the live
    // result, the caret and the heard frame; a clicked note selects its source.
    void buildPianoRoll();
    // Help → "MMLリファレンス": the reference dock (hidden until asked for).
    void buildReference();
    void buildFirstSteps();
    // The user's keys on the actions they run (the menus show them); Edit → "キー設定…" changes them.
    void applyKeys();
    void editKeys();
    QAction* keyAction(const window::KeyCommand& command);
    // The first steps on the first start the settings know of; never again by themselves.
    void showFirstStepsOnce(QSettings& settings);
    void showRollCaret();
    void selectRollNote(int bank, size_t note, std::optional<size_t> last = std::nullopt);

    // ---- everyone (TavolinWindowAccess.cpp): names, speech, themes, zoom, tab keys
    void nameControls();
    void buildViewMenu();
    void useViewSettings();
    void announce(const QString& text);
    // The note the caret names (the roll's outlined one when the roll shows this song).
    std::optional<TimelineRef> caretRef() const;
    void speakCaret();
    void speakPlayhead();
    void announceLiveError();
    QLabel* m_speech = nullptr;
    QString m_announcedError;
    QFont m_editorFont;
    int m_zoomPercent = 100;
    std::optional<BankFrames> m_heardFrames;  // where the banks stood at the last playing update

    std::map<int, QWidget*> m_controls;
    std::map<window::Command, QAction*> m_actions;
    CEditEx* m_editor = nullptr;
    QTabBar* m_tabs = nullptr;
    QProgressDialog* m_progress = nullptr;
    QElapsedTimer m_progressClock;
    QMenu* m_helpMenu = nullptr;
    QWidget* m_findBar = nullptr;
    QLineEdit* m_findField = nullptr;
    QLabel* m_findStatus = nullptr;
    QMenu* m_recentMenu = nullptr;
    QSplitter* m_splitter = nullptr;
    QTimer* m_autosaveIdle = nullptr;
    QTimer* m_autosaveMax = nullptr;
    bool m_settings = false;
    bool m_programChange = false;  // the program replaces the editor text: not an edit
    bool m_closeApproved = false;

    struct TabView {
        QTextDocument* document = nullptr;
        MmlHighlighter* highlighter = nullptr;
        DisplayLines* lines = nullptr;
        int anchor = 0;
        int position = 0;
        int hScroll = 0;
        int vScroll = 0;
    };
    std::array<TabView, document::kTabCount> m_tabViews;
    int m_shownTab = 0;
    std::unique_ptr<window::LiveEditor> m_live;
    QTimer* m_liveTimer = nullptr;
    bool m_fullSync = false;     // an edit the stored bytes could not be patched with
    bool m_liveDirty = false;    // a change not yet handed to the live check
    bool m_liveWaiting = false;  // a check result is still to come
    QTimer* m_playTimer = nullptr;
    QTimer* m_idleTimer = nullptr;
    bool m_referencePlaced = false;  // the reference window has been given its first place
    QAction* m_referenceToggle = nullptr;  // Help → "MMLリファレンス", checked while it shows
    QAction* m_firstStepsToggle = nullptr;  // Help → "はじめの一歩", checked while it shows
    window::KeyMap m_keys;
    bool m_testPlaying = false;  // Test's phrase plays: stopped once it has been heard
    QToolButton* m_errorStatus = nullptr;
    QLabel* m_caretStatus = nullptr;
    PianoRollView* m_roll = nullptr;
    bool m_rollSelecting = false;  // a clicked note's source is being selected

    // ---- the file on disk (TavolinWindowDisk.cpp): watched while the window names one
    void buildFileWatch();
    void syncFileWatch();
    void fileChangedOnDisk();
    QFileSystemWatcher* m_fileWatch = nullptr;
    QTimer* m_fileWatchDelay = nullptr;
    QString m_watchedFile;

    // ---- mute/solo toggles and bank scopes
    QWidget* buildBankToggles();
    void buildBankScopes();
    BankScopes* m_scopes = nullptr;

    // Declared before the model so that they outlive it.
    std::unique_ptr<window::WindowServices> m_services;
    std::unique_ptr<window::CTavolinDlg> m_model;
};

}  // namespace tavolin::qt
