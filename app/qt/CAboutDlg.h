// SPDX-License-Identifier: MIT
// The About box: icon, name and version, licence, OK.
#pragma once

#include <QDialog>

namespace tavolin::qt {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace tavolin::qt
