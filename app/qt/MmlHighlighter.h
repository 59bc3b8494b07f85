// SPDX-License-Identifier: MIT
// Colours the editor's MML by the classes the editor model gives each stretch of text.
#pragma once

#include <array>

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include "music/MmlClasses.h"
#include "window/Themes.h"

namespace tavolin::qt {

// The formats of each colour class in a theme's palette; `dark` picks the light or the dark theme.
std::array<QTextCharFormat, music::kMmlClassCount> mmlFormats(const window::ThemePalette& palette);
std::array<QTextCharFormat, music::kMmlClassCount> mmlFormats(bool dark);

// True when the palette's window colour is dark (the dark palette applies).
bool isDarkPalette(const QPalette& palette);

// Colours one document. Formats live in the layout only: the text, its bytes and
// the document's modified state stay as they are.
class MmlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    explicit MmlHighlighter(QTextDocument* document, bool dark = false);
    // Switches between the light and the dark palette (recolours when it changes).
    void setDark(bool dark);
    // Takes a theme's palette (recolours when it changes).
    void setTheme(window::Theme theme);

    // A block longer than this is coloured only around the columns the editor
    // shows: Qt keeps a format range per coloured stretch, and a one-line bank
    // of a megabyte would cost seconds per keystroke in them. Long lines show as
    // display lines far shorter than this (DisplayLines); a block this long
    // lives only until it is split, or while an undo has brought it back.
    static constexpr int kLongLine = 4096;
    static constexpr int kLongLineMargin = 2048;
    // The editor shows columns [first, last) now; recolours the long lines when
    // that leaves the part coloured so far.
    void showColumns(int first, int last);

protected:
    void highlightBlock(const QString& text) override;

private:
    std::array<QTextCharFormat, music::kMmlClassCount> m_formats;
    window::Theme m_theme = window::Theme::Light;
    int m_colourFrom = 0;  // long lines: the columns that get formats
    int m_colourTo = kLongLine + kLongLineMargin;
    std::string m_bytes;  // reused between blocks
};

}  // namespace tavolin::qt
