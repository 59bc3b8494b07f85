// SPDX-License-Identifier: MIT
// Input handling of the editor fields: upper case on entry, plain line breaks, Ctrl+A.
#include "app/qt/CEditEx.h"
#include "app/qt/Theme.h"

#include <algorithm>

#include <QHelpEvent>
#include <QFrame>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QTextBlock>
#include <QToolTip>
#include <QVBoxLayout>

#include "app/qt/DisplayLines.h"
#include "app/qt/MmlHighlighter.h"

namespace tavolin::qt {

QString upperCaseAscii(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
    return out;
}

namespace {

bool isSelectAll(const QKeyEvent* e) {
    return e->key() == Qt::Key_A && (e->modifiers() & Qt::ControlModifier) &&
           !(e->modifiers() & (Qt::AltModifier | Qt::MetaModifier));
}

// Printable text that a key press would insert (not a shortcut, not a control code).
bool insertsText(const QKeyEvent* e) {
    if (e->text().isEmpty()) return false;
    if (e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
    for (QChar c : e->text())
        if (c.category() == QChar::Other_Control) return false;
    return true;
}

// The strip left of the text that shows the line numbers; the editor paints it.
class Gutter : public QWidget {
public:
    explicit Gutter(CEditEx* editor) : QWidget(editor), m_editor(editor) {
        setObjectName(QStringLiteral("lineNumbers"));
        setAccessibleName(CEditEx::tr("行番号"));
    }
    QSize sizeHint() const override { return {m_editor->gutterWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent* event) override { m_editor->paintGutter(event); }

private:
    CEditEx* m_editor;
};

QColor mixed(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - t) + b.redF() * t),
                            static_cast<float>(a.greenF() * (1 - t) + b.greenF() * t),
                            static_cast<float>(a.blueF() * (1 - t) + b.blueF() * t));
}

}  // namespace

CEditEx::CEditEx(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A TAB is no MML command (the compiler refuses it); Tab moves to the next control.
    setTabChangesFocus(true);
    m_gutter = new Gutter(this);
    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { updateGutterWidth(); });
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& r, int dy) { updateGutter(r, dy); });
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] { refreshMarks(); });
    updateGutterWidth();
    refreshMarks();
}

DisplayLines* CEditEx::lines() const {
    if (DisplayLines* l = DisplayLines::of(document())) return l;
    return new DisplayLines(document());
}

QString CEditEx::text() const { return lines()->text(); }

int CEditEx::textPosition(int documentPosition) const { return lines()->toText(documentPosition); }

int CEditEx::documentPosition(int textPosition) const { return lines()->toDocument(textPosition); }

int CEditEx::gutterWidth() const {
    int digits = 2;
    for (int n = std::max(1, lines()->lineCount()); n >= 100; n /= 10) ++digits;
    return 10 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
}

void CEditEx::updateGutterWidth() { setViewportMargins(gutterWidth(), 0, 0, 0); }

void CEditEx::updateGutter(const QRect& rect, int dy) {
    if (dy) m_gutter->scroll(0, dy);
    else m_gutter->update(0, rect.y(), m_gutter->width(), rect.height());
    if (rect.contains(viewport()->rect())) updateGutterWidth();
}

void CEditEx::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    const QRect r = contentsRect();
    m_gutter->setGeometry(QRect(r.left(), r.top(), gutterWidth(), r.height()));
}

void CEditEx::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) refreshMarks();
}

void CEditEx::paintGutter(QPaintEvent* event) {
    QPainter painter(m_gutter);
    const QPalette& pal = palette();
    painter.fillRect(event->rect(), mixed(pal.color(QPalette::Base), pal.color(QPalette::Window), 0.6));
    painter.setFont(font());
    const QColor number = mixed(pal.color(QPalette::Text), pal.color(QPalette::Base), 0.55);
    const DisplayLines* l = lines();
    const int current = l->lineNumber(textCursor().block());
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    const int height = fontMetrics().height();
    const int width = m_gutter->width() - 5;
    while (block.isValid() && top <= event->rect().bottom()) {
        const int bottom = top + qRound(blockBoundingRect(block).height());
        // A display line that continues a long line shows no number of its own.
        if (block.isVisible() && bottom >= event->rect().top() && !DisplayLines::continues(block)) {
            const int line = l->lineNumber(block);
            painter.setPen(line == current ? pal.color(QPalette::Text) : number);
            painter.drawText(0, top, width, height, Qt::AlignRight, QString::number(line + 1));
        }
        block = block.next();
        top = bottom;
    }
}

void CEditEx::setErrorRange(std::optional<Range> range) {
    if (range == m_error) return;
    m_error = range;
    refreshMarks();
}

void CEditEx::setPlayingRanges(std::vector<Range> ranges) {
    if (ranges == m_playing) return;
    m_playing = std::move(ranges);
    refreshMarks();
}

void CEditEx::refreshMarks() {
    // Extra selections live beside the text: none of them edits the document.
    const QPalette& pal = palette();
    const bool dark = isDarkPalette(pal);
    QList<QTextEdit::ExtraSelection> marks;
    QTextEdit::ExtraSelection line;
    line.format.setBackground(mixed(pal.color(QPalette::Base), pal.color(QPalette::Highlight), dark ? 0.18 : 0.08));
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    line.cursor = textCursor();
    line.cursor.clearSelection();
    marks << line;
    const int last = std::max(0, document()->characterCount() - 1);
    auto cursorFor = [&](const Range& r) {
        QTextCursor c(document());
        c.setPosition(std::clamp(documentPosition(r.first), 0, last));
        c.setPosition(std::clamp(documentPosition(r.second), 0, last), QTextCursor::KeepAnchor);
        return c;
    };
    for (const Range& r : m_playing) {
        QTextEdit::ExtraSelection play;
        play.format.setBackground(qColour(currentPalette().playing));
        play.cursor = cursorFor(r);
        marks << play;
    }
    if (m_error) {
        QTextEdit::ExtraSelection error;
        error.format.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
        error.format.setUnderlineColor(qColour(currentPalette().error));
        error.cursor = cursorFor(*m_error);
        marks << error;
    }
    setExtraSelections(marks);
    m_gutter->update();
}

std::optional<QString> CEditEx::filter(const QString& text) const {
    if (m_filter) return m_filter(text);
    return upperCaseAscii(text);
}

bool CEditEx::viewportEvent(QEvent* e) {
    if (e->type() == QEvent::ToolTip && m_help) {
        // The mouse rests on the text (the viewport's coordinates).
        const auto* help = static_cast<QHelpEvent*>(e);
        const QString text = commandHelpAt(textPosition(cursorForPosition(help->pos()).position()));
        if (text.isEmpty()) QToolTip::hideText();
        else QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QPlainTextEdit::viewportEvent(e);
}

bool CEditEx::showCompletions() {
    if (!m_completions) return false;
    const int start = textPosition(textCursor().position());
    std::vector<Completion> items = m_completions(start);
    if (items.empty()) return false;
    delete m_completionPopup;
    // A popup of its own: a list, and under it the chosen entry's help in full.
    auto* popup = new QFrame(this, Qt::Popup);
    popup->setAttribute(Qt::WA_DeleteOnClose);
    popup->setFrameShape(QFrame::StyledPanel);
    popup->setAccessibleName(tr("入力候補"));
    m_completionPopup = popup;
    auto* layout = new QVBoxLayout(popup);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* list = new QListWidget(popup);
    list->setObjectName(QStringLiteral("completionList"));
    list->setAccessibleName(tr("入力候補"));
    auto* help = new QLabel(popup);
    help->setObjectName(QStringLiteral("completionHelp"));
    help->setWordWrap(true);
    help->setTextFormat(Qt::RichText);
    help->setMinimumWidth(fontMetrics().averageCharWidth() * 48);
    layout->addWidget(list);
    layout->addWidget(help);
    for (const Completion& c : items) {
        auto* item = new QListWidgetItem(c.what.isEmpty() ? c.label : c.label + QStringLiteral("    ") + c.what, list);
        item->setData(Qt::UserRole, QVariant::fromValue(static_cast<int>(list->count() - 1)));
    }
    connect(list, &QListWidget::currentRowChanged, help, [help, items](int row) {
        help->setText(row >= 0 && row < static_cast<int>(items.size()) ? items[static_cast<size_t>(row)].help : QString());
        help->setHidden(help->text().isEmpty());
    });
    connect(list, &QListWidget::itemActivated, this, [this, popup, list, items, start] {
        const int row = list->currentRow();
        popup->close();
        if (row < 0 || row >= static_cast<int>(items.size())) return;
        const Completion& c = items[static_cast<size_t>(row)];
        QTextCursor cursor = textCursor();
        DisplayLines::insertText(cursor, c.text);
        cursor.setPosition(documentPosition(start + c.selectBegin));
        cursor.setPosition(documentPosition(start + c.selectEnd), QTextCursor::KeepAnchor);
        setTextCursor(cursor);
        ensureCursorVisible();
    });
    list->setCurrentRow(0);
    const int rows = std::min(list->count(), 10);
    list->setMinimumHeight(list->sizeHintForRow(0) * rows + 2 * list->frameWidth());
    list->setMinimumWidth(std::max(list->sizeHintForColumn(0) + 24, help->minimumWidth()));
    popup->adjustSize();
    popup->move(viewport()->mapToGlobal(cursorRect().bottomLeft()));
    popup->show();
    list->setFocus();
    return true;
}

QListWidget* CEditEx::completionList() const {
    return m_completionPopup ? m_completionPopup->findChild<QListWidget*>(QStringLiteral("completionList")) : nullptr;
}

void CEditEx::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Space && (e->modifiers() & Qt::ControlModifier)) {
        showCompletions();
        return;
    }
    if (e->key() == Qt::Key_F1 && e->modifiers() == Qt::NoModifier) {
        // The keyboard's way to the hover text: the command at the caret.
        const QString text = commandHelpAt(textPosition(textCursor().position()));
        if (!text.isEmpty()) QToolTip::showText(viewport()->mapToGlobal(cursorRect().bottomLeft()), text, this);
        return;
    }
    if (isSelectAll(e)) {
        selectAll();
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        // Shift+Enter would insert a soft line separator; the document knows one break.
        QTextCursor c = textCursor();
        DisplayLines::insertText(c, QStringLiteral("\n"));
        setTextCursor(c);
        ensureCursorVisible();
        e->accept();
        return;
    }
    const bool plainKey = !(e->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
    if (plainKey && (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete) &&
        deleteAtLineEdge(e->key() == Qt::Key_Backspace)) {
        e->accept();
        return;
    }
    if (plainKey && (e->key() == Qt::Key_Left || e->key() == Qt::Key_Right)) {
        // A step that crossed only a display break moved nowhere in the text: step on.
        const int before = textCursor().position();
        QPlainTextEdit::keyPressEvent(e);
        const int after = textCursor().position();
        if (after != before && textPosition(after) == textPosition(before)) QPlainTextEdit::keyPressEvent(e);
        return;
    }
    if (insertsText(e)) {
        const std::optional<QString> text = filter(e->text());
        if (!text) {
            e->accept();
            return;
        }
        if (DisplayLines::tooLong(textCursor().block(), static_cast<int>(text->size()))) {
            // The display line grows too long: the letter and the new display
            // break are one undo step.
            QTextCursor c = textCursor();
            DisplayLines::insertText(c, *text);
            setTextCursor(c);
            ensureCursorVisible();
            e->accept();
            return;
        }
        if (*text != e->text()) {
            QKeyEvent changed(e->type(), e->key(), e->modifiers(), *text, e->isAutoRepeat(),
                              static_cast<ushort>(e->count()));
            QPlainTextEdit::keyPressEvent(&changed);
            e->setAccepted(changed.isAccepted());
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(e);
}

bool CEditEx::deleteAtLineEdge(bool backward) {
    QTextCursor c = textCursor();
    if (c.hasSelection()) return false;
    const bool atEdge = backward ? c.atBlockStart() && c.position() > 0 : c.atBlockEnd() && c.block().next().isValid();
    if (!atEdge) return false;
    const auto atBreak = [&] {
        return backward ? c.atBlockStart() && DisplayLines::continues(c.block())
                        : c.atBlockEnd() && DisplayLines::continues(c.block().next());
    };
    c.beginEditBlock();
    while (atBreak()) c.movePosition(backward ? QTextCursor::PreviousCharacter : QTextCursor::NextCharacter);
    if (backward) c.deletePreviousChar();
    else c.deleteChar();
    // Two lines joined may be too long for one display line.
    DisplayLines::splitBlocks(document(), c.position(), c.position());
    c.endEditBlock();
    setTextCursor(c);
    ensureCursorVisible();
    return true;
}

QMimeData* CEditEx::createMimeDataFromSelection() const {
    const QTextCursor c = textCursor();
    auto* data = new QMimeData;
    data->setText(lines()->text(c.selectionStart(), c.selectionEnd()));
    return data;
}

void CEditEx::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText()) return;
    // Text from other programs may break lines with CR LF or CR; the editor would
    // read each CR as a break of its own.
    QString plain = source->text();
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const std::optional<QString> text = filter(plain);
    if (!text) return;
    QTextCursor c = textCursor();
    DisplayLines::insertText(c, *text);
    setTextCursor(c);
    ensureCursorVisible();
}

void CEditEx::inputMethodEvent(QInputMethodEvent* e) {
    if (e->commitString().isEmpty()) {
        QPlainTextEdit::inputMethodEvent(e);
        return;
    }
    const std::optional<QString> text = filter(e->commitString());
    QInputMethodEvent changed(e->preeditString(), e->attributes());
    changed.setCommitString(text.value_or(QString()), e->replacementStart(), e->replacementLength());
    QPlainTextEdit::inputMethodEvent(&changed);
    e->setAccepted(changed.isAccepted());
}

CEditExLine::CEditExLine(QWidget* parent) : QLineEdit(parent) {}

void CEditExLine::keyPressEvent(QKeyEvent* e) {
    if (isSelectAll(e)) {
        selectAll();
        e->accept();
        return;
    }
    if (insertsText(e)) {
        const QString upper = upperCaseAscii(e->text());
        if (upper != e->text()) {
            QKeyEvent changed(e->type(), e->key(), e->modifiers(), upper, e->isAutoRepeat(),
                              static_cast<ushort>(e->count()));
            QLineEdit::keyPressEvent(&changed);
            e->setAccepted(changed.isAccepted());
            return;
        }
    }
    QLineEdit::keyPressEvent(e);
}

}  // namespace tavolin::qt
