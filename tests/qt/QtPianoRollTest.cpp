// SPDX-License-Identifier: MIT
// The piano roll dock in the window: a clicked note selects its source in its tab, the caret
// highlights its note, Ctrl+wheel zooms, and the playhead follows playback.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QDockWidget>
#include <QTabBar>
#include <QTest>
#include <QWheelEvent>

#include "app/qt/CEditEx.h"
#include "app/qt/PianoRollView.h"
#include "app/qt/TavolinWindow.h"
#include "window/WindowLayers.h"
#include "output/VirtualAudioDevice.h"

namespace tavolin::qt {
namespace {

namespace ctl = window::ctl;

class QtPianoRoll : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<TavolinWindow>();
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        tabs = qobject_cast<QTabBar*>(window->control(ctl::Tabs));
        ASSERT_NE(tabs, nullptr);
        roll = window->pianoRoll();
        ASSERT_NE(roll, nullptr);
    }
    void TearDown() override {
        window->model().modified = false;
        window.reset();
    }
    void type(int tab, const char* keys) {
        tabs->setCurrentIndex(tab);
        QTest::keyClicks(window->editor(), keys);
    }
    // Until the live check has answered the latest change (its debounce is 150 ms).
    bool waitForRoll() {
        QTest::qWait(300);
        window->live().waitIdle();
        QTest::qWait(80);
        return roll->model().song() != nullptr;
    }
    void clickNote(int bank, size_t note) {
        const window::RollRect r = roll->model().noteRect({bank, note});
        QTest::mouseClick(roll->canvas(), Qt::LeftButton, {}, QPointF(r.x + r.width / 2, r.y + r.height / 2).toPoint());
    }

    std::unique_ptr<TavolinWindow> window;
    QTabBar* tabs = nullptr;
    PianoRollView* roll = nullptr;
};

TEST_F(QtPianoRoll, ClickSelectsTheSourceAndTheCaretHighlightsTheNote) {
    auto* dock = window->findChild<QDockWidget*>(QStringLiteral("pianoRollDock"));
    ASSERT_NE(dock, nullptr);
    EXPECT_EQ(dock->windowTitle(), QStringLiteral("ピアノロール"));
    EXPECT_TRUE(roll->canvas()->isVisible());

    type(0, "@!ag16!");
    type(2, "o5!a!a");
    type(1, "cd8r8");
    QTest::keyClick(window->editor(), Qt::Key_Return);
    QTest::keyClicks(window->editor(), "e2");
    ASSERT_TRUE(waitForRoll());
    ASSERT_EQ(roll->model().visibleNotes(0).size(), 3u);  // C D8 E2; the rest is a gap
    ASSERT_EQ(roll->model().visibleNotes(1).size(), 2u);

    struct Row {
        const char* name;
        int bank;
        size_t note;
        int tab;
        QString selected;
    };
    const Row rows[] = {
        {"a macro's replay: the recorded note in the common tab", 1, 1, 0, "G16"},
        {"back to bank A", 0, 1, 1, "D8"},
        {"after the line break", 0, 3, 1, "E2"},
    };
    for (const Row& r : rows) {
        clickNote(r.bank, r.note);
        EXPECT_EQ(tabs->currentIndex(), r.tab) << r.name;
        EXPECT_EQ(window->editor()->textCursor().selectedText(), r.selected) << r.name;
        EXPECT_EQ(roll->model().highlight(), (TimelineRef{r.bank, r.note})) << r.name;
    }

    // The caret moved in the editor highlights the note under or after it.
    struct Caret {
        int tab;
        int position;
        std::optional<TimelineRef> note;
    };
    for (const Caret& c : {Caret{1, 0, TimelineRef{0, 0}}, Caret{1, 2, TimelineRef{0, 1}}, Caret{1, 5, TimelineRef{0, 3}},
                           Caret{0, 3, TimelineRef{1, 0}}, Caret{3, 0, std::nullopt}}) {
        tabs->setCurrentIndex(c.tab);
        QTextCursor cursor = window->editor()->textCursor();
        cursor.setPosition(c.position);
        window->editor()->setTextCursor(cursor);
        EXPECT_EQ(roll->model().highlight(), c.note) << c.tab << ":" << c.position;
    }

    // Ctrl+wheel zooms around the mouse.
    const double before = roll->model().pixelsPerSecond();
    const QPointF at(200, 60);
    QWheelEvent wheel(at, roll->canvas()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(roll->canvas(), &wheel);
    EXPECT_DOUBLE_EQ(roll->model().pixelsPerSecond(), before * 1.25);

    // An edit shows in the roll with the next check.
    type(1, "g");
    ASSERT_TRUE(waitForRoll());
    EXPECT_EQ(roll->model().song()->timeline.banks[0].notes.size(), 5u);  // C D8 R8 G E2

    // The arrows walk the notes from the roll and select their source, the keys staying there;
    // Shift+Right stretches the selection over the notes passed.
    QTest::mouseDClick(roll->canvas(), Qt::LeftButton);  // the whole song in view again
    clickNote(0, 0);
    roll->canvas()->setFocus();
    const std::pair<QKeyCombination, QString> keys[] = {
        {QKeyCombination(Qt::Key_Right), "D8"},
        {QKeyCombination(Qt::ShiftModifier, Qt::Key_Right), "D8R8G"},  // past the rest
        {QKeyCombination(Qt::Key_Up), "D8R8G"},  // no bank above: nothing moves
        {QKeyCombination(Qt::Key_Down), "G16"},  // bank B's last note, recorded in the common tab
    };
    for (const auto& [key, selected] : keys) {
        QTest::keyClick(roll->canvas(), key.key(), key.keyboardModifiers());
        EXPECT_EQ(window->editor()->textCursor().selectedText(), selected) << QKeySequence(key).toString().toStdString();
        EXPECT_EQ(window->focusWidget(), roll->canvas()) << QKeySequence(key).toString().toStdString();
    }
}

// The note clicked stays the note named, in the roll and in the status, pass
// and macro replay included, also through the next check of the same text.
TEST_F(QtPianoRoll, TheClickedNoteStaysNamedInRollAndStatus) {
    type(0, "@!ag16!");
    type(1, "c!a!a");
    type(2, "[c c >c <c]4");
    ASSERT_TRUE(waitForRoll());
    struct Row {
        const char* name;
        int bank;
        size_t note;
        const char* time;
    };
    const Row rows[] = {
        {"the fourth pass", 1, 12, "  0:06.00 / "},
        {"the second macro replay", 0, 2, "  0:00.62 / "},
        {"the first replay", 0, 1, "  0:00.50 / "},
    };
    for (const Row& r : rows) {
        clickNote(r.bank, r.note);
        EXPECT_EQ(roll->model().highlight(), (TimelineRef{r.bank, r.note})) << r.name;
        EXPECT_TRUE(window->caretStatus()->text().contains(QString::fromLatin1(r.time))) << r.name << ": "
                                                                                        << window->caretStatus()->text().toStdString();
        // A setting that starts a new check of the same text keeps both.
        qobject_cast<QAbstractButton*>(window->control(ctl::Loop))->toggle();
        ASSERT_TRUE(waitForRoll());
        EXPECT_EQ(roll->model().highlight(), (TimelineRef{r.bank, r.note})) << r.name << " after the check";
        EXPECT_TRUE(window->caretStatus()->text().contains(QString::fromLatin1(r.time))) << r.name << " after the check";
    }
}

TEST_F(QtPianoRoll, PlayheadFollowsWhatIsHeard) {
    auto log = std::make_shared<output::VirtualDeviceLog>();
    output::VirtualDeviceOptions options;
    options.realTime = true;
    window->setServices(std::make_unique<window::WindowLayers>(window->model(), output::VirtualAudioDevice::factory(options, log)));
    type(1, "t60 l4 cdefg");
    ASSERT_TRUE(waitForRoll());
    EXPECT_FALSE(roll->playhead());
    QTest::keyClick(window->editor(), Qt::Key_F5);
    QTest::qWait(300);
    ASSERT_TRUE(roll->playhead().has_value());
    const uint64_t first = *roll->playhead();
    QTest::qWait(200);
    ASSERT_TRUE(roll->playhead().has_value());
    EXPECT_GT(*roll->playhead(), first);
    EXPECT_LT(*roll->playhead(), 5 * 48000u) << "inside the five-second song";
    QTest::keyClick(window->editor(), Qt::Key_F6);
    EXPECT_FALSE(roll->playhead());
}

}  // namespace
}  // namespace tavolin::qt
