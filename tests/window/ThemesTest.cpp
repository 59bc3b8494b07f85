// SPDX-License-Identifier: MIT
// Every theme's palette: each text colour reaches 4.5:1 against what it stands on (other marks
// 3:1), and the bank colours stay apart for the common colour-vision deficiencies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "window/Themes.h"

namespace tavolin::window {
namespace {

struct Pair {
    std::string what;
    Rgb fore, back;
    double least;  // 4.5 for text, 3.0 for marks that are not text
};

std::vector<Pair> pairsOf(const ThemePalette& p) {
    std::vector<Pair> pairs = {
        {"window text", p.windowText, p.window, 4.5},     {"text", p.text, p.base, 4.5},
        {"button text", p.buttonText, p.button, 4.5},     {"selected text", p.highlightedText, p.highlight, 4.5},
        {"placeholder", p.placeholder, p.base, 4.5},      {"link", p.link, p.base, 4.5},
        {"text on playing", p.text, p.playing, 4.5},      {"focus frame", p.focus, p.window, 3.0},
        {"check box edge", p.placeholder, p.window, 3.0},
        {"error underline", p.error, p.base, 3.0},        {"meter at full", p.clip, p.base, 3.0},
    };
    for (size_t c = 1; c < p.mml.size(); ++c) {
        pairs.push_back({"MML class " + std::to_string(c), p.mml[c], p.base, 4.5});
        pairs.push_back({"MML class " + std::to_string(c) + " playing", p.mml[c], p.playing, 4.5});
    }
    for (size_t b = 0; b < p.banks.size(); ++b)
        pairs.push_back({std::string("bank ") + static_cast<char>('A' + b), p.banks[b], p.base, 3.0});
    return pairs;
}

TEST(Themes, EveryColourReachesItsContrast) {
    for (const ThemePalette& p : kThemePalettes) {
        double leastText = 21;
        for (const Pair& pair : pairsOf(p)) {
            const double ratio = contrastRatio(pair.fore, pair.back);
            EXPECT_GE(ratio, pair.least) << p.key << ": " << pair.what << " " << hexColour(pair.fore) << " on "
                                         << hexColour(pair.back);
            if (pair.least == 4.5) leastText = std::min(leastText, ratio);
        }
        std::printf("%-14s least text contrast %.2f:1\n", p.key, leastText);
    }
}

// Two colours tell apart when their CIE76 distance is at least this, as seen.
constexpr double kApart = 20;

TEST(Themes, BankColoursStayApartForEveryColourVision) {
    const char* visions[] = {"normal", "protanopia", "deuteranopia", "tritanopia"};
    for (const ThemePalette& p : kThemePalettes) {
        for (int v = 0; v < kColourVisionCount; ++v) {
            for (size_t i = 0; i < p.banks.size(); ++i)
                for (size_t j = i + 1; j < p.banks.size(); ++j) {
                    const double d = deltaE(seenAs(p.banks[i], ColourVision(v)), seenAs(p.banks[j], ColourVision(v)));
                    EXPECT_GE(d, kApart) << p.key << " " << visions[v] << ": banks " << char('A' + i) << " and "
                                         << char('A' + j);
                }
        }
    }
}

// The arithmetic against known values, so that the checks above can fail.
TEST(Themes, ColourArithmetic) {
    EXPECT_NEAR(contrastRatio(Rgb{0, 0, 0}, Rgb{255, 255, 255}), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(Rgb{0x77, 0x77, 0x77}, Rgb{255, 255, 255}), 4.48, 0.01);  // the famous near miss
    EXPECT_NEAR(seenAs(Rgb{255, 255, 255}, ColourVision::Normal).l, 100.0, 0.01);
    // The roll's former blue and purple: far apart for most, one colour with deuteranopia
    // (purple loses its red).
    const Rgb blue{0x3a, 0x86, 0xd4}, purple{0x9b, 0x59, 0xd0};
    EXPECT_GT(deltaE(seenAs(blue, ColourVision::Normal), seenAs(purple, ColourVision::Normal)), 40);
    EXPECT_GT(deltaE(seenAs(blue, ColourVision::Tritanopia), seenAs(purple, ColourVision::Tritanopia)), 20);
    EXPECT_LT(deltaE(seenAs(blue, ColourVision::Deuteranopia), seenAs(purple, ColourVision::Deuteranopia)), 5);
    for (const Theme t : {Theme::Light, Theme::Dark, Theme::HighContrast}) {
        EXPECT_EQ(themeFromKey(themePalette(t).key), t);
        EXPECT_EQ(themePalette(t).theme, t);
    }
    EXPECT_EQ(themeFromKey("sepia"), std::nullopt);
    EXPECT_EQ(hexColour(Rgb{0x12, 0xab, 0x0f}), "#12ab0f");
}

}  // namespace
}  // namespace tavolin::window
