// Input handling of the editor fields: upper case on entry, plain line breaks, Ctrl+A.
#include "app/qt/CEditEx.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>

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

}  // namespace

CEditEx::CEditEx(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A TAB is no MML command (the compiler refuses it); Tab moves to the next control.
    setTabChangesFocus(true);
}

std::optional<QString> CEditEx::filter(const QString& text) const {
    if (m_filter) return m_filter(text);
    return upperCaseAscii(text);
}

void CEditEx::keyPressEvent(QKeyEvent* e) {
    if (isSelectAll(e)) {
        selectAll();
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        // Shift+Enter would insert a soft line separator; the document knows one break.
        textCursor().insertText(QStringLiteral("\n"));
        ensureCursorVisible();
        e->accept();
        return;
    }
    if (insertsText(e)) {
        const std::optional<QString> text = filter(e->text());
        if (!text) {
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

void CEditEx::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText()) return;
    // Text from other programs may break lines with CR LF or CR; the editor would
    // read each CR as a break of its own.
    QString plain = source->text();
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const std::optional<QString> text = filter(plain);
    if (!text) return;
    textCursor().insertText(*text);
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
