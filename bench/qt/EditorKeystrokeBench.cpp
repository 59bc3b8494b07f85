// SPDX-License-Identifier: MIT
// A keystroke in the window's editor with a megabyte of MML: handled (model, live check
// hand-over, colours) and painted, as lines of 80 characters and as one line.
#include <string>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTest>

#include <benchmark/benchmark.h>

#include "app/qt/CEditEx.h"
#include "app/qt/TavolinWindow.h"

namespace {

using tavolin::qt::TavolinWindow;

// About `bytes` of notes, lengths and settings; `lineLength` 0 for one line.
std::string bigText(size_t bytes, size_t lineLength) {
    static const std::string phrase = "L8CDEFGAB>C<BAGFEDC[EG]2V100T120@1O4";
    std::string text;
    text.reserve(bytes + 64);
    size_t column = 0;
    while (text.size() < bytes) {
        for (char c : phrase) {
            text += c;
            if (lineLength && ++column == lineLength) {
                text += "\r\n";
                column = 0;
            }
        }
    }
    return text;
}

void keystroke(benchmark::State& state) {
    const size_t lineLength = static_cast<size_t>(state.range(0));
    TavolinWindow window;
    window.resize(1180, 710);
    window.model().tabTexts[1] = bigText(1 << 20, lineLength);
    window.model().selectTab(1);
    window.show();
    QApplication::processEvents();
    auto* editor = window.editor();
    QTextCursor c = editor->textCursor();
    c.setPosition(editor->document()->characterCount() / 2);  // mid-text, on screen
    editor->setTextCursor(c);
    editor->centerCursor();
    editor->setFocus();
    editor->viewport()->repaint();
    QApplication::processEvents();
    bool insert = true;
    for (auto _ : state) {
        // Type a letter, delete it again: the text stays the size it was.
        if (insert) QTest::keyClick(editor, Qt::Key_C);
        else QTest::keyClick(editor, Qt::Key_Backspace);
        insert = !insert;
        QApplication::processEvents();  // the live check's hand-over runs on the next turn
        editor->viewport()->repaint();
    }
    window.model().modified = false;
}
BENCHMARK(keystroke)->Arg(80)->Arg(300)->Arg(1000)->Arg(0)->ArgName("lineLength")->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
