// SPDX-License-Identifier: MIT
// The main window's Edit menu (undo, redo, clipboard, select all, find) and the find bar over
// the current tab.
#include <functional>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

#include "app/qt/CEditEx.h"
#include "app/qt/TavolinWindow.h"
#include "window/TextFind.h"

namespace tavolin::qt {

void TavolinWindow::buildEditMenu() {
    QMenu* edit = menuBar()->addMenu(tr("編集(&E)"));
    edit->setObjectName(QStringLiteral("editMenu"));
    // Each entry works on the text field that has the focus (the test phrase,
    // a number field), else on the editor.
    const auto onFocusedText = [this](auto op) {
        return [this, op] {
            QWidget* focused = QApplication::focusWidget();
            if (auto* combo = qobject_cast<QComboBox*>(focused)) focused = combo->lineEdit();
            if (auto* line = qobject_cast<QLineEdit*>(focused))
                op(*line);
            else
                op(*m_editor);
        };
    };
    struct Entry {
        QString text;
        QList<QKeySequence> keys;
        std::function<void()> run;
        const char* name;
    };
    const Entry entries[] = {
        {tr("元に戻す(&U)"), {QKeySequence(Qt::CTRL | Qt::Key_Z)}, onFocusedText([](auto& w) { w.undo(); }), "editUndo"},
        // Ctrl+Y first: the key most people reach for; Ctrl+Shift+Z works as well.
        {tr("やり直し(&R)"), {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
         onFocusedText([](auto& w) { w.redo(); }), "editRedo"},
        {{}, {}, {}, nullptr},
        {tr("切り取り(&T)"), {QKeySequence(Qt::CTRL | Qt::Key_X)}, onFocusedText([](auto& w) { w.cut(); }), "editCut"},
        {tr("コピー(&C)"), {QKeySequence(Qt::CTRL | Qt::Key_C)}, onFocusedText([](auto& w) { w.copy(); }), "editCopy"},
        {tr("貼り付け(&P)"), {QKeySequence(Qt::CTRL | Qt::Key_V)}, onFocusedText([](auto& w) { w.paste(); }), "editPaste"},
        {{}, {}, {}, nullptr},
        {tr("すべて選択(&A)"), {QKeySequence(Qt::CTRL | Qt::Key_A)}, onFocusedText([](auto& w) { w.selectAll(); }),
         "editSelectAll"},
        {{}, {}, {}, nullptr},
        {tr("検索(&F)..."), {QKeySequence(Qt::CTRL | Qt::Key_F)}, [this] { showFindBar(); }, "editFind"},
        {tr("次を検索(&N)"), {QKeySequence(Qt::Key_F3)}, [this] { findInTab(false); }, "editFindNext"},
        {tr("前を検索(&V)"), {QKeySequence(Qt::SHIFT | Qt::Key_F3)}, [this] { findInTab(true); }, "editFindPrevious"},
    };
    for (const Entry& e : entries) {
        if (!e.name) {
            edit->addSeparator();
            continue;
        }
        QAction* action = edit->addAction(e.text);
        action->setObjectName(QString::fromLatin1(e.name));
        action->setShortcuts(e.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, e.run);
    }
    edit->addSeparator();
    QAction* keys = edit->addAction(tr("キー設定(&K)..."));
    keys->setObjectName(QStringLiteral("editKeys"));
    connect(keys, &QAction::triggered, this, &TavolinWindow::editKeys);
}

QWidget* TavolinWindow::buildFindBar() {
    m_findBar = new QWidget;
    m_findBar->setObjectName(QStringLiteral("findBar"));
    auto* h = new QHBoxLayout(m_findBar);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(new QLabel(tr("検索:")));
    m_findField = new QLineEdit;
    m_findField->setObjectName(QStringLiteral("findField"));
    m_findField->installEventFilter(this);
    h->addWidget(m_findField, 1);
    const auto button = [&](const QString& text, const char* name) {
        auto* b = new QToolButton;
        b->setText(text);
        b->setObjectName(QString::fromLatin1(name));
        h->addWidget(b);
        return b;
    };
    connect(button(tr("前へ"), "findPrevious"), &QToolButton::clicked, this, [this] { findInTab(true, false); });
    connect(button(tr("次へ"), "findNext"), &QToolButton::clicked, this, [this] { findInTab(false, false); });
    m_findStatus = new QLabel;
    m_findStatus->setObjectName(QStringLiteral("findStatus"));
    h->addWidget(m_findStatus);
    connect(button(QStringLiteral("×"), "findClose"), &QToolButton::clicked, this, [this] { hideFindBar(); });
    // Typing searches from where the caret is, so the first match shows at once.
    connect(m_findField, &QLineEdit::textEdited, this, [this] {
        QTextCursor c = m_editor->textCursor();
        c.setPosition(c.selectionStart());
        m_editor->setTextCursor(c);
        findInTab(false, false);
    });
    m_findBar->hide();
    return m_findBar;
}

void TavolinWindow::showFindBar() {
    const QString selected = m_editor->textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator)) m_findField->setText(selected);
    m_findStatus->clear();
    m_findBar->show();
    m_findField->setFocus(Qt::ShortcutFocusReason);
    m_findField->selectAll();
}

void TavolinWindow::hideFindBar() {
    m_findBar->hide();
    m_editor->setFocus(Qt::OtherFocusReason);
}

void TavolinWindow::findInTab(bool backward, bool focusEditor) {
    if (m_findBar->isHidden()) {
        showFindBar();
        if (m_findField->text().isEmpty()) return;
    }
    const QString text = m_editor->text();
    const QString needle = m_findField->text();
    const QTextCursor c = m_editor->textCursor();
    const auto found = window::findText(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size()),
                                        std::u16string_view(reinterpret_cast<const char16_t*>(needle.utf16()), needle.size()),
                                        static_cast<size_t>(m_editor->textPosition(c.selectionStart())),
                                        static_cast<size_t>(m_editor->textPosition(c.selectionEnd())), backward);
    m_findStatus->setText(found || needle.isEmpty() ? QString() : tr("見つかりません"));
    if (!found) return;
    selectEditorRange(found->start, found->end);
    // While typing into the field it keeps the focus.
    if (!focusEditor) m_findField->setFocus(Qt::OtherFocusReason);
}

bool TavolinWindow::eventFilter(QObject* watched, QEvent* event) {
    // In the find field Enter finds the next place, Shift+Enter the previous,
    // and Escape closes the bar, not the window (its shortcut elsewhere).
    if (watched == m_findField && (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter || key->key() == Qt::Key_Escape) {
            if (event->type() == QEvent::ShortcutOverride) {
                event->accept();
            } else if (enter) {
                findInTab((key->modifiers() & Qt::ShiftModifier) != 0, false);
            } else {
                hideFindBar();
            }
            return true;
        }
    }
    // The reference or the first steps closed by their title bar: Help's entry is unchecked with them.
    if (m_referenceToggle && watched->objectName() == QLatin1String("referenceWindow") && event->type() == QEvent::Hide)
        m_referenceToggle->setChecked(false);
    if (m_firstStepsToggle && watched->objectName() == QLatin1String("firstStepsWindow") && event->type() == QEvent::Hide)
        m_firstStepsToggle->setChecked(false);
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace tavolin::qt
