// SPDX-License-Identifier: MIT
// Everyone's window: the names a screen reader reads for each control, the spoken caret and
// playhead (F8, Shift+F8) and the live check's error, the View menu with the themes and the
// editor's zoom, and the keys between the tabs.
#include <algorithm>
#include <functional>

#include <QAccessible>
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QTextDocument>
#include <QToolButton>

#include "app/qt/BankScopes.h"
#include "app/qt/CEditEx.h"
#include "app/qt/Language.h"
#include "app/qt/PianoRollView.h"
#include "app/qt/TavolinWindow.h"
#include "app/qt/Theme.h"
#include "document/CaretMapping.h"
#include "window/Speech.h"

namespace tavolin::qt {

namespace ctl = window::ctl;

void TavolinWindow::nameControls() {
    // Controls without a label of their own (a label's buddy takes the label's text).
    const struct {
        QWidget* widget;
        QString name;
        QString description;
    } named[] = {
        {control(ctl::Arithmetic), tr("演算の種類"), tr("合成エンジンの数値の型: Fix、Float、Double")},
        {control(ctl::SampleRate), tr("サンプリング周波数"), tr("出力のサンプリング周波数 (Hz)")},
        {m_tabs, tr("タブ"), tr("共通とバンクA～Eのタブ。Ctrl+Tab で次、Ctrl+Shift+Tab で前、Alt+0～Alt+5 で直接選びます")},
        {m_editor, tr("MMLエディタ"), tr("選んだタブのMML。F8 でカーソル位置の小節・拍と音符を読み上げ、F1 でコマンドの説明")},
        {as<QComboBox>(ctl::DutyCombo) ? as<QComboBox>(ctl::DutyCombo)->lineEdit() : nullptr, tr("Duty比"), {}},
        {control(ctl::DutyList), tr("Duty比の一覧"), tr("Add で加えたDuty比。Del で選んだものを消します")},
        {findChild<QScrollArea*>(QStringLiteral("helperScroll")), tr("補助ツール"), tr("音色定義、エンベロープ、外部MMLインポート")},
        {m_caretStatus, tr("カーソル位置"), tr("行:列、カーソルの音符の時刻と曲の長さ")},
        {m_roll, tr("ピアノロール"), tr("バンクごとの色で音符を表示します。クリックで音符のMMLを選択")},
        {m_scopes, tr("バンク別の波形とレベル"), tr("バンクごとの波形とレベルメーター")},
        {m_speech, tr("読み上げ"), tr("F8 と Shift+F8 で読み上げた内容")},
    };
    for (const auto& n : named) {
        if (!n.widget) continue;
        n.widget->setAccessibleName(n.name);
        if (!n.description.isEmpty()) n.widget->setAccessibleDescription(n.description);
    }
    if (m_roll) m_roll->canvas()->setAccessibleName(tr("ピアノロール"));
    // The toggles show a letter; the name says what they do to which bank.
    for (int b = 0; b < kBankCount; ++b) {
        const QString letter(QChar(u'A' + b));
        if (QWidget* mute = control(ctl::MuteA + b)) mute->setAccessibleName(tr("バンク%1をミュート").arg(letter));
        if (QWidget* solo = control(ctl::SoloA + b)) solo->setAccessibleName(tr("バンク%1をソロ").arg(letter));
    }
    m_errorStatus->setAccessibleDescription(tr("押すとエラーの場所へ移動します"));
}

void TavolinWindow::buildViewMenu() {
    QMenu* view = menuBar()->addMenu(tr("表示(&V)"));
    view->setObjectName(QStringLiteral("viewMenu"));

    QMenu* themes = view->addMenu(tr("テーマ(&T)"));
    themes->setObjectName(QStringLiteral("themeMenu"));
    auto* group = new QActionGroup(themes);
    for (const window::ThemePalette& p : window::kThemePalettes) {
        QAction* action = themes->addAction(displayText(p.caption));
        action->setObjectName(QStringLiteral("theme:%1").arg(QLatin1String(p.key)));
        action->setCheckable(true);
        action->setChecked(p.theme == currentPalette().theme);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, theme = p.theme] {
            applyTheme(theme);
            if (m_settings) storeTheme(theme);
        });
    }
    view->addSeparator();
    const struct {
        QString text;
        QList<QKeySequence> keys;
        int steps;  // 0: back to 100%
        const char* name;
    } zooms[] = {
        {tr("文字を大きく(&I)"), {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}, 1, "zoomIn"},
        {tr("文字を小さく(&O)"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, -1, "zoomOut"},
        {tr("文字を標準の大きさに(&R)"), {QKeySequence(Qt::CTRL | Qt::Key_0)}, 0, "zoomReset"},
    };
    for (const auto& z : zooms) {
        QAction* action = view->addAction(z.text);
        action->setObjectName(QLatin1String(z.name));
        action->setShortcuts(z.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, steps = z.steps] {
            setEditorZoom(steps == 0 ? 100 : m_zoomPercent + steps * kZoomStep);
        });
    }
    view->addSeparator();
    QAction* caret = view->addAction(tr("カーソル位置を読み上げ"));
    caret->setObjectName(QStringLiteral("speakCaret"));
    caret->setShortcut(QKeySequence(Qt::Key_F8));
    caret->setShortcutContext(Qt::WindowShortcut);
    connect(caret, &QAction::triggered, this, [this] { speakCaret(); });
    QAction* playhead = view->addAction(tr("再生位置を読み上げ"));
    playhead->setObjectName(QStringLiteral("speakPlayhead"));
    playhead->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8));
    playhead->setShortcutContext(Qt::WindowShortcut);
    connect(playhead, &QAction::triggered, this, [this] { speakPlayhead(); });

    // Between the tabs: the next and the previous (round), and each by its own key.
    view->addSeparator();
    QMenu* tabs = view->addMenu(tr("タブ(&B)"));
    tabs->setObjectName(QStringLiteral("tabMenu"));
    const auto addTabAction = [this, tabs](const QString& text, QList<QKeySequence> keys, std::function<int()> target) {
        QAction* action = tabs->addAction(text);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, target] {
            m_tabs->setCurrentIndex(target());
            m_editor->setFocus();
        });
    };
    const int count = static_cast<int>(document::kTabCount);
    addTabAction(tr("次のタブ"), {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)},
                 [this, count] { return (m_tabs->currentIndex() + 1) % count; });
    addTabAction(tr("前のタブ"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::Key_PageUp)},
                 [this, count] { return (m_tabs->currentIndex() + count - 1) % count; });
    for (int t = 0; t < count; ++t)
        addTabAction(t == 0 ? tr("共通") : QString(QChar(u'A' + t - 1)), {QKeySequence(Qt::ALT | (Qt::Key_0 + t))},
                     [t] { return t; });
}

void TavolinWindow::announce(const QString& text) {
    // Qt 6.4 has no announcement event: the live label changes its name and value, which
    // AT-SPI passes on as property changes; the status bar shows it (not as a passing
    // message, which would hide the label from the reader).
    m_speech->setText(text);
    m_speech->setAccessibleName(text);
    QAccessibleEvent name(m_speech, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&name);
    QAccessibleEvent alert(m_speech, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    emit spoken(text);
}

std::optional<TimelineRef> TavolinWindow::caretRef() const {
    const std::string& text = m_model->tabTexts[static_cast<size_t>(m_shownTab)];
    if (m_roll && m_roll->model().song() == m_live->map()) return m_roll->model().highlight();
    if (const output::SongMap* map = m_live->map())
        return window::caretNote(*map, m_shownTab,
                                 document::unitToByteOffset(text, static_cast<size_t>(m_editor->textPosition(
                                                                      m_editor->textCursor().selectionStart()))));
    return std::nullopt;
}

void TavolinWindow::speakCaret() {
    if (!m_live || !m_model) return;
    announce(QString::fromStdString(window::caretSpeech(m_live->map(), m_shownTab, caretRef())));
}

void TavolinWindow::speakPlayhead() {
    const output::SongMap* map = m_live ? m_live->litMap() : nullptr;
    std::shared_ptr<const output::SongMap> playing = m_services ? m_services->playingMap() : nullptr;
    if (playing) map = playing.get();
    const bool streaming = m_services && m_services->streaming();
    announce(QString::fromStdString(
        window::playheadSpeech(map && streaming ? &map->timeline : nullptr, streaming ? m_heardFrames : std::nullopt)));
}

void TavolinWindow::announceLiveError() {
    const QString error = m_live && m_live->error() ? QString::fromStdString(m_live->errorText()) : QString();
    // Once per error: the same error after each keystroke is not read again.
    if (error == m_announcedError) return;
    m_announcedError = error;
    if (!error.isEmpty()) announce(QString(error).replace(QLatin1Char('\n'), QStringLiteral(", ")));
}

void TavolinWindow::setEditorZoom(int percent) {
    m_zoomPercent = std::clamp(percent, kZoomMin, kZoomMax);
    QFont font = m_editorFont;
    font.setPointSizeF(m_editorFont.pointSizeF() * m_zoomPercent / 100.0);
    for (TabView& tv : m_tabViews) tv.document->setDefaultFont(font);
    m_editor->setFont(font);
    if (m_settings) QSettings().setValue(QStringLiteral("editor/zoom"), m_zoomPercent);
    showStatus(tr("文字の大きさ %1%").arg(m_zoomPercent).toStdString());
}

void TavolinWindow::useViewSettings() {
    QSettings settings;
    const std::optional<window::Theme> theme = storedTheme();
    applyTheme(theme ? *theme : window::defaultTheme(desktopPrefersDark()));
    for (QAction* a : findChild<QMenu*>(QStringLiteral("themeMenu"))->actions())
        a->setChecked(a->objectName() == QStringLiteral("theme:%1").arg(QLatin1String(currentPalette().key)));
    if (const int zoom = settings.value(QStringLiteral("editor/zoom"), 100).toInt(); zoom != 100) setEditorZoom(zoom);
}

}  // namespace tavolin::qt
