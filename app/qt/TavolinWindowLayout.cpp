// SPDX-License-Identifier: MIT
// The main window's widgets: the editor pane, the helper groups, the bank toggles and scopes, the
// status bar, the menus and the keys.
#include <algorithm>

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDockWidget>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QSettings>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/qt/BankScopes.h"
#include "app/qt/CEditEx.h"
#include "app/qt/DisplayLines.h"
#include "app/qt/Language.h"
#include "app/qt/MmlHighlighter.h"
#include "app/qt/Resources.h"
#include "app/qt/KeysDialog.h"
#include "app/qt/TavolinWindow.h"
#include "app/qt/Theme.h"
#include "music/EnvelopeHelper.h"
#include "document/UserTexts.h"
#include "window/Examples.h"
#include "window/HelpPages.h"

namespace tavolin::qt {

using window::Command;
namespace ctl = window::ctl;

namespace {

// Captions mark their mnemonic with "&"; "\n" breaks a caption in two.
QLabel* label(const QString& text, QWidget* buddy = nullptr) {
    auto* l = new QLabel(text);
    if (buddy) l->setBuddy(buddy);
    return l;
}

QLineEdit* numericField(QLineEdit* field) {
    static const QRegularExpression digits(QStringLiteral("[0-9]*"));
    field->setValidator(new QRegularExpressionValidator(digits, field));
    field->setAlignment(Qt::AlignRight);
    field->setMaximumWidth(72);
    return field;
}

// The helper groups where the window is too short for them (a laptop screen with the
// roll below): they keep the size they need and scroll up and down. Never sideways:
// the area is as wide as the groups need, and asks for their whole height. Where it
// is short the groups shrink to their least height first (the duty list gives way),
// and scroll only below that.
class HelperScroll : public QScrollArea {
public:
    HelperScroll() {
        setObjectName(QStringLiteral("helperScroll"));
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(false);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    QSize sizeHint() const override {
        const QSize need = widget() ? widget()->sizeHint() : QSize();
        return {need.width() + scrollBarRoom(), need.height()};
    }
    QSize minimumSizeHint() const override {
        const int width = widget() ? widget()->minimumSizeHint().width() : 0;
        return {width + scrollBarRoom(), QScrollArea::minimumSizeHint().height()};
    }

protected:
    bool viewportEvent(QEvent* event) override {
        // The scroll bar coming or going changes the viewport's width; the groups' own
        // needs change with a caption (their layout asks the viewport, their parent).
        if (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest) fitContent();
        return QScrollArea::viewportEvent(event);
    }

private:
    int scrollBarRoom() const { return verticalScrollBar()->sizeHint().width(); }
    // The groups take the viewport's width and height, but never less than they need
    // at that width (the explanation's lines wrap). Narrower means taller, so once
    // the scroll bar shows it stays.
    void fitContent() {
        QWidget* content = widget();
        if (!content || !content->layout()) return;
        const int width = std::max(content->minimumSizeHint().width(), viewport()->width());
        const int least = content->layout()->hasHeightForWidth() ? content->layout()->minimumHeightForWidth(width)
                                                                  : content->minimumSizeHint().height();
        content->resize(width, std::max(least, viewport()->height()));
    }
};

}  // namespace

// The mark on a tab whose text holds the live check's error: a small red dot.
QIcon TavolinWindow::errorMark() {
    QPixmap dot(12, 12);
    dot.fill(Qt::transparent);
    QPainter p(&dot);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd0, 0x30, 0x28));
    p.drawEllipse(QRectF(2, 2, 8, 8));
    return QIcon(dot);
}

const QIcon& TavolinWindow::tabErrorMark() {
    static const QIcon mark = errorMark();
    return mark;
}

const QIcon& TavolinWindow::noErrorMark() {
    static const QIcon blank = [] {
        QPixmap none(12, 12);
        none.fill(Qt::transparent);
        return QIcon(none);
    }();
    return blank;
}


// ---- mute/solo toggles and bank scopes ------------------------------------------

// Over each bank's scope: its letter with a mute (M) and a solo (S) toggle;
// a click only forwards the command, the model sets the toggles.
QWidget* TavolinWindow::buildBankToggles() {
    auto* strip = new QWidget;
    strip->setObjectName(QStringLiteral("bankToggles"));
    auto* h = new QHBoxLayout(strip);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(6);
    for (int b = 0; b < kBankCount; ++b) {
        const QString letter(QChar(u'A' + b));
        auto* cell = new QHBoxLayout;
        cell->setSpacing(1);
        auto* name = new QLabel(letter);
        name->setContentsMargins(4, 0, 4, 0);
        cell->addWidget(name);
        const struct {
            int id;
            Command command;
            QString text;
            QString tip;
        } toggles[] = {
            {ctl::MuteA + b, Command::MuteBank, QStringLiteral("M"), tr("バンク%1をミュート (鳴らし続けたまま音だけ外す)").arg(letter)},
            {ctl::SoloA + b, Command::SoloBank, QStringLiteral("S"), tr("バンク%1をソロ (ソロのバンクだけを聞く)").arg(letter)},
        };
        for (const auto& t : toggles) {
            auto* button = make(t.id, new QToolButton);
            button->setText(t.text);
            button->setToolTip(t.tip);
            button->setCheckable(true);
            button->setAutoRaise(true);
            button->setFixedWidth(std::max(24, button->minimumSizeHint().width()));  // room for the letter at any scale
            const Command command = t.command;
            connect(button, &QToolButton::clicked, this, [this, command, b] { run(command, b); });
            cell->addWidget(button);
        }
        cell->addStretch(1);
        h->addLayout(cell, 1);
    }
    return strip;
}

// Under the editor and the helpers: every bank's toggles over its waveform
// and meter, in a dock the user can move (not close: the toggles live there).
void TavolinWindow::buildBankScopes() {
    BankScopes::Source source;
    source.rings = [this]() -> std::shared_ptr<const output::BankTapRings> {
        return m_services && m_services->streaming() ? m_services->bankRings() : nullptr;
    };
    source.heardFrame = [this]() -> std::optional<uint64_t> { return m_services ? m_services->heardFrame() : std::nullopt; };
    m_scopes = new BankScopes(std::move(source));
    m_scopes->setMinimumHeight(64);
    auto* panel = new QWidget;
    auto* v = new QVBoxLayout(panel);
    v->setContentsMargins(8, 0, 8, 6);
    v->setSpacing(2);
    v->addWidget(buildBankToggles());
    v->addWidget(m_scopes, 1);
    auto* dock = new QDockWidget(tr("バンク別: ミュート・ソロ、波形とレベル"), this);
    dock->setObjectName(QStringLiteral("bankScopesDock"));
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    dock->setWidget(panel);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
}

// ---- layout -------------------------------------------------------------------

void TavolinWindow::buildControls() {
    // The editor and the helper groups share the width through a splitter, whose
    // position is remembered between runs.
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("mainSplitter"));
    m_splitter->setContentsMargins(8, 8, 8, 8);
    m_splitter->setHandleWidth(10);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(buildLeftPane());

    auto* helpers = new QWidget;
    auto* right = new QGridLayout(helpers);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(8);
    right->addWidget(buildToneGroup(), 0, 0);
    right->addWidget(buildEnvelopeGroup(), 0, 1);
    right->addWidget(buildImportGroup(), 1, 0, 1, 2);
    right->setRowStretch(0, 1);
    auto* scroll = new HelperScroll;
    scroll->setWidget(helpers);
    m_splitter->addWidget(scroll);
    m_splitter->setStretchFactor(0, 5);
    m_splitter->setStretchFactor(1, 4);
    setCentralWidget(m_splitter);
    statusBar()->setSizeGripEnabled(true);
    m_errorStatus = new QToolButton;
    m_errorStatus->setObjectName(QStringLiteral("liveError"));
    m_errorStatus->setAutoRaise(true);
    m_errorStatus->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_errorStatus->setIcon(errorMark());
    m_errorStatus->setCursor(Qt::PointingHandCursor);
    m_errorStatus->hide();
    statusBar()->addWidget(m_errorStatus);
    m_speech = new QLabel;
    m_speech->setObjectName(QStringLiteral("speech"));
    statusBar()->addWidget(m_speech, 1);
    m_caretStatus = new QLabel;
    m_caretStatus->setObjectName(QStringLiteral("caretStatus"));
    statusBar()->addPermanentWidget(m_caretStatus);

    m_autosaveIdle = new QTimer(this);
    m_autosaveMax = new QTimer(this);
    for (QTimer* t : {m_autosaveIdle, m_autosaveMax}) {
        t->setSingleShot(true);
        connect(t, &QTimer::timeout, this, &TavolinWindow::autosaveTimeout);
    }
    // No fixed minimum: the layout's own keeps every control (the tab strip, the status
    // bar) at the size it needs, the helpers scrolling where the height is short.
    resize(1180, 710);
}

QWidget* TavolinWindow::buildLeftPane() {
    auto* pane = new QWidget;
    auto* v = new QVBoxLayout(pane);
    v->setContentsMargins(0, 0, 0, 0);

    auto* settings = new QHBoxLayout;
    auto* arith = make(ctl::Arithmetic, new QComboBox);
    auto* rate = make(ctl::SampleRate, new QComboBox);
    settings->addWidget(arith);
    settings->addWidget(rate);
    auto* pseudo8 = make(ctl::Pseudo8Bit, new QCheckBox(tr("疑似8ビットモード")));
    pseudo8->setToolTip(tr("互換性のために残してある項目です。オンにしても音や書き出しには何の効果もありません。"));
    settings->addWidget(pseudo8);
    settings->addStretch(1);
    v->addLayout(settings);

    m_tabs = make(ctl::Tabs, new QTabBar);
    m_tabs->setExpanding(false);
    m_tabs->setDrawBase(false);
    m_tabs->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    v->addWidget(m_tabs);
    m_editor = make(ctl::Editor, new CEditEx);
    QFont mono(QStringLiteral("Noto Sans Mono CJK JP"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPointSizeF(mono.pointSizeF() * 1.15);
    m_editorFont = mono;
    m_editor->setFont(mono);
    const bool dark = currentPalette().theme != window::Theme::Light;
    for (TabView& tv : m_tabViews) {
        tv.document = new QTextDocument(this);
        tv.document->setDocumentLayout(new QPlainTextDocumentLayout(tv.document));
        tv.document->setDefaultFont(mono);
        tv.lines = new DisplayLines(tv.document);
        tv.highlighter = new MmlHighlighter(tv.document, dark);
    }
    m_editor->setDocument(m_tabViews[0].document);
    v->addWidget(m_editor, 1);
    v->addWidget(buildFindBar());

    auto* modes = new QHBoxLayout;
    modes->addWidget(make(ctl::Loop, new QCheckBox(tr("Loop"))));
    modes->addWidget(make(ctl::CurrentBankPlay, new QCheckBox(tr("Current Bank Play"))));
    modes->addWidget(make(ctl::StartFromCursor, new QCheckBox(tr("Start from current cursor"))));
    modes->addStretch(1);
    v->addLayout(modes);

    auto* transport = new QHBoxLayout;
    auto* play = make(ctl::Play, new QPushButton(tr("Play(&F5)")));
    auto* stop = make(ctl::Stop, new QPushButton(tr("Stop(&F6)")));
    // The caption's mnemonic letter is F for both buttons and for the File menu; the
    // keys that run them are F5 and F6, so the mnemonic is shown but not bound.
    play->setShortcut(QKeySequence());
    stop->setShortcut(QKeySequence());
    transport->addWidget(play);
    // Short beside Play; the menu entry and the tip give the whole name.
    auto* loop = make(ctl::LoopPassage, new QPushButton(tr("ループ再生")));
    loop->setToolTip(tr("選択範囲をループ再生: 選択範囲（またはピアノロールの目盛りをドラッグした範囲）を繰り返し再生します (Ctrl+L)"));
    transport->addWidget(loop);
    transport->addWidget(stop);
    transport->addWidget(make(ctl::WavExport, new QPushButton(tr("Wav出力"))));
    transport->addWidget(make(ctl::Pause, new QCheckBox(tr("Pause"))));
    transport->addStretch(1);
    transport->addWidget(make(ctl::ClearAll, new QPushButton(tr("全タブ内容をクリアする"))));
    v->addLayout(transport);
    return pane;
}

QGroupBox* TavolinWindow::buildToneGroup() {
    auto* group = new QGroupBox(tr("音色定義サポート"));
    auto* g = new QGridLayout(group);
    int row = 0;
    auto* wave = make(ctl::WaveType, new QComboBox);
    g->addWidget(label(tr("波形"), wave), row, 0);
    g->addWidget(wave, row++, 1, 1, 2);

    auto* duty = make(ctl::DutyCombo, new QComboBox);
    duty->setEditable(true);
    duty->setInsertPolicy(QComboBox::NoInsert);
    g->addWidget(label(tr("Duty比"), duty), row, 0);
    g->addWidget(duty, row, 1);
    auto* addDel = new QHBoxLayout;
    addDel->addWidget(make(ctl::DutyAdd, new QPushButton(tr("Add"))));
    addDel->addWidget(make(ctl::DutyDel, new QPushButton(tr("Del"))));
    g->addLayout(addDel, row++, 2);
    auto* list = make(ctl::DutyList, new QListWidget);
    list->setMinimumHeight(60);
    list->setMaximumHeight(110);
    g->addWidget(list, row++, 0, 1, 3);

    auto* freq = make(ctl::FreqNoise, numericField(new CEditExLine));
    g->addWidget(label(tr("周波数ノイズ\n変動範囲(%)"), freq), row, 0, 1, 2);
    g->addWidget(freq, row++, 2);
    auto* level = make(ctl::LevelNoise, numericField(new QLineEdit));
    g->addWidget(label(tr("レベルノイズ(%)"), level), row, 0, 1, 2);
    g->addWidget(level, row++, 2);
    auto* sw = make(ctl::SwitchMs, numericField(new QLineEdit));
    g->addWidget(label(tr("Duty比\n切り替えタイミング(ms)"), sw), row, 0, 1, 2);
    g->addWidget(sw, row++, 2);

    auto* tone = make(ctl::ToneNumber, new QComboBox);
    g->addWidget(label(tr("音色番号"), tone), row, 0);
    g->addWidget(tone, row, 1);
    g->addWidget(make(ctl::InsertTone, new QPushButton(tr("コマンド挿入"))), row++, 2);

    auto* phrase = make(ctl::TestPhrase, new CEditExLine);
    g->addWidget(label(tr("テスト"), phrase), row, 0);
    g->addWidget(phrase, row, 1);
    g->addWidget(make(ctl::Test, new QPushButton(tr("Test"))), row++, 2);
    g->setRowStretch(row, 1);
    return group;
}

QGroupBox* TavolinWindow::buildEnvelopeGroup() {
    auto* group = new QGroupBox(tr("エンベロープサポート"));
    auto* v = new QGridLayout(group);

    auto* time = new QGroupBox(tr("タイム"));
    auto* tg = new QGridLayout(time);
    const std::pair<int, const char*> times[] = {
        {ctl::AttackTime, QT_TR_NOOP("Atack")}, {ctl::DecayTime, QT_TR_NOOP("Decay")},
        {ctl::ReleaseTime, QT_TR_NOOP("Release")}};
    int row = 0;
    for (const auto& [id, text] : times) {
        auto* f = make(id, numericField(new QLineEdit));
        tg->addWidget(label(tr(text), f), row, 0);
        tg->addWidget(f, row++, 1);
    }
    auto* level = new QGroupBox(tr("レベル"));
    auto* lg = new QGridLayout(level);
    const std::pair<int, const char*> levels[] = {{ctl::AttackLevel, QT_TR_NOOP("Atack")},
                                                   {ctl::SustainLevel, QT_TR_NOOP("Sustain")}};
    row = 0;
    for (const auto& [id, text] : levels) {
        auto* f = make(id, numericField(new QLineEdit));
        lg->addWidget(label(tr(text), f), row, 0);
        lg->addWidget(f, row++, 1);
    }
    auto* number = make(ctl::EnvelopeNumber, numericField(new QLineEdit));
    lg->addWidget(label(tr("番号"), number), row, 0);
    lg->addWidget(number, row++, 1);

    v->addWidget(time, 0, 0);
    v->addWidget(level, 0, 1);
    v->addWidget(make(ctl::InsertEnvelope, new QPushButton(tr("コマンド挿入"))), 1, 1);

    auto* templates = new QGroupBox(tr("template"));
    auto* tl = new QGridLayout(templates);
    for (int i = 0; i < music::kEnvelopeTemplateCount; ++i) {
        auto* b = make(ctl::Template0 + i,
                       new QPushButton(displayText(music::kEnvelopeTemplates[static_cast<size_t>(i)].caption)));
        tl->addWidget(b, i / 3, i % 3);
    }
    v->addWidget(templates, 2, 0, 1, 2);
    return group;
}

QGroupBox* TavolinWindow::buildImportGroup() {
    auto* group = new QGroupBox(tr("外部MMLインポート"));
    auto* row = new QHBoxLayout(group);
    auto* g = new QGridLayout;
    g->addWidget(make(ctl::ImportIgnoreTempo,
                      new QCheckBox(tr("バンク途中に出現するTコマンドを\n無視してインポートする"))),
                 0, 0, 1, 2);
    auto* max = make(ctl::ImportSourceMax, numericField(new QLineEdit));
    g->addWidget(label(tr("外部MMLの仕様音量最大"), max), 1, 0);
    g->addWidget(max, 1, 1);
    g->addWidget(make(ctl::ImportDivide, new QCheckBox(tr("音量を有効バンク数で割る"))), 2, 0, 1, 2);
    g->addWidget(make(ctl::Import, new QPushButton(tr("インポート"))), 3, 1);
    g->setRowStretch(4, 1);
    row->addLayout(g);

    auto* about = new QGroupBox(tr("説明"));
    auto* al = new QVBoxLayout(about);
    auto* text = new QLabel(tr(
        "クリップボードにあるMMLをインポートします。\n"
        "文字列先頭にMML@があったり、最後にセミコロンがあっても無視します。\n"
        "本ソフトウェアの仕様上、Tコマンドはバンク独立しますので、先頭にあった場合は共通コマンドへインポートしその差異を吸収します。"));
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setObjectName(QStringLiteral("importExplanation"));
    al->addWidget(text);
    row->addWidget(about, 1);
    return group;
}

void TavolinWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    for (const window::MenuEntry& entry : window::kFileMenu) {
        if (!entry.text) {
            file->addSeparator();
            continue;
        }
        // The text after "\t" names the key; the key itself is bound when the
        // accelerators are loaded.
        const QString full = displayText(entry.text);
        auto* action = file->addAction(full.section(QLatin1Char('\t'), 0, 0));
        action->setObjectName(QStringLiteral("menu%1").arg(static_cast<int>(entry.command)));
        const Command command = entry.command;
        connect(action, &QAction::triggered, this, [this, command] { run(command); });
        m_actions[command] = action;
        if (command == Command::Open) {
            m_recentMenu = file->addMenu(displayText(document::text::kRecentMenu));
            m_recentMenu->setObjectName(QStringLiteral("recentMenu"));
            setRecentFiles({});
            buildExamplesMenu(file);
        }
    }
    buildEditMenu();
    buildPlayMenu();
    buildViewMenu();
    m_helpMenu = menuBar()->addMenu(tr("&Help"));
    buildHelpPages();
    m_helpMenu->addSeparator();
    buildLanguageMenu();
}

void TavolinWindow::buildExamplesMenu(QMenu* file) {
    QMenu* menu = file->addMenu(displayText(window::kExamplesMenu));
    menu->setObjectName(QStringLiteral("examplesMenu"));
    menu->setToolTipsVisible(true);
    for (const window::ExampleSong& song : window::kExamples) {
        QAction* action = menu->addAction(displayText(song.title));
        action->setObjectName(QStringLiteral("example:%1").arg(QLatin1String(song.file)));
        action->setToolTip(displayText(song.about));
        action->setStatusTip(action->toolTip());
        connect(action, &QAction::triggered, this, [this, file = song.file] {
            const std::string path = shippedFile(file, window::findExample, window::exampleFolders, window::kExampleMissing);
            if (!path.empty() && m_services) m_services->openExample(path);
        });
    }
}

void TavolinWindow::buildHelpPages() {
    for (const window::HelpPage& page : window::kHelpPages) {
        if (!page.title) {
            m_helpMenu->addSeparator();
            continue;
        }
        QAction* action = m_helpMenu->addAction(displayText(page.title));
        action->setObjectName(QStringLiteral("help:%1").arg(QLatin1String(page.file)));
        connect(action, &QAction::triggered, this, [this, file = page.file] { openHelpPage(file); });
    }
}

std::string TavolinWindow::shippedFile(const char* file, std::string (*find)(const std::string&, const char*),
                                       std::array<std::string, 2> (*folders)(const std::string&), const char* missing) {
    const std::string programDir = QCoreApplication::applicationDirPath().toStdString();
    std::string path = find(programDir, file);
    if (path.empty()) {
        const auto places = folders(programDir);
        messageBox(document::fillIn(document::fillIn(uiText(missing), "file", file), "places", places[0] + ", " + places[1]),
                   window::kAppName);
    }
    return path;
}

void TavolinWindow::openHelpPage(const char* file) {
    const std::string path = shippedFile(file, window::findHelpPage, window::helpPageFolders, window::kHelpPageMissing);
    if (path.empty()) return;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path))))
        messageBox(document::fillIn(uiText(window::kHelpPageNotOpened), "file", path), window::kAppName);
}

void TavolinWindow::buildLanguageMenu() {
    QMenu* menu = m_helpMenu->addMenu(tr("言語(&L)"));
    menu->setObjectName(QStringLiteral("languageMenu"));
    auto* group = new QActionGroup(menu);
    const std::pair<LanguageChoice, QString> choices[] = {{LanguageChoice::Auto, tr("自動")},
                                                          {LanguageChoice::Japanese, tr("日本語")},
                                                          {LanguageChoice::English, tr("English")}};
    const LanguageChoice stored = storedLanguageChoice();
    for (const auto& [choice, text] : choices) {
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        action->setChecked(choice == stored);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, choice] {
            storeLanguageChoice(choice);
            QMessageBox::information(this, windowTitle(), tr("言語の設定は次回の起動から有効になります。"));
        });
    }
}


void TavolinWindow::addAboutEntry(const std::string& text) {
    // Linux window managers give a window no system menu of its own; the entry
    // lives in the Help menu, behind the separator a system menu would show.
    if (text.empty()) return;
    m_helpMenu->addSeparator();
    auto* action = m_helpMenu->addAction(QString::fromStdString(text));
    action->setObjectName(QStringLiteral("aboutEntry"));
    action->setMenuRole(QAction::AboutRole);
    connect(action, &QAction::triggered, this, [this] { m_model->onSystemCommand(window::kAboutCommandId); });
    m_actions[Command::About] = action;
}

void TavolinWindow::installAccelerators() { applyKeys(); }

QAction* TavolinWindow::keyAction(const window::KeyCommand& command) {
    // Commands the model runs, by the name the key table gives them.
    static const std::pair<const char*, Command> kRun[] = {
        {"play", Command::Play}, {"stop", Command::Stop}, {"loopPassage", Command::LoopPassage}, {"new", Command::New},
        {"open", Command::Open}, {"save", Command::Save}, {"saveAs", Command::SaveAs}, {"export", Command::WavExport},
        {"midiExport", Command::MidiExport}, {"midiImport", Command::MidiImport}, {"exit", Command::Exit},
    };
    for (const auto& [id, run] : kRun) {
        if (std::string_view(command.id) != id) continue;
        QAction* action = commandAction(run);
        if (!action) {
            // No menu entry (Export WAV is a button): an action of the window's own.
            action = new QAction(this);
            const Command c = run;
            connect(action, &QAction::triggered, this, [this, c] { this->run(c); });
            addAction(action);
            m_actions[run] = action;
        }
        return action;
    }
    // The Edit and Help menus' entries, by their object names.
    static const std::pair<const char*, const char*> kNamed[] = {
        {"undo", "editUndo"}, {"redo", "editRedo"}, {"cut", "editCut"}, {"copy", "editCopy"}, {"paste", "editPaste"},
        {"selectAll", "editSelectAll"}, {"find", "editFind"}, {"findNext", "editFindNext"},
        {"findPrevious", "editFindPrevious"}, {"reference", "help:reference"}, {"firstSteps", "help:firstSteps"},
        {"zoomIn", "zoomIn"}, {"zoomOut", "zoomOut"}, {"zoomReset", "zoomReset"}, {"speakCaret", "speakCaret"},
        {"speakPlayhead", "speakPlayhead"},
    };
    for (const auto& [id, name] : kNamed)
        if (std::string_view(command.id) == id) return findChild<QAction*>(QString::fromLatin1(name));
    return nullptr;
}

void TavolinWindow::applyKeys() {
    // The loop button's tooltip ends with its key, the user's.
    if (auto* loop = qobject_cast<QPushButton*>(control(ctl::LoopPassage))) {
        const QString keys = QString::fromStdString(m_keys.keysOf("loopPassage"));
        QString tip = tr("選択範囲をループ再生: 選択範囲（またはピアノロールの目盛りをドラッグした範囲）を繰り返し再生します (Ctrl+L)");
        tip.replace(QRegularExpression(QStringLiteral(" ?\\([^()]*\\)$")), keys.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(keys));
        loop->setToolTip(tip);
    }
    for (const window::KeyCommand& c : m_keys.commands()) {
        if (!m_keys.has(c)) continue;
        QAction* action = keyAction(c);
        if (!action) continue;  // not built yet: bound when it is
        QList<QKeySequence> keys;
        for (const std::string& k : m_keys.allKeysOf(c.id)) keys << QKeySequence::fromString(QString::fromStdString(k), QKeySequence::PortableText);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
    }
}

void TavolinWindow::editKeys() {
    const auto chosen = KeysDialog::ask(m_keys, this);
    if (!chosen) return;
    m_keys = *chosen;
    applyKeys();
    if (m_settings) QSettings().setValue(QStringLiteral("keys"), QString::fromStdString(m_keys.save()));
}

}  // namespace tavolin::qt
