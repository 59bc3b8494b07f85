// Builds the main window's widgets and turns their signals into model commands.
#include "app/qt/TavolinWindow.h"

#include <cstdint>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTabBar>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/qt/BankScopes.h"
#include "app/qt/CAboutDlg.h"
#include "app/qt/CEditEx.h"
#include "app/qt/DisplayLines.h"
#include "app/qt/ExportDialog.h"
#include "app/qt/Language.h"
#include "app/qt/MmlHighlighter.h"
#include "app/qt/PianoRollView.h"
#include "app/qt/Resources.h"
#include "editor/CaretMapping.h"
#include "editor/EnvelopeHelper.h"
#include "editor/UserTexts.h"

namespace tavolin::qt {

using editor::Command;
namespace ctl = editor::ctl;

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

// "label|pattern|label|pattern||" -> Qt's "label (pattern);;..." form.
QString qtFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        const QString pattern = parts[i + 1];
        // A label that already ends with "(pattern)" is shown as it is.
        entries << (parts[i].endsWith(QLatin1Char('(') + pattern + QLatin1Char(')'))
                        ? parts[i]
                        : parts[i] + QStringLiteral(" (") + pattern + QLatin1Char(')'));
    }
    return entries.join(QStringLiteral(";;"));
}

// The mark on a tab whose text holds the live check's error: a small red dot.
QIcon errorMark() {
    QPixmap dot(12, 12);
    dot.fill(Qt::transparent);
    QPainter p(&dot);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd0, 0x30, 0x28));
    p.drawEllipse(QRectF(2, 2, 8, 8));
    return QIcon(dot);
}

}  // namespace

template <typename W>
W* TavolinWindow::make(int id, W* widget) {
    widget->setObjectName(QStringLiteral("ctl%1").arg(id));
    m_controls[id] = widget;
    return widget;
}

template <typename W>
W* TavolinWindow::as(int id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : qobject_cast<W*>(it->second);
}

TavolinWindow::TavolinWindow(QWidget* parent) : QMainWindow(parent) {
    buildControls();
    buildMenus();
    m_live = std::make_unique<editor::LiveEditor>();
    m_liveTimer = new QTimer(this);
    m_liveTimer->setSingleShot(true);
    connect(m_liveTimer, &QTimer::timeout, this, &TavolinWindow::pollLive);
    m_playTimer = new QTimer(this);
    m_playTimer->setInterval(25);  // within the 50 ms the eye forgives
    connect(m_playTimer, &QTimer::timeout, this, &TavolinWindow::showPlaying);
    m_model = std::make_unique<editor::CTavolinDlg>(*this);
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
}

TavolinWindow::~TavolinWindow() {
    // The model stops playback first, while the services are still there.
    m_model.reset();
    m_services.reset();
}

void TavolinWindow::setServices(std::unique_ptr<editor::WindowServices> services) {
    m_model->setServices(services.get());
    m_services = std::move(services);
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
    if (command == Command::Test) {  // a phrase, not the document's text
        m_playTimer->stop();
        m_live->playStopped();
    }
    if (command == Command::Play) startPlayWatch();
    if (command == Command::Play || command == Command::Test || command == Command::Stop) showPlaying();
    // ---- bank scopes: they follow every stream that plays, and show which banks are heard
    if (m_scopes && (command == Command::Play || command == Command::Test) && m_services && m_services->streaming())
        m_scopes->start();
    if (m_scopes && (command == Command::MuteBank || command == Command::SoloBank))
        m_scopes->setAudible(m_model->bankMix().audible());
    // ---- piano roll: lanes of banks left out of the mix are dimmed
    if (m_roll) m_roll->setAudible(m_model->bankMix().audible());
}

void TavolinWindow::startPlayWatch() {
    if (!m_services || !m_services->streaming()) return;
    // Play from the cursor starts at the note under or after the caret.
    m_playStart = 0;
    if (isChecked(ctl::StartFromCursor) && m_shownTab > 0)
        m_playStart = m_live->caretFrame(m_shownTab, m_model->tabTexts[static_cast<size_t>(m_shownTab)],
                                         static_cast<size_t>(m_editor->textPosition(m_editor->textCursor().position())))
                          .value_or(0);
    m_playLoop = isChecked(ctl::Loop);
    m_live->playStarted();
    m_playTimer->start();
}

void TavolinWindow::showPlaying() {
    const bool streaming = m_services && m_services->streaming();
    const auto heard = streaming && m_playTimer->isActive() ? m_services->heardFrame() : std::nullopt;
    if (!streaming && m_playTimer->isActive()) {
        m_playTimer->stop();
        m_live->playStopped();
    }
    if (!heard || !m_live->litMap()) {
        m_editor->setPlayingRanges({});
        if (m_roll) m_roll->setPlayhead(std::nullopt);
        return;
    }
    uint64_t frame = m_playStart + *heard;
    const uint64_t length = m_live->litMap()->timeline.frames;
    if (m_playLoop && length > 0) frame %= length;
    if (m_roll) m_roll->setPlayhead(frame);
    std::vector<CEditEx::Range> ranges;
    const size_t tab = static_cast<size_t>(m_shownTab);
    for (const editor::EditorRange& r : m_live->playingRanges(m_shownTab, m_model->tabTexts[tab], frame))
        ranges.emplace_back(static_cast<int>(r.start), static_cast<int>(r.end));
    m_editor->setPlayingRanges(std::move(ranges));
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
    m_splitter->addWidget(helpers);
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
    m_caretStatus = new QLabel;
    m_caretStatus->setObjectName(QStringLiteral("caretStatus"));
    statusBar()->addPermanentWidget(m_caretStatus);

    m_autosaveIdle = new QTimer(this);
    m_autosaveMax = new QTimer(this);
    for (QTimer* t : {m_autosaveIdle, m_autosaveMax}) {
        t->setSingleShot(true);
        connect(t, &QTimer::timeout, this, &TavolinWindow::autosaveTimeout);
    }
    // The status bar below takes its line; the tab strip must never be squeezed away.
    setMinimumSize(1080, 630);
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
    m_editor->setFont(mono);
    const bool dark = isDarkPalette(m_editor->palette());
    for (TabView& tv : m_tabViews) {
        tv.document = new QTextDocument(this);
        tv.document->setDocumentLayout(new QPlainTextDocumentLayout(tv.document));
        tv.document->setDefaultFont(mono);
        tv.lines = new DisplayLines(tv.document);
        tv.highlighter = new MmlHighlighter(tv.document, dark);
    }
    m_editor->setDocument(m_tabViews[0].document);
    v->addWidget(m_editor, 1);

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
    for (int i = 0; i < editor::kEnvelopeTemplateCount; ++i) {
        auto* b = make(ctl::Template0 + i,
                       new QPushButton(displayText(editor::kEnvelopeTemplates[static_cast<size_t>(i)].caption)));
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
    for (const editor::MenuEntry& entry : editor::kFileMenu) {
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
            m_recentMenu = file->addMenu(displayText(editor::text::kRecentMenu));
            m_recentMenu->setObjectName(QStringLiteral("recentMenu"));
            setRecentFiles({});
        }
    }
    m_helpMenu = menuBar()->addMenu(tr("&Help"));
    buildLanguageMenu();
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

void TavolinWindow::connectSignals() {
    for (const editor::ButtonBinding& b : editor::kButtonBindings) {
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

// ---- editor::WindowView --------------------------------------------------------

namespace {

// A message box sizes itself to its text; a short text under a long caption would
// clip the caption in the title bar ("Tav…pp"). Widen the text to the caption plus
// room for the title bar's icon and buttons; a long text wraps at its spaces.
void fitCaption(QMessageBox& box) {
    const int titleWidth = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 160;
    box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { min-width: %1px; }").arg(std::max(360, titleWidth)));
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
}

}  // namespace

void TavolinWindow::messageBox(const std::string& text, const std::string& captionText) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(captionText), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    // Wide enough for a file name and its reason, and for the caption not to be clipped.
    fitCaption(box);
    box.exec();
}

editor::PromptAnswer TavolinWindow::askYesNoCancel(const std::string& text, const std::string& captionText) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(captionText), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    fitCaption(box);
    switch (box.exec()) {
    case QMessageBox::Yes: return editor::PromptAnswer::Yes;
    case QMessageBox::No: return editor::PromptAnswer::No;
    default: return editor::PromptAnswer::Cancel;
    }
}

std::optional<std::string> TavolinWindow::fileDialog(const editor::FileDialogRequest& request) {
    QFileDialog dialog(this);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(qtFilter(request.filter));
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    dialog.selectFile(QString::fromStdString(request.initialName));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> TavolinWindow::clipboardText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return std::nullopt;
    return data->text().toStdString();
}

editor::RecoveryChoice TavolinWindow::askRecovery(const editor::RecoveryOffer& offer) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(offer.title), QString::fromStdString(offer.text),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("recoveryDialog"));
    fitCaption(box);
    QPushButton* restore = box.addButton(QString::fromStdString(offer.restoreLabel), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QString::fromStdString(offer.discardLabel), QMessageBox::DestructiveRole);
    QPushButton* later = box.addButton(QString::fromStdString(offer.laterLabel), QMessageBox::RejectRole);
    restore->setObjectName(QStringLiteral("recoveryRestore"));
    discard->setObjectName(QStringLiteral("recoveryDiscard"));
    later->setObjectName(QStringLiteral("recoveryLater"));
    box.setDefaultButton(restore);
    box.setEscapeButton(later);
    box.exec();
    if (box.clickedButton() == restore) return editor::RecoveryChoice::Restore;
    if (box.clickedButton() == discard) return editor::RecoveryChoice::Discard;
    return editor::RecoveryChoice::Later;
}

void TavolinWindow::showAbout() {
    CAboutDlg about(this);
    about.exec();
}

std::string TavolinWindow::editorText() const { return m_editor->text().toStdString(); }

void TavolinWindow::setEditorText(const std::string& text) {
    m_programChange = true;
    // A tab whose text the program replaced (a file loaded, the tabs cleared, an
    // import) starts a fresh history; a tab that kept its text keeps its history.
    if (m_model) {
        for (int i = 0; i < editor::kTabCount; ++i) {
            DisplayLines* lines = m_tabViews[static_cast<size_t>(i)].lines;
            const std::string wanted = editor::bytesToEditorText(m_model->tabTexts[static_cast<size_t>(i)]);
            if (lines->text().toStdString() != wanted) lines->setText(QString::fromStdString(wanted));
        }
    }
    showTabDocument(std::clamp(m_tabs->currentIndex(), 0, editor::kTabCount - 1));
    const QString wanted = QString::fromStdString(text);
    if (m_editor->text() != wanted) m_editor->lines()->setText(wanted);
    m_programChange = false;
    liveChanged();
}

void TavolinWindow::showTabDocument(int tab) {
    TabView& next = m_tabViews[static_cast<size_t>(tab)];
    if (m_editor->document() == next.document) return;
    TabView& shown = m_tabViews[static_cast<size_t>(m_shownTab)];
    const QTextCursor c = m_editor->textCursor();
    shown.anchor = c.anchor();
    shown.position = c.position();
    shown.hScroll = m_editor->horizontalScrollBar()->value();
    shown.vScroll = m_editor->verticalScrollBar()->value();
    m_editor->setErrorRange(std::nullopt);
    m_editor->setPlayingRanges({});
    m_editor->setDocument(next.document);
    m_shownTab = tab;
    QTextCursor restored(next.document);
    const int last = next.document->characterCount() - 1;
    restored.setPosition(std::min(next.anchor, last));
    restored.setPosition(std::min(next.position, last), QTextCursor::KeepAnchor);
    m_editor->setTextCursor(restored);
    m_editor->horizontalScrollBar()->setValue(next.hScroll);
    m_editor->verticalScrollBar()->setValue(next.vScroll);
    showColumnsColoured();
    showLive();
}

void TavolinWindow::showColumnsColoured() {
    const int advance = std::max(1, m_editor->fontMetrics().horizontalAdvance(QLatin1Char('M')));
    const int first = m_editor->horizontalScrollBar()->value() / advance;
    m_tabViews[static_cast<size_t>(m_shownTab)].highlighter->showColumns(first, first + m_editor->viewport()->width() / advance + 1);
}

void TavolinWindow::replaceEditorSelection(const std::string& text) {
    // The model stores the text itself after the insertion; it is one undo step.
    m_programChange = true;
    // An edit block of its own: not merged with the typing before it.
    QTextCursor c = m_editor->textCursor();
    c.beginEditBlock();
    DisplayLines::insertText(c, QString::fromStdString(text));
    c.endEditBlock();
    m_editor->setTextCursor(c);
    m_programChange = false;
    m_editor->ensureCursorVisible();
    liveChanged();
}

// ---- live check ----------------------------------------------------------------

void TavolinWindow::liveChanged() {
    // Taken on the next turn of the event loop, once the model holds the change.
    m_liveDirty = true;
    m_liveTimer->start(0);
}

void TavolinWindow::pollLive() {
    if (!m_live || !m_model) return;
    using Clock = editor::LiveCheck::Clock;
    if (m_liveDirty) {
        m_liveDirty = false;
        if (const auto snapshot = m_model->snapshot(false)) {
            m_live->changed(*snapshot, Clock::now());
            m_liveWaiting = true;
        }
    }
    std::optional<Clock::time_point> next;
    const Clock::time_point now = Clock::now();
    if (m_live->poll(now, &next)) {
        m_liveWaiting = false;
        showLive();
    }
    // Idle once the result is in: no timer runs.
    if (next) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(*next - now).count();
        m_liveTimer->start(static_cast<int>(std::max<int64_t>(1, wait)));
    } else if (m_liveWaiting) {
        m_liveTimer->start(20);
    }
}

void TavolinWindow::showLive() {
    if (!m_live) return;
    const auto& error = m_live->error();
    static const QIcon mark = errorMark();
    for (int i = 0; i < m_tabs->count(); ++i) m_tabs->setTabIcon(i, m_live->tabHasError(i) ? mark : QIcon());
    if (error) {
        m_errorStatus->setText(QString::fromStdString(m_live->errorText()));
        m_errorStatus->show();
    } else {
        m_errorStatus->hide();
    }
    if (error && error->tab == m_shownTab)
        m_editor->setErrorRange(CEditEx::Range{static_cast<int>(error->underlineStart), static_cast<int>(error->underlineEnd)});
    else
        m_editor->setErrorRange(std::nullopt);
    if (m_roll) m_roll->setSong(m_live->sharedMap());
    updateCaretStatus();
}

void TavolinWindow::updateCaretStatus() {
    if (!m_live || !m_model) return;
    const size_t tab = static_cast<size_t>(m_shownTab);
    m_caretStatus->setText(QString::fromStdString(
        m_live->caretStatus(m_shownTab, m_model->tabTexts[tab],
                            static_cast<size_t>(m_editor->textPosition(m_editor->textCursor().position())))));
    showRollCaret();
}

void TavolinWindow::jumpToLiveError() {
    const auto error = m_live ? m_live->error() : std::nullopt;
    if (!error || error->tab < 0 || !m_model) return;
    m_model->selectTab(error->tab);
    selectEditorRange(error->underlineStart, error->underlineEnd);
}

editor::EditorSelection TavolinWindow::editorSelection() const {
    const QTextCursor c = m_editor->textCursor();
    return {static_cast<size_t>(m_editor->textPosition(c.selectionStart())),
            static_cast<size_t>(m_editor->textPosition(c.selectionEnd()))};
}

void TavolinWindow::selectEditorRange(size_t start, size_t end) {
    QTextCursor c = m_editor->textCursor();
    const int last = m_editor->document()->characterCount() - 1;
    const auto at = [&](size_t pos) {
        return std::min(m_editor->documentPosition(static_cast<int>(std::min<size_t>(pos, INT32_MAX))), last);
    };
    c.setPosition(at(start));
    c.setPosition(at(end), QTextCursor::KeepAnchor);
    m_editor->setTextCursor(c);
    m_editor->ensureCursorVisible();
    m_editor->setFocus(Qt::OtherFocusReason);
}

std::string TavolinWindow::controlText(int id) const {
    QWidget* w = control(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
    if (id == ctl::Editor) return editorText();
    return {};
}

void TavolinWindow::setControlText(int id, const std::string& text) {
    QWidget* w = control(id);
    const QSignalBlocker block(w);
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(QString::fromStdString(text));
    else if (auto* c = qobject_cast<QComboBox*>(w); c && c->isEditable()) c->setEditText(QString::fromStdString(text));
    else if (auto* c2 = qobject_cast<QComboBox*>(w)) c2->setCurrentIndex(c2->findText(QString::fromStdString(text)));
}

void TavolinWindow::setItems(int id, const std::vector<std::string>& items) {
    QWidget* w = control(id);
    const QSignalBlocker block(w);
    QStringList list;
    for (const auto& s : items) list << QString::fromStdString(s);
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        c->clear();
        c->addItems(list);
    } else if (auto* l = qobject_cast<QListWidget*>(w)) {
        l->clear();
        l->addItems(list);
    } else if (auto* t = qobject_cast<QTabBar*>(w)) {
        while (t->count() > 0) t->removeTab(0);
        for (const QString& s : list) t->addTab(s);
        // A hidden tab bar does not report its new size by itself; the layout would
        // keep the empty strip's zero height.
        t->updateGeometry();
    }
}

int TavolinWindow::currentIndex(int id) const {
    QWidget* w = control(id);
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentIndex();
    if (auto* l = qobject_cast<QListWidget*>(w)) return l->selectedItems().isEmpty() ? -1 : l->currentRow();
    if (auto* t = qobject_cast<QTabBar*>(w)) return t->currentIndex();
    return -1;
}

void TavolinWindow::setCurrentIndex(int id, int index) {
    QWidget* w = control(id);
    const QSignalBlocker block(w);
    if (auto* c = qobject_cast<QComboBox*>(w)) c->setCurrentIndex(index);
    else if (auto* l = qobject_cast<QListWidget*>(w)) {
        l->setCurrentRow(index);
        if (index < 0) l->clearSelection();
    } else if (auto* t = qobject_cast<QTabBar*>(w)) t->setCurrentIndex(index);
}

bool TavolinWindow::isChecked(int id) const {
    auto* b = qobject_cast<QAbstractButton*>(control(id));
    return b && b->isChecked();
}

void TavolinWindow::setChecked(int id, bool checked) {
    if (auto* b = qobject_cast<QAbstractButton*>(control(id))) {
        const QSignalBlocker block(b);
        b->setChecked(checked);
    }
}

void TavolinWindow::setTitle(const std::string& title) { setWindowTitle(QString::fromStdString(title)); }

void TavolinWindow::setIcon() { setWindowIcon(applicationIcon()); }

void TavolinWindow::addAboutEntry(const std::string& text) {
    // Linux window managers give a window no system menu of its own; the entry
    // lives in the Help menu, behind the separator a system menu would show.
    if (text.empty()) return;
    m_helpMenu->addSeparator();
    auto* action = m_helpMenu->addAction(QString::fromStdString(text));
    action->setObjectName(QStringLiteral("aboutEntry"));
    action->setMenuRole(QAction::AboutRole);
    connect(action, &QAction::triggered, this, [this] { m_model->onSystemCommand(editor::kAboutCommandId); });
    m_actions[Command::About] = action;
}

void TavolinWindow::installAccelerators() {
    for (const editor::Accelerator& a : editor::kAccelerators) {
        QAction* action = commandAction(a.command);
        if (!action) {
            action = new QAction(this);
            const Command command = a.command;
            connect(action, &QAction::triggered, this, [this, command] { run(command); });
            addAction(action);
            m_actions[a.command] = action;
        }
        action->setShortcut(QKeySequence(QString::fromLatin1(a.keys)));
        action->setShortcutContext(Qt::WindowShortcut);
    }
}

void TavolinWindow::showStatus(const std::string& text) {
    statusBar()->showMessage(QString::fromStdString(text), 10000);
}

void TavolinWindow::setRecentFiles(const std::vector<std::string>& paths) {
    m_recentMenu->clear();
    for (size_t i = 0; i < paths.size(); ++i) {
        // "&1 /path/song.mml": the digit is the menu's mnemonic; "&" in a path is doubled.
        QString path = QString::fromStdString(paths[i]);
        path.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* action = m_recentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(path));
        const int index = static_cast<int>(i);
        connect(action, &QAction::triggered, this, [this, index] { run(Command::OpenRecent, index); });
    }
    if (paths.empty()) m_recentMenu->addAction(displayText(editor::text::kRecentEmpty))->setEnabled(false);
    if (m_settings) {
        QStringList list;
        for (const auto& p : paths) list << QString::fromStdString(p);
        QSettings().setValue(QStringLiteral("recentFiles"), list);
    }
}

void TavolinWindow::scheduleAutosave(int idleMs, int maxMs) {
    m_autosaveIdle->start(idleMs);
    if (!m_autosaveMax->isActive()) m_autosaveMax->start(maxMs);
}

void TavolinWindow::autosaveTimeout() {
    m_autosaveIdle->stop();
    m_autosaveMax->stop();
    run(Command::Autosave);
}

void TavolinWindow::useSettings() {
    m_settings = true;
    QSettings settings;
    if (const QByteArray g = settings.value(QStringLiteral("window/geometry")).toByteArray(); !g.isEmpty())
        restoreGeometry(g);
    if (const QByteArray sp = settings.value(QStringLiteral("window/splitter")).toByteArray(); !sp.isEmpty())
        m_splitter->restoreState(sp);
    std::vector<std::string> recent;
    for (const QString& p : settings.value(QStringLiteral("recentFiles")).toStringList()) recent.push_back(p.toStdString());
    m_model->setRecentFiles(recent);
}

void TavolinWindow::saveSettings() {
    if (!m_settings) return;
    QSettings settings;
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/splitter"), m_splitter->saveState());
}

void TavolinWindow::closeWindow() {
    m_closeApproved = true;
    close();
}

bool TavolinWindow::reportProgress(const std::string& text, double fraction) {
    if (!m_progress) {
        m_progress = new QProgressDialog(this);
        m_progress->setWindowTitle(QString::fromUtf8(editor::kAppName));
        m_progress->setCancelButtonText(tr("キャンセル"));
        m_progress->setWindowModality(Qt::WindowModal);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        m_progress->setMinimumDuration(0);
        m_progress->hide();
        m_progressClock.start();
    }
    if (fraction < 0) {
        m_progress->setRange(0, 0);  // the song's length is not known ahead
    } else {
        m_progress->setRange(0, 1000);
        m_progress->setValue(static_cast<int>(fraction * 1000));
    }
    m_progress->setLabelText(QString::fromStdString(text));
    // Short exports finish without a dialog flashing up.
    if (!m_progress->isVisible() && m_progressClock.elapsed() >= 300) m_progress->show();
    QApplication::processEvents();
    return !m_progress->wasCanceled();
}

void TavolinWindow::endProgress() {
    delete m_progress;
    m_progress = nullptr;
}

std::optional<editor::ExportChoice> TavolinWindow::askExportChoice(const editor::ExportChoice& initial, BankMask audible) {
    return ExportDialog::ask(initial, audible, this);
}

void TavolinWindow::setBusy(bool busy) { setBusyCursor(busy); }

void TavolinWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::PaletteChange || !m_editor) return;
    // The window's palette is the new one already; its children follow after it.
    const bool dark = isDarkPalette(palette());
    for (TabView& tv : m_tabViews) tv.highlighter->setDark(dark);
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
