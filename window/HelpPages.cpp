// SPDX-License-Identifier: MIT
// Where the Help menu's pages are on disk.
#include "window/HelpPages.h"

#include <filesystem>
#include <system_error>

namespace tavolin::window {

std::array<std::string, 2> helpPageFolders(const std::string& programDir) {
    const std::filesystem::path dir(programDir);
    return {(dir / ".." / "share" / "doc" / "tavolin").lexically_normal().string(),
            (dir / ".." / ".." / ".." / "docs").lexically_normal().string()};
}

namespace {

std::string firstFileIn(const std::array<std::string, 2>& folders, const char* file) {
    for (const std::string& folder : folders) {
        const std::filesystem::path path = std::filesystem::path(folder) / file;
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)) return path.string();
    }
    return {};
}

}  // namespace

std::string findHelpPage(const std::string& programDir, const char* file) { return firstFileIn(helpPageFolders(programDir), file); }

std::array<std::string, 2> exampleFolders(const std::string& programDir) {
    const std::filesystem::path dir(programDir);
    return {(dir / ".." / "share" / "tavolin" / "examples").lexically_normal().string(),
            (dir / ".." / ".." / ".." / "examples").lexically_normal().string()};
}

std::string findExample(const std::string& programDir, const char* file) { return firstFileIn(exampleFolders(programDir), file); }

}  // namespace tavolin::window
