// SPDX-License-Identifier: MIT
// Display lines of very long text lines: building them, mapping positions, reporting text edits.
#include "app/qt/DisplayLines.h"

#include <algorithm>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace tavolin::qt {

namespace {

constexpr int kContinues = QTextFormat::UserProperty + 1;

bool isLineBreak(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator;
}

QTextBlockFormat continuing(QTextBlockFormat format) {
    format.setProperty(kContinues, true);
    return format;
}

}  // namespace

DisplayLines::DisplayLines(QTextDocument* document) : QObject(document), m_document(document) {
    setObjectName(QStringLiteral("displayLines"));
    connect(document, &QTextDocument::contentsChange, this, &DisplayLines::contentsChange);
    rescan();
}

DisplayLines* DisplayLines::of(const QTextDocument* document) {
    return document ? document->findChild<DisplayLines*>(QStringLiteral("displayLines"), Qt::FindDirectChildrenOnly)
                    : nullptr;
}

bool DisplayLines::continues(const QTextBlock& block) {
    return block.isValid() && block.blockFormat().boolProperty(kContinues);
}

void DisplayLines::insertText(QTextCursor& cursor, const QString& text) {
    // QTextCursor::insertText would give each new block the format of the block
    // it splits, and so turn a line break typed in a display line into a display
    // break. A line the text makes too long is split in the same undo step.
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    const int from = cursor.position();
    qsizetype begin = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isLineBreak(text[i])) continue;
        if (begin > 0) cursor.insertBlock(QTextBlockFormat(), cursor.charFormat());
        if (i > begin) cursor.insertText(text.mid(begin, i - begin));
        begin = i + 1;
    }
    splitBlocks(cursor.document(), from, cursor.position());
    cursor.endEditBlock();
}

void DisplayLines::setText(const QString& text) {
    bool longLine = false;
    for (qsizetype begin = 0; begin <= text.size() && !longLine;) {
        qsizetype end = begin;
        while (end < text.size() && !isLineBreak(text[end])) ++end;
        longLine = end - begin > kLongLine;
        begin = end + 1;
    }
    m_building = true;
    if (!longLine) {
        m_document->setPlainText(text);
    } else {
        m_document->setUndoRedoEnabled(false);
        m_document->clear();
        QTextCursor c(m_document);
        c.beginEditBlock();
        const QTextBlockFormat soft = continuing(QTextBlockFormat());
        for (qsizetype begin = 0; begin <= text.size();) {
            qsizetype end = begin;
            while (end < text.size() && !isLineBreak(text[end])) ++end;
            if (begin > 0) c.insertBlock(QTextBlockFormat());
            const qsizetype chunk = end - begin > kLongLine ? kChunk : kLongLine;
            for (qsizetype at = begin; at < end;) {
                qsizetype cut = std::min(end, at + chunk);
                if (cut < end && text[cut].isLowSurrogate()) ++cut;
                if (at > begin) c.insertBlock(soft);
                c.insertText(text.mid(at, cut - at));
                at = cut;
            }
            begin = end + 1;
        }
        c.endEditBlock();
        m_document->setUndoRedoEnabled(true);
        m_document->setModified(false);
    }
    m_building = false;
    rescan();
}

QString DisplayLines::text() const {
    QString all = m_document->toPlainText();
    if (m_breaks.empty()) return all;
    QString out;
    out.reserve(all.size());
    qsizetype from = 0;
    for (int b : m_breaks.breaks()) {
        out.append(QStringView(all).mid(from, b - from));
        from = b + 1;
    }
    out.append(QStringView(all).mid(from));
    return out;
}

QString DisplayLines::text(int from, int to) const {
    QTextCursor c(m_document);
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    const QString selected = c.selectedText();
    QString out;
    out.reserve(selected.size());
    for (qsizetype i = 0; i < selected.size(); ++i) {
        if (selected[i] != QChar::ParagraphSeparator) out.append(selected[i]);
        else if (!m_breaks.isBreak(from + static_cast<int>(i))) out.append(QLatin1Char('\n'));
    }
    return out;
}

int DisplayLines::lineNumber(const QTextBlock& block) const {
    return block.blockNumber() - m_breaks.countIn(0, block.position());
}

int DisplayLines::lineCount() const {
    return m_document->blockCount() - static_cast<int>(m_breaks.breaks().size());
}

void DisplayLines::rescan() {
    m_breaks.clear();
    for (QTextBlock b = m_document->begin().next(); b.isValid(); b = b.next())
        if (continues(b)) m_breaks.add(b.position() - 1);
}

void DisplayLines::contentsChange(int position, int removed, int added) {
    if (m_building) return;
    const int end = m_document->characterCount() - 1;  // the last block's separator is no text
    if (position < 0 || removed < 0 || added < 0 || position + added > end) {
        rescan();
        emit textReset();
        return;
    }
    // Breaks are counted in the removed stretch before the map forgets them.
    const int textPosition = m_breaks.toText(position);
    const int textRemoved = removed - m_breaks.countIn(position, position + removed);
    m_breaks.replace(position, removed, added);
    bool tooLong = false;
    QTextBlock b = m_document->findBlock(position);
    for (; b.isValid() && b.position() <= position + added; b = b.next()) {
        if (b.position() > position && continues(b)) m_breaks.add(b.position() - 1);
        tooLong = tooLong || DisplayLines::tooLong(b);
    }
    const QString inserted = text(position, position + added);
    if (textRemoved > 0 || !inserted.isEmpty()) emit textEdited(textPosition, textRemoved, inserted);
    if (tooLong && !m_splitQueued) {
        m_splitQueued = true;
        QMetaObject::invokeMethod(this, &DisplayLines::splitLongBlocks, Qt::QueuedConnection);
    }
}

bool DisplayLines::tooLong(const QTextBlock& block, int extra) {
    const int length = block.length() - 1 + extra;
    if (length <= kMaxBlock) return false;
    return length > kLongLine || continues(block) || continues(block.next());
}

void DisplayLines::splitBlock(const QTextBlock& block) {
    if (!tooLong(block)) return;
    QTextCursor c(block);
    const QString text = block.text();
    const QTextBlockFormat soft = continuing(block.blockFormat());
    const int start = block.position();
    const int length = static_cast<int>(text.size());
    // From the end, so that the positions before stay where they are.
    for (int at = (length - 1) / kChunk * kChunk; at > 0; at -= kChunk) {
        int cut = at;
        if (text[cut].isLowSurrogate()) ++cut;
        if (cut >= length) continue;
        c.setPosition(start + cut);
        c.insertBlock(soft);
    }
}

void DisplayLines::splitBlocks(QTextDocument* document, int from, int to) {
    const QTextBlock first = document->findBlock(from);
    for (QTextBlock b = document->findBlock(to); b.isValid(); b = b.previous()) {
        splitBlock(b);
        if (b == first) break;
    }
}

void DisplayLines::splitLongBlocks() {
    m_splitQueued = false;
    // Undone to a long line, it stays one block: splitting now would cut off the redo steps.
    if (m_document->isRedoAvailable()) return;
    QTextCursor c(m_document);
    bool open = false;
    for (QTextBlock b = m_document->lastBlock(); b.isValid(); b = b.previous()) {
        if (!tooLong(b)) continue;
        if (!open) {
            // The breaks join the edit that made the line long where Qt lets them
            // (an edit block); after a lone command they are a step of their own.
            if (m_document->isUndoAvailable()) c.joinPreviousEditBlock();
            else c.beginEditBlock();
            open = true;
        }
        splitBlock(b);
    }
    if (open) c.endEditBlock();
}

}  // namespace tavolin::qt
