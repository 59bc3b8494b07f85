// SPDX-License-Identifier: MIT
// The MML colours: classes from the editor model, formats from a light or dark palette.
#include "app/qt/MmlHighlighter.h"

#include <algorithm>
#include <cstdint>

#include <QPalette>
#include <QTextBlock>
#include <QTextDocument>

#include "app/qt/DisplayLines.h"

namespace tavolin::qt {

using music::MmlClass;

bool isDarkPalette(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

std::array<QTextCharFormat, music::kMmlClassCount> mmlFormats(const window::ThemePalette& palette) {
    // Notes, loops, tuplets and macros in bold; comments in italics; colours from the palette.
    static constexpr MmlClass kBold[] = {MmlClass::Note, MmlClass::Loop, MmlClass::Tuplet, MmlClass::Macro};
    std::array<QTextCharFormat, music::kMmlClassCount> formats{};
    for (size_t c = 1; c < formats.size(); ++c) {
        QTextCharFormat& f = formats[c];
        f.setForeground(QColor(palette.mml[c].r, palette.mml[c].g, palette.mml[c].b));
        for (MmlClass cls : kBold)
            if (static_cast<size_t>(cls) == c) f.setFontWeight(QFont::DemiBold);
        if (static_cast<MmlClass>(c) == MmlClass::Comment) f.setFontItalic(true);
    }
    return formats;
}

std::array<QTextCharFormat, music::kMmlClassCount> mmlFormats(bool dark) {
    return mmlFormats(window::themePalette(dark ? window::Theme::Dark : window::Theme::Light));
}

MmlHighlighter::MmlHighlighter(QTextDocument* document, bool dark)
    : QSyntaxHighlighter(document), m_formats(mmlFormats(dark)), m_theme(dark ? window::Theme::Dark : window::Theme::Light) {}

void MmlHighlighter::setDark(bool dark) { setTheme(dark ? window::Theme::Dark : window::Theme::Light); }

void MmlHighlighter::setTheme(window::Theme theme) {
    if (theme == m_theme) return;
    m_theme = theme;
    m_formats = mmlFormats(window::themePalette(theme));
    rehighlight();
}

void MmlHighlighter::showColumns(int first, int last) {
    if (first >= m_colourFrom && last <= m_colourTo) return;
    m_colourFrom = std::max(0, first - kLongLineMargin);
    m_colourTo = last + kLongLineMargin;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        if (b.length() > kLongLine) rehighlightBlock(b);
}

void MmlHighlighter::highlightBlock(const QString& text) {
    // A display line that continues a long line is classified after the display
    // line before it, so that a command cut by the display break keeps its colour.
    const QTextBlock block = currentBlock();
    QString context;
    int before = previousBlockState();
    if (DisplayLines::continues(block)) {
        const QTextBlock previous = block.previous();
        context = previous.text();
        before = previous.previous().isValid() ? previous.previous().userState() : -1;
    }
    // One byte per UTF-16 unit, non-ASCII as 0x80: offsets are the block's positions.
    const qsizetype skip = context.size();
    const qsizetype n = skip + text.size();
    m_bytes.resize(static_cast<size_t>(n));
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = (i < skip ? context[i] : text[i - skip]).unicode();
        m_bytes[static_cast<size_t>(i)] = u < 0x80 ? static_cast<char>(u) : static_cast<char>(0x80);
    }
    // The whole line is classified (what it leaves open matters to the next);
    // a long one gets formats only where the editor looks.
    const bool partial = text.size() > kLongLine;
    const int64_t from = partial ? m_colourFrom : 0;
    const int64_t to = partial ? m_colourTo : INT64_MAX;
    music::MmlClassState state = music::MmlClassState::fromInt(before);
    for (const music::MmlClassRange& r : music::classifyMml(m_bytes, state)) {
        const int64_t begin = std::max<int64_t>(0, int64_t{r.begin} - skip);
        const int64_t end = int64_t{r.begin} + r.length - skip;
        if (r.cls == MmlClass::Plain || end <= std::max(begin, from) || begin >= to) continue;
        setFormat(static_cast<int>(begin), static_cast<int>(end - begin), m_formats[static_cast<size_t>(r.cls)]);
    }
    // The display line after this one reads its end: a change there must recolour it.
    int tail = 0;
    if (!text.isEmpty() && DisplayLines::continues(block.next())) tail = text.back().unicode() << 2;
    setCurrentBlockState(state.toInt() | tail);
}

}  // namespace tavolin::qt
