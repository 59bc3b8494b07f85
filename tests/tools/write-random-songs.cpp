// SPDX-License-Identifier: MIT
// Writes N random documents (the output tests' song generator) into a folder,
// song-SEED-I.mml, for the web engine's comparison with tavolin-cli.
//   tavolin-random-songs DIR COUNT SEED
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "document/DocumentFormat.h"
#include "tests/output/SongGenerator.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s DIR COUNT SEED\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const int count = std::atoi(argv[2]);
    const auto seed = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    for (int i = 0; i < count; ++i) {
        tavolin::testing::SongGenerator gen(seed + static_cast<uint32_t>(i));
        tavolin::document::TabTexts tabs;
        tabs[0] = gen.common();
        for (int b = 1; b < tavolin::document::kTabCount; ++b) tabs[static_cast<size_t>(b)] = gen.bank();
        const std::string path = dir + "/song-" + std::to_string(seed) + "-" + std::to_string(i) + ".mml";
        std::ofstream out(path, std::ios::binary);
        out << tavolin::document::writeDocumentBytes(tabs);
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
