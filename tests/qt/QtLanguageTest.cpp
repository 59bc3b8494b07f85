// SPDX-License-Identifier: MIT
// The window in each display language: every visible text of the window and of the
// dialogs it opens, with no Japanese left in English and the originals in Japanese.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QTimer>
#include <QToolButton>

#include "app/qt/CEditEx.h"
#include "app/qt/Language.h"
#include "app/qt/TavolinWindow.h"
#include "window/WindowLayers.h"
#include "output/VirtualAudioDevice.h"

namespace tavolin::qt {
namespace {

namespace ctl = window::ctl;
using window::Command;

bool hasJapanese(const QString& text) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF)) return true;
    }
    return false;
}

// Every text a user can read on `root` and its children (not the editor's document,
// which is the user's own): captions, labels, titles, items, tabs, menus, tool tips.
void collectTexts(QWidget* root, QStringList& out) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        out << w->windowTitle() << w->toolTip();
        if (auto* b = qobject_cast<QAbstractButton*>(w)) out << b->text();
        if (auto* l = qobject_cast<QLabel*>(w)) out << l->text();
        if (auto* g = qobject_cast<QGroupBox*>(w)) out << g->title();
        if (auto* m = qobject_cast<QMenu*>(w)) out << m->title();
        if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
        if (auto* t = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < t->count(); ++i) out << t->tabText(i) << t->tabToolTip(i);
        if (auto* lw = qobject_cast<QListWidget*>(w))
            for (int i = 0; i < lw->count(); ++i) out << lw->item(i)->text();
        if (auto* s = qobject_cast<QStatusBar*>(w)) out << s->currentMessage();
        if (auto* tree = qobject_cast<QTreeWidget*>(w)) {  // the MML reference: its headers, groups and entries
            for (int c = 0; c < tree->columnCount(); ++c) out << tree->headerItem()->text(c);
            for (QTreeWidgetItemIterator it(tree); *it; ++it)
                for (int c = 0; c < tree->columnCount(); ++c) out << (*it)->text(c) << (*it)->toolTip(c);
        }
        for (QAction* a : w->actions()) out << a->text() << a->toolTip() << a->statusTip();
    }
    out.removeAll(QString());
}

// Opens what `trigger` opens, collects the texts of every modal dialog that shows
// meanwhile and closes it (Escape, which every dialog here takes as its way out).
QStringList textsOfDialogs(const std::function<void()>& trigger) {
    QStringList texts;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        collectTexts(modal, texts);
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (box->escapeButton()) box->escapeButton()->click();
            else box->button(QMessageBox::Ok)->click();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        }
    });
    poll.start();
    trigger();
    return texts;
}

struct LanguageRow {
    Language language;
    const char* compileError;        // the status bar's message for V999
    std::vector<const char*> shown;  // texts that must appear somewhere
};
void PrintTo(const LanguageRow& row, std::ostream* os) {
    *os << (row.language == Language::English ? "English" : "Japanese");
}

class QtLanguage : public ::testing::TestWithParam<LanguageRow> {
protected:
    void TearDown() override { applyLanguage(Language::Japanese); }
};

TEST_P(QtLanguage, WindowAndDialogsSpeakOneLanguage) {
    const LanguageRow& row = GetParam();
    ASSERT_TRUE(applyLanguage(row.language));
    TavolinWindow window;
    auto log = std::make_shared<output::VirtualDeviceLog>();
    window.setServices(std::make_unique<window::WindowLayers>(window.model(), output::VirtualAudioDevice::factory({}, log)));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QStringList texts;
    collectTexts(&window, texts);

    // A compile error as the live check reports it in the status bar.
    window.control(ctl::Tabs)->setFocus();
    qobject_cast<QTabBar*>(window.control(ctl::Tabs))->setCurrentIndex(1);
    QTest::keyClicks(window.editor(), "v999");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.errorStatus()->isVisible(); }, 5000));
    texts << window.errorStatus()->text();
    EXPECT_TRUE(window.errorStatus()->text().endsWith(QString::fromUtf8(row.compileError)))
        << window.errorStatus()->text().toStdString();

    window::CTavolinDlg& model = window.model();
    QGuiApplication::clipboard()->clear();
    // The compile error report of Play, the About box, the export dialog, the tone
    // helper's "no duty" message, the envelope helper's range message, the import's
    // empty clipboard, a file that cannot be opened, the save prompt.
    texts << textsOfDialogs([&] { model.runCommand(Command::Play); });
    texts << textsOfDialogs([&] { window.showAbout(); });
    texts << textsOfDialogs([&] { window.askExportChoice({}, kAllBanks & ~bankBit(0)); });  // the muted-bank note too
    texts << textsOfDialogs([&] { model.runCommand(Command::InsertTone); });
    window.setControlText(ctl::SustainLevel, "256");
    texts << textsOfDialogs([&] { model.runCommand(Command::InsertEnvelope); });
    texts << textsOfDialogs([&] { model.runCommand(Command::Import); });
    texts << textsOfDialogs([&] { model.openFile("/nonexistent/song.mml"); });
    model.modified = true;
    texts << textsOfDialogs([&] { window.askYesNoCancel(uiText(window::kSavePromptText), window::kSavePromptCaption); });
    model.modified = false;
    texts << window.windowTitle();

    for (const char* expected : row.shown) EXPECT_TRUE(texts.contains(QString::fromUtf8(expected))) << expected;
    if (row.language == Language::English) {
        for (const QString& t : texts) EXPECT_FALSE(hasJapanese(t)) << t.toStdString();
    }
    EXPECT_FALSE(qobject_cast<QAbstractButton*>(window.control(ctl::Pseudo8Bit))->toolTip().isEmpty());
    window.close();
}

INSTANTIATE_TEST_SUITE_P(
    BothWays, QtLanguage,
    ::testing::Values(
        LanguageRow{Language::English, "Volume value out of range",
                    {"Pseudo 8-bit mode", "Tone definition", "Common", "Square", "Export MIDI", "About TavolinApp",
                     "Distributed under the MIT License.", "Export", "No duty ratio set", "Invalid sustain level (0 to 255)",
                     "The file has been changed. Do you want to save it?", "Cancel",
                     "error:bank A\nMML code, character 4 (line 1, column 4)\nVolume value out of range", "There is no text on the clipboard",
                     "Could not open \"/nonexistent/song.mml\".\nThe file or folder was not found.",
                     "tavolin Ostra - Untitled "}},
        LanguageRow{Language::Japanese, "ボリューム値が範囲外",
                    {"疑似8ビットモード", "音色定義サポート", "共通", "矩形", "MIDI出力", "TavolinApp について",
                     "MIT ライセンスのもとで配布されています。", "書き出し", "Duty比が未設定", "sustain levelが不正です(0～255)",
                     "ファイルが変更されています、保存しますか？", "キャンセル",
                     "error:バンクA\nMMLコード 4 文字目 (1行 4列)\nボリューム値が範囲外", "クリップボードにテキストがありません",
                     "「/nonexistent/song.mml」を開けませんでした。\nファイルまたはフォルダが見つかりません。",
                     "tavolin Ostra - 無題 "}}),
    [](const ::testing::TestParamInfo<LanguageRow>& info) {
        return std::string(info.param.language == Language::English ? "English" : "Japanese");
    });

// Help → 言語: each entry is remembered for the next start, where it overrides the locale.
TEST(QtLanguageMenu, ChoiceIsStoredAndOverridesTheLocale) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QCoreApplication::setOrganizationName(QStringLiteral("tavolin-test"));
    TavolinWindow window;
    auto* menu = window.findChild<QMenu*>(QStringLiteral("languageMenu"));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_TRUE(menu->actions()[0]->isChecked());  // nothing stored: Auto
    const struct {
        int entry;
        LanguageChoice stored;
        Language underJapaneseLocale;
        Language underEnglishLocale;
    } rows[] = {
        {2, LanguageChoice::English, Language::English, Language::English},
        {1, LanguageChoice::Japanese, Language::Japanese, Language::Japanese},
        {0, LanguageChoice::Auto, Language::Japanese, Language::English},
    };
    for (const auto& row : rows) {
        const QStringList told = textsOfDialogs([&] { menu->actions()[row.entry]->trigger(); });
        EXPECT_FALSE(told.isEmpty()) << row.entry;  // "applied at the next start"
        EXPECT_EQ(storedLanguageChoice(), row.stored) << row.entry;
        EXPECT_EQ(resolveLanguage(storedLanguageChoice(), Language::Japanese), row.underJapaneseLocale) << row.entry;
        EXPECT_EQ(resolveLanguage(storedLanguageChoice(), Language::English), row.underEnglishLocale) << row.entry;
    }
    QCoreApplication::setOrganizationName(QString());
}

// The window's own size (no row size) on a desktop screen, and maximized on common
// laptop screens (1366x768, 1280x720, less a panel and the title bar).
struct LayoutRow {
    Language language;
    QSize size;  // empty: the window's own width, with the height of a desktop screen
};
void PrintTo(const LayoutRow& row, std::ostream* os) {
    *os << (row.language == Language::English ? "English " : "Japanese ");
    if (row.size.isEmpty()) *os << "desktop";
    else *os << row.size.width() << "x" << row.size.height();
}

// The part of `w` that shows, in window coordinates: clipped by every parent (a
// scrolled area shows only what is inside its viewport).
QRect shownRect(QWidget* w, QWidget* window) {
    QRect shown(w->mapTo(window, QPoint(0, 0)), w->size());
    for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        shown &= QRect(p->mapTo(window, QPoint(0, 0)), p->size());
    return shown;
}

class QtLanguageLayout : public ::testing::TestWithParam<LayoutRow> {
protected:
    void TearDown() override { applyLanguage(Language::Japanese); }
};

// No caption is cut short and no control is squeezed below the size it needs or drawn
// over another: every visible label (a wrapped one as tall as its lines), button,
// field, list and group, in both
// languages and at each size (also run at QT_SCALE_FACTOR=2 by CTest). The status
// bar keeps its line inside the window.
TEST_P(QtLanguageLayout, NoCaptionIsClippedAndNothingOverlaps) {
    const LayoutRow& row = GetParam();
    ASSERT_TRUE(applyLanguage(row.language));
    TavolinWindow window;
    // The height the window takes on a desktop screen with the roll below the controls.
    window.resize(row.size.isEmpty() ? QSize(window.width(), 960) : row.size);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    if (!row.size.isEmpty()) {
        EXPECT_EQ(window.size(), row.size) << "the window's minimum is larger";
    }
    std::vector<std::pair<QWidget*, QRect>> shown;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible() || !(qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                                 qobject_cast<QGroupBox*>(w) || qobject_cast<QLineEdit*>(w) ||
                                 qobject_cast<QComboBox*>(w) || qobject_cast<QListWidget*>(w)))
            continue;
        if (w->objectName().startsWith(QStringLiteral("qt_"))) continue;  // Qt's own dock buttons
        if (qobject_cast<QComboBox*>(w->parentWidget())) continue;      // an editable combo's field
        const QString name = w->objectName() + QLatin1Char(' ') + w->property("text").toString();
        const QRect rect = shownRect(w, &window);
        if (!rect.isEmpty()) shown.emplace_back(w, rect);
        if (auto* l = qobject_cast<QLabel*>(w); l && l->wordWrap()) {  // tall enough for its wrapped lines
            EXPECT_GE(l->height(), l->heightForWidth(l->width())) << name.toStdString();
            continue;
        }
        // The least size the layouts give it: a minimum set by the program, else its own.
        const QSize set = w->minimumSize();
        const QSize hint = w->minimumSizeHint();
        const QSize need(set.width() > 0 ? set.width() : hint.width(), set.height() > 0 ? set.height() : hint.height());
        EXPECT_GE(w->width(), need.width()) << name.toStdString();
        EXPECT_GE(w->height(), need.height()) << name.toStdString();
    }
    for (size_t i = 0; i < shown.size(); ++i) {
        for (size_t j = i + 1; j < shown.size(); ++j) {
            QWidget* a = shown[i].first;
            QWidget* b = shown[j].first;
            if (a->isAncestorOf(b) || b->isAncestorOf(a)) continue;
            EXPECT_FALSE(shown[i].second.intersects(shown[j].second))
                << (a->objectName() + QLatin1Char(' ') + a->property("text").toString()).toStdString() << " over "
                << (b->objectName() + QLatin1Char(' ') + b->property("text").toString()).toStdString();
        }
    }
    QStatusBar* status = window.statusBar();
    EXPECT_TRUE(window.rect().contains(QRect(status->mapTo(&window, QPoint(0, 0)), status->size())));
    EXPECT_GE(status->height(), status->minimumSizeHint().height());
    EXPECT_EQ(shownRect(window.caretStatus(), &window).size(), window.caretStatus()->size());
    if (!row.size.isEmpty()) return;

    // A message box is at least as wide as its caption needs, however short its text.
    const QString caption = QStringLiteral("TavolinApp: a caption far longer than the one short word of text that stands under it");
    int boxWidth = 0;
    int captionWidth = 0;
    int screenWidth = 0;
    textsOfDialogs([&] {
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            boxWidth = box ? box->width() : 0;
            captionWidth = box ? box->fontMetrics().horizontalAdvance(caption) : 0;
            screenWidth = box ? box->screen()->availableGeometry().width() : 0;
        });
        window.messageBox("x", caption.toStdString());
    });
    EXPECT_GT(captionWidth, 0);
    // No wider than the screen, though.
    EXPECT_GE(boxWidth, std::min(captionWidth + 100, screenWidth));
}

INSTANTIATE_TEST_SUITE_P(
    DesktopAndLaptops, QtLanguageLayout,
    ::testing::Values(LayoutRow{Language::Japanese, {}}, LayoutRow{Language::English, {}},
                      LayoutRow{Language::Japanese, {1366, 690}}, LayoutRow{Language::English, {1366, 690}},
                      LayoutRow{Language::Japanese, {1280, 640}}, LayoutRow{Language::English, {1280, 640}}),
    [](const ::testing::TestParamInfo<LayoutRow>& info) {
        const LayoutRow& row = info.param;
        return std::string(row.language == Language::English ? "English" : "Japanese") +
               (row.size.isEmpty() ? std::string("Desktop")
                                   : std::to_string(row.size.width()) + "x" + std::to_string(row.size.height()));
    });

}  // namespace
}  // namespace tavolin::qt
