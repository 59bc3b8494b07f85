// SPDX-License-Identifier: MIT
// The main window's piano roll dock: built below the editor, fed the live result, the caret and the
// heard frame, and a clicked note selects its source text.
#include <algorithm>

#include <QDockWidget>
#include <QMenuBar>
#include <QStatusBar>
#include <QTextCursor>

#include "app/qt/CEditEx.h"
#include "app/qt/PianoRollView.h"
#include "app/qt/TavolinWindow.h"
#include "document/CaretMapping.h"

namespace tavolin::qt {

namespace {
// The roll's height where the screen has room for it.
constexpr int kRollHeight = 240;
}  // namespace

void TavolinWindow::buildPianoRoll() {
    auto* dock = new QDockWidget(tr("ピアノロール"), this);
    dock->setObjectName(QStringLiteral("pianoRollDock"));
    dock->setAllowedAreas(Qt::BottomDockWidgetArea | Qt::TopDockWidgetArea);
    // Always there: without a close button no menu is needed to bring it back.
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    m_roll = new PianoRollView(dock);
    dock->setWidget(m_roll);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    // The banks' scopes, when the window has them, stand to the roll's right:
    // the roll takes two thirds of the width, its time axis being the longer.
    if (auto* scopes = findChild<QDockWidget*>(QStringLiteral("bankScopesDock"))) {
        splitDockWidget(dock, scopes, Qt::Horizontal);
        resizeDocks({dock, scopes}, {width() * 2 / 3, width() / 3}, Qt::Horizontal);
    }
    // The controls keep the height they had; the roll adds its own below them,
    // as far as the screen allows (a short screen takes it from the roll first).
    resize(width(), height() + kRollHeight);
    fitOnScreen(false);
    fitRollHeight();
    connect(m_roll, &PianoRollView::noteClicked, this,
            [this](int bank, qulonglong note) { selectRollNote(bank, static_cast<size_t>(note)); });
    connect(m_roll, &PianoRollView::notesStepped, this, [this](int bank, qulonglong first, qulonglong last) {
        selectRollNote(bank, static_cast<size_t>(first), static_cast<size_t>(last));
        m_roll->canvas()->setFocus(Qt::OtherFocusReason);
    });
    connect(m_roll, &PianoRollView::rulerDragged, this, [this](double from, double to) {
        if (!m_model) return;
        m_model->loopPassage(std::pair<double, double>(from, to));
        afterCommand(window::Command::LoopPassage);
    });
    m_roll->setSong(m_live->sharedMap());
}

void TavolinWindow::fitRollHeight() {
    auto* dock = qobject_cast<QDockWidget*>(m_roll ? m_roll->parentWidget() : nullptr);
    if (!dock) return;
    const int controls = menuBar()->sizeHint().height() + centralWidget()->sizeHint().height() +
                         statusBar()->sizeHint().height();
    const int least = dock->minimumSizeHint().height();
    resizeDocks({dock}, {std::clamp(height() - controls, least, std::max(least, kRollHeight))}, Qt::Vertical);
}

void TavolinWindow::showRollCaret() {
    if (!m_roll || !m_model || m_rollSelecting) return;
    const std::string& text = m_model->tabTexts[static_cast<size_t>(m_shownTab)];
    // The selection's start, as play from the cursor takes it: a note selected
    // by a click keeps its highlight.
    const auto start = static_cast<size_t>(m_editor->textPosition(m_editor->textCursor().selectionStart()));
    m_roll->setCaret(m_shownTab, document::unitToByteOffset(text, start));
}

void TavolinWindow::selectRollNote(int bank, size_t note, std::optional<size_t> last) {
    if (!m_model) return;
    const auto selection = m_roll->model().selectionOf(window::PianoRoll::Stretch{bank, note, last.value_or(note)}, m_model->tabTexts);
    if (!selection) return;
    // The tab switch shows that tab's old caret first: its note must not take
    // the highlight (and the view) from the clicked one.
    m_rollSelecting = true;
    if (selection->tab != m_shownTab) m_model->selectTab(selection->tab);
    selectEditorRange(selection->range.start, selection->range.end);
    m_rollSelecting = false;
    updateCaretStatus();
}

}  // namespace tavolin::qt
