// SPDX-License-Identifier: MIT
// The theme in use: the window's palettes (window/Themes.h) turned into Qt's, applied to the
// application and remembered in the settings.
#pragma once

#include <optional>

#include <QColor>
#include <QPalette>

#include "window/Themes.h"

namespace tavolin::qt {

inline QColor qColour(window::Rgb c) { return QColor(c.r, c.g, c.b); }
QPalette qtPalette(const window::ThemePalette& palette);

// The palette the drawings take their colours from: the applied theme, or, before
// one is applied (tests), light or dark after the application's own palette.
const window::ThemePalette& currentPalette();
// Sets the application's style palette to `theme` (every widget follows).
void applyTheme(window::Theme theme);
std::optional<window::Theme> appliedTheme();
// Back to following the application's palette (tests that applied a theme).
void forgetTheme();

// The desktop's preference, read before any theme is applied: Qt 6.4 has no colour
// scheme hint, so the lightness of the platform's own palette tells.
bool desktopPrefersDark();
std::optional<window::Theme> storedTheme();
void storeTheme(window::Theme theme);

}  // namespace tavolin::qt
