// SPDX-License-Identifier: MIT
// The key editor: a table of the window's commands, a key field per command.
#include "app/qt/KeysDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/qt/Language.h"

namespace tavolin::qt {
namespace {

QKeySequence sequenceOf(const std::string& keys) { return QKeySequence::fromString(QString::fromStdString(keys), QKeySequence::PortableText); }

}  // namespace

KeysDialog::KeysDialog(const window::KeyMap& keys, QWidget* parent) : QDialog(parent), m_keys(keys) {
    setWindowTitle(tr("キー設定"));
    setObjectName(QStringLiteral("keysDialog"));
    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("keysTable"));
    m_table->setAccessibleName(tr("コマンドとキー"));
    m_table->setColumnCount(2);
    m_table->setHorizontalHeaderLabels({tr("コマンド"), tr("キー")});
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_table->verticalHeader()->hide();
    for (const window::KeyCommand& c : m_keys.commands()) {
        if (!m_keys.has(c)) continue;
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        auto* name = new QTableWidgetItem(displayText(c.caption));
        name->setFlags(Qt::ItemIsEnabled);
        name->setData(Qt::UserRole, QString::fromLatin1(c.id));
        m_table->setItem(row, 0, name);
        auto* edit = new QKeySequenceEdit(m_table);
        edit->setClearButtonEnabled(true);
        edit->setAccessibleName(tr("「%1」のキー").arg(name->text()));
        // A key is one press: the first of what was typed.
        connect(edit, &QKeySequenceEdit::editingFinished, this, [this, row, edit] { choose(row, edit->keySequence()); });
        connect(edit, &QKeySequenceEdit::keySequenceChanged, this, [this, row](const QKeySequence& s) {
            if (s.isEmpty()) choose(row, s);  // the clear button
        });
        m_table->setCellWidget(row, 1, edit);
    }
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("keysMessage"));
    m_message->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* reset = buttons->addButton(tr("既定に戻す"), QDialogButtonBox::ResetRole);
    reset->setObjectName(QStringLiteral("keysReset"));
    connect(reset, &QPushButton::clicked, this, [this] {
        m_keys.reset();
        m_message->clear();
        showKeys();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("キーを変えるには、欄をクリックして新しいキーを押します。"), this));
    layout->addWidget(m_table, 1);
    layout->addWidget(m_message);
    layout->addWidget(buttons);
    showKeys();
    resize(520, 560);
}

void KeysDialog::choose(int row, const QKeySequence& pressed) {
    const QString id = m_table->item(row, 0)->data(Qt::UserRole).toString();
    const QString keys = pressed.isEmpty() ? QString() : QKeySequence(pressed[0]).toString(QKeySequence::PortableText);
    if (const auto holder = m_keys.set(id.toStdString(), keys.toStdString())) {
        const window::KeyCommand* c = window::keyCommand(*holder);
        m_message->setText(c ? QString::fromStdString(window::keyTakenText(keys.toStdString(), *c)) : QString());
    } else {
        m_message->clear();
    }
    showKeys();
}

void KeysDialog::showKeys() {
    for (int row = 0; row < m_table->rowCount(); ++row) {
        auto* edit = static_cast<QKeySequenceEdit*>(m_table->cellWidget(row, 1));
        const QSignalBlocker quiet(edit);
        edit->setKeySequence(sequenceOf(m_keys.keysOf(m_table->item(row, 0)->data(Qt::UserRole).toString().toStdString())));
    }
}

std::optional<window::KeyMap> KeysDialog::ask(const window::KeyMap& keys, QWidget* parent) {
    KeysDialog dialog(keys, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.keys();
}

}  // namespace tavolin::qt
