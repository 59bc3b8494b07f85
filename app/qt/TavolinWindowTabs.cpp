// SPDX-License-Identifier: MIT
// The editor and the six tabs' own documents (history, caret, scroll), swapped into it; the text
// the model reads and writes, in the stored bytes' positions.
#include <algorithm>
#include <cstdint>

#include <QScrollBar>
#include <QTabBar>
#include <QTextCursor>
#include <QTextDocument>

#include "app/qt/CEditEx.h"
#include "app/qt/DisplayLines.h"
#include "app/qt/MmlHighlighter.h"
#include "app/qt/TavolinWindow.h"
#include "document/CaretMapping.h"

namespace tavolin::qt {

using window::Command;
namespace ctl = window::ctl;

namespace {

// Undoes and redoes nothing; ends an undo step so that no typing joins it.
class UndoStepEnd : public QAbstractUndoItem {
public:
    void undo() override {}
    void redo() override {}
};

}  // namespace

std::string TavolinWindow::editorText() const { return m_editor->text().toStdString(); }

void TavolinWindow::setEditorText(const std::string& text) {
    m_programChange = true;
    // A tab whose text the program replaced (a file loaded, the tabs cleared, an
    // import) starts a fresh history; a tab that kept its text keeps its history.
    if (m_model) {
        for (int i = 0; i < document::kTabCount; ++i) {
            DisplayLines* lines = m_tabViews[static_cast<size_t>(i)].lines;
            const std::string wanted = document::bytesToEditorText(m_model->tabTexts[static_cast<size_t>(i)]);
            if (lines->text().toStdString() != wanted) lines->setText(QString::fromStdString(wanted));
        }
    }
    showTabDocument(std::clamp(m_tabs->currentIndex(), 0, document::kTabCount - 1));
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
    // An edit block of its own: not merged with the typing before it. The
    // document would merge a plain insertion typed right after the block into
    // it; a step that does nothing, closing the block, keeps that typing apart.
    QTextCursor c = m_editor->textCursor();
    c.beginEditBlock();
    DisplayLines::insertText(c, QString::fromStdString(text));
    m_editor->document()->appendUndoItem(new UndoStepEnd);
    c.endEditBlock();
    m_editor->setTextCursor(c);
    m_programChange = false;
    m_editor->ensureCursorVisible();
    liveChanged();
}


window::EditorSelection TavolinWindow::editorSelection() const {
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


}  // namespace tavolin::qt
