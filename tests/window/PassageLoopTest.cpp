// SPDX-License-Identifier: MIT
// The status line of a looping passage.
#include <gtest/gtest.h>

#include "window/PassageLoop.h"

namespace tavolin::window {
namespace {

TEST(PassageLoop, StatusLineNamesBothEnds) {
    EXPECT_EQ(loopStatusText({48000, 150000}, 48000), "ループ再生中: 0:01.000 – 0:03.125");
    EXPECT_EQ(loopStatusText({0, 48000 * 61 + 1}, 48000), "ループ再生中: 0:00.000 – 1:01.000");
}

}  // namespace
}  // namespace tavolin::window
