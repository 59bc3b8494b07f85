// SPDX-License-Identifier: MIT
// The main window's file on disk: watched, so that a change made by another
// program reaches the model, which decides what to do about it.
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

#include "app/qt/CEditEx.h"
#include "app/qt/TavolinWindow.h"

namespace tavolin::qt {

void TavolinWindow::buildFileWatch() {
    m_fileWatch = new QFileSystemWatcher(this);
    // Editors write a file in several steps (truncate, write, rename): the
    // model looks once they have settled.
    m_fileWatchDelay = new QTimer(this);
    m_fileWatchDelay->setSingleShot(true);
    m_fileWatchDelay->setInterval(150);
    connect(m_fileWatch, &QFileSystemWatcher::fileChanged, this, [this] { m_fileWatchDelay->start(); });
    // A save by rename replaces the file the watcher held, and a deleted file
    // can come back: the folder tells of both.
    connect(m_fileWatch, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!m_watchedFile.isEmpty() && QFileInfo::exists(m_watchedFile) != m_fileWatch->files().contains(m_watchedFile))
            m_fileWatchDelay->start();
    });
    connect(m_fileWatchDelay, &QTimer::timeout, this, &TavolinWindow::fileChangedOnDisk);
}

void TavolinWindow::syncFileWatch() {
    if (!m_fileWatch || !m_model) return;
    const QString path = QString::fromStdString(m_model->filePath);
    if (path != m_watchedFile) {
        if (!m_fileWatch->files().isEmpty()) m_fileWatch->removePaths(m_fileWatch->files());
        if (!m_fileWatch->directories().isEmpty()) m_fileWatch->removePaths(m_fileWatch->directories());
        m_watchedFile = path;
        if (path.isEmpty()) return;
        m_fileWatch->addPath(QFileInfo(path).absolutePath());
    }
    // The watcher lets go of a file that was replaced or deleted.
    if (!m_fileWatch->files().contains(path) && QFileInfo::exists(path)) m_fileWatch->addPath(path);
}

void TavolinWindow::fileChangedOnDisk() {
    if (!m_model) return;
    syncFileWatch();
    // A reload keeps the shown tab's caret and scroll where they were.
    const QTextCursor c = m_editor->textCursor();
    const int anchor = c.anchor(), position = c.position();
    const int h = m_editor->horizontalScrollBar()->value(), v = m_editor->verticalScrollBar()->value();
    const QTextDocument* shown = m_editor->document();
    m_model->fileChangedOnDisk();
    if (m_editor->document() == shown) {
        QTextCursor restored(m_editor->document());
        const int last = m_editor->document()->characterCount() - 1;
        restored.setPosition(std::min(anchor, last));
        restored.setPosition(std::min(position, last), QTextCursor::KeepAnchor);
        m_editor->setTextCursor(restored);
        m_editor->horizontalScrollBar()->setValue(h);
        m_editor->verticalScrollBar()->setValue(v);
    }
}

bool TavolinWindow::askKeepOrReload(const std::string& text, const std::string& keepLabel, const std::string& reloadLabel) {
    QMessageBox box(QMessageBox::Warning, windowTitle(), QString::fromStdString(text), QMessageBox::NoButton, this);
    QPushButton* keep = box.addButton(QString::fromStdString(keepLabel), QMessageBox::RejectRole);
    QPushButton* reload = box.addButton(QString::fromStdString(reloadLabel), QMessageBox::AcceptRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    return box.clickedButton() == reload;
}

}  // namespace tavolin::qt
