// SPDX-License-Identifier: MIT
// The export dialog: draws the three fields and hands the choice back to the model.
#include "app/qt/ExportDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

#include "app/qt/Language.h"

namespace tavolin::qt {

ExportDialog::ExportDialog(const window::ExportChoice& initial, BankMask audible, QWidget* parent)
    : QDialog(parent),
      m_type(new QComboBox),
      m_loops(new QSpinBox),
      m_fade(new QDoubleSpinBox),
      m_perBank(new QCheckBox(tr("バンク別に書き出す"))),
      m_loopPoints(new QCheckBox(displayText(window::kExportLoopPointsLabel))) {
    setWindowTitle(displayText(window::kExportDialogTitle));
    const window::ExportChoice c = window::clampedChoice(initial);
    for (const char* item : window::kExportTypeItems) m_type->addItem(QString::fromUtf8(item));
    m_type->setCurrentIndex(static_cast<int>(c.type));
    m_type->setObjectName(QStringLiteral("exportType"));
    m_loops->setRange(1, window::kMaxExportLoops);
    m_loops->setValue(c.loops);
    m_loops->setObjectName(QStringLiteral("exportLoops"));
    m_fade->setRange(0.0, window::kMaxFadeSeconds);
    m_fade->setDecimals(3);
    m_fade->setSingleStep(0.5);
    m_fade->setValue(c.fadeSeconds);
    m_fade->setObjectName(QStringLiteral("exportFade"));
    auto* form = new QFormLayout(this);
    form->addRow(displayText(window::kExportTypeLabel), m_type);
    form->addRow(displayText(window::kExportLoopsLabel), m_loops);
    form->addRow(displayText(window::kExportFadeLabel), m_fade);
    m_perBank->setObjectName(QStringLiteral("exportPerBank"));
    m_perBank->setChecked(c.perBank);
    m_perBank->setToolTip(tr("鳴っているバンクごとに1ファイル (名前_A.wav など)。どれも曲全体の長さで、足し合わせると全体の書き出しと同じになります"));
    form->addRow(m_perBank);
    m_loopPoints->setObjectName(QStringLiteral("exportLoopPoints"));
    m_loopPoints->setChecked(c.loopPoints);
    m_loopPoints->setToolTip(displayText(window::kExportLoopPointsTip));
    m_loopPoints->setAccessibleDescription(displayText(window::kExportLoopPointsTip));
    form->addRow(m_loopPoints);
    // Loop points write the intro and one loop: the loop count and the fade
    // do not apply, nor do stems.
    const auto follow = [this] {
        const bool loop = m_loopPoints->isChecked();
        m_loops->setEnabled(!loop);
        m_fade->setEnabled(!loop);
        m_perBank->setEnabled(!loop);
        m_loopPoints->setEnabled(!m_perBank->isChecked());
    };
    connect(m_loopPoints, &QCheckBox::toggled, this, follow);
    connect(m_perBank, &QCheckBox::toggled, this, follow);
    follow();
    if ((audible & kAllBanks) != kAllBanks) {
        QStringList left;
        for (int b = 0; b < 5; ++b)
            if (!(audible & bankBit(b))) left << QString(QChar(u'A' + b));
        auto* note = new QLabel(tr("ミュート中のバンク %1 は書き出されません").arg(left.join(QStringLiteral(", "))));
        note->setObjectName(QStringLiteral("exportMutedNote"));
        note->setWordWrap(true);
        form->addRow(note);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

window::ExportChoice ExportDialog::choice() const {
    window::ExportChoice c;
    c.type = static_cast<output::AudioFileType>(std::max(m_type->currentIndex(), 0));
    c.loops = m_loops->value();
    c.fadeSeconds = m_fade->value();
    c.perBank = m_perBank->isChecked();
    c.loopPoints = m_loopPoints->isChecked();
    return window::clampedChoice(c);
}

std::optional<window::ExportChoice> ExportDialog::ask(const window::ExportChoice& initial, BankMask audible, QWidget* parent) {
    ExportDialog dialog(initial, audible, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.choice();
}

void setBusyCursor(bool busy) {
    static bool shown = false;
    if (busy == shown) return;
    shown = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QApplication::processEvents();  // show it before the first block renders
    } else {
        QApplication::restoreOverrideCursor();
    }
}

}  // namespace tavolin::qt
