// SPDX-License-Identifier: MIT
// The main window's live check: hands every change to it, polls for the result and shows it (the
// error's tab dot, underline and status, the roll's song, the caret's song time).
#include <algorithm>
#include <chrono>

#include <QLabel>
#include <QTabBar>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>

#include "app/qt/CEditEx.h"
#include "app/qt/PianoRollView.h"
#include "app/qt/TavolinWindow.h"
#include "document/CaretMapping.h"

namespace tavolin::qt {

using window::Command;
namespace ctl = window::ctl;

void TavolinWindow::liveChanged() {
    // Taken on the next turn of the event loop, once the model holds the change.
    m_liveDirty = true;
    m_liveTimer->start(0);
}

void TavolinWindow::pollLive() {
    if (!m_live || !m_model) return;
    using Clock = session::LiveCheck::Clock;
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
        // While Play runs, a compile of its inputs takes over the stream; an
        // error leaves the last good song playing.
        if (m_services && !m_testPlaying && m_services->offerSong(m_live->mapInputs(), m_live->mapLoop(), m_live->sharedMap()))
            m_live->playFollowsLatest();
        showLive();
    }
    // Idle once the result is in: no timer runs.
    if (next) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(*next - now).count();
        m_liveTimer->start(static_cast<int>(std::max<int64_t>(1, wait)));
    } else if (m_liveWaiting) {
        // A compile runs: its result is taken within 5 ms of its end (it is
        // part of what a keystroke takes to be heard).
        m_liveTimer->start(5);
    }
}

void TavolinWindow::showLive() {
    if (!m_live) return;
    const auto& error = m_live->error();
    for (int i = 0; i < m_tabs->count(); ++i) m_tabs->setTabIcon(i, m_live->tabHasError(i) ? tabErrorMark() : noErrorMark());
    if (error) {
        m_errorStatus->setText(QString::fromStdString(m_live->errorText()));
        m_errorStatus->show();
    } else {
        m_errorStatus->hide();
    }
    // Every bank is checked on its own: the shown tab's own error, if it has one.
    if (const auto here = m_live->errorIn(m_shownTab))
        m_editor->setErrorRange(CEditEx::Range{static_cast<int>(here->underlineStart), static_cast<int>(here->underlineEnd)});
    else
        m_editor->setErrorRange(std::nullopt);
    if (m_roll) m_roll->setSong(m_live->sharedMap());
    announceLiveError();
    updateCaretStatus();
}

void TavolinWindow::updateCaretStatus() {
    if (!m_live || !m_model) return;
    // The roll first: the status names the note it outlines (a clicked pass or
    // macro replay included), which the selection's start picks, not the caret
    // standing after a clicked note's text.
    showRollCaret();
    const std::string& text = m_model->tabTexts[static_cast<size_t>(m_shownTab)];
    const QTextCursor c = m_editor->textCursor();
    const std::optional<TimelineRef> note = caretRef();
    m_caretStatus->setText(QString::fromStdString(
        m_live->caretStatus(m_shownTab, text, static_cast<size_t>(m_editor->textPosition(c.position())), note)));
}

void TavolinWindow::jumpToLiveError() {
    const auto error = m_live ? m_live->error() : std::nullopt;
    if (!error || error->tab < 0 || !m_model) return;
    m_model->selectTab(error->tab);
    selectEditorRange(error->underlineStart, error->underlineEnd);
}


}  // namespace tavolin::qt
