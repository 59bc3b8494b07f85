// SPDX-License-Identifier: MIT
// The three palettes and the colour arithmetic that checks them.
#include "window/Themes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "compiler/UiText.h"

namespace tavolin::window {
namespace {

constexpr Rgb hex(uint32_t v) {
    return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

// MML colours in MmlClass order: Plain (the text), Note, Length, Octave, Setting,
// Sound, Loop, Tuplet, Macro, Slur, Comment, Unknown. Notes stand out most;
// numbers and settings recede; comments are grey.
constexpr std::array<Rgb, music::kMmlClassCount> mmlColours(uint32_t plain, std::array<uint32_t, 11> rest) {
    std::array<Rgb, music::kMmlClassCount> out{hex(plain)};
    for (size_t i = 0; i < rest.size(); ++i) out[i + 1] = hex(rest[i]);
    return out;
}

double linear(uint8_t channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

}  // namespace

// Bank colours were chosen so that every two of them stay at least a CIE76
// distance of 20 apart for normal vision and under each simulated deficiency
// (the test says so), and reach 3:1 against the roll's background.
const std::array<ThemePalette, kThemeCount> kThemePalettes = {{
    {Theme::Light, "light", TAVOLIN_TR_NOOP("Texts", "ライト"),
     hex(0xefefef), hex(0x1a1a1a), hex(0xffffff), hex(0x1a1a1a), hex(0xe4e4e4), hex(0x1a1a1a), hex(0x2f65ca),
     hex(0xffffff), hex(0x696969), hex(0x0b57d0), hex(0x2f65ca),
     mmlColours(0x1a1a1a, {0x1d4f91, 0x4d6275, 0x6f3f8f, 0x85561a, 0x9c3b2b, 0x2f6f3a, 0x1e6e64, 0xa0366a, 0x2f6f3a,
                           0x636363, 0xb3261e}),
     hex(0xffe08a), hex(0xd0201a), {hex(0xee4477), hex(0x4411ff), hex(0x115500), hex(0x9900aa), hex(0x889911)},
     hex(0xc8c8c8), hex(0xd0201a)},
    {Theme::Dark, "dark", TAVOLIN_TR_NOOP("Texts", "ダーク"),
     hex(0x2b2d31), hex(0xe6e6e6), hex(0x1e1f22), hex(0xe6e6e6), hex(0x3a3d42), hex(0xe6e6e6), hex(0x2f5fb0),
     hex(0xffffff), hex(0xa0a0a0), hex(0x8ab4f8), hex(0x8ab4f8),
     mmlColours(0xe6e6e6, {0x8cb4e8, 0xa3b3c2, 0xc3a0dc, 0xdcb478, 0xeb9a88, 0x8fcf98, 0x7fcfc4, 0xeb94c0, 0x8fcf98,
                           0xababab, 0xff8a80}),
     hex(0x4a3c0c), hex(0xff6b60), {hex(0xffbb33), hex(0x00eedd), hex(0xbbee99), hex(0xbb55ff), hex(0x229966)},
     hex(0x45484e), hex(0xff6b60)},
    {Theme::HighContrast, "high-contrast", TAVOLIN_TR_NOOP("Texts", "ハイコントラスト"),
     hex(0x000000), hex(0xffffff), hex(0x000000), hex(0xffffff), hex(0x000000), hex(0xffffff), hex(0xffff00),
     hex(0x000000), hex(0xd0d0d0), hex(0x66ccff), hex(0xffff00),
     mmlColours(0xffffff, {0xffff00, 0xffffff, 0xff99ff, 0xffcc66, 0xff9988, 0x66ff66, 0x66ffff, 0xffaaee, 0x66ff66,
                           0xcccccc, 0xff7777}),
     hex(0x00307a), hex(0xff5555), {hex(0xff3377), hex(0x00ffee), hex(0xddff22), hex(0xdd55dd), hex(0x998800)},
     hex(0x808080), hex(0xff5555)},
}};

std::optional<Theme> themeFromKey(std::string_view key) {
    for (const ThemePalette& p : kThemePalettes)
        if (key == p.key) return p.theme;
    return std::nullopt;
}

std::string hexColour(Rgb c) {
    char out[8];
    std::snprintf(out, sizeof out, "#%02x%02x%02x", c.r, c.g, c.b);
    return out;
}

double relativeLuminance(Rgb c) { return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b); }

double contrastRatio(Rgb a, Rgb b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Lab seenAs(Rgb c, ColourVision vision) {
    // Machado et al. 2009, severity 1.0, on linear RGB.
    static constexpr double kMatrices[kColourVisionCount][3][3] = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {{0.152286, 1.052583, -0.204868}, {0.114503, 0.786281, 0.099216}, {-0.003882, -0.048116, 1.051998}},
        {{0.367322, 0.860646, -0.227968}, {0.280085, 0.672501, 0.047413}, {-0.011820, 0.042940, 0.968881}},
        {{1.255528, -0.076749, -0.178779}, {-0.078411, 0.930809, 0.147602}, {0.004733, 0.691367, 0.303900}},
    };
    const double in[3] = {linear(c.r), linear(c.g), linear(c.b)};
    double rgb[3];
    const auto& m = kMatrices[static_cast<size_t>(vision)];
    for (int i = 0; i < 3; ++i) rgb[i] = std::clamp(m[i][0] * in[0] + m[i][1] * in[1] + m[i][2] * in[2], 0.0, 1.0);
    // Linear sRGB to XYZ (D65), then to L*a*b* with the D65 white.
    const double x = (0.4124 * rgb[0] + 0.3576 * rgb[1] + 0.1805 * rgb[2]) / 0.95047;
    const double y = 0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2];
    const double z = (0.0193 * rgb[0] + 0.1192 * rgb[1] + 0.9505 * rgb[2]) / 1.08883;
    const auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; };
    return {116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
}

double deltaE(const Lab& a, const Lab& b) { return std::hypot(a.l - b.l, a.a - b.a, a.b - b.b); }

}  // namespace tavolin::window
