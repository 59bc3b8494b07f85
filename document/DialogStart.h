// SPDX-License-Identifier: MIT
// Where the Open, Save and export dialogs start: beside the document, else in
// the folder the user last chose a file in, else at home.
#pragma once

#include <string>
#include <string_view>

namespace tavolin::document {

struct DialogStart {
    std::string folder;  // the folder the dialog shows
    std::string name;    // the file name filled in; empty: none
    bool operator==(const DialogStart&) const = default;
};

// `documentPath`: the document's full path, empty when untitled. `lastFolder`:
// the folder of the last file chosen in any of the window's dialogs, empty
// when none was. `extension`: for an export, the chosen type's extension
// ("wav"), which replaces the document's; empty keeps the document's name.
// `untitledName`: the name an untitled document's dialog fills in (may be empty).
DialogStart dialogStart(std::string_view documentPath, std::string_view lastFolder, std::string_view home,
                        std::string_view extension, std::string_view untitledName);

// The folder part of a path ("/a/b.mml" -> "/a", "/b.mml" -> "/"); empty when
// the path names no folder.
std::string folderOf(std::string_view path);

}  // namespace tavolin::document
