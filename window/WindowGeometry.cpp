// SPDX-License-Identifier: MIT
// Bringing a window's frame inside a screen's available area.
#include "window/WindowGeometry.h"

#include <algorithm>
#include <cstdint>

namespace tavolin::window {

namespace {

int64_t overlapArea(const WindowRect& a, const WindowRect& b) {
    const int64_t w = std::min<int64_t>(int64_t{a.x} + a.width, int64_t{b.x} + b.width) - std::max(a.x, b.x);
    const int64_t h = std::min<int64_t>(int64_t{a.y} + a.height, int64_t{b.y} + b.height) - std::max(a.y, b.y);
    return w > 0 && h > 0 ? w * h : 0;
}

// Squared distance from the frame's centre to the nearest point of the screen.
int64_t distanceSquared(const WindowRect& frame, const WindowRect& screen) {
    const int64_t cx = int64_t{frame.x} + frame.width / 2;
    const int64_t cy = int64_t{frame.y} + frame.height / 2;
    const int64_t dx = std::max<int64_t>({int64_t{screen.x} - cx, 0, cx - (int64_t{screen.x} + screen.width)});
    const int64_t dy = std::max<int64_t>({int64_t{screen.y} - cy, 0, cy - (int64_t{screen.y} + screen.height)});
    return dx * dx + dy * dy;
}

// One axis: the length shrunk to the room (never below the minimum), then the start
// moved in; a length longer than the room starts at the room's start.
void fit(int& start, int& length, int roomStart, int roomLength, int minLength) {
    length = std::max(std::min(length, roomLength), minLength);
    const int64_t last = int64_t{roomStart} + roomLength - length;
    start = last < roomStart ? roomStart : static_cast<int>(std::clamp<int64_t>(start, roomStart, last));
}

}  // namespace

WindowRect placeOnScreen(const WindowRect& frame, const std::vector<WindowRect>& available, int minWidth,
                         int minHeight) {
    if (available.empty()) return frame;
    // The screen the window mostly lies on; a window on none (a screen that is gone)
    // goes to the nearest; ties go to the earlier screen, the primary first.
    const WindowRect* screen = &available.front();
    int64_t bestOverlap = -1;
    int64_t bestDistance = INT64_MAX;
    for (const WindowRect& s : available) {
        const int64_t overlap = overlapArea(frame, s);
        const int64_t distance = overlap > 0 ? 0 : distanceSquared(frame, s);
        if (overlap > bestOverlap || (overlap == 0 && bestOverlap == 0 && distance < bestDistance)) {
            screen = &s;
            bestOverlap = overlap;
            bestDistance = distance;
        }
    }
    WindowRect placed = frame;
    fit(placed.x, placed.width, screen->x, screen->width, minWidth);
    fit(placed.y, placed.height, screen->y, screen->height, minHeight);
    return placed;
}

}  // namespace tavolin::window
