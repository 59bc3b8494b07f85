// The export dialog: file type, loop count and fade, before the save dialog.
#pragma once

#include <optional>

#include <QDialog>

#include "editor/ExportSteps.h"

class QComboBox;
class QDoubleSpinBox;
class QSpinBox;

namespace tavolin::qt {

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    ExportDialog(const editor::ExportChoice& initial, QWidget* parent = nullptr);
    editor::ExportChoice choice() const;

    // Runs the dialog modally; nullopt when it is cancelled.
    static std::optional<editor::ExportChoice> ask(const editor::ExportChoice& initial, QWidget* parent);

private:
    QComboBox* m_type;
    QSpinBox* m_loops;
    QDoubleSpinBox* m_fade;
};

// The wait cursor over the application while an export renders; calls
// balance, so repeated "off" calls are harmless.
void setBusyCursor(bool busy);

}  // namespace tavolin::qt
