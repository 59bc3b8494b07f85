// SPDX-License-Identifier: MIT
// The main window as the model's view: message boxes, file dialogs, the clipboard, control values,
// the status line and the export's progress.
#include <algorithm>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>

#include "app/qt/CAboutDlg.h"
#include "app/qt/ExportDialog.h"
#include "app/qt/Language.h"
#include "app/qt/Resources.h"
#include "app/qt/TavolinWindow.h"
#include "document/UserTexts.h"

namespace tavolin::qt {

using window::Command;
namespace ctl = window::ctl;

namespace {

QString qtFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        const QString pattern = parts[i + 1];
        // A label that already ends with "(pattern)" is shown as it is.
        entries << (parts[i].endsWith(QLatin1Char('(') + pattern + QLatin1Char(')'))
                        ? parts[i]
                        : parts[i] + QStringLiteral(" (") + pattern + QLatin1Char(')'));
    }
    return entries.join(QStringLiteral(";;"));
}



// A message box sizes itself to its text; a short text under a long caption would
// clip the caption in the title bar ("Tav…pp"). Widen the box to the caption plus
// room for the title bar's icon and buttons with an empty row below the text: a
// minimum width on the text itself would make the box believe any text fits
// that width, so a long line would be neither wrapped nor widened for, and cut
// off at the box's edge. A text wider than the box wraps (between any two
// Japanese characters, at spaces elsewhere; anywhere when even that is too wide).
void fitCaption(QMessageBox& box) {
    const int titleWidth = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 160;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(std::max(360, titleWidth), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

}  // namespace

void TavolinWindow::messageBox(const std::string& text, const std::string& captionText) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(captionText), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    // Wide enough for a file name and its reason, and for the caption not to be clipped.
    fitCaption(box);
    box.exec();
}

window::PromptAnswer TavolinWindow::askYesNoCancel(const std::string& text, const std::string& captionText) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(captionText), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    fitCaption(box);
    switch (box.exec()) {
    case QMessageBox::Yes: return window::PromptAnswer::Yes;
    case QMessageBox::No: return window::PromptAnswer::No;
    default: return window::PromptAnswer::Cancel;
    }
}

std::optional<std::string> TavolinWindow::fileDialog(const window::FileDialogRequest& request) {
    QFileDialog dialog(this);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(qtFilter(request.filter));
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    if (!request.folder.empty()) dialog.setDirectory(QString::fromStdString(request.folder));
    if (!request.initialName.empty()) dialog.selectFile(QString::fromStdString(request.initialName));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> TavolinWindow::clipboardText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return std::nullopt;
    return data->text().toStdString();
}

window::RecoveryChoice TavolinWindow::askRecovery(const window::RecoveryOffer& offer) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(offer.title), QString::fromStdString(offer.text),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("recoveryDialog"));
    fitCaption(box);
    QPushButton* restore = box.addButton(QString::fromStdString(offer.restoreLabel), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QString::fromStdString(offer.discardLabel), QMessageBox::DestructiveRole);
    QPushButton* later = box.addButton(QString::fromStdString(offer.laterLabel), QMessageBox::RejectRole);
    restore->setObjectName(QStringLiteral("recoveryRestore"));
    discard->setObjectName(QStringLiteral("recoveryDiscard"));
    later->setObjectName(QStringLiteral("recoveryLater"));
    box.setDefaultButton(restore);
    box.setEscapeButton(later);
    box.exec();
    if (box.clickedButton() == restore) return window::RecoveryChoice::Restore;
    if (box.clickedButton() == discard) return window::RecoveryChoice::Discard;
    return window::RecoveryChoice::Later;
}

void TavolinWindow::showAbout() {
    CAboutDlg about(this);
    about.exec();
}


std::string TavolinWindow::controlText(int id) const {
    QWidget* w = control(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
    if (id == ctl::Editor) return editorText();
    return {};
}

void TavolinWindow::setControlText(int id, const std::string& text) {
    QWidget* w = control(id);
    const QSignalBlocker block(w);
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(QString::fromStdString(text));
    else if (auto* c = qobject_cast<QComboBox*>(w); c && c->isEditable()) c->setEditText(QString::fromStdString(text));
    else if (auto* c2 = qobject_cast<QComboBox*>(w)) c2->setCurrentIndex(c2->findText(QString::fromStdString(text)));
}

void TavolinWindow::setItems(int id, const std::vector<std::string>& items) {
    QWidget* w = control(id);
    const QSignalBlocker block(w);
    QStringList list;
    for (const auto& s : items) list << QString::fromStdString(s);
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        c->clear();
        c->addItems(list);
    } else if (auto* l = qobject_cast<QListWidget*>(w)) {
        l->clear();
        l->addItems(list);
    } else if (auto* t = qobject_cast<QTabBar*>(w)) {
        while (t->count() > 0) t->removeTab(0);
        // Each tab holds room for the error mark from the start: a mark that
        // comes and goes must not widen its tab and shift the others under the mouse.
        for (const QString& s : list) t->addTab(noErrorMark(), s);
        // A hidden tab bar does not report its new size by itself; the layout would
        // keep the empty strip's zero height.
        t->updateGeometry();
    }
}

int TavolinWindow::currentIndex(int id) const {
    QWidget* w = control(id);
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentIndex();
    if (auto* l = qobject_cast<QListWidget*>(w)) return l->selectedItems().isEmpty() ? -1 : l->currentRow();
    if (auto* t = qobject_cast<QTabBar*>(w)) return t->currentIndex();
    return -1;
}

void TavolinWindow::setCurrentIndex(int id, int index) {
    QWidget* w = control(id);
    const QSignalBlocker block(w);
    if (auto* c = qobject_cast<QComboBox*>(w)) c->setCurrentIndex(index);
    else if (auto* l = qobject_cast<QListWidget*>(w)) {
        l->setCurrentRow(index);
        if (index < 0) l->clearSelection();
    } else if (auto* t = qobject_cast<QTabBar*>(w)) t->setCurrentIndex(index);
}

bool TavolinWindow::isChecked(int id) const {
    auto* b = qobject_cast<QAbstractButton*>(control(id));
    return b && b->isChecked();
}

void TavolinWindow::setChecked(int id, bool checked) {
    if (auto* b = qobject_cast<QAbstractButton*>(control(id))) {
        const QSignalBlocker block(b);
        b->setChecked(checked);
    }
}

void TavolinWindow::setTitle(const std::string& title) {
    setWindowTitle(QString::fromStdString(title));
    // The title follows every change of the file's name: so does the watcher.
    syncFileWatch();
}

void TavolinWindow::setIcon() { setWindowIcon(applicationIcon()); }

void TavolinWindow::showStatus(const std::string& text) {
    statusBar()->showMessage(QString::fromStdString(text), 10000);
}


bool TavolinWindow::reportProgress(const std::string& text, double fraction) {
    if (!m_progress) {
        m_progress = new QProgressDialog(this);
        m_progress->setWindowTitle(QString::fromUtf8(window::kAppName));
        m_progress->setCancelButtonText(tr("キャンセル"));
        m_progress->setWindowModality(Qt::WindowModal);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        m_progress->setMinimumDuration(0);
        m_progress->hide();
        m_progressClock.start();
    }
    if (fraction < 0) {
        m_progress->setRange(0, 0);  // the song's length is not known ahead
    } else {
        m_progress->setRange(0, 1000);
        m_progress->setValue(static_cast<int>(fraction * 1000));
    }
    m_progress->setLabelText(QString::fromStdString(text));
    // Short exports finish without a dialog flashing up.
    if (!m_progress->isVisible() && m_progressClock.elapsed() >= 300) m_progress->show();
    QApplication::processEvents();
    return !m_progress->wasCanceled();
}

void TavolinWindow::endProgress() {
    delete m_progress;
    m_progress = nullptr;
}

std::optional<window::ExportChoice> TavolinWindow::askExportChoice(const window::ExportChoice& initial, BankMask audible) {
    return ExportDialog::ask(initial, audible, this);
}

void TavolinWindow::setBusy(bool busy) { setBusyCursor(busy); }

}  // namespace tavolin::qt
