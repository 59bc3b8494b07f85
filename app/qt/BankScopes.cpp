// SPDX-License-Identifier: MIT
// The bank scopes' drawing: one pane per bank with its trace and a meter bar.
#include "app/qt/BankScopes.h"
#include "app/qt/Theme.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>

namespace tavolin::qt {

BankScopes::BankScopes(Source source, QWidget* parent) : QWidget(parent), m_source(std::move(source)), m_timer(new QTimer(this)) {
    setObjectName(QStringLiteral("bankScopes"));
    setMinimumHeight(64);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setToolTip(tr("各バンクの波形 (直近20ミリ秒) とピークメーター"));
    connect(m_timer, &QTimer::timeout, this, &BankScopes::tick);
    m_clock.start();
}

void BankScopes::start() {
    // One picture per frame of the screen the window is on.
    const QScreen* s = screen();
    const double hz = s && s->refreshRate() >= 10 ? s->refreshRate() : 60.0;
    m_timer->start(std::max(1, static_cast<int>(std::lround(1000.0 / hz))));
}

void BankScopes::stop() {
    if (!m_timer->isActive()) start();
    settle(m_clock.elapsed() / 1000.0);  // stops the timer at once when every meter rests
}

void BankScopes::settle(double now) {
    // A meter left standing would claim a sound that has stopped: keep
    // ticking until every level and hold mark has fallen.
    bool resting = true;
    for (music::BankScope& s : m_scopes) {
        s.idle(now);
        resting = resting && s.meter().resting();
    }
    if (resting) m_timer->stop();
    update();
}

bool BankScopes::running() const noexcept { return m_timer->isActive(); }

void BankScopes::setAudible(BankMask mask) {
    m_audible = mask;
    update();
}

void BankScopes::tick() {
    const std::shared_ptr<const output::BankTapRings> rings = m_source.rings ? m_source.rings() : nullptr;
    const double now = m_clock.elapsed() / 1000.0;
    if (!rings) {
        settle(now);
        return;
    }
    const std::optional<uint64_t> heard = m_source.heardFrame ? m_source.heardFrame() : std::nullopt;
    for (size_t b = 0; b < m_scopes.size(); ++b) {
        if (heard) (void)m_scopes[b].refresh(rings->banks[b], *heard, rings->sampleRateHz, now);
        else m_scopes[b].idle(now);
    }
    update();
}

void BankScopes::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const int n = static_cast<int>(m_scopes.size());
    const qreal gap = 6;
    const qreal paneWidth = (width() - gap * (n - 1)) / n;
    const qreal meterWidth = 6;
    for (int b = 0; b < n; ++b) {
        const bool heard = (m_audible & bankBit(b)) != 0;
        const QRectF pane(b * (paneWidth + gap), 0, paneWidth, height() - 1);
        p.setPen(pal.color(QPalette::Mid));
        p.setBrush(pal.color(QPalette::Base));
        p.drawRoundedRect(pane, 3, 3);
        const QRectF wave = pane.adjusted(4, 4, -(meterWidth + 8), -4);
        QColor ink = qColour(currentPalette().banks[static_cast<size_t>(b)]);  // the roll's colour of the bank
        if (!heard) ink = pal.color(QPalette::Disabled, QPalette::Text);
        p.setPen(QPen(pal.color(QPalette::Midlight), 1, Qt::DotLine));
        p.drawLine(QPointF(wave.left(), wave.center().y()), QPointF(wave.right(), wave.center().y()));
        const std::span<const int16_t> trace = m_scopes[static_cast<size_t>(b)].trace();
        if (trace.size() >= 2) {
            QPainterPath path;
            const qreal dx = wave.width() / static_cast<qreal>(trace.size() - 1);
            const qreal half = wave.height() / 2;
            for (size_t i = 0; i < trace.size(); ++i) {
                const QPointF pt(wave.left() + dx * static_cast<qreal>(i), wave.center().y() - trace[i] / 32768.0 * half);
                if (i == 0) path.moveTo(pt);
                else path.lineTo(pt);
            }
            p.setPen(QPen(ink, 1.2));
            p.setBrush(Qt::NoBrush);
            p.drawPath(path);
        }
        // The meter: the level as a bar from the bottom, the hold as a line.
        const music::PeakMeter& m = m_scopes[static_cast<size_t>(b)].meter();
        const QRectF meter(pane.right() - meterWidth - 4, pane.top() + 4, meterWidth, pane.height() - 8);
        p.setPen(Qt::NoPen);
        p.setBrush(pal.color(QPalette::AlternateBase));
        p.drawRect(meter);
        const QColor hot = m.level() >= 0.99 ? qColour(currentPalette().clip) : ink;
        p.setBrush(hot);
        p.drawRect(QRectF(meter.left(), meter.bottom() - meter.height() * m.level(), meter.width(), meter.height() * m.level()));
        if (m.hold() > 0) {
            p.setPen(QPen(m.hold() >= 0.99 ? qColour(currentPalette().clip) : pal.color(QPalette::Text), 1.5));
            const qreal y = meter.bottom() - meter.height() * m.hold();
            p.drawLine(QPointF(meter.left(), y), QPointF(meter.right(), y));
        }
    }
}

}  // namespace tavolin::qt
