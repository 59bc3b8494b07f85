// The main window while a song plays: the notes the listener hears are lit in the text and the
// roll's playhead follows them.
#include <QTimer>

#include "app/qt/CEditEx.h"
#include "app/qt/PianoRollView.h"
#include "app/qt/TavolinWindow.h"

namespace tavolin::qt {

using editor::Command;
namespace ctl = editor::ctl;

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


}  // namespace tavolin::qt
