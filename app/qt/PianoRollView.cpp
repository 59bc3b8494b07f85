// SPDX-License-Identifier: MIT
// Draws the piano roll model and forwards the mouse, the wheel and the scroll bar to it.
#include "app/qt/PianoRollView.h"
#include "app/qt/Theme.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QMouseEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace tavolin::qt {

using window::PianoRoll;

namespace {

// A note's box as drawn: a new attack leaves a pixel free before it.
QRectF noteBox(const window::RollRect& r, bool slurred) {
    const double width = slurred || r.width < 3 ? std::max(1.0, r.width) : r.width - 1;
    return QRectF(r.x, r.y, width, std::max(2.0, r.height - 1));
}

}  // namespace

// The drawing surface: every event goes to the view, which owns the model.
class PianoRollCanvas : public QWidget {
public:
    explicit PianoRollCanvas(PianoRollView* owner) : QWidget(owner), m_owner(owner) {
        setObjectName(QStringLiteral("pianoRollCanvas"));
        setMinimumHeight(120);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setToolTip(PianoRollView::tr("クリック: 音符のMMLを選択\n矢印キー: 音符から音符へ (Shift+←→ で範囲を選択)\nCtrl+ホイール: 拡大・縮小\nホイール: スクロール\nダブルクリック: 曲全体を表示"));
        setFocusPolicy(Qt::StrongFocus);  // the arrows walk the notes
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        m_owner->paintRoll(p);
    }
    void resizeEvent(QResizeEvent*) override {
        m_owner->m_model.resize(width(), height());
        m_owner->syncScrollBar();
        m_owner->m_layerValid = false;
    }
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange ||
            event->type() == QEvent::StyleChange)
            m_owner->m_layerValid = false;
        QWidget::changeEvent(event);
    }
    void mousePressEvent(QMouseEvent* event) override {
        // A stale song's notes point into texts that have changed since.
        if (event->button() != Qt::LeftButton || m_owner->m_model.stale()) return;
        const QPointF at = event->position();
        if (at.y() < PianoRoll::kRulerHeight && at.x() >= PianoRoll::kHeaderWidth) {
            m_owner->m_dragFrom = at.x();
            return;
        }
        if (const auto ref = m_owner->m_model.noteAt(at.x(), at.y())) {
            m_owner->m_model.setHighlight(ref);
            update();
            emit m_owner->noteClicked(ref->bank, static_cast<qulonglong>(ref->note));
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!m_owner->m_dragFrom) return;
        // The stretch shows while it is dragged; the release loops it.
        const PianoRoll& m = m_owner->m_model;
        const double a = std::max(0.0, m.frameAtX(*m_owner->m_dragFrom));
        const double b = std::max(0.0, m.frameAtX(event->position().x()));
        m_owner->setPassage(std::pair<uint64_t, uint64_t>(static_cast<uint64_t>(std::min(a, b)), static_cast<uint64_t>(std::max(a, b))));
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (!m_owner->m_dragFrom || event->button() != Qt::LeftButton) return;
        const double from = *m_owner->m_dragFrom;
        m_owner->m_dragFrom.reset();
        // A click on the ruler is no drag.
        if (std::abs(event->position().x() - from) < 4) return;
        emit m_owner->rulerDragged(m_owner->m_model.frameAtX(from), m_owner->m_model.frameAtX(event->position().x()));
    }
    void keyPressEvent(QKeyEvent* event) override {
        // Left and Right along the bank, Up and Down to the bank above or below; with Shift,
        // Left and Right stretch the selection from where it began (for Ctrl+L's loop).
        using Step = window::PianoRoll::Step;
        const bool extend = event->modifiers() == Qt::ShiftModifier;
        if (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier) || m_owner->m_model.stale()) {
            QWidget::keyPressEvent(event);
            return;
        }
        std::optional<Step> how;
        switch (event->key()) {
        case Qt::Key_Left: how = Step::Previous; break;
        case Qt::Key_Right: how = Step::Next; break;
        case Qt::Key_Up: if (!extend) how = Step::BankAbove; break;
        case Qt::Key_Down: if (!extend) how = Step::BankBelow; break;
        default: break;
        }
        if (!how) {
            QWidget::keyPressEvent(event);
            return;
        }
        event->accept();
        const auto stretch = m_owner->m_model.stepTo(*how, extend);
        if (!stretch) return;
        m_owner->modelMoved();
        emit m_owner->notesStepped(stretch->bank, static_cast<qulonglong>(stretch->first), static_cast<qulonglong>(stretch->last));
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        m_owner->m_model.fitSong();
        m_owner->modelMoved();
    }
    void wheelEvent(QWheelEvent* event) override {
        const QPoint angle = event->angleDelta();
        const int steps = angle.y() != 0 ? angle.y() : angle.x();
        if (event->modifiers() & Qt::ControlModifier) {
            // Ctrl+wheel zooms around the mouse: the time under it stays put.
            m_owner->m_model.zoomAt(event->position().x(), std::pow(1.25, steps / 120.0));
        } else {
            const QPoint pixels = event->pixelDelta();
            const int dx = !pixels.isNull() ? (pixels.y() != 0 ? pixels.y() : pixels.x()) : steps / 2;
            m_owner->m_model.scrollBy(-dx);
        }
        m_owner->modelMoved();
        event->accept();
    }

private:
    PianoRollView* m_owner;
};

PianoRollView::PianoRollView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pianoRoll"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    m_canvas = new PianoRollCanvas(this);
    m_scroll = new QScrollBar(Qt::Horizontal, this);
    m_scroll->setObjectName(QStringLiteral("pianoRollScroll"));
    v->addWidget(m_canvas, 1);
    v->addWidget(m_scroll);
    connect(m_scroll, &QScrollBar::valueChanged, this, [this](int value) {
        if (m_syncing) return;
        m_model.setScrollPixels(value);
        m_layerValid = false;
        m_canvas->update();
    });
}

QColor PianoRollView::bankColour(int bank) {
    // Told apart with each common colour-vision deficiency too (window/Themes.cpp).
    return qColour(currentPalette().banks[static_cast<size_t>(std::clamp(bank, 0, kBankCount - 1))]);
}

void PianoRollView::setSong(std::shared_ptr<const output::SongMap> map) {
    const auto* before = m_model.song();
    const bool wasStale = m_model.stale();
    m_model.setSong(std::move(map));
    if (m_model.song() == before && m_model.stale() == wasStale) return;
    syncScrollBar();
    m_layerValid = false;
    m_canvas->update();
}

void PianoRollView::setAudible(BankMask mask) {
    if (mask == m_audible) return;
    m_audible = mask;
    m_layerValid = false;
    m_canvas->update();
}

void PianoRollView::setCaret(int tab, uint64_t byte) {
    if (m_model.setCaret(tab, byte)) modelMoved();
}

void PianoRollView::setPlayhead(std::optional<uint64_t> frame) {
    std::optional<BankFrames> frames;
    if (frame) frames.emplace().fill(*frame);
    setPlayheads(frames);
}

void PianoRollView::setPlayheads(std::optional<BankFrames> frames) {
    if (frames == m_playheads) return;
    m_playheads = frames;
    std::optional<uint64_t> furthest;
    if (frames)
        for (const auto& f : *frames)
            if (f) furthest = std::max(furthest.value_or(0), *f);
    m_playhead = furthest;
    if (furthest && m_model.follow(*furthest)) {
        syncScrollBar();
        m_layerValid = false;
    }
    m_canvas->update();
}

void PianoRollView::modelMoved() {
    syncScrollBar();
    m_layerValid = false;
    m_canvas->update();
}

void PianoRollView::syncScrollBar() {
    m_syncing = true;
    constexpr double kMaxScroll = std::numeric_limits<int>::max();
    m_scroll->setRange(0, static_cast<int>(std::min(kMaxScroll, std::ceil(m_model.scrollRangePixels()))));
    m_scroll->setPageStep(static_cast<int>(m_model.plotWidth()));
    m_scroll->setSingleStep(24);
    m_scroll->setValue(static_cast<int>(std::min(kMaxScroll, std::round(m_model.scrollPixels()))));
    m_syncing = false;
}

void PianoRollView::setPassage(std::optional<std::pair<uint64_t, uint64_t>> frames) {
    if (frames == m_model.passage()) return;
    m_model.setPassage(frames);
    m_canvas->update();
}

void PianoRollView::paintRoll(QPainter& p) {
    // Grid and notes change with the song, the view and the palette; the
    // playhead every 25 ms. The still part is drawn once into a pixmap.
    const qreal ratio = m_canvas->devicePixelRatioF();
    const QSize pixels = (QSizeF(m_canvas->size()) * ratio).toSize();
    if (!m_layerValid || m_layer.size() != pixels) {
        m_layer = QPixmap(pixels);
        m_layer.setDevicePixelRatio(ratio);
        QPainter layer(&m_layer);
        paintLayer(layer);
        m_layerValid = true;
    }
    p.drawPixmap(0, 0, m_layer);

    const output::SongMap* song = m_model.song();
    if (!song) return;
    const QPalette& pal = palette();
    const QRectF plot(PianoRoll::kHeaderWidth, PianoRoll::kRulerHeight, m_model.plotWidth(),
                      m_model.height() - PianoRoll::kRulerHeight);
    p.save();
    // The looping passage, shaded over the ruler and every lane.
    if (const auto r = m_model.passageRect()) {
        QColor shade = pal.color(QPalette::Highlight);
        shade.setAlpha(60);
        p.fillRect(QRectF(r->x, r->y, r->width, r->height), shade);
        p.setPen(QPen(pal.color(QPalette::Highlight), 1));
        p.drawLine(QPointF(r->x, 0), QPointF(r->x, r->height));
        p.drawLine(QPointF(r->x + r->width, 0), QPointF(r->x + r->width, r->height));
    }
    // The notes heard now, lit.
    if (m_playheads) {
        const auto sounding = notesSoundingAt(song->timeline, *m_playheads);
        for (int bank = 0; bank < kBankCount; ++bank) {
            const auto& i = sounding[static_cast<size_t>(bank)];
            if (!i) continue;
            const TimelineNote& n = song->timeline.banks[static_cast<size_t>(bank)].notes[*i];
            if (n.frequency <= 0 || n.frames == 0) continue;
            const window::RollRect lane = m_model.laneRect(bank);
            p.setClipRect(QRectF(PianoRoll::kHeaderWidth, lane.y, lane.width, lane.height));
            if ((m_audible & bankBit(bank)) == 0) continue;  // not heard: not lit
            QColor fill = bankColour(bank).lighter(145);
            if (m_model.stale()) fill.setAlpha(90);
            p.fillRect(noteBox(m_model.noteRect({bank, *i}), n.slurred), fill);
        }
    }
    p.setClipRect(plot);
    if (const auto ref = m_model.highlight()) {
        const window::RollRect r = m_model.noteRect(*ref);
        const bool rest = song->timeline.banks[static_cast<size_t>(ref->bank)].notes[ref->note].frequency <= 0;
        p.setPen(QPen(pal.color(QPalette::Highlight), 2, rest ? Qt::DashLine : Qt::SolidLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(r.x - 1, r.y - 1, std::max(2.0, r.width) + 2, std::max(2.0, r.height) + 2));
    }
    if (m_playhead) {
        // Over the ruler the furthest bank; in each lane that bank's own place.
        p.setClipping(false);
        p.setPen(QPen(pal.color(QPalette::Text), 2));
        if (const auto x = m_model.playheadX(*m_playhead)) p.drawLine(QPointF(*x, 0), QPointF(*x, PianoRoll::kRulerHeight));
        for (int bank = 0; bank < kBankCount; ++bank) {
            const auto& f = (*m_playheads)[static_cast<size_t>(bank)];
            const auto x = f ? m_model.playheadX(*f) : std::nullopt;
            if (!x) continue;
            const window::RollRect lane = m_model.laneRect(bank);
            p.drawLine(QPointF(*x, lane.y), QPointF(*x, lane.y + lane.height));
        }
    }
    p.restore();
}

void PianoRollView::paintLayer(QPainter& p) {
    const QPalette& pal = palette();
    const double w = m_model.width();
    const double h = m_model.height();
    const QRectF plot(PianoRoll::kHeaderWidth, PianoRoll::kRulerHeight, m_model.plotWidth(), h - PianoRoll::kRulerHeight);
    p.fillRect(QRectF(0, 0, w, h), pal.base());
    p.fillRect(QRectF(0, 0, w, PianoRoll::kRulerHeight), pal.window());

    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
    p.setFont(small);
    const QColor text = pal.color(QPalette::Text);
    QColor faint = pal.color(QPalette::Mid);

    // The seconds ruler. The notice of a stale song takes the ruler's right
    // end; the labels that would run under it are left out.
    const QFontMetricsF metrics(small);
    const QString notice = m_model.stale() ? tr("コンパイルエラー中: 前回の結果を表示") : QString();
    const double noticeLeft = notice.isEmpty() ? w : w - 6 - metrics.horizontalAdvance(notice) - 8;
    p.setPen(faint);
    for (const window::RollTick& t : m_model.secondTicks()) {
        if (t.x >= noticeLeft) break;
        p.drawLine(QPointF(t.x, PianoRoll::kRulerHeight - 5), QPointF(t.x, PianoRoll::kRulerHeight));
        const QString label = QString::fromStdString(t.label);
        if (t.x + 3 + metrics.horizontalAdvance(label) >= noticeLeft) continue;
        p.setPen(text);
        p.drawText(QPointF(t.x + 3, PianoRoll::kRulerHeight - 5), label);
        p.setPen(faint);
    }
    const output::SongMap* song = m_model.song();
    if (!notice.isEmpty()) {
        p.setPen(pal.color(QPalette::PlaceholderText));
        p.drawText(QRectF(noticeLeft, 0, w - 6 - noticeLeft, PianoRoll::kRulerHeight), Qt::AlignRight | Qt::AlignVCenter, notice);
    }

    bool anyNote = false;
    for (int bank = 0; bank < kBankCount; ++bank) {
        const window::RollRect lane = m_model.laneRect(bank);
        const QRectF laneBox(PianoRoll::kHeaderWidth, lane.y, lane.width, lane.height);
        if (bank % 2) p.fillRect(laneBox, pal.alternateBase());
        const bool heard = (m_audible & bankBit(bank)) != 0;
        const QColor colour = heard ? bankColour(bank) : pal.color(QPalette::PlaceholderText);

        p.save();
        p.setClipRect(laneBox);
        // Each C marked by a faint line under its row, to read the octaves by.
        if (song && !song->timeline.banks[static_cast<size_t>(bank)].notes.empty()) {
            QColor octave = faint;
            octave.setAlpha(45);
            p.setPen(octave);
            const auto [low, high] = m_model.pitchRange(bank);
            for (double c = std::ceil(low / 12) * 12; c <= high; c += 12) {
                const double y = m_model.yOfPitch(bank, c) + m_model.rowHeight(bank);
                p.drawLine(QPointF(PianoRoll::kHeaderWidth, y), QPointF(w, y));
            }
        }
        // Beats and bars at this bank's own tempo.
        for (const window::RollGridLine& g : m_model.gridLines(bank)) {
            QColor line = faint;
            line.setAlpha(g.bar ? 200 : 70);
            p.setPen(line);
            p.drawLine(QPointF(g.x, lane.y), QPointF(g.x, lane.y + lane.height));
            if (g.bar && lane.height > 24) {
                p.setPen(pal.color(QPalette::PlaceholderText));
                p.drawText(QPointF(g.x + 2, lane.y + 10), QString::number(g.bar));
            }
        }
        // Notes; rests are the gaps between them. A new attack leaves a pixel free.
        for (const window::RollNote& n : m_model.visibleNotes(bank)) {
            anyNote = true;
            QColor fill = colour;
            if (m_model.stale() || !heard) fill.setAlpha(90);
            p.fillRect(noteBox(n.rect, n.slurred), fill);
        }
        p.restore();

        // The header: the bank's letter in its colour.
        p.fillRect(QRectF(0, lane.y, PianoRoll::kHeaderWidth, lane.height), pal.window());
        p.setPen(colour);
        QFont bold = small;
        bold.setBold(true);
        p.setFont(bold);
        p.drawText(QRectF(0, lane.y, PianoRoll::kHeaderWidth, lane.height), Qt::AlignCenter, QString(QChar(u'A' + bank)));
        p.setFont(small);
        p.setPen(faint);
        p.drawLine(QPointF(0, lane.y + lane.height - 0.5), QPointF(w, lane.y + lane.height - 0.5));
    }
    p.drawLine(QPointF(PianoRoll::kHeaderWidth - 0.5, 0), QPointF(PianoRoll::kHeaderWidth - 0.5, h));

    if (!anyNote && (!song || song->timeline.frames == 0)) {
        p.setPen(pal.color(QPalette::PlaceholderText));
        p.drawText(plot, Qt::AlignCenter, tr("音符がありません"));
    }
}

}  // namespace tavolin::qt
