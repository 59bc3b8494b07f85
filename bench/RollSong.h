// SPDX-License-Identifier: MIT
// The song the piano roll benchmarks draw: five banks of sixteenth notes at tempo 120.
#pragma once

#include <memory>
#include <string>

#include "output/SongMap.h"

namespace tavolin::bench {

// Eight notes a second in every bank, `seconds` long.
inline std::shared_ptr<const output::SongMap> rollSongOf(int seconds) {
    output::BuildInputs in;
    std::string bars = "L16[CDEFGAB>C<BAGFEDC R]";
    bars += std::to_string(seconds / 2);
    for (int b = 1; b <= 5; ++b) {
        std::string& text = in.tabTexts[static_cast<size_t>(b)];
        text = 'O';
        text += std::to_string(b + 1);
        text += bars;
    }
    return output::buildSongMap(in, false);
}

}  // namespace tavolin::bench
