// SPDX-License-Identifier: MIT
// The piano roll's widget: draws the roll model's lanes, notes, grid, highlight and playhead, and
// forwards clicks, the wheel and the scroll bar to it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QPixmap>
#include <QWidget>

#include "window/PianoRoll.h"
#include "synth/BankMask.h"

class QScrollBar;

namespace tavolin::qt {

class PianoRollView : public QWidget {
    Q_OBJECT
public:
    explicit PianoRollView(QWidget* parent = nullptr);

    window::PianoRoll& model() noexcept { return m_model; }
    // The area the roll is drawn in (the model's pixels are this widget's).
    QWidget* canvas() const noexcept { return m_canvas; }
    QScrollBar* scrollBar() const noexcept { return m_scroll; }

    // A check-as-you-type result arrived.
    void setSong(std::shared_ptr<const output::SongMap> map);
    // The editor's caret: tab 0 common, 1..5 A..E, byte offset of the selection start.
    void setCaret(int tab, uint64_t byte);
    // The song frame heard now, nullopt when nothing plays.
    void setPlayhead(std::optional<uint64_t> frame);
    // Where each bank stands now: a bank wrapping in its own endless loop
    // gets its own playhead in its lane; the view follows the furthest.
    void setPlayheads(std::optional<BankFrames> frames);
    std::optional<uint64_t> playhead() const noexcept { return m_playhead; }
    const std::optional<BankFrames>& playheads() const noexcept { return m_playheads; }
    // The passage that loops, shaded; nullopt: none.
    void setPassage(std::optional<std::pair<uint64_t, uint64_t>> frames);
    // The banks heard (mute and solo): the others' lanes are dimmed.
    void setAudible(BankMask mask);
    BankMask audible() const noexcept { return m_audible; }

    // The fill of a bank's notes (0..4).
    static QColor bankColour(int bank);

signals:
    // A note was clicked: the window selects its source.
    void noteClicked(int bank, qulonglong note);
    // The arrows moved to a note (first == last) or stretched over notes first..last of one bank:
    // the window selects their source and leaves the keys with the roll.
    void notesStepped(int bank, qulonglong first, qulonglong last);
    // A stretch was dragged across the ruler (song frames, in drag order): the
    // window loops it.
    void rulerDragged(double fromFrame, double toFrame);

private:
    friend class PianoRollCanvas;
    void paintRoll(QPainter& p);
    void paintLayer(QPainter& p);  // all but the lit notes, the highlight and the playhead
    void syncScrollBar();
    void modelMoved();  // zoom or scroll changed in the model

    window::PianoRoll m_model;
    QWidget* m_canvas = nullptr;
    QScrollBar* m_scroll = nullptr;
    std::optional<uint64_t> m_playhead;
    std::optional<BankFrames> m_playheads;
    bool m_syncing = false;
    std::optional<double> m_dragFrom;  // a drag across the ruler started here (x)
    BankMask m_audible = kAllBanks;
    QPixmap m_layer;
    bool m_layerValid = false;
};

}  // namespace tavolin::qt
