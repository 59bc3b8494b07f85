// SPDX-License-Identifier: MIT
// The starting place of the window's file dialogs.
#include "document/DialogStart.h"

namespace tavolin::document {

std::string folderOf(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string_view::npos) return {};
    return std::string(slash == 0 ? path.substr(0, 1) : path.substr(0, slash));
}

DialogStart dialogStart(std::string_view documentPath, std::string_view lastFolder, std::string_view home,
                        std::string_view extension, std::string_view untitledName) {
    DialogStart start;
    const size_t slash = documentPath.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? documentPath : documentPath.substr(slash + 1);
    if (name.empty()) {
        // Untitled: the last folder the user chose, so a session's files stay together.
        start.folder = std::string(lastFolder.empty() ? home : lastFolder);
        start.name = std::string(untitledName);
        return start;
    }
    // A name without a folder (given on the command line) is in the working folder.
    start.folder = slash == std::string_view::npos ? std::string(".") : folderOf(documentPath);
    if (extension.empty()) {
        start.name = std::string(name);
        return start;
    }
    // "song.mml" -> "song.wav"; a leading dot starts a hidden name, not an extension.
    const size_t dot = name.find_last_of('.');
    const std::string_view stem = dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
    start.name = std::string(stem) + "." + std::string(extension);
    return start;
}

}  // namespace tavolin::document
