// SPDX-License-Identifier: MIT
// Applying a theme: Fusion with the theme's palette, so that every style draws the same colours.
#include "app/qt/Theme.h"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>

#include "app/qt/MmlHighlighter.h"

namespace tavolin::qt {
namespace {

std::optional<window::Theme> g_theme;

// Fusion shades its frames from the window colour, which on black leaves fields, lists and
// check boxes without an edge, and on a dark grey leaves check boxes hard to see: with high
// contrast every field, list, button and box gets a line in the text colour and the focus a
// thick frame in the focus colour; with dark, each check box a line in the dimmed text colour
// (3:1 against the window, as the marks of the palettes are checked).
class ThemeStyle : public QProxyStyle {
public:
    explicit ThemeStyle(window::Theme theme)
        : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), m_palette(window::themePalette(theme)) {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const bool high = m_palette.theme == window::Theme::HighContrast;
        if (high && element == PE_FrameFocusRect) {
            outline(painter, option->rect, qColour(m_palette.focus), 2);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        switch (element) {
        case PE_IndicatorCheckBox:
            outline(painter, option->rect, qColour(high ? m_palette.windowText : m_palette.placeholder), 1);
            break;
        case PE_FrameLineEdit: case PE_PanelButtonCommand: case PE_Frame:
            if (high) outline(painter, option->rect, qColour(m_palette.windowText), 1);
            break;
        default: break;
        }
    }
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        QProxyStyle::drawControl(element, option, painter, widget);
        if (element != CE_TabBarTabShape || m_palette.theme != window::Theme::HighContrast) return;
        // Fusion's lighter face for the chosen tab does not show on black: every tab gets an edge,
        // the chosen one a thick bar in the focus colour along its foot.
        outline(painter, option->rect, qColour(m_palette.windowText), 1);
        if (option->state & State_Selected) {
            const QRect r = option->rect;
            painter->fillRect(QRect(r.left() + 1, r.bottom() - 3, r.width() - 2, 4), qColour(m_palette.focus));
        }
    }
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        if (control != CC_ComboBox || m_palette.theme != window::Theme::HighContrast) return;
        outline(painter, option->rect, qColour(m_palette.windowText), 1);
        if (option->state & State_HasFocus) outline(painter, option->rect, qColour(m_palette.focus), 2);
    }

private:
    static void outline(QPainter* painter, const QRect& rect, const QColor& colour, int width) {
        painter->save();
        painter->setPen(QPen(colour, width));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(rect).adjusted(width / 2.0, width / 2.0, -width / 2.0, -width / 2.0));
        painter->restore();
    }

    const window::ThemePalette& m_palette;
};

}  // namespace

QPalette qtPalette(const window::ThemePalette& t) {
    QPalette p;
    const auto set = [&p](QPalette::ColorRole role, window::Rgb c) {
        p.setColor(QPalette::Active, role, qColour(c));
        p.setColor(QPalette::Inactive, role, qColour(c));
        p.setColor(QPalette::Disabled, role, qColour(c));
    };
    set(QPalette::Window, t.window);
    set(QPalette::WindowText, t.windowText);
    set(QPalette::Base, t.base);
    set(QPalette::AlternateBase, t.window);
    set(QPalette::Text, t.text);
    set(QPalette::Button, t.button);
    set(QPalette::ButtonText, t.buttonText);
    set(QPalette::BrightText, t.text);
    set(QPalette::Highlight, t.highlight);
    set(QPalette::HighlightedText, t.highlightedText);
    set(QPalette::PlaceholderText, t.placeholder);
    set(QPalette::Link, t.link);
    set(QPalette::LinkVisited, t.link);
    set(QPalette::ToolTipBase, t.base);
    set(QPalette::ToolTipText, t.text);
    set(QPalette::Mid, t.grid);
    set(QPalette::Midlight, t.grid);
    set(QPalette::Dark, t.grid);
    set(QPalette::Shadow, t.grid);
    set(QPalette::Light, t.button);
    // Disabled text stays readable (4.5:1 is checked for the placeholder colour).
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, qColour(t.placeholder));
    return p;
}

const window::ThemePalette& currentPalette() {
    // The applied theme, unless the application's palette has been replaced since (by the
    // desktop, or a test): then light or dark after that palette.
    if (g_theme && QApplication::palette().color(QPalette::Base) == qColour(window::themePalette(*g_theme).base))
        return window::themePalette(*g_theme);
    return window::themePalette(isDarkPalette(QApplication::palette()) ? window::Theme::Dark : window::Theme::Light);
}

void applyTheme(window::Theme theme) {
    g_theme = theme;
    QApplication::setStyle(new ThemeStyle(theme));
    QApplication::setPalette(qtPalette(window::themePalette(theme)));
}

std::optional<window::Theme> appliedTheme() { return g_theme; }

void forgetTheme() { g_theme.reset(); }

bool desktopPrefersDark() { return isDarkPalette(QApplication::palette()); }

std::optional<window::Theme> storedTheme() {
    return window::themeFromKey(QSettings().value(QStringLiteral("theme")).toString().toStdString());
}

void storeTheme(window::Theme theme) {
    QSettings().setValue(QStringLiteral("theme"), QString::fromLatin1(window::themePalette(theme).key));
}

}  // namespace tavolin::qt
