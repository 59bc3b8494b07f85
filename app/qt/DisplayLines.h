// SPDX-License-Identifier: MIT
// Very long lines shown as several display lines: breaks in the view's document that are not text.
#pragma once

#include <QObject>
#include <QString>

#include "window/DisplayBreaks.h"

class QTextBlock;
class QTextCursor;
class QTextDocument;

namespace tavolin::qt {

// Qt lays a block out as one piece, so a keystroke in a one-megabyte line costs
// a second. A long line is therefore held as display lines: each display line
// after the first is a block of its own
// whose block format carries kContinues. Those separators belong to the view
// only. This object, a child of its document, keeps where they are, maps
// positions, gives the text without them and tells each change of the text as
// the text's own edit. Undo and redo restore the block formats with the blocks,
// so the breaks they bring back are known again.
class DisplayLines : public QObject {
    Q_OBJECT
public:
    // A line longer than kLongLine shows as display lines of kChunk units; one
    // that edits grow past kMaxBlock is split again. Qt shapes a block's whole
    // line on every paint, the columns scrolled out of sight included, so a
    // display line is kept about as wide as the editor.
    static constexpr int kLongLine = 256;
    static constexpr int kChunk = 128;
    static constexpr int kMaxBlock = 2 * kChunk;

    explicit DisplayLines(QTextDocument* document);
    static DisplayLines* of(const QTextDocument* document);
    // The block continues the line of the block before it (a display break ends that one).
    static bool continues(const QTextBlock& block);
    // Inserts `text` at the cursor (replacing its selection), one undo step; each
    // '\n' is a line break of the text, never a display break.
    static void insertText(QTextCursor& cursor, const QString& text);
    // Whether the block, `extra` units longer, would be too long for one display line.
    static bool tooLong(const QTextBlock& block, int extra = 0);
    // Splits the too long blocks among those holding document positions [from, to];
    // within the caller's edit block, so that undo takes them with the edit.
    static void splitBlocks(QTextDocument* document, int from, int to);

    // Replaces the whole text; the history starts afresh.
    void setText(const QString& text);
    QString text() const;
    // The text of document positions [from, to), without display breaks.
    QString text(int from, int to) const;
    int toText(int position) const { return m_breaks.toText(position); }
    int toDocument(int textPosition) const { return m_breaks.toDocument(textPosition); }
    // The block's line of the text, from 0.
    int lineNumber(const QTextBlock& block) const;
    int lineCount() const;
    const window::DisplayBreaks& breaks() const noexcept { return m_breaks; }

signals:
    // The text's units [position, position + removed) became `inserted`.
    void textEdited(int position, int removed, const QString& inserted);
    // A change whose extent Qt did not tell exactly: read the whole text again.
    void textReset();

private:
    void contentsChange(int position, int removed, int added);
    void rescan();
    static void splitBlock(const QTextBlock& block);
    // Splits what an edit left too long (one not made through insertText or the
    // editor's keys), joined to the latest undo step where Qt allows it.
    void splitLongBlocks();

    QTextDocument* m_document;
    window::DisplayBreaks m_breaks;
    bool m_building = false;
    bool m_splitQueued = false;
};

}  // namespace tavolin::qt
