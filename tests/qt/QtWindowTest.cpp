// SPDX-License-Identifier: MIT
// The Qt window under the offscreen platform: keys, upper-casing, Ctrl+A, helper
// buttons, the error jump, the About box and the close prompt.
#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QListWidget>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextLayout>
#include <QTimer>
#include <QToolButton>
#include <QTextCursor>
#include <QHelpEvent>
#include <QToolTip>
#include <QTreeWidget>

#include "app/qt/CEditEx.h"
#include "app/qt/KeysDialog.h"
#include "document/DocumentFormat.h"
#include "document/UserTexts.h"
#include "app/qt/DisplayLines.h"
#include "app/qt/Language.h"
#include "app/version/Version.h"
#include "music/MmlReference.h"
#include "window/Examples.h"
#include "window/HelpPages.h"
#include "app/qt/BankScopes.h"
#include "app/qt/PianoRollView.h"
#include "app/qt/ExportDialog.h"
#include "app/qt/MmlHighlighter.h"
#include "app/qt/TavolinWindow.h"
#include "compiler/Cp932.h"
#include "document/TextEncoding.h"
#include "window/WindowLayers.h"
#include "output/VirtualAudioDevice.h"
#include "output/sdl/SdlAudioDevice.h"

namespace tavolin::qt {
namespace {

using window::Command;
namespace ctl = window::ctl;

// Records which commands reach the layers below.
class RecordingServices : public window::WindowServices {
public:
    std::vector<std::string>* calls;
    explicit RecordingServices(std::vector<std::string>* c) : calls(c) {}
    void play(bool test) override { calls->push_back(test ? "test" : "play"); }
    void stop() override { calls->push_back("stop"); }
    void setPaused(bool p) override { calls->push_back(p ? "pause" : "resume"); }
    void exportWav() override { calls->push_back("export"); }
    void exportMidi() override { calls->push_back("exportMidi"); }
    bool promptSaveAndClear() override { calls->push_back("new"); return true; }
    void saveDocument() override { calls->push_back("save"); }
    void saveDocumentAs() override { calls->push_back("saveAs"); }
    void openDocument() override { calls->push_back("open"); }
    void importClipboard() override { calls->push_back("import"); }
    void openPath(const std::string&) override { calls->push_back("openPath"); }
    void openRecent(const std::string& path) override { calls->push_back("openRecent:" + path); }
};

// Answers every modal box that opens with `button`, recording title and text.
class ModalAnswerer : public QObject {
public:
    explicit ModalAnswerer(QMessageBox::StandardButton button = QMessageBox::Ok) : m_button(button) {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { answer(); });
        m_timer.start();
    }
    std::vector<std::pair<QString, QString>> seen;  // title, text

private:
    void answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen.emplace_back(box->windowTitle(), box->text());
        QAbstractButton* b = box->button(m_button);
        if (!b) b = box->button(QMessageBox::Ok);
        if (b) b->click();
    }
    QMessageBox::StandardButton m_button;
    QTimer m_timer;
};

class QtWindow : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<TavolinWindow>();
        window->setServices(std::make_unique<RecordingServices>(&calls));
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        window->editor()->setFocus();
    }
    void TearDown() override {
        window->model().modified = false;
        window.reset();
    }
    template <typename W>
    W* control(int id) {
        auto* w = qobject_cast<W*>(window->control(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    void click(int id) { QTest::mouseClick(control<QAbstractButton>(id), Qt::LeftButton); }
    // The real layers below, playing in real time on a virtual device.
    window::WindowLayers& useVirtualDevice() {
        output::VirtualDeviceOptions options;
        options.realTime = true;
        auto layers = std::make_unique<window::WindowLayers>(
            window->model(), output::VirtualAudioDevice::factory(options, std::make_shared<output::VirtualDeviceLog>()));
        window::WindowLayers& kept = *layers;
        window->setServices(std::move(layers));
        return kept;
    }

    std::vector<std::string> calls;
    std::unique_ptr<TavolinWindow> window;
};

struct KeyRow {
    const char* name;
    QKeyCombination key;
    std::vector<std::string> calls;
};

TEST_F(QtWindow, AcceleratorsWorkWhileTheEditorHasFocus) {
    const KeyRow rows[] = {
        {"F5", QKeyCombination(Qt::Key_F5), {"play"}},
        {"F6", QKeyCombination(Qt::Key_F6), {"stop"}},
        {"Ctrl+N", QKeyCombination(Qt::ControlModifier, Qt::Key_N), {"new"}},
        {"Ctrl+O", QKeyCombination(Qt::ControlModifier, Qt::Key_O), {"open"}},
        {"Ctrl+S", QKeyCombination(Qt::ControlModifier, Qt::Key_S), {"save"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        calls.clear();
        ASSERT_TRUE(window->editor()->hasFocus());
        QTest::keyClick(window->editor(), r.key.key(), r.key.keyboardModifiers());
        EXPECT_EQ(calls, r.calls);
    }
    EXPECT_EQ(window->editor()->toPlainText(), "");  // no key leaked into the text
    // Alt+F4 is Exit: an unmodified document closes at once, after stopping playback.
    calls.clear();
    QTest::keyClick(window->editor(), Qt::Key_F4, Qt::AltModifier);
    EXPECT_EQ(calls, (std::vector<std::string>{"stop"}));
    EXPECT_FALSE(window->isVisible());
}

TEST_F(QtWindow, TypedAndPastedLettersLandUpperCase) {
    QTest::keyClicks(window->editor(), "t120 cde");
    QTest::keyClick(window->editor(), Qt::Key_Return);
    QTest::keyClicks(window->editor(), "o4");
    QTest::keyClick(window->editor(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(window->editor()->toPlainText(), "T120 CDE\nO4\n");
    EXPECT_EQ(window->model().tabTexts[0], "T120 CDE\r\nO4\r\n");
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("tavolin Ostra - 無題 *"));

    QGuiApplication::clipboard()->setText(QString::fromUtf8("l8efg *ドレミ*"));
    window->editor()->paste();
    EXPECT_EQ(window->editor()->toPlainText(), QString::fromUtf8("T120 CDE\nO4\nL8EFG *ドレミ*"));
    EXPECT_EQ(window->model().tabTexts[0], "T120 CDE\r\nO4\r\n" + utf8ToCp932("L8EFG *ドレミ*").value());

    // Line breaks from other programs arrive as one break each.
    window->editor()->clear();
    QGuiApplication::clipboard()->setText(QString::fromUtf8("a\r\nb\rc\nd"));
    window->editor()->paste();
    EXPECT_EQ(window->editor()->toPlainText(), "A\nB\nC\nD");
    EXPECT_EQ(window->model().tabTexts[0], "A\r\nB\r\nC\r\nD");
    // Tab inserts nothing: it moves the focus on.
    QTest::keyClick(window->editor(), Qt::Key_Tab);
    EXPECT_EQ(window->editor()->toPlainText(), "A\nB\nC\nD");
    EXPECT_FALSE(window->editor()->hasFocus());
}

TEST_F(QtWindow, CharactersCp932CannotHoldAreRefusedWithAMessage) {
    QTest::keyClicks(window->editor(), "c");
    ModalAnswerer answerer;
    QGuiApplication::clipboard()->setText(QString::fromUtf8("d😀"));
    window->editor()->paste();
    EXPECT_EQ(window->editor()->toPlainText(), "C");
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].first, "TavolinApp");
    EXPECT_TRUE(answerer.seen[0].second.contains(QString::fromUtf8("😀")));
}

TEST_F(QtWindow, CtrlASelectsTheWholeField) {
    QTest::keyClicks(window->editor(), "cde");
    QTest::keyClick(window->editor(), Qt::Key_Return);
    QTest::keyClicks(window->editor(), "fg");
    QTest::keyClick(window->editor(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(window->editor()->textCursor().selectedText(), QString("CDE") + QChar::ParagraphSeparator + "FG");
    EXPECT_EQ(window->editor()->toPlainText(), "CDE\nFG");

    auto* noise = control<QLineEdit>(ctl::FreqNoise);
    noise->setFocus();
    noise->setText("123");
    noise->setCursorPosition(1);
    QTest::keyClick(noise, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(noise->selectedText(), "123");
    QTest::keyClicks(noise, "x7");  // digits only
    EXPECT_EQ(noise->text(), "7");
}

TEST_F(QtWindow, HelperButtonsInsertAtTheCaret) {
    QTest::keyClicks(window->editor(), "cd");
    QTextCursor c = window->editor()->textCursor();
    c.setPosition(1);
    window->editor()->setTextCursor(c);
    control<QComboBox>(ctl::DutyCombo)->setEditText("12.5");
    click(ctl::DutyAdd);
    click(ctl::InsertTone);
    EXPECT_EQ(window->editor()->toPlainText(), "C@W0:0:12.5@0D");
    click(ctl::Template0 + 1);
    control<QLineEdit>(ctl::EnvelopeNumber)->setText("3");
    click(ctl::InsertEnvelope);
    EXPECT_EQ(window->editor()->toPlainText(), "C@W0:0:12.5@0@ED3:0:0:0:255:255D");
    EXPECT_EQ(window->model().tabTexts[0], "C@W0:0:12.5@0@ED3:0:0:0:255:255D");
    EXPECT_EQ(control<QLineEdit>(ctl::AttackLevel)->text(), "255");
}

TEST_F(QtWindow, TabsShowTheirOwnText) {
    QTest::keyClicks(window->editor(), "t150");
    control<QTabBar>(ctl::Tabs)->setCurrentIndex(1);
    EXPECT_EQ(window->editor()->toPlainText(), "");
    QTest::keyClicks(window->editor(), "cde");
    window->model().modified = false;
    window->model().updateTitle();
    control<QTabBar>(ctl::Tabs)->setCurrentIndex(0);
    EXPECT_EQ(window->editor()->toPlainText(), "T150");
    control<QTabBar>(ctl::Tabs)->setCurrentIndex(1);
    EXPECT_EQ(window->editor()->toPlainText(), "CDE");
    EXPECT_FALSE(window->model().modified);
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("tavolin Ostra - 無題 "));
}

TEST_F(QtWindow, CompileErrorJumpSelectsTheCharacter) {
    auto log = std::make_shared<output::VirtualDeviceLog>();
    window->setServices(std::make_unique<window::WindowLayers>(
        window->model(), output::VirtualAudioDevice::factory({}, log)));
    window->model().tabTexts[5] = utf8ToCp932("*日本語のコメント*\r\nCD\r\nE!\r\nG").value();
    control<QWidget>(ctl::Play)->setFocus();
    ModalAnswerer answerer;
    click(ctl::Play);
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_TRUE(answerer.seen[0].second.startsWith(QString::fromUtf8("error:バンクE\nMMLコード 26 文字目")))
        << answerer.seen[0].second.toStdString();
    EXPECT_EQ(control<QTabBar>(ctl::Tabs)->currentIndex(), 5);
    EXPECT_EQ(window->editor()->textCursor().selectedText(), "!");
    // The editor is the window's focus widget again once the box has gone.
    EXPECT_EQ(window->focusWidget(), window->editor());
    EXPECT_FALSE(window->model().modified);
}

// The window on the real sound backend (SDL's disk driver: no hardware needed).
TEST_F(QtWindow, PlayAndStopThroughTheSdlDevice) {
    const QByteArray raw = QDir::temp().filePath(QStringLiteral("tavolin-qt-%1.raw").arg(QCoreApplication::applicationPid())).toUtf8();
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", raw);
    qputenv("SDL_DISKAUDIODELAY", "5");
    auto layers = std::make_unique<window::WindowLayers>(window->model(), output::sdlAudioDeviceFactory());
    window::WindowLayers* live = layers.get();
    window->setServices(std::move(layers));
    control<QTabBar>(ctl::Tabs)->setCurrentIndex(1);
    window->editor()->setFocus();
    QTest::keyClicks(window->editor(), "t200l16cdefgab>c");
    ModalAnswerer answerer;
    QTest::keyClick(window->editor(), Qt::Key_F5);
    EXPECT_TRUE(answerer.seen.empty()) << answerer.seen.front().second.toStdString();
    EXPECT_TRUE(live->player().isPlaying());
    QTest::qWait(200);
    QTest::keyClick(window->editor(), Qt::Key_F6);
    EXPECT_FALSE(live->player().isPlaying());
    QFile file(QString::fromUtf8(raw));
    EXPECT_TRUE(file.exists());
    EXPECT_GT(file.size(), 0);
    file.remove();
}

TEST_F(QtWindow, ControlsCarryTheirCaptions) {
    const std::pair<int, const char*> captions[] = {
        {ctl::Play, "Play(&F5)"}, {ctl::Stop, "Stop(&F6)"}, {ctl::WavExport, "Wav出力"},
        {ctl::ClearAll, "全タブ内容をクリアする"}, {ctl::Pseudo8Bit, "疑似8ビットモード"},
        {ctl::Template0 + 6, "長いリリース3"}, {ctl::Import, "インポート"},
        {ctl::ImportIgnoreTempo, "バンク途中に出現するTコマンドを\n無視してインポートする"},
    };
    for (const auto& [id, text] : captions) EXPECT_EQ(control<QAbstractButton>(id)->text(), QString::fromUtf8(text));
    QStringList groups;
    for (auto* g : window->findChildren<QGroupBox*>()) groups << g->title();
    for (const char* g : {"音色定義サポート", "エンベロープサポート", "外部MMLインポート", "説明", "タイム", "レベル", "template"})
        EXPECT_TRUE(groups.contains(QString::fromUtf8(g))) << g;
    EXPECT_EQ(control<QComboBox>(ctl::SampleRate)->currentText(), "48,000");
    EXPECT_EQ(control<QComboBox>(ctl::Arithmetic)->currentText(), "Float");
    QStringList menu;
    for (QAction* a : window->menuBar()->actions().front()->menu()->actions())
        menu << (a->isSeparator() ? QString("-") : a->text() + "|" + a->shortcut().toString());
    EXPECT_EQ(menu, (QStringList{"&New|Ctrl+N", "-", "&Open|Ctrl+O", QString::fromUtf8("最近使ったファイル(&R)|"), QString::fromUtf8("サンプル曲|"),
                                 "&Save|Ctrl+S", "Save &As...|", "-", QString::fromUtf8("MIDI出力|"), QString::fromUtf8("MIDI読み込み…|"), "-", "&Exit|Alt+F4"}));
    EXPECT_LE(window->minimumWidth(), 1280);
}

// A message box shows every line of its text whole: a line wider than the
// box wraps (it was cut off at the box's edge, losing the sentence's end).
TEST_F(QtWindow, MessageLinesWrapInsteadOfBeingCut) {
    const std::string longPath = "/home/someone/" + std::string(30, 'x') + "/songs-from-another-editor/lyrics.mml";
    const std::pair<const char*, std::string> rows[] = {
        {"short", "OK"},
        {"the UTF-8 refusal", document::unencodableMessage(longPath, {{2, "\xED\x95\x9C"}, {3, "\xF0\x9F\x8E\xB5"}})},
        {"a path wider than the screen", "「" + std::string(60, 'x') + "/" + std::string(60, 'y') + "/" + std::string(60, 'z') + ".wav」"},
    };
    for (const auto& [name, text] : rows) {
        bool checked = false;
        QTimer::singleShot(50, [&, name = name] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr) << name;
            auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            ASSERT_NE(label, nullptr) << name;
            EXPECT_LE(label->geometry().right(), box->width()) << name;
            EXPECT_LE(label->minimumSizeHint().width(), label->width()) << name << ": a line is wider than the box";
            EXPECT_LE(label->heightForWidth(label->width()), label->height()) << name << ": lines are cut off below";
            checked = true;
            box->accept();
        });
        window->messageBox(text, "TavolinApp");
        EXPECT_TRUE(checked) << name;
    }
}

TEST_F(QtWindow, AboutBoxShowsNameAndVersion) {
    QAction* about = window->commandAction(Command::About);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->text(), QString::fromUtf8("TavolinAppについて(&A)..."));
    QString title, text, licence;
    QTimer::singleShot(50, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        if (auto* label = box->findChild<QLabel*>("aboutText")) text = label->text();
        if (auto* label = box->findChild<QLabel*>("aboutLicence")) licence = label->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    QTest::keyClicks(window->editor(), "c");
    about->trigger();
    EXPECT_EQ(title, QString::fromUtf8("TavolinApp について"));
    EXPECT_EQ(text, QString::fromUtf8("TavolinApp、バージョン ") + QString::fromUtf8(programVersion()));
    EXPECT_EQ(licence, QString::fromUtf8("MIT ライセンスのもとで配布されています。"));
    EXPECT_EQ(window->model().tabTexts[0], "C");
    EXPECT_TRUE(window->isVisible());
}

// Help: each documentation page opens in the desktop's viewer, found where a program run from a
// build tree looks (the sources' docs/); the test binary sits as deep in the build tree as tavolin.
TEST_F(QtWindow, HelpMenuOpensEveryDocumentationPage) {
    // Stands in for the desktop's viewer: QDesktopServices hands file URLs to its setSource slot.
    QTextBrowser viewer;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &viewer, "setSource");
    for (const window::HelpPage& page : window::kHelpPages) {
        if (!page.file) continue;
        auto* action = window->findChild<QAction*>(QStringLiteral("help:%1").arg(QLatin1String(page.file)));
        ASSERT_NE(action, nullptr) << page.file;
        EXPECT_EQ(action->text(), displayText(page.title));
        viewer.clear();
        action->trigger();
        EXPECT_EQ(viewer.source(), QUrl::fromLocalFile(QDir::cleanPath(
                                       QStringLiteral(TAVOLIN_SOURCE_DIR "/docs/") + QLatin1String(page.file))));
        EXPECT_FALSE(viewer.toPlainText().isEmpty()) << page.file;
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

TEST_F(QtWindow, LongExportShowsProgressThatCancels) {
    // A short export shows nothing; a long one shows the dialog, whose Cancel stops it.
    EXPECT_TRUE(window->reportProgress("x", -1.0));
    ASSERT_NE(window->findChild<QProgressDialog*>(), nullptr);
    EXPECT_FALSE(window->findChild<QProgressDialog*>()->isVisible());
    QElapsedTimer clock;
    clock.start();
    bool going = true;
    QProgressDialog* dialog = window->findChild<QProgressDialog*>();
    while (going && clock.elapsed() < 5000) {
        going = window->reportProgress("WAV", -1.0);
        if (dialog->isVisible()) dialog->cancel();
        QTest::qWait(20);
    }
    EXPECT_FALSE(going);
    EXPECT_GE(clock.elapsed(), 300);
    window->endProgress();
    EXPECT_EQ(window->findChild<QProgressDialog*>(), nullptr);
}

// The export dialog shows the model's last choice and hands back what was set;
// the busy cursor comes and goes with the export.
TEST_F(QtWindow, ExportDialogAndBusyCursor) {
    // Banks A and E left out by mute or solo: the dialog says so.
    ExportDialog dialog(window::ExportChoice{output::AudioFileType::OggVorbis, 3, 2.5}, 0x0E, window.get());
    auto* type = dialog.findChild<QComboBox*>("exportType");
    auto* loops = dialog.findChild<QSpinBox*>("exportLoops");
    auto* fade = dialog.findChild<QDoubleSpinBox*>("exportFade");
    auto* perBank = dialog.findChild<QCheckBox*>("exportPerBank");
    auto* note = dialog.findChild<QLabel*>("exportMutedNote");
    ASSERT_TRUE(type && loops && fade && perBank && note);
    EXPECT_EQ(perBank->text(), QString::fromUtf8("バンク別に書き出す"));
    EXPECT_EQ(note->text(), QString::fromUtf8("ミュート中のバンク A, E は書き出されません"));
    EXPECT_EQ(ExportDialog(window::ExportChoice{}, kAllBanks).findChild<QLabel*>("exportMutedNote"), nullptr);
    EXPECT_EQ(type->currentText(), "Ogg Vorbis (*.ogg)");
    EXPECT_EQ(std::make_pair(loops->value(), fade->value()), std::make_pair(3, 2.5));
    type->setCurrentIndex(1);
    loops->setValue(0);  // below the range: the box keeps 1
    fade->setValue(10.25);
    EXPECT_EQ(dialog.choice(), (window::ExportChoice{output::AudioFileType::Flac, 1, 10.25}));
    perBank->setChecked(true);
    EXPECT_EQ(dialog.choice(), (window::ExportChoice{output::AudioFileType::Flac, 1, 10.25, true}));
    // Loop points: not with stems; chosen, they leave the loop count, the fade and stems aside.
    auto* loopPoints = dialog.findChild<QCheckBox*>("exportLoopPoints");
    ASSERT_TRUE(loopPoints);
    EXPECT_EQ(loopPoints->text(), QString::fromUtf8("ループ情報を書き込む（ゲーム用）"));
    EXPECT_FALSE(loopPoints->isEnabled());
    perBank->setChecked(false);
    loopPoints->setChecked(true);
    EXPECT_FALSE(loops->isEnabled() || fade->isEnabled() || perBank->isEnabled());
    EXPECT_TRUE(dialog.choice().loopPoints);

    std::optional<window::ExportChoice> answer = window::ExportChoice{};
    QTimer::singleShot(50, [] {
        if (auto* d = qobject_cast<ExportDialog*>(QApplication::activeModalWidget())) d->reject();
    });
    answer = window->askExportChoice(window::ExportChoice{}, kAllBanks);
    EXPECT_FALSE(answer);

    window->setBusy(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    window->setBusy(false);
    window->setBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Edit → "キー設定…": a key another command has is refused naming it; a free one goes on the
// command's action (its menu entry shows it) and the old key runs nothing; the keys outlive the window.
TEST_F(QtWindow, KeysOfYourOwn) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QCoreApplication::setOrganizationName(QStringLiteral("tavolin-test"));
    window->useSettings();
    QAction* play = window->findChild<QAction*>(QStringLiteral("menu%1").arg(static_cast<int>(window::Command::Play)));
    ASSERT_NE(play, nullptr);
    EXPECT_EQ(play->shortcut().toString(QKeySequence::PortableText), QStringLiteral("F5"));
    QString refused;
    QTimer::singleShot(50, [&] {
        auto* d = qobject_cast<KeysDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        auto* table = d->findChild<QTableWidget*>(QStringLiteral("keysTable"));
        const auto rowOf = [table](const char* id) {
            for (int r = 0; r < table->rowCount(); ++r)
                if (table->item(r, 0)->data(Qt::UserRole).toString() == QLatin1String(id)) return r;
            return -1;
        };
        d->choose(rowOf("play"), QKeySequence(QStringLiteral("F6")));
        refused = d->findChild<QLabel*>(QStringLiteral("keysMessage"))->text();
        d->choose(rowOf("play"), QKeySequence(QStringLiteral("Ctrl+Shift+P")));
        d->choose(rowOf("loopPassage"), QKeySequence(QStringLiteral("Ctrl+Shift+L")));
        d->accept();
    });
    window->findChild<QAction*>(QStringLiteral("editKeys"))->trigger();
    EXPECT_EQ(refused, displayText("{keys} は「{command}」が使っています。先にそちらのキーを変えてください。")
                           .replace(QStringLiteral("{keys}"), QStringLiteral("F6")).replace(QStringLiteral("{command}"), displayText("停止")));
    EXPECT_EQ(play->shortcut().toString(QKeySequence::PortableText), QStringLiteral("Ctrl+Shift+P"));
    EXPECT_EQ(QSettings().value(QStringLiteral("keys")).toString(), QStringLiteral("loopPassage=Ctrl+Shift+L;play=Ctrl+Shift+P"));
    EXPECT_TRUE(window->control(ctl::LoopPassage)->toolTip().endsWith(QStringLiteral(" (Ctrl+Shift+L)")))
        << window->control(ctl::LoopPassage)->toolTip().toStdString();
    TavolinWindow next;
    next.useSettings();
    EXPECT_EQ(next.findChild<QAction*>(QStringLiteral("menu%1").arg(static_cast<int>(window::Command::Play)))->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+Shift+P")));
    QCoreApplication::setOrganizationName(QString());
}

struct CloseRow {
    const char* name;
    QMessageBox::StandardButton answer;
    bool closes;
};

TEST_F(QtWindow, ClosingWithUnsavedWorkAsksFirst) {
    const CloseRow rows[] = {
        {"cancel keeps the window", QMessageBox::Cancel, false},
        {"no closes", QMessageBox::No, true},
    };
    for (const auto& how : {"close button", "escape"}) {
        for (const auto& r : rows) {
            SCOPED_TRACE(std::string(how) + ": " + r.name);
            window->show();
            QApplication::setActiveWindow(window.get());
            ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
            window->editor()->setFocus();
            QTest::keyClicks(window->editor(), "c");
            ModalAnswerer answerer(r.answer);
            if (std::string(how) == "escape") QTest::keyClick(window->editor(), Qt::Key_Escape);
            else window->close();
            ASSERT_EQ(answerer.seen.size(), 1u);
            EXPECT_EQ(answerer.seen[0].first, "tavolin ostra");
            EXPECT_EQ(answerer.seen[0].second, QString::fromUtf8("ファイルが変更されています、保存しますか？"));
            EXPECT_EQ(!window->isVisible(), r.closes);
            if (r.closes) {
                // A fresh window for the next row.
                window = std::make_unique<TavolinWindow>();
                window->setServices(std::make_unique<RecordingServices>(&calls));
            }
        }
    }
}

TEST_F(QtWindow, RecoveryDialogAnswers) {
    window::RecoveryOffer offer{"ドキュメントの復元", "ファイル: /a.mml", "復元する", "破棄する", "後で"};
    const std::pair<const char*, window::RecoveryChoice> rows[] = {
        {"recoveryRestore", window::RecoveryChoice::Restore},
        {"recoveryDiscard", window::RecoveryChoice::Discard},
        {"recoveryLater", window::RecoveryChoice::Later},
        {"escape", window::RecoveryChoice::Later},
        {"return", window::RecoveryChoice::Restore},
    };
    for (const auto& [how, expected] : rows) {
        SCOPED_TRACE(how);
        QString title, text, buttons;
        const std::string way = how;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            for (QAbstractButton* b : box->buttons()) buttons += b->text() + QLatin1Char('|');
            if (way == "escape") QTest::keyClick(box, Qt::Key_Escape);
            else if (way == "return") QTest::keyClick(box, Qt::Key_Return);
            else box->findChild<QPushButton*>(QString::fromLatin1(way))->click();
        });
        EXPECT_EQ(window->askRecovery(offer), expected);
        EXPECT_EQ(title, QString::fromUtf8("ドキュメントの復元"));
        EXPECT_EQ(text, QString::fromUtf8("ファイル: /a.mml"));
        for (const char* label : {"復元する", "破棄する", "後で"}) EXPECT_TRUE(buttons.contains(QString::fromUtf8(label)));
    }
}

TEST_F(QtWindow, RecentFilesMenuOpensTheChosenFile) {
    window->model().setRecentFiles({"/songs/a.mml", "/songs/b&c.mml"});
    QMenu* menu = window->recentMenu();
    ASSERT_NE(menu, nullptr);
    const auto actions = menu->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("&1 /songs/a.mml"));
    EXPECT_EQ(actions[1]->text(), QStringLiteral("&2 /songs/b&&c.mml"));
    actions[1]->trigger();
    EXPECT_EQ(calls, (std::vector<std::string>{"openRecent:/songs/b&c.mml"}));
    window->model().setRecentFiles({});
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_FALSE(menu->actions()[0]->isEnabled());
    window->showStatus("UTF-8");
    EXPECT_EQ(window->statusBar()->currentMessage(), QStringLiteral("UTF-8"));
}

TEST_F(QtWindow, AutosaveRunsWhenTypingPausesAndDuringLongTyping) {
    QTemporaryDir dir;
    document::RealFileSystem disk;
    document::RecoveryStore store(disk, dir.path().toStdString(), 77, 1, nullptr, [] { return int64_t{1}; });
    window->model().setRecovery(&store);
    const QString own = QString::fromStdString(store.ownFile());
    auto waitFor = [&](int ms) {
        QElapsedTimer t;
        t.start();
        while (!QFile::exists(own) && t.elapsed() < ms) QTest::qWait(10);
        return QFile::exists(own);
    };
    QTest::keyClicks(window->editor(), "c");
    window->scheduleAutosave(30, 5000);  // a shorter pause than the window's own
    EXPECT_TRUE(waitFor(3000));
    // Steady typing: the pause never comes, the longest wait still writes.
    window->model().modified = false;
    window->model().autosave();
    ASSERT_FALSE(QFile::exists(own));
    window->model().modified = true;
    QElapsedTimer typing;
    typing.start();
    while (!QFile::exists(own) && typing.elapsed() < 3000) {
        window->scheduleAutosave(200, 100);
        QTest::qWait(20);
    }
    EXPECT_TRUE(QFile::exists(own));
    window->model().setRecovery(nullptr);
}

TEST_F(QtWindow, SizeSplitterRecentFilesAndLastFolderOutliveTheWindow) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QCoreApplication::setOrganizationName(QStringLiteral("tavolin-test"));
    window->useSettings();
    // The first start shows the first steps; Help's entry is ticked with them.
    QCoreApplication::processEvents();
    auto* steps = window->findChild<QWidget*>(QStringLiteral("firstStepsWindow"));
    ASSERT_NE(steps, nullptr);
    EXPECT_TRUE(steps->isVisible()) << "first start";
    EXPECT_EQ(steps->findChild<QLabel*>(QStringLiteral("firstSteps"))->text().count(QStringLiteral("<li>")), 5);
    window->findChild<QPushButton*>(QStringLiteral("firstStepsClose"))->click();
    EXPECT_FALSE(steps->isVisible());
    EXPECT_FALSE(window->findChild<QAction*>(QStringLiteral("help:firstSteps"))->isChecked());
    window->resize(1300, 760);
    window->splitter()->setSizes({500, 700});
    const QList<int> sizes = window->splitter()->sizes();
    window->model().rememberFile("/songs/a.mml");
    window->model().rememberFile("/songs/b.mml");
    window->model().rememberFolder("/songs/takes");
    window->close();
    auto next = std::make_unique<TavolinWindow>();
    next->useSettings();
    next->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(next.get()));
    EXPECT_EQ(next->size(), QSize(1300, 760));
    EXPECT_FALSE(next->findChild<QWidget*>(QStringLiteral("firstStepsWindow"))->isVisible()) << "shown on the first start only";
    EXPECT_EQ(next->splitter()->sizes(), sizes);
    EXPECT_EQ(next->model().recentFiles(), (std::vector<std::string>{"/songs/b.mml", "/songs/a.mml"}));
    EXPECT_EQ(next->model().lastFolder(), "/songs/takes");
    QCoreApplication::setOrganizationName(QString());
}

// A geometry saved where the screens were larger or elsewhere comes back whole on a
// screen there is now: the desktop (1920x1080 at 0,0) or the laptop (1366x768 at 1920,200).
TEST_F(QtWindow, RestoredGeometryIsBroughtOntoAScreen) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QCoreApplication::setOrganizationName(QStringLiteral("tavolin-test"));
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2);
    const struct {
        const char* name;
        QRect saved;
        int screen;  // -1: whichever
    } rows[] = {
        {"taller than the laptop, on it", {2000, 250, 1300, 1000}, 1},
        {"wider and taller than the laptop", {1950, 220, 1800, 1000}, 1},
        {"partly below the desktop", {100, 600, 1200, 800}, 0},
        {"on a third screen that is gone", {4000, 300, 1200, 700}, -1},
        {"above and left of every screen", {-3000, -2000, 1200, 600}, 0},
    };
    for (const auto& row : rows) {
        {
            TavolinWindow saved;
            saved.setGeometry(row.saved);
            QSettings().setValue(QStringLiteral("window/geometry"), saved.saveGeometry());
        }
        TavolinWindow next;
        next.useSettings();
        next.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&next));
        const QRect frame = next.frameGeometry();
        const auto inside = [&](const QScreen* s) { return s->availableGeometry().contains(frame); };
        EXPECT_TRUE(row.screen < 0 ? std::any_of(screens.begin(), screens.end(), inside) : inside(screens[row.screen]))
            << row.name << ": " << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
    }
    QCoreApplication::setOrganizationName(QString());
}

// Until the live check has answered the latest change (its debounce is 150 ms).
bool waitForLiveCheck(TavolinWindow& w) {
    QTest::qWait(300);
    w.live().waitIdle();
    QTest::qWait(80);
    return w.live().map() != nullptr;
}

TEST_F(QtWindow, LiveCheckUnderlinesTheErrorWithoutADialog) {
    ModalAnswerer answerer;
    auto* tabs = control<QTabBar>(ctl::Tabs);
    const QString captionB = tabs->tabText(2);
    tabs->setCurrentIndex(2);
    QTest::keyClicks(window->editor(), "cd");
    QTest::keyClick(window->editor(), Qt::Key_Return);
    QTest::keyClicks(window->editor(), "v300");
    ASSERT_TRUE(waitForLiveCheck(*window));
    EXPECT_TRUE(answerer.seen.empty());
    ASSERT_TRUE(window->errorStatus()->isVisible());
    EXPECT_TRUE(window->errorStatus()->text().startsWith(QStringLiteral("B 2:4 "))) << window->errorStatus()->text().toStdString();
    ASSERT_TRUE(window->editor()->errorRange().has_value());
    EXPECT_EQ(window->editor()->toPlainText().mid(window->editor()->errorRange()->first, 4), "V300");
    EXPECT_EQ(tabs->tabIcon(2).cacheKey(), TavolinWindow::tabErrorMark().cacheKey());
    EXPECT_EQ(tabs->tabIcon(1).cacheKey(), TavolinWindow::noErrorMark().cacheKey());
    EXPECT_EQ(tabs->tabText(2), captionB);  // the mark is an icon; the caption stays
    // The caret status follows, without times while the song does not compile.
    EXPECT_EQ(window->caretStatus()->text(), "2:5");

    // Another tab shows no underline; the message jumps back to the error.
    tabs->setCurrentIndex(1);
    EXPECT_FALSE(window->editor()->errorRange().has_value());
    QTest::mouseClick(window->errorStatus(), Qt::LeftButton);
    EXPECT_EQ(tabs->currentIndex(), 2);
    EXPECT_EQ(window->editor()->textCursor().selectedText(), "V300");
    EXPECT_TRUE(window->editor()->errorRange().has_value());

    // Mended, the marks go and the times come.
    window->editor()->textCursor().insertText("V10");
    ASSERT_TRUE(waitForLiveCheck(*window));
    EXPECT_FALSE(window->errorStatus()->isVisible());
    EXPECT_FALSE(window->editor()->errorRange().has_value());
    EXPECT_EQ(tabs->tabIcon(2).cacheKey(), TavolinWindow::noErrorMark().cacheKey());
    EXPECT_TRUE(window->caretStatus()->text().contains(" / ")) << window->caretStatus()->text().toStdString();
    EXPECT_TRUE(answerer.seen.empty());
}

// Each bank is checked on its own: both broken banks carry the mark and their
// underline, and no tab changes its width when a mark comes or goes.
TEST_F(QtWindow, ErrorsInSeveralBanksMarkEachTabInPlace) {
    auto* tabs = control<QTabBar>(ctl::Tabs);
    QTest::qWait(50);
    std::vector<int> widths;
    for (int i = 0; i < tabs->count(); ++i) widths.push_back(tabs->tabRect(i).width());
    tabs->setCurrentIndex(1);
    QTest::keyClicks(window->editor(), "v300");
    tabs->setCurrentIndex(4);
    QTest::keyClicks(window->editor(), "cq");
    ASSERT_TRUE(waitForLiveCheck(*window));
    for (int i = 0; i < tabs->count(); ++i) {
        EXPECT_EQ(tabs->tabIcon(i).cacheKey(), (i == 1 || i == 4 ? TavolinWindow::tabErrorMark() : TavolinWindow::noErrorMark()).cacheKey()) << i;
        EXPECT_EQ(tabs->tabRect(i).width(), widths[static_cast<size_t>(i)]) << i;
    }
    EXPECT_TRUE(window->errorStatus()->text().startsWith(QStringLiteral("A 1:4 "))) << window->errorStatus()->text().toStdString();
    ASSERT_TRUE(window->editor()->errorRange().has_value());
    EXPECT_EQ(window->editor()->toPlainText().mid(window->editor()->errorRange()->first, 1), "Q");
}

// Undo steps: a helper insert is one step of its own, not merged with the
// typing after it; undo back to the saved text leaves the document clean.
// Redo is Ctrl+Y as well as Ctrl+Shift+Z, and the Edit menu shows the keys.
TEST_F(QtWindow, UndoStepsRedoKeysAndTheEditMenu) {
    auto* editor = window->editor();
    click(ctl::InsertEnvelope);
    const QString inserted = QStringLiteral("@ED0:20:20:20:255:204");
    editor->setFocus();
    QTest::keyClicks(editor, " c");
    struct Step {
        const char* name;
        QKeyCombination key;
        QString text;
        bool modified;
    };
    const Step steps[] = {
        {"undo the typing", QKeyCombination(Qt::ControlModifier, Qt::Key_Z), inserted, true},
        {"undo the insert", QKeyCombination(Qt::ControlModifier, Qt::Key_Z), QString(), false},
        {"redo with Ctrl+Y", QKeyCombination(Qt::ControlModifier, Qt::Key_Y), inserted, true},
        {"redo with Ctrl+Shift+Z", QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z), inserted + " C", true},
    };
    for (const Step& s : steps) {
        QTest::keyClick(editor, s.key.key(), s.key.keyboardModifiers());
        EXPECT_EQ(editor->toPlainText().toStdString(), s.text.toStdString()) << s.name;
        EXPECT_EQ(window->model().modified, s.modified) << s.name;
        EXPECT_EQ(window->windowTitle().endsWith(QLatin1Char('*')), s.modified) << s.name;
    }
    // Ctrl+Y in the test phrase redoes there, not in the editor.
    auto* phrase = control<QLineEdit>(ctl::TestPhrase);
    phrase->setFocus();
    QTest::keyClicks(phrase, "d");
    QTest::keyClick(phrase, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(phrase, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(phrase->text(), "CD");
    EXPECT_EQ(editor->toPlainText(), inserted + " C");

    auto* menu = window->findChild<QMenu*>(QStringLiteral("editMenu"));
    ASSERT_NE(menu, nullptr);
    QStringList shown;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) shown << a->text() + QLatin1Char(' ') + a->shortcut().toString();
    EXPECT_EQ(shown, (QStringList{"元に戻す(&U) Ctrl+Z", "やり直し(&R) Ctrl+Y", "切り取り(&T) Ctrl+X", "コピー(&C) Ctrl+C",
                                  "貼り付け(&P) Ctrl+V", "すべて選択(&A) Ctrl+A", "検索(&F)... Ctrl+F", "次を検索(&N) F3",
                                  "前を検索(&V) Shift+F3", "キー設定(&K)... "}));
}

// Ctrl+F opens the find bar over the current tab; Enter and Shift+Enter step
// through the places, Escape closes the bar and leaves the window open.
TEST_F(QtWindow, FindBarStepsThroughTheTab) {
    auto* editor = window->editor();
    QTest::keyClicks(editor, "cde cde");
    QTextCursor c = editor->textCursor();
    c.setPosition(0);
    editor->setTextCursor(c);
    QTest::keyClick(editor, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(window->findBar()->isVisible());
    auto* field = window->findBar()->findChild<QLineEdit*>(QStringLiteral("findField"));
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(field->hasFocus());
    const auto selection = [&] {
        const QTextCursor s = editor->textCursor();
        return std::make_pair(s.selectionStart(), s.selectionEnd());
    };
    QTest::keyClicks(field, "cd");
    EXPECT_EQ(selection(), std::make_pair(0, 2));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(selection(), std::make_pair(4, 6));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(selection(), std::make_pair(0, 2)) << "around the end";
    QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(selection(), std::make_pair(4, 6));
    QTest::keyClick(editor, Qt::Key_F3);
    EXPECT_EQ(selection(), std::make_pair(0, 2));
    QTest::keyClicks(field, "x");
    auto* status = window->findBar()->findChild<QLabel*>(QStringLiteral("findStatus"));
    EXPECT_EQ(status->text(), "見つかりません");
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(window->findBar()->isVisible());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(editor->toPlainText(), "CDE CDE");
}

TEST_F(QtWindow, EachTabKeepsItsUndoHistoryAndCaret) {
    auto* tabs = control<QTabBar>(ctl::Tabs);
    auto* editor = window->editor();
    tabs->setCurrentIndex(1);
    QTest::keyClicks(editor, "cde");
    QTextCursor c = editor->textCursor();
    c.setPosition(1);
    editor->setTextCursor(c);
    tabs->setCurrentIndex(2);
    QTest::keyClicks(editor, "fg");
    tabs->setCurrentIndex(1);
    EXPECT_EQ(editor->textCursor().position(), 1);
    editor->undo();
    EXPECT_EQ(editor->toPlainText(), "");
    EXPECT_EQ(window->model().tabTexts[1], "");
    editor->redo();
    EXPECT_EQ(editor->toPlainText(), "CDE");
    // A helper insert is one step of its tab's history.
    control<QComboBox>(ctl::DutyCombo)->setEditText("50");
    click(ctl::DutyAdd);
    click(ctl::InsertTone);
    ASSERT_NE(editor->toPlainText(), "CDE");
    editor->undo();
    EXPECT_EQ(editor->toPlainText(), "CDE");
    tabs->setCurrentIndex(2);
    EXPECT_EQ(editor->toPlainText(), "FG");
    editor->undo();
    EXPECT_EQ(editor->toPlainText(), "");
    EXPECT_EQ(window->model().tabTexts[2], "");
    // Text the program replaces (a load) starts a fresh history.
    window->model().tabTexts[1] = "A";
    window->model().selectTab(1);
    EXPECT_EQ(editor->toPlainText(), "A");
    EXPECT_FALSE(editor->document()->isUndoAvailable());
}

TEST_F(QtWindow, ColoursLeaveTextAndModifiedFlagAlone) {
    window->model().tabTexts[1] = utf8ToCp932("*ドレミ* T120 O4 L8 @1 [CD8.]2 !A").value();
    window->model().modified = false;
    window->model().selectTab(1);
    const QTextBlock block = window->editor()->document()->firstBlock();
    auto colourAt = [&](int pos) {
        for (const QTextLayout::FormatRange& r : block.layout()->formats())
            if (pos >= r.start && pos < r.start + r.length) return r.format.foreground().color();
        return QColor();
    };
    const auto light = mmlFormats(false);
    const auto dark = mmlFormats(true);
    const QString text = window->editor()->toPlainText();
    const std::pair<int, music::MmlClass> rows[] = {
        {1, music::MmlClass::Comment}, {6, music::MmlClass::Setting}, {14, music::MmlClass::Octave},
        {17, music::MmlClass::Sound},  {20, music::MmlClass::Loop},   {21, music::MmlClass::Note},
        {23, music::MmlClass::Length}, {28, music::MmlClass::Macro},
    };
    for (const auto& [pos, cls] : rows) {
        SCOPED_TRACE(pos);
        EXPECT_EQ(colourAt(pos), light[static_cast<size_t>(cls)].foreground().color()) << text.mid(pos, 1).toStdString();
    }
    // A dark theme recolours every tab with the dark palette.
    const QPalette before = QApplication::palette();
    QPalette night = before;
    night.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    night.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
    night.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
    QApplication::setPalette(night);
    QApplication::processEvents();
    for (const auto& [pos, cls] : rows) EXPECT_EQ(colourAt(pos), dark[static_cast<size_t>(cls)].foreground().color()) << pos;
    if (const QByteArray path = qgetenv("TAVOLIN_DARK_GRAB"); !path.isEmpty()) window->grab().save(QString::fromUtf8(path));
    QApplication::setPalette(before);
    QApplication::processEvents();
    EXPECT_EQ(colourAt(21), light[static_cast<size_t>(music::MmlClass::Note)].foreground().color());
    EXPECT_EQ(window->model().tabTexts[1], utf8ToCp932("*ドレミ* T120 O4 L8 @1 [CD8.]2 !A").value());
    EXPECT_FALSE(window->model().modified);
}

TEST_F(QtWindow, TestPhraseUpperCasesAsTyped) {
    auto* phrase = control<QLineEdit>(ctl::TestPhrase);
    phrase->setFocus();
    phrase->clear();
    QTest::keyClicks(phrase, "l8 cdefg");
    EXPECT_EQ(phrase->text(), "L8 CDEFG");
}

TEST_F(QtWindow, PlayingNotesAreLitWhileTheySound) {
    useVirtualDevice();
    control<QTabBar>(ctl::Tabs)->setCurrentIndex(1);
    QTest::keyClicks(window->editor(), "t60 l4 cdefg");
    ASSERT_TRUE(waitForLiveCheck(*window));
    ModalAnswerer answerer;
    QTest::keyClick(window->editor(), Qt::Key_F5);
    ASSERT_TRUE(answerer.seen.empty());
    EXPECT_TRUE(window->playTimer()->isActive());
    QTest::qWait(300);  // the first quarter note lasts a second at tempo 60
    ASSERT_EQ(window->editor()->playingRanges().size(), 1u);
    const auto [from, to] = window->editor()->playingRanges()[0];
    EXPECT_EQ(window->editor()->toPlainText().mid(from, to - from), "C");
    // Another tab shows its own notes only: this song has none there.
    control<QTabBar>(ctl::Tabs)->setCurrentIndex(2);
    QTest::qWait(60);
    EXPECT_TRUE(window->editor()->playingRanges().empty());
    control<QTabBar>(ctl::Tabs)->setCurrentIndex(1);
    QTest::qWait(60);
    EXPECT_EQ(window->editor()->playingRanges().size(), 1u);
    QTest::keyClick(window->editor(), Qt::Key_F6);
    EXPECT_TRUE(window->editor()->playingRanges().empty());
    EXPECT_FALSE(window->playTimer()->isActive());  // idle: no timer runs
}

// Pause keeps the place where the music waits lit, with the roll's playhead
// on it; a Test phrase, once heard, ends its playback as Stop does.
TEST_F(QtWindow, PauseKeepsThePlaceAndTestEndsLikeStop) {
    auto log = std::make_shared<output::VirtualDeviceLog>();
    output::VirtualDeviceOptions options;
    options.realTime = true;
    auto layers = std::make_unique<window::WindowLayers>(window->model(), output::VirtualAudioDevice::factory(options, log));
    window::WindowLayers* services = layers.get();
    window->setServices(std::move(layers));
    auto* roll = window->findChild<PianoRollView*>();
    ASSERT_NE(roll, nullptr);
    control<QTabBar>(ctl::Tabs)->setCurrentIndex(1);
    QTest::keyClicks(window->editor(), "t60 l4 cdefg");
    ASSERT_TRUE(waitForLiveCheck(*window));
    ModalAnswerer answerer;
    QTest::keyClick(window->editor(), Qt::Key_F5);
    ASSERT_TRUE(answerer.seen.empty());
    QTest::qWait(200);
    click(ctl::Pause);
    // Until the blocks rendered before the pause have played, then a repaint.
    for (int i = 0; i < 300 && services->heardFrame(); ++i) QTest::qWait(10);
    ASSERT_FALSE(services->heardFrame()) << "nothing is heard while paused";
    QTest::qWait(60);
    const auto waiting = roll->playhead();
    ASSERT_TRUE(waiting.has_value()) << "the playhead shows where the music waits";
    EXPECT_GT(*waiting, 0u);
    EXPECT_EQ(window->editor()->playingRanges().size(), 1u);
    EXPECT_TRUE(window->caretStatus()->text().contains(QChar(0x25b6))) << window->caretStatus()->text().toStdString();
    QTest::qWait(100);
    EXPECT_EQ(roll->playhead(), waiting);
    click(ctl::Pause);
    QTest::keyClick(window->editor(), Qt::Key_F6);
    EXPECT_FALSE(roll->playhead());

    control<QComboBox>(ctl::DutyCombo)->setEditText("50");
    click(ctl::DutyAdd);
    control<QLineEdit>(ctl::TestPhrase)->setText("T240 L16 C");
    const auto closes = [&] {
        std::lock_guard lock(log->mutex);
        return log->closes;
    };
    const int closedBefore = closes();
    click(ctl::Test);
    ASSERT_TRUE(answerer.seen.empty()) << answerer.seen.front().second.toStdString();
    EXPECT_TRUE(services->player().isPlaying());
    for (int i = 0; i < 300 && services->player().isPlaying(); ++i) QTest::qWait(10);
    EXPECT_FALSE(services->player().isPlaying()) << "the phrase's playback goes on after it ended";
    // The window's one device is kept (fed silence between songs), as after F6.
    EXPECT_EQ(closes(), closedBefore);
    EXPECT_FALSE(window->playTimer()->isActive());
    EXPECT_FALSE(roll->playhead());
}

// Help → "MMLリファレンス": every entry of the reference in its group; an example plays alone
// (the document untouched, its end watched as Test's) and goes in at the caret.
TEST_F(QtWindow, ReferencePlaysAndInsertsExamples) {
    window::WindowLayers* services = &useVirtualDevice();
    auto* toggle = window->findChild<QAction*>(QStringLiteral("help:reference"));
    ASSERT_NE(toggle, nullptr);
    auto* panel = window->findChild<QWidget*>(QStringLiteral("referenceWindow"));
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->isVisible());
    toggle->trigger();
    EXPECT_TRUE(panel->isVisible());
    auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("referenceTree"));
    ASSERT_NE(tree, nullptr);
    const auto entries = music::mmlReference();
    std::vector<QTreeWidgetItem*> items;
    for (int g = 0; g < tree->topLevelItemCount(); ++g)
        for (int i = 0; i < tree->topLevelItem(g)->childCount(); ++i) items.push_back(tree->topLevelItem(g)->child(i));
    ASSERT_EQ(items.size(), entries.size());
    for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i]->text(2).toStdString(), entries[i].example) << i;

    control<QTabBar>(ctl::Tabs)->setCurrentIndex(1);
    QTest::keyClicks(window->editor(), "c");
    const auto edEntry = std::find_if(entries.begin(), entries.end(), [](const auto& e) { return std::string(e.heads) == "@ED"; });
    ASSERT_NE(edEntry, entries.end());
    QTreeWidgetItem* ed = items[static_cast<size_t>(edEntry - entries.begin())];
    tree->setCurrentItem(ed);
    const QString detail = window->findChild<QLabel*>(QStringLiteral("referenceDetail"))->text();
    EXPECT_TRUE(detail.contains(QString::fromStdString(uiText(edEntry->what)).toHtmlEscaped())) << detail.toStdString();
    ModalAnswerer answerer;
    window->findChild<QPushButton*>(QStringLiteral("referencePlay"))->click();
    ASSERT_TRUE(answerer.seen.empty()) << answerer.seen.front().second.toStdString();
    EXPECT_TRUE(services->player().isPlaying());
    EXPECT_EQ(window->editor()->toPlainText(), QStringLiteral("C")) << "playing an example leaves the document alone";
    for (int i = 0; i < 600 && services->player().isPlaying(); ++i) QTest::qWait(10);
    EXPECT_FALSE(services->player().isPlaying()) << "the example's playback goes on after it ended";
    window->findChild<QPushButton*>(QStringLiteral("referenceInsert"))->click();
    EXPECT_EQ(window->editor()->toPlainText(), QStringLiteral("C") + QString::fromUtf8(edEntry->example));
    panel->close();  // by its own title bar: Help's entry follows
    EXPECT_FALSE(toggle->isChecked());
}

// Ctrl+Space lists what may be typed with the reference's line; Enter inserts the chosen
// command with its first field selected, so that typing replaces it. A comment lists nothing.
TEST_F(QtWindow, CompletionListInsertsTheChosenCommand) {
    control<QTabBar>(ctl::Tabs)->setCurrentIndex(1);
    CEditEx* editor = window->editor();
    QTest::keyClicks(editor, "c ");
    QTest::keyClick(editor, Qt::Key_Space, Qt::ControlModifier);
    QListWidget* list = editor->completionList();
    ASSERT_NE(list, nullptr);
    int tempo = -1;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text().startsWith(QStringLiteral("T "))) tempo = i;
    ASSERT_GE(tempo, 0) << "no T among " << list->count() << " entries";
    EXPECT_TRUE(list->item(tempo)->text().contains(displayText("テンポ: 1分間に4分音符 n 個（最初は 120）")));
    list->setCurrentRow(tempo);
    const auto* help = list->parentWidget()->findChild<QLabel*>(QStringLiteral("completionHelp"));
    EXPECT_TRUE(help->text().contains(QStringLiteral("<code>T180 CDEF T90 GAB&gt;C</code>"))) << help->text().toStdString();
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("C T120"));
    EXPECT_EQ(editor->textCursor().selectedText(), QStringLiteral("120"));
    QTest::keyClicks(editor, "90");
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("C T90"));
    QTest::keyClicks(editor, " *x");
    EXPECT_FALSE(editor->showCompletions()) << "inside a comment";
}

// Resting the mouse on a command, or F1 at the caret, says what it does in the language
// server's words; a note says nothing.
TEST_F(QtWindow, CommandHelpOnHoverAndF1) {
    control<QTabBar>(ctl::Tabs)->setCurrentIndex(1);
    QTest::keyClicks(window->editor(), "t150 c v300");
    CEditEx* editor = window->editor();
    const QString tempo = editor->commandHelpAt(1);
    EXPECT_TRUE(tempo.contains(QStringLiteral("<b>T150</b>"))) << tempo.toStdString();
    EXPECT_TRUE(tempo.contains(QString::fromStdString(document::fillIn(uiText("テンポ {n}（1分間に4分音符 {n} 個）"), "n", "150"))))
        << tempo.toStdString();
    EXPECT_TRUE(tempo.contains(QStringLiteral("<code>T180 CDEF T90 GAB&gt;C</code>"))) << "the reference's example: " << tempo.toStdString();
    EXPECT_EQ(editor->commandHelpAt(5), QString()) << "a note has no help";
    // The mouse resting on the V of V300.
    QTextCursor at = editor->textCursor();
    at.setPosition(editor->documentPosition(8));
    const QPoint pos = editor->cursorRect(at).center() + QPoint(2, 0);
    QHelpEvent hover(QEvent::ToolTip, pos, editor->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(editor->viewport(), &hover);
    EXPECT_EQ(QToolTip::text(), editor->commandHelpAt(8));
    EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("<b>V300</b>"))) << QToolTip::text().toStdString();
    QToolTip::hideText();
    // F1 with the caret on T150.
    at.setPosition(editor->documentPosition(2));
    editor->setTextCursor(at);
    QTest::keyClick(editor, Qt::Key_F1);
    EXPECT_EQ(QToolTip::text(), tempo);
    EXPECT_EQ(editor->text(), QStringLiteral("T150 C V300")) << "F1 types nothing";
    QToolTip::hideText();
}

// File → "サンプル曲": every example song, each opening as an untitled, unmodified copy.
TEST_F(QtWindow, ExamplesMenuOpensUntitledCopies) {
    useVirtualDevice();
    auto* menu = window->findChild<QMenu*>(QStringLiteral("examplesMenu"));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().size(), static_cast<qsizetype>(window::kExamples.size()));
    auto* demo = window->findChild<QAction*>(QStringLiteral("example:demo.mml"));
    ASSERT_NE(demo, nullptr);
    EXPECT_FALSE(demo->toolTip().isEmpty());
    demo->trigger();
    QFile file(QStringLiteral(TAVOLIN_SOURCE_DIR "/examples/demo.mml"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto demoTabs = document::readDocumentBytes(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    EXPECT_EQ(window->model().tabTexts, demoTabs);
    EXPECT_FALSE(window->model().modified);
    EXPECT_TRUE(window->model().document().filePath.empty()) << "an example opens untitled";
}

// A line far longer than the editor: shown as display lines whose breaks are no text.
std::string longLine(size_t length) {
    static const std::string phrase = "L8CDEFGAB>C<BAGFEDC[EG]2V100T120@1O4";
    std::string line;
    while (line.size() < length) line += phrase;
    line.resize(length);
    return line;
}

// `text` with `removed` units at `at` replaced by `inserted`.
std::string spliced(const std::string& text, size_t at, size_t removed, const std::string& inserted) {
    return text.substr(0, at) + inserted + text.substr(at + removed);
}

std::string withCrLf(std::string text) {
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) text.replace(at, 1, "\r\n");
    return text;
}

struct LongLineEditRow {
    const char* name;
    std::function<void(CEditEx*)> edit;
    std::function<std::string(const std::string&)> expected;  // from the text before the edit
};

TEST_F(QtWindow, EditsAcrossDisplayBreaksChangeOnlyTheText) {
    constexpr int kChunk = DisplayLines::kChunk;
    const std::string original = longLine(3000) + "\n" + longLine(900);
    auto* editor = window->editor();
    // Caret at a document position; at a text position (the end of the display line before a break).
    const auto caretAtDocument = [editor](int pos) {
        QTextCursor c = editor->textCursor();
        c.setPosition(pos);
        editor->setTextCursor(c);
    };
    const auto caretAt = [editor, caretAtDocument](int textPos) { caretAtDocument(editor->documentPosition(textPos)); };
    const LongLineEditRow rows[] = {
        {"type at a break", [&](CEditEx* e) { caretAt(kChunk); QTest::keyClick(e, Qt::Key_X); },
         [](const std::string& t) { return spliced(t, kChunk, 0, "X"); }},
        {"backspace at a display line's start", [&](CEditEx* e) { caretAtDocument(e->documentPosition(kChunk) + 1); QTest::keyClick(e, Qt::Key_Backspace); },
         [](const std::string& t) { return spliced(t, kChunk - 1, 1, ""); }},
        {"delete at a display line's end", [&](CEditEx* e) { caretAt(2 * kChunk); QTest::keyClick(e, Qt::Key_Delete); },
         [](const std::string& t) { return spliced(t, 2 * kChunk, 1, ""); }},
        {"left over a break, then type", [&](CEditEx* e) { caretAtDocument(e->documentPosition(kChunk) + 1); QTest::keyClick(e, Qt::Key_Left); QTest::keyClick(e, Qt::Key_R); },
         [](const std::string& t) { return spliced(t, kChunk - 1, 0, "R"); }},
        {"right over a break, then type", [&](CEditEx* e) { caretAt(kChunk); QTest::keyClick(e, Qt::Key_Right); QTest::keyClick(e, Qt::Key_R); },
         [](const std::string& t) { return spliced(t, kChunk + 1, 0, "R"); }},
        {"selection over two breaks deleted", [&](CEditEx* e) { window->selectEditorRange(100, 400); QTest::keyClick(e, Qt::Key_Backspace); },
         [](const std::string& t) { return spliced(t, 100, 300, ""); }},
        {"enter inside a display line", [&](CEditEx* e) { caretAt(kChunk + 5); QTest::keyClick(e, Qt::Key_Return); },
         [](const std::string& t) { return spliced(t, kChunk + 5, 0, "\n"); }},
        {"long paste over a break", [&](CEditEx* e) {
             QApplication::clipboard()->setText(QString::fromStdString(longLine(700) + "\nab"));
             window->selectEditorRange(kChunk - 2, kChunk + 2);
             e->paste(); },
         [](const std::string& t) { return spliced(t, kChunk - 2, 4, longLine(700) + "\nAB"); }},
        {"long paste inside a display line (split again, one undo step)", [&](CEditEx* e) {
             QApplication::clipboard()->setText(QString::fromStdString(longLine(600)));
             caretAt(kChunk + 10);
             e->paste(); },
         [](const std::string& t) { return spliced(t, kChunk + 10, 0, longLine(600)); }},
        {"joining two long lines", [&](CEditEx* e) { caretAt(3000); QTest::keyClick(e, Qt::Key_Delete); },
         [](const std::string& t) { return spliced(t, 3000, 1, ""); }},
        {"helper insert at a break", [&](CEditEx*) { caretAt(3 * kChunk); window->model().insertAtCaret("@E1,0,0,0,100\r\n"); },
         [](const std::string& t) { return spliced(t, 3 * kChunk, 0, "@E1,0,0,0,100\n"); }},
    };
    for (const LongLineEditRow& row : rows) {
        SCOPED_TRACE(row.name);
        window->model().tabTexts[1] = withCrLf(original);
        window->model().selectTab(1);
        ASSERT_GT(editor->blockCount(), 3000 / kChunk);
        ASSERT_EQ(editor->text().toStdString(), original);
        const std::string wanted = row.expected(original);
        row.edit(editor);
        QApplication::processEvents();  // display lines that grew too long are split
        EXPECT_EQ(editor->text().toStdString(), wanted);
        EXPECT_EQ(window->model().tabTexts[1], withCrLf(wanted));
        // Display lines that grew too long were split again; a line of its own may be longer.
        for (QTextBlock b = editor->document()->begin(); b.isValid(); b = b.next()) {
            const bool split = DisplayLines::continues(b) || DisplayLines::continues(b.next());
            ASSERT_LE(b.length() - 1, split ? DisplayLines::kMaxBlock : DisplayLines::kLongLine) << b.blockNumber();
        }
        editor->undo();
        EXPECT_EQ(editor->text().toStdString(), original);
        EXPECT_EQ(window->model().tabTexts[1], withCrLf(original));
        editor->redo();
        EXPECT_EQ(window->model().tabTexts[1], withCrLf(wanted));
    }
    // Typing a display line too long: the letter that does it and the new break are one undo step.
    window->model().tabTexts[1] = withCrLf(original);
    window->model().selectTab(1);
    caretAt(kChunk + 10);
    const int typed = DisplayLines::kMaxBlock - kChunk + 1;
    QTest::keyClicks(editor, QString(typed, QLatin1Char('c')));
    EXPECT_LE(editor->textCursor().block().length() - 1, DisplayLines::kMaxBlock);
    EXPECT_EQ(window->model().tabTexts[1], withCrLf(spliced(original, kChunk + 10, 0, std::string(typed, 'C'))));
    editor->undo();
    EXPECT_EQ(window->model().tabTexts[1], withCrLf(spliced(original, kChunk + 10, 0, std::string(typed - 1, 'C'))));
}

TEST_F(QtWindow, DisplayBreaksStayOutOfCopyStatusAndUnderline) {
    constexpr int kChunk = DisplayLines::kChunk;
    auto* editor = window->editor();
    // An error that a display break cuts in two, on the second line.
    std::string line = longLine(2000);
    line.replace(2 * kChunk - 2, 4, "V300");
    window->model().tabTexts[1] = "C\r\n" + line;
    window->model().selectTab(1);
    ASSERT_TRUE(waitForLiveCheck(*window));
    ASSERT_TRUE(window->errorStatus()->isVisible());
    const int column = 2 * kChunk - 2 + 4;  // at the last digit of V300, 1-based
    EXPECT_TRUE(window->errorStatus()->text().startsWith(QStringLiteral("A 2:%1 ").arg(column)))
        << window->errorStatus()->text().toStdString();
    ASSERT_TRUE(editor->errorRange().has_value());
    const auto [from, to] = *editor->errorRange();
    EXPECT_EQ(editor->text().mid(from, to - from), "V300");
    const QTextCursor underline = editor->extraSelections().back().cursor;
    EXPECT_EQ(editor->lines()->text(underline.selectionStart(), underline.selectionEnd()), "V300");
    // The jump selects the same characters; copy gives them without the break.
    QTest::mouseClick(window->errorStatus(), Qt::LeftButton);
    editor->copy();
    EXPECT_EQ(QApplication::clipboard()->text(), "V300");
    // Line numbers and the caret's line:column count lines of the text.
    const QTextBlock last = editor->document()->lastBlock();
    EXPECT_TRUE(DisplayLines::continues(last));
    EXPECT_EQ(editor->lines()->lineNumber(last), 1);
    EXPECT_EQ(editor->lines()->lineCount(), 2);
    QTextCursor c = editor->textCursor();
    c.movePosition(QTextCursor::End);
    editor->setTextCursor(c);
    EXPECT_TRUE(window->caretStatus()->text().startsWith(QStringLiteral("2:2001"))) << window->caretStatus()->text().toStdString();
    EXPECT_FALSE(editor->document()->isUndoAvailable());  // the load is no edit
}

TEST_F(QtWindow, TabStripKeepsItsHeight) {
    // The tabs are added before the window shows; the layout must still make room.
    auto* tabs = control<QTabBar>(ctl::Tabs);
    EXPECT_EQ(tabs->count(), 6);
    EXPECT_GE(tabs->height(), tabs->sizeHint().height());
    EXPECT_GT(tabs->height(), 10);
}

}  // namespace
}  // namespace tavolin::qt

int main(int argc, char** argv) {
    // No display is needed, also when CTest lists the tests at build time. The offscreen
    // desktop is a large screen with a laptop's screen beside it.
    if (const QByteArray platform = qgetenv("QT_QPA_PLATFORM"); platform.isEmpty() || platform == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" TAVOLIN_TEST_DATA "/qt/screens.json");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace tavolin::qt {
namespace {

// The M and S toggles beside the tabs only forward their clicks: the model
// keeps the flags and sets the toggles, and the scopes dim the banks left out.
TEST_F(QtWindow, MuteAndSoloTogglesForwardToTheModel) {
    auto* muteC = qobject_cast<QToolButton*>(window->control(window::ctl::MuteA + 2));
    auto* soloA = qobject_cast<QToolButton*>(window->control(window::ctl::SoloA));
    ASSERT_TRUE(muteC && soloA);
    muteC->click();
    EXPECT_TRUE(muteC->isChecked());
    EXPECT_EQ(window->model().bankMix().audible(), 0x1B);
    soloA->click();
    EXPECT_EQ(window->model().bankMix().audible(), 0x01);
    soloA->click();
    muteC->click();
    EXPECT_FALSE(muteC->isChecked());
    EXPECT_FALSE(soloA->isChecked());
    EXPECT_EQ(window->model().bankMix().audible(), kAllBanks);
    ASSERT_NE(window->bankScopes(), nullptr);
}

// The scopes refresh from the rings while a stream has them; once it has
// none, the meters fall to rest (none stays frozen) and then they stop.
TEST(QtBankScopes, DrawWhileRingsExistAndStopAfter) {
    auto rings = std::make_shared<output::BankTapRings>();
    rings->sampleRateHz = 48000;
    std::vector<int16_t> block(2048);
    for (size_t i = 0; i < 1024; ++i) block[2 * i] = (i / 24) % 2 ? -8000 : 8000;
    for (int k = 0; k < 4; ++k) rings->banks[1].writeStereo(block);
    for (size_t b : {size_t{0}, size_t{2}, size_t{3}, size_t{4}})
        for (int k = 0; k < 4; ++k) rings->banks[b].writeStereo(std::vector<int16_t>(2048, 0));
    bool live = true;
    BankScopes::Source source;
    source.rings = [&]() -> std::shared_ptr<const output::BankTapRings> { return live ? rings : nullptr; };
    source.heardFrame = [] { return std::optional<uint64_t>(4000); };
    BankScopes scopes(source);
    scopes.resize(500, 80);
    scopes.start();
    EXPECT_TRUE(scopes.running());
    const auto waitFor = [](const std::function<bool()>& done) {
        for (int i = 0; i < 400 && !done(); ++i) QTest::qWait(10);
        return done();
    };
    ASSERT_TRUE(waitFor([&] { return !scopes.scope(1).trace().empty(); }));
    EXPECT_EQ(scopes.scope(1).trace().size(), 960u);
    EXPECT_NEAR(scopes.scope(1).meter().level(), 8000 / 32768.0, 1e-9);
    EXPECT_EQ(scopes.scope(0).meter().level(), 0.0);
    live = false;
    QTest::qWait(100);
    EXPECT_TRUE(scopes.running()) << "stopped with its hold mark still up";
    EXPECT_GT(scopes.scope(1).meter().hold(), 0.0);
    EXPECT_TRUE(waitFor([&] { return !scopes.running(); }));
    EXPECT_EQ(scopes.scope(1).meter().level(), 0.0);
    EXPECT_EQ(scopes.scope(1).meter().hold(), 0.0);
    EXPECT_EQ(scopes.scope(1).trace()[0], 0);
}

}  // namespace
}  // namespace tavolin::qt

namespace tavolin::qt {
namespace {

// Ctrl+L loops the selection: the roll shades it and its playheads stay
// inside it; Stop takes the shading away.
TEST_F(QtWindow, CtrlLShadesThePassageAndStopEndsIt) {
    useVirtualDevice();
    control<QTabBar>(ctl::Tabs)->setCurrentIndex(1);
    QTest::keyClicks(window->editor(), "t240 l8 cdefgab");
    ASSERT_TRUE(waitForLiveCheck(*window));
    QTextCursor c = window->editor()->textCursor();
    c.setPosition(10);
    c.setPosition(12, QTextCursor::KeepAnchor);  // "EF": eighths of 6,000 frames, from the third
    window->editor()->setTextCursor(c);
    ModalAnswerer answerer;
    QTest::keyClick(window->editor(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(answerer.seen.empty());
    const auto passage = window->pianoRoll()->model().passage();
    ASSERT_TRUE(passage.has_value());
    EXPECT_EQ(*passage, (std::pair<uint64_t, uint64_t>(12000, 24000)));
    EXPECT_TRUE(window->pianoRoll()->model().passageRect().has_value());
    for (int i = 0; i < 6; ++i) {
        QTest::qWait(70);
        if (const auto at = window->pianoRoll()->playhead()) {
            EXPECT_GE(*at, 12000u);
            EXPECT_LT(*at, 24000u);
        }
    }
    EXPECT_TRUE(window->pianoRoll()->playhead().has_value());
    QTest::keyClick(window->editor(), Qt::Key_F6);
    EXPECT_FALSE(window->pianoRoll()->model().passage().has_value());
    // A drag across the ruler loops the stretch dragged, in either direction.
    const window::PianoRoll& roll = window->pianoRoll()->model();
    QWidget* canvas = window->pianoRoll()->canvas();
    const int y = static_cast<int>(window::PianoRoll::kRulerHeight / 2);
    const int x1 = static_cast<int>(roll.xOfFrame(30000)), x2 = static_cast<int>(roll.xOfFrame(6000));
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(x1, y));
    QTest::mouseMove(canvas, QPoint((x1 + x2) / 2, y));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(x2, y));
    const auto dragged = window->model().playingPassage();
    ASSERT_TRUE(dragged.has_value());
    EXPECT_NEAR(static_cast<double>(dragged->from), roll.frameAtX(x2), 1.0);
    EXPECT_NEAR(static_cast<double>(dragged->to), roll.frameAtX(x1), 1.0);
    EXPECT_EQ(window->pianoRoll()->model().passage(), (std::pair<uint64_t, uint64_t>(dragged->from, dragged->to)));
    QTest::keyClick(window->editor(), Qt::Key_F6);
}

// The file changed by another program: reloaded with the caret where it
// was, after a save by rename too (the watcher takes the new file); our own
// save reloads nothing.
TEST_F(QtWindow, FileChangedOnDiskIsReloadedInPlace) {
    window->setServices(std::make_unique<window::WindowLayers>(window->model(), output::VirtualAudioDevice::factory({}, nullptr)));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("song.mml"));
    const auto write = [&](const std::string& a, bool rename) {
        QFile f(rename ? dir.filePath(QStringLiteral("tmp")) : path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray::fromStdString(document::writeDocumentBytes({"T120", a})));
        f.close();
        if (rename) {
            ASSERT_EQ(::rename(f.fileName().toLocal8Bit().constData(), path.toLocal8Bit().constData()), 0);
        }
    };
    const auto waitForText = [&](const QString& text) {
        for (int i = 0; i < 100 && window->editor()->toPlainText() != text; ++i) QTest::qWait(20);
        return window->editor()->toPlainText() == text;
    };
    write("CDE", false);
    window->model().openFile(path.toStdString());
    control<QTabBar>(ctl::Tabs)->setCurrentIndex(1);
    QTextCursor c = window->editor()->textCursor();
    c.setPosition(2);
    window->editor()->setTextCursor(c);
    QTest::qWait(50);
    write("CDEFG", false);
    EXPECT_TRUE(waitForText(QStringLiteral("CDEFG")));
    EXPECT_EQ(window->editor()->textCursor().position(), 2);
    write("CDEFGAB", true);
    EXPECT_TRUE(waitForText(QStringLiteral("CDEFGAB")));
    write("C", false);
    EXPECT_TRUE(waitForText(QStringLiteral("C"))) << "still watched after the rename";
    ModalAnswerer answerer;
    window->statusBar()->clearMessage();
    QTest::keyClicks(window->editor(), "d");
    QTest::keyClick(window->editor(), Qt::Key_S, Qt::ControlModifier);
    QTest::qWait(400);
    EXPECT_TRUE(answerer.seen.empty());
    EXPECT_FALSE(window->model().modified);
    EXPECT_FALSE(window->statusBar()->currentMessage().contains(QStringLiteral("読み込み直しました")));
}


// Typing while Play runs: the window's live check hands its result to the
// swap, and the roll and the lit notes follow the new song; an error does not.
TEST_F(QtWindow, TypingWhilePlayingSwapsTheSong) {
    window::WindowLayers& layers = useVirtualDevice();
    control<QAbstractButton>(ctl::Loop)->setChecked(true);
    control<QTabBar>(ctl::Tabs)->setCurrentIndex(1);
    QTest::keyClicks(window->editor(), "cdefg");
    ASSERT_TRUE(waitForLiveCheck(*window));
    ModalAnswerer answerer;
    QTest::keyClick(window->editor(), Qt::Key_F5);
    ASSERT_TRUE(layers.liveSwap().active());
    QTest::keyClicks(window->editor(), "ab");
    ASSERT_TRUE(waitForLiveCheck(*window));
    layers.liveSwap().waitIdle();
    EXPECT_EQ(layers.liveSwap().report().swaps, 1u);
    EXPECT_EQ(window->pianoRoll()->model().song(), layers.playingMap().get());
    EXPECT_EQ(layers.playingMap()->timeline.banks[0].notes.size(), 7u);
    QTest::keyClicks(window->editor(), "!");
    ASSERT_TRUE(waitForLiveCheck(*window));
    EXPECT_EQ(layers.liveSwap().report().swaps, 1u) << "an error keeps the song";
    EXPECT_TRUE(answerer.seen.empty());
    QTest::keyClick(window->editor(), Qt::Key_F6);
    EXPECT_FALSE(layers.liveSwap().active());
}

}  // namespace
}  // namespace tavolin::qt
