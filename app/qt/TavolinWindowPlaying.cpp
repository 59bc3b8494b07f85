// SPDX-License-Identifier: MIT
// The main window while a song plays: the notes the listener hears are lit in the text and the
// roll's playhead follows them.
#include <QLabel>
#include <QMenuBar>
#include <QTimer>

#include "app/qt/CEditEx.h"
#include "app/qt/Language.h"
#include "app/qt/PianoRollView.h"
#include "app/qt/TavolinWindow.h"

namespace tavolin::qt {

using window::Command;
namespace ctl = window::ctl;

void TavolinWindow::startPlayWatch() {
    if (!m_services || !m_services->streaming()) return;
    if (auto map = m_services->playingMap()) {
        // The song follows the text: the heard frame is its own (after a
        // swap, the new song's), wrapped by "Loop" or the passage.
        m_live->playStarted(std::move(map), m_model->tabTexts, isChecked(ctl::Loop) && !m_model->playingPassage());
        m_playTimer->start();
        return;
    }
    // Play from the cursor starts at the note under or after the caret.
    uint64_t start = 0;
    if (isChecked(ctl::StartFromCursor) && m_shownTab > 0)
        start = m_live->caretFrame(m_shownTab, m_model->tabTexts[static_cast<size_t>(m_shownTab)],
                                   static_cast<size_t>(m_editor->textPosition(m_editor->textCursor().position())))
                    .value_or(0);
    m_live->playStarted(start, isChecked(ctl::Loop));
    m_playTimer->start();
}

void TavolinWindow::buildPlayMenu() {
    QMenu* menu = menuBar()->addMenu(tr("再生(&P)"));
    menu->setObjectName(QStringLiteral("playMenu"));
    const std::pair<Command, QString> entries[] = {
        {Command::Play, tr("再生")},
        {Command::Stop, tr("停止")},
        {Command::LoopPassage, displayText(window::kLoopPassageText)},
    };
    for (const auto& [command, text] : entries) {
        if (command == Command::LoopPassage) menu->addSeparator();
        QAction* action = menu->addAction(text);
        action->setObjectName(QStringLiteral("menu%1").arg(static_cast<int>(command)));
        const Command c = command;
        connect(action, &QAction::triggered, this, [this, c] { run(c); });
        m_actions[command] = action;  // the keys are bound with the accelerators
    }
}

void TavolinWindow::showPassage() {
    if (!m_roll || !m_model) return;
    const auto span = m_model->playingPassage();
    m_roll->setPassage(span ? std::optional<std::pair<uint64_t, uint64_t>>({span->from, span->to}) : std::nullopt);
}

void TavolinWindow::showPlaying() {
    const bool streaming = m_services && m_services->streaming();
    if (m_testPlaying && !streaming) {
        // The phrase has been heard to its end: playback ends as Stop ends it,
        // rather than leaving the device open on silence.
        run(Command::Stop);
        return;
    }
    bool following = m_playTimer->isActive() && !m_testPlaying;
    if (!streaming && following) {
        m_playTimer->stop();
        m_live->playStopped();
        following = false;
        showPassage();
        armIdleClose();  // heard to its end: the device's idle minute starts
    }
    if (following) showPassage();  // edits move a looping passage with its notes
    const size_t tab = static_cast<size_t>(m_shownTab);
    std::optional<BankFrames> frames;
    std::vector<window::EditorRange> lit;
    if (following && m_services->playingMap()) {
        // The song follows the text: the session says where it stands (after
        // a swap, in the new song; paused, where the music waits).
        const session::PlayPoll now = m_services->pollPlaying(m_model->tabTexts);
        m_live->heard(now.frame);
        frames = now.banks;
        lit = window::LiveEditor::litRanges(m_shownTab, m_model->tabTexts[tab], now.lit);
    } else if (following) {
        // A song that does not follow the text: the frames heard since Play.
        frames = m_live->playingFrames(m_services->heardFrame(), isChecked(ctl::Pause));
        if (frames) lit = m_live->playingRanges(m_shownTab, m_model->tabTexts[tab], *frames);
    }
    m_heardFrames = frames;
    if (m_roll) m_roll->setPlayheads(frames);
    std::vector<CEditEx::Range> ranges;
    for (const window::EditorRange& r : lit) ranges.emplace_back(static_cast<int>(r.start), static_cast<int>(r.end));
    m_editor->setPlayingRanges(std::move(ranges));
    // The status's caret part carries the time played.
    m_caretStatus->setText(QString::fromStdString(
        m_live->caretStatus(m_shownTab, m_model->tabTexts[static_cast<size_t>(m_shownTab)],
                            static_cast<size_t>(m_editor->textPosition(m_editor->textCursor().position())))));
}

}  // namespace tavolin::qt
