// SPDX-License-Identifier: MIT
// The About box's widgets: name, version (selectable, for bug reports), licence.
#include "app/qt/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/qt/Language.h"
#include "app/qt/Resources.h"
#include "app/version/Version.h"
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
    auto* texts = new QVBoxLayout;
    auto* text = new QLabel(displayText(window::kAboutText).replace(QStringLiteral("{version}"),
                                                                 QString::fromUtf8(programVersion())));
    text->setObjectName(QStringLiteral("aboutText"));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    texts->addWidget(text);
    auto* licence = new QLabel(displayText(window::kAboutLicence));
    licence->setObjectName(QStringLiteral("aboutLicence"));
    texts->addWidget(licence);
    row->addLayout(texts, 1);
    v->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    v->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(320, 120)));
}

}  // namespace tavolin::qt
