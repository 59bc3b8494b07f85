// SPDX-License-Identifier: MIT
// The editor widgets that upper-case what enters them and select all on Ctrl+A.
#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QString>

namespace tavolin::qt {

class DisplayLines;

// Decides what may enter a field: the text to insert (upper-cased), or nullopt to
// refuse it (the filter has told the user why).
using InputFilter = std::function<std::optional<QString>(const QString&)>;

// The MML editor (control 1000): every letter that enters, typed, pasted, dropped or
// composed by an input method, lands upper case; Enter and Shift+Enter both insert a
// plain line break, pasted CR LF and CR become one; Ctrl+A selects the whole text;
// Tab moves the focus on. Lines do not wrap. Line numbers run in a gutter on the
// left; the caret's line is lit, an error range gets a wavy underline and the notes
// playing now a background. A very long line shows as several display lines
// (DisplayLines): the keys step and delete over their breaks as over nothing, copy
// leaves them out, and the ranges and positions below are the text's.
class CEditEx : public QPlainTextEdit {
    Q_OBJECT
public:
    using Range = std::pair<int, int>;  // text positions [first, second)

    explicit CEditEx(QWidget* parent = nullptr);
    void setInputFilter(InputFilter filter) { m_filter = std::move(filter); }
    // What the command at a text position does (the language server's hover text), or empty:
    // shown as a tooltip where the mouse rests, and at the caret on F1.
    using CommandHelp = std::function<QString(int textPosition)>;
    void setCommandHelp(CommandHelp help) { m_help = std::move(help); }
    QString commandHelpAt(int textPosition) const { return m_help ? m_help(textPosition) : QString(); }

    // What may be typed at a text position, listed on Ctrl+Space: the chosen entry goes in at
    // the caret with its first field selected, so that typing replaces it.
    struct Completion {
        QString label;  // "@W", "!A"
        QString what;   // one line beside it
        QString help;   // rich text shown under the list for the entry chosen
        QString text;   // what is inserted
        int selectBegin = 0;  // in text, what is selected after inserting
        int selectEnd = 0;
    };
    using Completions = std::function<std::vector<Completion>(int textPosition)>;
    void setCompletions(Completions completions) { m_completions = std::move(completions); }
    // Opens the list at the caret; false when nothing may be typed there.
    bool showCompletions();
    // The open list (nullptr when closed): Enter inserts the current entry, Escape closes it.
    QListWidget* completionList() const;

    // The document's display lines (made on first use for a document without them).
    DisplayLines* lines() const;
    // The text without display breaks, and positions between it and the document.
    QString text() const;
    int textPosition(int documentPosition) const;
    int documentPosition(int textPosition) const;

    void setErrorRange(std::optional<Range> range);
    std::optional<Range> errorRange() const { return m_error; }
    void setPlayingRanges(std::vector<Range> ranges);
    const std::vector<Range>& playingRanges() const noexcept { return m_playing; }
    // Width of the line-number gutter in pixels.
    int gutterWidth() const;
    void paintGutter(QPaintEvent* event);
    // Restyles the lit line and the marks after a palette change.
    void refreshMarks();

protected:
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    std::optional<QString> filter(const QString& text) const;
    // Backspace and Delete at a line's edge: next to a display break they remove
    // the character beyond it; joining two lines, they split what grows too long.
    bool deleteAtLineEdge(bool backward);
    void updateGutterWidth();
    void updateGutter(const QRect& rect, int dy);
    InputFilter m_filter;
    CommandHelp m_help;
    Completions m_completions;
    QWidget* m_completionPopup = nullptr;
    QWidget* m_gutter = nullptr;
    std::optional<Range> m_error;
    std::vector<Range> m_playing;
};

// The frequency-noise field (control 1007): digits only, letters upper-cased,
// Ctrl+A selects the whole text.
class CEditExLine : public QLineEdit {
    Q_OBJECT
public:
    explicit CEditExLine(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// a-z to A-Z, leaving everything else as typed.
QString upperCaseAscii(const QString& text);

}  // namespace tavolin::qt
