// The editor widgets that upper-case what enters them and select all on Ctrl+A.
#pragma once

#include <functional>
#include <optional>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>

namespace tavolin::qt {

// Decides what may enter a field: the text to insert (upper-cased), or nullopt to
// refuse it (the filter has told the user why).
using InputFilter = std::function<std::optional<QString>(const QString&)>;

// The MML editor (control 1000): every letter that enters, typed, pasted, dropped or
// composed by an input method, lands upper case; Enter and Shift+Enter both insert a
// plain line break, pasted CR LF and CR become one; Ctrl+A selects the whole text;
// Tab moves the focus on. Lines do not wrap.
class CEditEx : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CEditEx(QWidget* parent = nullptr);
    void setInputFilter(InputFilter filter) { m_filter = std::move(filter); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    std::optional<QString> filter(const QString& text) const;
    InputFilter m_filter;
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
