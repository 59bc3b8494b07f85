// SPDX-License-Identifier: MIT
// The main window: builds itself, hands the document to its model and turns the widgets'
// signals into model commands. Its other concerns live beside it: the layout
// (TavolinWindowLayout.cpp), the view adapter's dialogs and controls (TavolinWindowDialogs.cpp), the
// tabs' documents (TavolinWindowTabs.cpp), the live check (TavolinWindowLive.cpp), the playing display
// (TavolinWindowPlaying.cpp), settings and autosave (TavolinWindowSettings.cpp), the roll
// (TavolinWindowRoll.cpp) and the Edit menu with the find bar (TavolinWindowEdit.cpp).
#include "app/qt/TavolinWindow.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QScrollBar>
#include <QShortcut>
#include <QTabBar>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

#include "app/qt/BankScopes.h"
#include "app/qt/CEditEx.h"
#include "app/qt/DisplayLines.h"
#include "app/qt/Language.h"
#include "app/qt/MmlHighlighter.h"
#include "app/qt/PianoRollView.h"
#include "app/qt/Resources.h"
#include "app/qt/Theme.h"
#include "document/CaretMapping.h"
#include "music/CommandHelp.h"
#include "music/DocumentFeatures.h"
#include "music/MmlReference.h"

namespace tavolin::qt {

using window::Command;
namespace ctl = window::ctl;

namespace {

// Help in Markdown ("**T150**\n\nテンポ 150（…）\n\n`Tn` …") as rich text: the command in bold,
// code as code, its lines as lines.
QString helpHtml(const std::string& markdown) {
    QString html = QString::fromStdString(markdown).toHtmlEscaped();
    html.replace(QRegularExpression(QStringLiteral("\\*\\*(.+?)\\*\\*")), QStringLiteral("<b>\\1</b>"));
    html.replace(QRegularExpression(QStringLiteral("`(.+?)`")), QStringLiteral("<code>\\1</code>"));
    html.replace(QStringLiteral("\n\n"), QStringLiteral("<br>")).replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return html;
}

}  // namespace

TavolinWindow::TavolinWindow(QWidget* parent) : QMainWindow(parent) {
    buildControls();
    buildMenus();
    m_live = std::make_unique<window::LiveEditor>();
    m_liveTimer = new QTimer(this);
    m_liveTimer->setSingleShot(true);
    connect(m_liveTimer, &QTimer::timeout, this, &TavolinWindow::pollLive);
    m_playTimer = new QTimer(this);
    m_playTimer->setInterval(25);  // within the 50 ms the eye forgives
    connect(m_playTimer, &QTimer::timeout, this, &TavolinWindow::showPlaying);
    m_idleTimer = new QTimer(this);
    m_idleTimer->setSingleShot(true);
    connect(m_idleTimer, &QTimer::timeout, this, [this] {
        if (m_services) m_services->closeIdleDevice();
        armIdleClose();  // something played meanwhile: count again
    });
    buildFileWatch();
    m_model = std::make_unique<window::CTavolinDlg>(*this);
    // Hover and F1: what the command under the mouse or at the caret does, the language server's text.
    m_editor->setCommandHelp([this](int position) -> QString {
        if (!m_model) return {};
        const std::string& text = m_model->tabTexts[static_cast<size_t>(m_shownTab)];
        const auto help = music::commandHelpAt(text, static_cast<uint32_t>(document::unitToByteOffset(text, static_cast<size_t>(position))));
        return help ? helpHtml(help->text) : QString();
    });
    // Ctrl+Space: what may be typed at the caret, as the language server completes it, with the
    // reference's line for each command.
    m_editor->setCompletions([this](int position) {
        std::vector<CEditEx::Completion> out;
        if (!m_model) return out;
        const std::string& text = m_model->tabTexts[static_cast<size_t>(m_shownTab)];
        const auto offset = static_cast<uint32_t>(document::unitToByteOffset(text, static_cast<size_t>(position)));
        for (const music::Completion& c : music::completionsAt(m_model->tabTexts, m_shownTab, offset)) {
            CEditEx::Completion item{QString::fromStdString(c.label), {}, {}, QString::fromStdString(c.insert)};
            item.selectBegin = item.selectEnd = static_cast<int>(item.text.size());
            if (c.kind == music::Completion::Kind::Command) {
                const music::ExpandedSnippet e = music::expandSnippet(c.insert);
                item.text = QString::fromStdString(e.text);  // ASCII: bytes are characters
                item.selectBegin = static_cast<int>(e.selectBegin);
                item.selectEnd = static_cast<int>(e.selectEnd);
                if (const music::MmlReferenceEntry* entry = music::mmlReferenceFor(c.label)) {
                    item.what = displayText(entry->what);
                    item.help = helpHtml(music::mmlReferenceHover(*entry));
                }
            }
            out.push_back(std::move(item));
        }
        return out;
    });
    m_editor->setInputFilter([this](const QString& text) -> std::optional<QString> {
        if (!m_model) return std::nullopt;
        auto filtered = m_model->filterEditorInput(text.toStdString());
        if (!filtered) return std::nullopt;
        return QString::fromStdString(*filtered);
    });
    m_model->OnInitDialog();
    connectSignals();
    buildBankScopes();
    buildPianoRoll();
    buildReference();
    buildFirstSteps();
    nameControls();
    applyKeys();  // the Help entries built last get their keys too
}

TavolinWindow::~TavolinWindow() {
    // The model stops playback first, while the services are still there.
    m_model.reset();
    m_services.reset();
}

void TavolinWindow::setServices(std::unique_ptr<window::WindowServices> services) {
    m_model->setServices(services.get());
    m_services = std::move(services);
    armIdleClose();
}

void TavolinWindow::armIdleClose() {
    const auto due = m_services ? m_services->idleDeviceDue() : std::nullopt;
    if (!due) {
        m_idleTimer->stop();
        return;
    }
    m_idleTimer->start(static_cast<int>(std::min<std::chrono::milliseconds::rep>(due->count(), 24 * 3600 * 1000)));
}

QWidget* TavolinWindow::control(int id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

QAction* TavolinWindow::commandAction(Command command) const {
    auto it = m_actions.find(command);
    return it == m_actions.end() ? nullptr : it->second;
}

void TavolinWindow::run(Command command, int argument) {
    // Child widgets outlive the model during destruction; their last signals go nowhere.
    if (!m_model) return;
    m_model->runCommand(command, argument);
    afterCommand(command);
}

void TavolinWindow::afterCommand(Command command) {
    // Test and a reference example play a phrase, not the document's text: nothing to show, only its end to watch.
    const bool phrase = command == Command::Test || command == Command::ReferencePlay;
    if (phrase) {
        m_playTimer->stop();
        m_live->playStopped();
    }
    const bool starts = command == Command::Play || phrase || command == Command::LoopPassage;
    if (starts || command == Command::Stop)
        m_testPlaying = phrase && m_services && m_services->streaming();
    if (command == Command::Play || command == Command::LoopPassage) startPlayWatch();
    if (m_testPlaying) m_playTimer->start();
    if (starts || command == Command::Stop) {
        showPassage();
        showPlaying();
        armIdleClose();
    }
    // ---- bank scopes: they follow every stream that plays, and show which banks are heard
    if (m_scopes && starts && m_services && m_services->streaming())
        m_scopes->start();
    if (m_scopes && (command == Command::MuteBank || command == Command::SoloBank))
        m_scopes->setAudible(m_model->bankMix().audible());
    // ---- piano roll: lanes of banks left out of the mix are dimmed
    if (m_roll) m_roll->setAudible(m_model->bankMix().audible());
}


void TavolinWindow::connectSignals() {
    for (const window::ButtonBinding& b : window::kButtonBindings) {
        auto* button = qobject_cast<QAbstractButton*>(control(b.id));
        if (!button) continue;
        const Command command = b.command;
        const int argument = b.argument;
        connect(button, &QAbstractButton::clicked, this, [this, command, argument] { run(command, argument); });
    }
    connect(as<QComboBox>(ctl::WaveType), &QComboBox::currentIndexChanged, this, [this] { run(Command::WaveType); });
    connect(as<QLineEdit>(ctl::FreqNoise), &QLineEdit::textChanged, this, [this] { run(Command::FreqNoiseChange); });
    connect(as<QLineEdit>(ctl::SwitchMs), &QLineEdit::textChanged, this, [this] { run(Command::SwitchChange); });
    connect(m_tabs, &QTabBar::currentChanged, this, [this] { run(Command::TabChange); });
    // An edit patches the tab's stored bytes where it happened, in the text's own
    // positions (display breaks left out); the whole text is converted again only
    // when a patch does not fit.
    for (TabView& tv : m_tabViews) {
        QTextDocument* doc = tv.document;
        connect(tv.lines, &DisplayLines::textEdited, this, [this, doc](int pos, int removed, const QString& inserted) {
            if (m_programChange || !m_model || doc != m_editor->document()) return;
            if (!m_model->editorEdited(static_cast<size_t>(pos), static_cast<size_t>(removed), inserted.toStdString()))
                m_fullSync = true;
        });
        connect(tv.lines, &DisplayLines::textReset, this, [this, doc] {
            if (!m_programChange && m_model && doc == m_editor->document()) m_fullSync = true;
        });
    }
    connect(m_editor, &QPlainTextEdit::textChanged, this, [this] {
        if (m_programChange) return;
        if (m_fullSync) {
            m_fullSync = false;
            run(Command::EditorChange);
        }
        liveChanged();
    });
    connect(m_editor, &QPlainTextEdit::cursorPositionChanged, this, [this] { updateCaretStatus(); });
    // Long lines are coloured around what shows; scrolling sideways moves that part.
    connect(m_editor->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { showColumnsColoured(); });
    // Every setting the build reads starts a new check.
    for (int id : {ctl::Arithmetic, ctl::SampleRate})
        connect(as<QComboBox>(id), &QComboBox::currentIndexChanged, this, [this] { liveChanged(); });
    for (int id : {ctl::Loop, ctl::CurrentBankPlay, ctl::StartFromCursor})
        connect(as<QAbstractButton>(id), &QAbstractButton::toggled, this, [this] { liveChanged(); });
    connect(m_errorStatus, &QToolButton::clicked, this, [this] { jumpToLiveError(); });
    // Escape closes the window like Exit (with the save prompt when needed).
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { close(); });
}


void TavolinWindow::closeWindow() {
    m_closeApproved = true;
    close();
}


void TavolinWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::PaletteChange || !m_editor) return;
    // The window's palette is the new one already; its children follow after it.
    for (TabView& tv : m_tabViews) tv.highlighter->setTheme(currentPalette().theme);
}

void TavolinWindow::closeEvent(QCloseEvent* event) {
    if (m_progress) {
        // An export is running inside a command; cancel it first, close afterwards.
        m_progress->cancel();
        event->ignore();
        return;
    }
    if (m_closeApproved || m_model->requestClose()) {
        m_closeApproved = true;
        saveSettings();
        event->accept();
    } else {
        event->ignore();
    }
}


}  // namespace tavolin::qt
