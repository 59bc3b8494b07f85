// SPDX-License-Identifier: MIT
// What the main window remembers between runs (QSettings: geometry, splitter, recent files,
// the folder of the last file dialog) and the autosave timers.
#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTimer>

#include "app/qt/Language.h"
#include "app/qt/Resources.h"
#include "app/qt/TavolinWindow.h"
#include "document/UserTexts.h"
#include "window/WindowGeometry.h"

namespace tavolin::qt {

using window::Command;
namespace ctl = window::ctl;

void TavolinWindow::setRecentFiles(const std::vector<std::string>& paths) {
    m_recentMenu->clear();
    for (size_t i = 0; i < paths.size(); ++i) {
        // "&1 /path/song.mml": the digit is the menu's mnemonic; "&" in a path is doubled.
        QString path = QString::fromStdString(paths[i]);
        path.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* action = m_recentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(path));
        const int index = static_cast<int>(i);
        connect(action, &QAction::triggered, this, [this, index] { run(Command::OpenRecent, index); });
    }
    if (paths.empty()) m_recentMenu->addAction(displayText(document::text::kRecentEmpty))->setEnabled(false);
    if (m_settings) {
        QStringList list;
        for (const auto& p : paths) list << QString::fromStdString(p);
        QSettings().setValue(QStringLiteral("recentFiles"), list);
    }
}

void TavolinWindow::setLastFolder(const std::string& folder) {
    if (m_settings) QSettings().setValue(QStringLiteral("lastFolder"), QString::fromStdString(folder));
}

void TavolinWindow::scheduleAutosave(int idleMs, int maxMs) {
    m_autosaveIdle->start(idleMs);
    if (!m_autosaveMax->isActive()) m_autosaveMax->start(maxMs);
}

void TavolinWindow::autosaveTimeout() {
    m_autosaveIdle->stop();
    m_autosaveMax->stop();
    run(Command::Autosave);
}

void TavolinWindow::useSettings() {
    m_settings = true;
    QSettings settings;
    if (const QByteArray g = settings.value(QStringLiteral("window/geometry")).toByteArray(); !g.isEmpty())
        restoreGeometry(g);
    // Saved on a larger screen or on one that is gone: brought back into view whole.
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        fitOnScreen(true);
        fitRollHeight();
    }
    if (const QByteArray sp = settings.value(QStringLiteral("window/splitter")).toByteArray(); !sp.isEmpty())
        m_splitter->restoreState(sp);
    std::vector<std::string> recent;
    for (const QString& p : settings.value(QStringLiteral("recentFiles")).toStringList()) recent.push_back(p.toStdString());
    m_model->setRecentFiles(recent);
    m_model->setLastFolder(settings.value(QStringLiteral("lastFolder")).toString().toStdString());
    m_keys = window::KeyMap::load(settings.value(QStringLiteral("keys")).toString().toStdString());
    applyKeys();
    useViewSettings();
    showFirstStepsOnce(settings);
}

void TavolinWindow::saveSettings() {
    if (!m_settings) return;
    QSettings settings;
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/splitter"), m_splitter->saveState());
}

namespace {

window::WindowRect toRect(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

}  // namespace

void TavolinWindow::fitOnScreen(bool move) {
    // The frame the window manager adds is known once the window shows; before that,
    // a usual title bar and border.
    QMargins frame(4, 32, 4, 4);
    if (isVisible() && frameGeometry() != geometry()) {
        const QRect f = frameGeometry();
        const QRect g = geometry();
        frame = QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
    }
    std::vector<window::WindowRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen()) screens.push_back(toRect(primary->availableGeometry()));
    for (QScreen* s : QGuiApplication::screens())
        if (s != QGuiApplication::primaryScreen()) screens.push_back(toRect(s->availableGeometry()));
    // A window's position is its frame's; its size is without the frame.
    const QSize least = minimumSizeHint().grownBy(frame);
    const window::WindowRect placed = window::placeOnScreen(toRect(QRect(pos(), size().grownBy(frame))), screens,
                                                            least.width(), least.height());
    if (move && QPoint(placed.x, placed.y) != pos()) this->move(placed.x, placed.y);
    resize(QSize(placed.width, placed.height).shrunkBy(frame));
}

}  // namespace tavolin::qt
