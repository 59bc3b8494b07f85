// SPDX-License-Identifier: MIT
// A window placed from a remembered frame on the screens there are now: it ends
// inside one screen's available area, shrunk only where it does not fit.
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "window/WindowGeometry.h"

namespace tavolin::window {

void PrintTo(const WindowRect& r, std::ostream* os) { *os << r.width << "x" << r.height << "+" << r.x << "+" << r.y; }

namespace {

TEST(WindowGeometry, PlaceOnScreen) {
    // Laptop 1366x768 with a 32-pixel panel on top; 1280x720 with a bottom panel.
    const WindowRect laptop{0, 32, 1366, 736};
    const WindowRect small{0, 0, 1280, 690};
    // Two screens side by side, the second left of the primary and lower.
    const WindowRect primary{0, 0, 1920, 1050};
    const WindowRect left{-1280, 200, 1280, 1024};
    struct Row {
        const char* name;
        WindowRect frame;
        std::vector<WindowRect> screens;
        int minWidth, minHeight;
        WindowRect expected;
    };
    const Row rows[] = {
        {"inside: unchanged", {100, 100, 1000, 600}, {laptop}, 0, 0, {100, 100, 1000, 600}},
        {"exactly the area: unchanged", laptop, {laptop}, 0, 0, laptop},
        {"saved on a larger screen: shrunk to the area", {200, 100, 1900, 1040}, {laptop}, 0, 0, laptop},
        {"larger in height only: keeps x", {50, 300, 1200, 900}, {small}, 0, 0, {50, 0, 1200, 690}},
        {"off to the right: moved back whole", {1500, 100, 1000, 600}, {laptop}, 0, 0, {366, 100, 1000, 600}},
        {"partly below: moved up", {100, 500, 1000, 600}, {laptop}, 0, 0, {100, 168, 1000, 600}},
        {"title bar under the top panel: moved down", {100, 10, 1000, 600}, {laptop}, 0, 0, {100, 32, 1000, 600}},
        {"partly left: moved right", {-300, 40, 1000, 600}, {laptop}, 0, 0, {0, 40, 1000, 600}},
        {"far off every screen: the nearest takes it", {5000, 5000, 800, 500}, {laptop}, 0, 0, {566, 268, 800, 500}},
        {"on a screen that is gone: the nearest of two", {-2600, 300, 1000, 700}, {primary, left}, 0, 0,
         {-1280, 300, 1000, 700}},
        {"on the left screen: stays there", {-1200, 400, 1000, 700}, {primary, left}, 0, 0, {-1200, 400, 1000, 700}},
        {"mostly on the left screen: moved inside it", {-900, 300, 1200, 800}, {primary, left}, 0, 0,
         {-1200, 300, 1200, 800}},
        {"mostly on the primary: moved inside it", {-200, 300, 1200, 800}, {primary, left}, 0, 0, {0, 250, 1200, 800}},
        {"too tall for the left screen: shrunk to its height", {-1280, 0, 1000, 1400}, {primary, left}, 0, 0,
         {-1280, 200, 1000, 1024}},
        {"below the minimum: grows to it", {10, 40, 300, 200}, {laptop}, 900, 500, {10, 40, 900, 500}},
        {"minimum larger than the screen: top left kept on it", {300, 300, 1300, 700}, {small}, 1400, 800,
         {0, 0, 1400, 800}},
        {"no screens: unchanged", {-5000, -5000, 10, 10}, {}, 0, 0, {-5000, -5000, 10, 10}},
    };
    for (const Row& r : rows) {
        const WindowRect placed = placeOnScreen(r.frame, r.screens, r.minWidth, r.minHeight);
        EXPECT_EQ(placed, r.expected) << r.name;
    }
}

}  // namespace
}  // namespace tavolin::window
