// SPDX-License-Identifier: MIT
// What a screen reader meets: every control of the window and of each dialog has a name in the
// running language, the caret's place and the playhead are spoken on request, an error once.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStyle>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/qt/CEditEx.h"
#include "app/qt/Language.h"
#include "app/qt/TavolinWindow.h"
#include "app/qt/Theme.h"
#include "output/VirtualAudioDevice.h"
#include "output/SongMap.h"
#include "window/PianoRoll.h"
#include "window/Speech.h"
#include "window/WindowLayers.h"

namespace tavolin::qt {
namespace {

namespace ctl = window::ctl;
using window::Command;

bool isControl(QAccessibleInterface* a) {
    switch (a->role()) {
    case QAccessible::PushButton: case QAccessible::CheckBox: case QAccessible::RadioButton:
    case QAccessible::ComboBox: case QAccessible::EditableText: case QAccessible::List:
    case QAccessible::PageTabList: case QAccessible::PageTab: case QAccessible::SpinBox:
    case QAccessible::Slider: case QAccessible::ButtonMenu: case QAccessible::ButtonDropDown:
    case QAccessible::MenuItem: case QAccessible::Tree: case QAccessible::Table:
    case QAccessible::ProgressBar: case QAccessible::Dialog:
        return true;
    case QAccessible::Client: {  // a view that draws itself (the roll, the scopes): no child widgets
        auto* w = qobject_cast<QWidget*>(a->object());
        return w && !w->objectName().startsWith(QLatin1String("qt_")) && w->findChildren<QWidget*>().isEmpty();
    }
    default: return false;
    }
}

struct Walk {
    int checked = 0;
    QStringList unnamed;
    QStringList names;  // every name and description met, for the language check
};

void walk(QAccessibleInterface* a, Walk& out, const QString& path, int depth = 0) {
    if (!a || !a->isValid() || a->state().invisible || depth > 40) return;
    const QString name = a->text(QAccessible::Name).trimmed();
    const QString here = path + QLatin1Char('/') + QString::number(a->role(), 16) +
                         (a->object() ? QLatin1Char(':') + a->object()->objectName() + QLatin1Char(':') +
                                            QString::fromLatin1(a->object()->metaObject()->className())
                                      : QString());
    if (isControl(a)) {
        ++out.checked;
        if (name.isEmpty()) out.unnamed << here;
    }
    out.names << name << a->text(QAccessible::Description);
    for (int i = 0; i < a->childCount(); ++i) walk(a->child(i), out, here, depth + 1);
}

Walk walkWidget(QWidget* w) {
    Walk out;
    walk(QAccessible::queryAccessibleInterface(w), out, QString());
    return out;
}

// Walks each modal dialog `trigger` opens, then closes it (Escape's way).
Walk walkDialogs(const std::function<void()>& trigger, int* dialogs) {
    Walk out;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        ++*dialogs;
        Walk w = walkWidget(modal);
        out.checked += w.checked;
        out.unnamed << w.unnamed;
        out.names << w.names;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (box->escapeButton()) box->escapeButton()->click();
            else box->button(QMessageBox::Ok)->click();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        }
    });
    poll.start();
    trigger();
    return out;
}

bool hasJapanese(const QString& text) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF)) return true;
    }
    return false;
}

class QtAccessibility : public ::testing::TestWithParam<Language> {
protected:
    void TearDown() override { applyLanguage(Language::Japanese); }
};

TEST_P(QtAccessibility, EveryControlOfTheWindowAndItsDialogsHasAName) {
    ASSERT_TRUE(applyLanguage(GetParam()));
    TavolinWindow window;
    auto log = std::make_shared<output::VirtualDeviceLog>();
    window.setServices(std::make_unique<window::WindowLayers>(window.model(), output::VirtualAudioDevice::factory({}, log)));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // An error in the status bar, so that its button shows too.
    qobject_cast<QTabBar*>(window.control(ctl::Tabs))->setCurrentIndex(1);
    QTest::keyClicks(window.editor(), "v999");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.errorStatus()->isVisible(); }, 5000));

    Walk all = walkWidget(&window);
    const int windowControls = all.checked;
    int dialogs = 0;
    window::CTavolinDlg& model = window.model();
    for (const std::function<void()>& open : std::initializer_list<std::function<void()>>{
             [&] { window.showAbout(); },
             [&] { window.askExportChoice({}, kAllBanks & ~bankBit(0)); },
             [&] { window.messageBox("x", "TavolinApp"); },
             [&] { window.askYesNoCancel("x", "TavolinApp"); },
             [&] { window.askRecovery({"t", "x", "r", "d", "l"}); },
             [&] { window.askKeepOrReload("x", "keep", "reload"); },
             [&] { model.runCommand(Command::Play); },
             [&] { window.findChild<QAction*>(QStringLiteral("editKeys"))->trigger(); },
         }) {
        Walk w = walkDialogs(open, &dialogs);
        all.checked += w.checked;
        all.unnamed << w.unnamed;
        all.names << w.names;
    }
    // The tool windows beside the editor: the reference and the first steps.
    for (const char* name : {"reference", "firstSteps"}) {
        window.findChild<QAction*>(QStringLiteral("help:%1").arg(QLatin1String(name)))->setChecked(true);
        Walk w = walkWidget(window.findChild<QWidget*>(QStringLiteral("%1Window").arg(QLatin1String(name))));
        all.checked += w.checked;
        all.unnamed << w.unnamed;
        all.names << w.names;
        ++dialogs;
    }
    std::printf("%s: %d controls of the window and %d of %d dialogs checked\n",
                GetParam() == Language::English ? "English" : "Japanese", windowControls, all.checked - windowControls,
                dialogs);
    EXPECT_EQ(dialogs, 10);
    EXPECT_GT(windowControls, 60);
    EXPECT_TRUE(all.unnamed.isEmpty()) << all.unnamed.join(QLatin1Char('\n')).toStdString();
    if (GetParam() == Language::English) {
        for (const QString& n : all.names)
            EXPECT_FALSE(hasJapanese(n)) << n.toStdString();
    }
    model.modified = false;
    window.close();
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, QtAccessibility, ::testing::Values(Language::Japanese, Language::English),
                         [](const ::testing::TestParamInfo<Language>& info) {
                             return std::string(info.param == Language::English ? "English" : "Japanese");
                         });

// The caret key's sentence in both languages: names, sharps, octaves, lengths, dots,
// triplets, rests, bars and beats, a bank without notes, a document that does not compile; and
// the playhead's bar and beat.
TEST(QtSpeech, CaretAndPlayheadSentencesInBothLanguages) {
    const struct {
        const char* mml;  // bank A (bank B stays empty)
        int tab;
        size_t caret;     // byte in the tab
        const char* japanese;
        const char* english;
    } rows[] = {
        {"C8", 1, 0, "A, 小節 1 拍 1, ド 8分音符, オクターブ 4", "A, bar 1 beat 1, C eighth, octave 4"},
        {"L8 CDEF G+4.", 1, 8, "A, 小節 1 拍 3, ソ♯ 付点4分音符, オクターブ 4", "A, bar 1 beat 3, G sharp dotted quarter, octave 4"},
        {"C1 D2 R8", 1, 6, "A, 小節 2 拍 3, 8分休符", "A, bar 2 beat 3, eighth rest"},
        {"O5 C1 C1 {CDE}", 1, 11, "A, 小節 3 拍 1, レ 3連8分音符, オクターブ 5", "A, bar 3 beat 1, D triplet eighth, octave 5"},
        {"C4 A-16..", 1, 3, "A, 小節 1 拍 2, ソ♯ 複付点16分音符, オクターブ 4", "A, bar 1 beat 2, G sharp double-dotted sixteenth, octave 4"},
        {"C2 R1", 1, 3, "A, 小節 1 拍 3, 全休符", "A, bar 1 beat 3, whole rest"},
        {"C8", 2, 0, "B, 音符なし", "B, no note"},
        {"V999 C", 1, 0, "A, エラーのため位置がわかりません", "A, place unknown: the song does not compile"},
    };
    for (const Language language : {Language::Japanese, Language::English}) {
        ASSERT_TRUE(applyLanguage(language));
        for (const auto& row : rows) {
            output::BuildInputs in;
            in.tabTexts[1] = row.mml;
            const auto map = output::buildSongMap(in, false);
            const auto note = map->ok() ? window::caretNote(*map, row.tab, row.caret) : std::nullopt;
            EXPECT_EQ(window::caretSpeech(map.get(), row.tab, note),
                      language == Language::English ? row.english : row.japanese)
                << row.mml;
        }
    }
    // Shift+F8: the bar and beat of the first bank that sounds, from where the banks stand
    // (T120 at 48 kHz: a quarter note is 24,000 frames), bank A resting while bank B plays.
    output::BuildInputs in;
    in.tabTexts[1] = "T120 R1 C4 D4 E4 F4 G1";
    in.tabTexts[2] = "T120 C1 C2. C4 C1";
    const auto map = output::buildSongMap(in, false);
    ASSERT_TRUE(map->ok());
    const struct {
        std::optional<BankFrames> frames;
        const char* japanese;
        const char* english;
    } heads[] = {
        {BankFrames{0, 0}, "再生中 小節 1 拍 1", "Playing bar 1 beat 1"},
        {BankFrames{24000 * 3 - 1, 24000 * 3 - 1}, "再生中 小節 1 拍 3", "Playing bar 1 beat 3"},
        {BankFrames{24000 * 6 + 5, 24000 * 6 + 5}, "再生中 小節 2 拍 3", "Playing bar 2 beat 3"},
        {BankFrames{std::nullopt, 24000 * 9}, "再生中 小節 3 拍 2", "Playing bar 3 beat 2"},
        {std::nullopt, "再生していません", "Not playing"},
    };
    for (const Language language : {Language::Japanese, Language::English}) {
        ASSERT_TRUE(applyLanguage(language));
        for (const auto& h : heads)
            EXPECT_EQ(window::playheadSpeech(&map->timeline, h.frames), language == Language::English ? h.english : h.japanese);
    }
    applyLanguage(Language::Japanese);
}

// F8 speaks the caret, an error of the live check is spoken once, the tabs answer to
// Ctrl+Tab, Ctrl+Shift+Tab and Alt+0..5, the themes recolour everything and are stored, the
// editor's text zooms and is remembered.
TEST(QtEveryone, KeysSpeechThemesAndZoom) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QCoreApplication::setOrganizationName(QStringLiteral("tavolin-test"));
    const QPalette before = QApplication::palette();
    const QString style = QApplication::style()->name();
    {
        TavolinWindow window;
        auto log = std::make_shared<output::VirtualDeviceLog>();
        window.setServices(std::make_unique<window::WindowLayers>(window.model(), output::VirtualAudioDevice::factory({}, log)));
        QSettings().setValue(QStringLiteral("firstSteps/shown"), true);  // not a first start: the keys stay with the window
        window.useSettings();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        auto* tabs = qobject_cast<QTabBar*>(window.control(ctl::Tabs));
        window.editor()->setFocus();
        const struct {
            QKeyCombination key;
            int from, to;
        } keys[] = {
            {Qt::CTRL | Qt::Key_Tab, 0, 1},          {Qt::CTRL | Qt::Key_Tab, 5, 0},
            {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, 0, 5}, {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, 3, 2},
            {Qt::ALT | Qt::Key_3, 0, 3},            {Qt::ALT | Qt::Key_0, 4, 0},
        };
        for (const auto& k : keys) {
            tabs->setCurrentIndex(k.from);
            window.editor()->setFocus();
            QTest::keyClick(window.editor(), k.key.key(), k.key.keyboardModifiers());
            EXPECT_EQ(tabs->currentIndex(), k.to) << k.from << " " << QKeySequence(k.key).toString().toStdString();
            EXPECT_TRUE(window.editor()->hasFocus());
        }

        QStringList spoken;
        QObject::connect(&window, &TavolinWindow::spoken, [&](const QString& text) { spoken << text; });
        const auto alerts = [&] { return spoken.size(); };
        tabs->setCurrentIndex(1);
        QTest::keyClicks(window.editor(), "v999 c");
        ASSERT_TRUE(QTest::qWaitFor([&] { return alerts() == 1; }, 5000)) << spoken.join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(window.speechStatus()->text().endsWith(QStringLiteral("ボリューム値が範囲外")))
            << window.speechStatus()->text().toStdString();
        QTest::keyClicks(window.editor(), "d");  // the same error: not spoken again
        QTest::qWait(300);
        EXPECT_EQ(alerts(), 1);
        window.editor()->selectAll();
        QTest::keyClicks(window.editor(), "l8 cde");
        QTest::qWait(300);
        window.editor()->moveCursor(QTextCursor::End);
        window.editor()->moveCursor(QTextCursor::Left);
        QTest::keyClick(window.editor(), Qt::Key_F8);
        EXPECT_EQ(window.speechStatus()->text(), QStringLiteral("A, 小節 1 拍 2, ミ 8分音符, オクターブ 4"));
        EXPECT_EQ(window.speechStatus()->accessibleName(), window.speechStatus()->text());
        QTest::keyClick(window.editor(), Qt::Key_F8, Qt::ShiftModifier);
        EXPECT_EQ(window.speechStatus()->text(), QStringLiteral("再生していません"));
        EXPECT_EQ(alerts(), 3);

        // Themes: the palette, the MML colours and the stored choice.
        auto* menu = window.findChild<QMenu*>(QStringLiteral("themeMenu"));
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->actions().size(), window::kThemeCount);
        const QTextBlock block = window.editor()->document()->firstBlock();
        for (int t = window::kThemeCount - 1; t >= 0; --t) {
            const window::ThemePalette& p = window::kThemePalettes[static_cast<size_t>(t)];
            menu->actions()[t]->trigger();
            QApplication::processEvents();
            EXPECT_EQ(QApplication::palette().color(QPalette::Base), qColour(p.base)) << p.key;
            EXPECT_EQ(window.editor()->palette().color(QPalette::Text), qColour(p.text)) << p.key;
            QColor note;
            for (const QTextLayout::FormatRange& r : block.layout()->formats())
                if (r.start == 3) note = r.format.foreground().color();  // the C of "L8 CDE"
            EXPECT_EQ(note, qColour(p.mml[static_cast<size_t>(music::MmlClass::Note)])) << p.key;
            EXPECT_EQ(QSettings().value(QStringLiteral("theme")).toString(), QLatin1String(p.key));
        }

        // Zoom: Ctrl+plus, Ctrl+minus, Ctrl+0, within bounds.
        const qreal base = window.editor()->font().pointSizeF();
        const struct {
            QKeyCombination key;
            int times;
            int percent;
        } zooms[] = {{Qt::CTRL | Qt::Key_Plus, 2, 120}, {Qt::CTRL | Qt::Key_Minus, 1, 110}, {Qt::CTRL | Qt::Key_0, 1, 100},
                     {Qt::CTRL | Qt::Key_Plus, 40, window.kZoomMax}, {Qt::CTRL | Qt::Key_Minus, 60, window.kZoomMin},
                     {Qt::CTRL | Qt::Key_Plus, 15, 200}};
        for (const auto& z : zooms) {
            for (int i = 0; i < z.times; ++i) QTest::keyClick(window.editor(), z.key.key(), z.key.keyboardModifiers());
            EXPECT_EQ(window.editorZoom(), z.percent);
            EXPECT_NEAR(window.editor()->font().pointSizeF(), base * z.percent / 100.0, 0.01);
        }
        window.model().modified = false;
        window.close();
    }
    // The next window starts with the stored theme and zoom.
    {
        QApplication::setPalette(before);
        TavolinWindow again;
        again.useSettings();
        EXPECT_EQ(again.editorZoom(), 200);
        EXPECT_EQ(QApplication::palette().color(QPalette::Base), qColour(window::kThemePalettes[0].base));
    }
    forgetTheme();
    QApplication::setStyle(style);
    QApplication::setPalette(before);
    QCoreApplication::setOrganizationName(QString());
}

}  // namespace
}  // namespace tavolin::qt
