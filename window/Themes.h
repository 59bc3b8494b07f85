// SPDX-License-Identifier: MIT
// The window's looks: one palette per theme for the widgets, the MML colours, the piano roll,
// the scopes and meters, and the colour science that checks them (contrast, colour vision).
// Toolkit-free: the Qt view and the page both draw from these tables.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "compiler/ParseMml.h"
#include "music/MmlClasses.h"

namespace tavolin::window {

enum class Theme : uint8_t { Light, Dark, HighContrast, Count };
inline constexpr int kThemeCount = static_cast<int>(Theme::Count);
static_assert(kThemeCount == 3);

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

// Every colour the window paints with. Text colours are named with the
// background they stand on (see kContrastPairs).
struct ThemePalette {
    Theme theme;
    const char* key;      // stored in the settings and the page: "light", "dark", "high-contrast"
    const char* caption;  // the View menu's entry (a display text)
    // The widgets.
    Rgb window, windowText;     // panels, labels
    Rgb base, text;             // fields, lists, the editor
    Rgb button, buttonText;
    Rgb highlight, highlightedText;  // the selection
    Rgb placeholder;            // hints and dimmed text on `base`
    Rgb link;                   // on `base`
    Rgb focus;                  // the focus frame (not text: 3:1 against `window`)
    // The editor.
    std::array<Rgb, music::kMmlClassCount> mml;  // per class on `base` and on `playing`; Plain is `text`
    Rgb playing;                // the background of the notes heard now
    Rgb error;                  // the live check's underline and the error mark (3:1 against `base`)
    // The piano roll, the scopes and meters: one colour per bank, drawn on `base`.
    std::array<Rgb, kBankCount> banks;
    Rgb grid;                   // bar lines and octave rows (not text)
    Rgb clip;                   // a meter at full level
};

// Indexed by Theme.
extern const std::array<ThemePalette, kThemeCount> kThemePalettes;
inline const ThemePalette& themePalette(Theme theme) { return kThemePalettes[static_cast<size_t>(theme)]; }

// "light", "dark", "high-contrast" and back; nullopt for anything else.
std::optional<Theme> themeFromKey(std::string_view key);
// The first start's theme: dark where the desktop prefers dark, else light.
inline Theme defaultTheme(bool desktopPrefersDark) { return desktopPrefersDark ? Theme::Dark : Theme::Light; }

// "#rrggbb".
std::string hexColour(Rgb c);

// WCAG 2's relative luminance (sRGB linearised, Rec. 709 weights) and the
// contrast ratio (L1 + 0.05) / (L2 + 0.05), from 1 to 21.
double relativeLuminance(Rgb c);
double contrastRatio(Rgb a, Rgb b);

// How a colour looks with a colour-vision deficiency at full severity, by
// Machado, Oliveira and Fernandes' (2009) matrices on linear sRGB.
enum class ColourVision : uint8_t { Normal, Protanopia, Deuteranopia, Tritanopia, Count };
inline constexpr int kColourVisionCount = static_cast<int>(ColourVision::Count);
struct Lab {
    double l = 0, a = 0, b = 0;
};
// CIE L*a*b* (D65) of `c` as seen with `vision`.
Lab seenAs(Rgb c, ColourVision vision);
// CIE76 colour difference.
double deltaE(const Lab& a, const Lab& b);

}  // namespace tavolin::window
