// SPDX-License-Identifier: MIT
// The export dialog: file type, loop count, fade and per-bank files, before
// the save dialog; it says so when mute or solo leave banks out.
#pragma once

#include <optional>

#include <QDialog>

#include "window/ExportSteps.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;

namespace tavolin::qt {

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    ExportDialog(const window::ExportChoice& initial, BankMask audible = kAllBanks, QWidget* parent = nullptr);
    window::ExportChoice choice() const;

    // Runs the dialog modally; nullopt when it is cancelled.
    static std::optional<window::ExportChoice> ask(const window::ExportChoice& initial, BankMask audible, QWidget* parent);

private:
    QComboBox* m_type;
    QSpinBox* m_loops;
    QDoubleSpinBox* m_fade;
    QCheckBox* m_perBank;
    QCheckBox* m_loopPoints;
};

// The wait cursor over the application while an export renders; calls
// balance, so repeated "off" calls are harmless.
void setBusyCursor(bool busy);

}  // namespace tavolin::qt
