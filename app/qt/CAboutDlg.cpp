// The About box's widgets.
#include "app/qt/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/qt/Language.h"
#include "app/qt/Resources.h"
#include "window/CTavolinDlg.h"

namespace tavolin::qt {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(displayText(window::kAboutCaption));
    setObjectName(QStringLiteral("aboutDialog"));
    auto* v = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel;
    icon->setPixmap(applicationIcon().pixmap(48, 48));
    row->addWidget(icon);
    auto* text = new QLabel(displayText(window::kAboutText));
    text->setObjectName(QStringLiteral("aboutText"));
    row->addWidget(text, 1);
    v->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    v->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(320, 120)));
}

}  // namespace tavolin::qt
