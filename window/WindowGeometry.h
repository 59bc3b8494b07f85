// SPDX-License-Identifier: MIT
// Where a window goes on the screens there are now: a remembered or default placement
// brought inside a screen's available area (the desktop less its panels).
#pragma once

#include <vector>

namespace tavolin::window {

// A rectangle in desktop pixels; several screens share one desktop, so x and y may be
// negative or beyond the first screen.
struct WindowRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const WindowRect&, const WindowRect&) = default;
};

// `frame` is the window including the title bar and borders the window manager adds,
// as it was saved or is about to be shown; `available` holds each screen's available
// area, the primary screen first. The result is the frame moved (and shrunk, when
// larger) to lie wholly inside the screen it overlaps most, or the nearest one when it
// overlaps none. The frame never gets smaller than `minWidth` by `minHeight`; where a
// screen is smaller still, the top left corner (the title bar) stays on it.
// No screens: the frame as it is.
WindowRect placeOnScreen(const WindowRect& frame, const std::vector<WindowRect>& available, int minWidth = 0,
                         int minHeight = 0);

}  // namespace tavolin::window
