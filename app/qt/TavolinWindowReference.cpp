// SPDX-License-Identifier: MIT
// The MML reference beside the editor (Help → "MMLリファレンス"): every command in its group, what it
// does and an example that plays alone or goes in at the caret. And the first steps (Help →
// "はじめの一歩"), shown by themselves on the first start.
#include <algorithm>

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/qt/Language.h"
#include "app/qt/TavolinWindow.h"
#include "compiler/UiText.h"
#include "music/MmlReference.h"
#include "window/FirstSteps.h"

namespace tavolin::qt {

void TavolinWindow::buildReference() {
    // A window of its own beside the editor (a tool window of the main one, above it): the
    // window's controls leave no room for a readable list docked at 1366x768.
    auto* body = new QWidget(this, Qt::Tool);
    body->setObjectName(QStringLiteral("referenceWindow"));
    body->setWindowTitle(tr("MMLリファレンス"));
    auto* tree = new QTreeWidget(body);
    tree->setObjectName(QStringLiteral("referenceTree"));
    tree->setColumnCount(3);
    tree->setHeaderLabels({tr("コマンド"), tr("意味"), tr("例")});
    tree->setAccessibleName(tr("MMLリファレンス"));
    tree->setWordWrap(true);
    tree->setUniformRowHeights(false);
    tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tree->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    tree->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    QTreeWidgetItem* group = nullptr;
    const char* groupTitle = nullptr;
    int index = 0;
    for (const music::MmlReferenceEntry& e : music::mmlReference()) {
        if (e.group != groupTitle) {
            groupTitle = e.group;
            group = new QTreeWidgetItem(tree, {QString::fromStdString(uiText(e.group))});
            group->setFirstColumnSpanned(true);
            group->setFlags(Qt::ItemIsEnabled);
        }
        auto* item = new QTreeWidgetItem(group, {QString::fromUtf8(e.syntax), QString::fromStdString(uiText(e.what)),
                                                 QString::fromUtf8(e.example)});
        item->setData(0, Qt::UserRole, index++);
        item->setToolTip(1, item->text(1));
        item->setToolTip(2, tr("ダブルクリックで再生"));
    }
    tree->expandAll();
    const auto entry = [tree]() -> int {
        const QTreeWidgetItem* item = tree->currentItem();
        return item && item->data(0, Qt::UserRole).isValid() ? item->data(0, Qt::UserRole).toInt() : -1;
    };
    auto* play = new QPushButton(tr("例を再生"), body);
    play->setObjectName(QStringLiteral("referencePlay"));
    auto* insert = new QPushButton(tr("例を挿入"), body);
    insert->setObjectName(QStringLiteral("referenceInsert"));
    const auto runOn = [this, entry](window::Command command) {
        if (const int i = entry(); i >= 0) run(command, i);
    };
    connect(play, &QPushButton::clicked, this, [runOn] { runOn(window::Command::ReferencePlay); });
    connect(insert, &QPushButton::clicked, this, [runOn] { runOn(window::Command::ReferenceInsert); });
    connect(tree, &QTreeWidget::itemDoubleClicked, this, [runOn] { runOn(window::Command::ReferencePlay); });
    // The chosen entry in full below the list, whose columns may cut a long line short.
    auto* detail = new QLabel(body);
    detail->setObjectName(QStringLiteral("referenceDetail"));
    detail->setWordWrap(true);
    detail->setTextFormat(Qt::RichText);
    detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const auto pick = [tree, play, insert, detail] {
        const QTreeWidgetItem* item = tree->currentItem();
        const bool on = item && item->data(0, Qt::UserRole).isValid();
        play->setEnabled(on);
        insert->setEnabled(on);
        detail->setText(on ? QStringLiteral("<b>%1</b><br>%2<br>%3: <code>%4</code>")
                                 .arg(item->text(0).toHtmlEscaped(), item->text(1).toHtmlEscaped(), tr("例"),
                                      item->text(2).toHtmlEscaped())
                           : QString());
    };
    connect(tree, &QTreeWidget::currentItemChanged, this, pick);
    pick();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(play);
    buttons->addWidget(insert);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(tree, 1);
    layout->addWidget(detail);
    layout->addLayout(buttons);
    auto* toggle = new QAction(tr("MMLリファレンス"), this);
    toggle->setCheckable(true);
    toggle->setObjectName(QStringLiteral("help:reference"));
    connect(toggle, &QAction::toggled, body, [this, body, tree](bool shown) {
        if (!shown) {
            body->hide();
            return;
        }
        if (!tree->currentItem() && tree->topLevelItemCount() > 0 && tree->topLevelItem(0)->childCount() > 0)
            tree->setCurrentItem(tree->topLevelItem(0)->child(0));
        if (!m_referencePlaced) {
            // Over the right part of the window, as tall as it: the editor stays in view at its left.
            m_referencePlaced = true;
            const QRect frame = geometry();
            const int width = std::min(640, frame.width() / 2);
            const int titleBar = 32;  // room for its own title bar below the window's
            body->setGeometry(frame.right() - width, frame.top() + titleBar, width, frame.height() - titleBar);
        }
        body->show();
        body->raise();
        body->activateWindow();
        tree->setFocus();
    });
    // Closed by its own title bar: the menu entry follows.
    body->installEventFilter(this);
    m_referenceToggle = toggle;
    QAction* first = m_helpMenu->actions().value(0);
    m_helpMenu->insertAction(first, toggle);
    m_helpMenu->insertSeparator(first);  // the reference apart from the pages of docs/
}

void TavolinWindow::buildFirstSteps() {
    auto* body = new QWidget(this, Qt::Tool);
    body->setObjectName(QStringLiteral("firstStepsWindow"));
    body->setWindowTitle(displayText(window::kFirstStepsTitle));
    QString html = QStringLiteral("<ol>");
    for (const window::FirstStep& step : window::kFirstSteps)
        html += QStringLiteral("<li><b>%1</b><br>%2</li>").arg(displayText(step.title).toHtmlEscaped(), displayText(step.how).toHtmlEscaped());
    html += QStringLiteral("</ol><p>%1</p>").arg(displayText(window::kFirstStepsMore).toHtmlEscaped());
    auto* steps = new QLabel(html, body);
    steps->setObjectName(QStringLiteral("firstSteps"));
    steps->setWordWrap(true);
    steps->setTextFormat(Qt::RichText);
    steps->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto* close = new QPushButton(tr("閉じる"), body);
    close->setObjectName(QStringLiteral("firstStepsClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(body);
    layout->addWidget(steps, 1);
    layout->addLayout(buttons);
    auto* toggle = new QAction(displayText(window::kFirstStepsTitle), this);
    toggle->setCheckable(true);
    toggle->setObjectName(QStringLiteral("help:firstSteps"));
    connect(close, &QPushButton::clicked, toggle, [toggle] { toggle->setChecked(false); });
    connect(toggle, &QAction::toggled, body, [this, body, close](bool shown) {
        if (!shown) {
            body->hide();
            return;
        }
        // Over the right part of the window, the text and the Play button left in view.
        const QRect frame = geometry();
        const int width = std::min(440, frame.width() / 2);
        // As tall as its wrapped lines need at that width.
        body->setFixedWidth(width);
        body->layout()->activate();
        body->resize(width, body->layout()->hasHeightForWidth() ? body->layout()->totalHeightForWidth(width) : body->sizeHint().height());
        body->move(frame.right() - width - 16, frame.top() + 64);
        body->show();
        body->raise();
        // Asked for: the keys go to it. Shown by itself on a first start: typing stays in the editor.
        if (!body->testAttribute(Qt::WA_ShowWithoutActivating)) {
            body->activateWindow();
            close->setFocus();
        }
    });
    body->installEventFilter(this);
    m_firstStepsToggle = toggle;
    // Beside the reference, above the pages of docs/.
    m_helpMenu->insertAction(m_referenceToggle ? m_helpMenu->actions().value(m_helpMenu->actions().indexOf(m_referenceToggle) + 1) : nullptr, toggle);
}

void TavolinWindow::showFirstStepsOnce(QSettings& settings) {
    const QString key = QStringLiteral("firstSteps/shown");
    if (settings.value(key).toBool()) return;
    settings.setValue(key, true);
    // Once the window stands where it will stay.
    QTimer::singleShot(0, m_firstStepsToggle, [this] {
        auto* body = findChild<QWidget*>(QStringLiteral("firstStepsWindow"));
        body->setAttribute(Qt::WA_ShowWithoutActivating, true);
        m_firstStepsToggle->setChecked(true);
        body->setAttribute(Qt::WA_ShowWithoutActivating, false);
    });
}

}  // namespace tavolin::qt
