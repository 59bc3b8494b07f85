// SPDX-License-Identifier: MIT
// Where the file dialogs start and which name they fill in.
#include <gtest/gtest.h>

#include "document/DialogStart.h"

namespace tavolin::document {
namespace {

TEST(DialogStart, BesideTheDocumentElseTheLastFolderElseHome) {
    struct Row {
        const char* name;
        const char* document;
        const char* last;
        const char* extension;
        const char* untitled;
        DialogStart want;
    };
    const Row rows[] = {
        {"open: the document's folder and name", "/m/songs/a.mml", "/m/other", "", "", {"/m/songs", "a.mml"}},
        {"save as of a .txt keeps its name", "/m/songs/a.txt", "", "", "title.mml", {"/m/songs", "a.txt"}},
        {"export: the document's name, the type's extension", "/m/songs/tune.mml", "/x", "flac", "output.flac",
         {"/m/songs", "tune.flac"}},
        {"export: only the last extension goes", "/m/my.song.mml", "", "wav", "output.wav", {"/m", "my.song.wav"}},
        {"export of a name without extension", "/m/tune", "", "mid", "output.mid", {"/m", "tune.mid"}},
        {"a hidden name is no extension", "/m/.tune", "", "wav", "output.wav", {"/m", ".tune.wav"}},
        {"a folder's dot is no extension", "/m/v1.2/tune", "", "wav", "output.wav", {"/m/v1.2", "tune.wav"}},
        {"a document at the root", "/a.mml", "/x", "", "", {"/", "a.mml"}},
        {"a name from the command line", "a.mml", "/x", "wav", "output.wav", {".", "a.wav"}},
        {"untitled: the last folder, the untitled name", "", "/m/last", "", "title.mml", {"/m/last", "title.mml"}},
        {"untitled export", "", "/m/last", "ogg", "output.ogg", {"/m/last", "output.ogg"}},
        {"untitled open fills in nothing", "", "/m/last", "", "", {"/m/last", ""}},
        {"nothing chosen yet: home", "", "", "wav", "output.wav", {"/home/u", "output.wav"}},
    };
    for (const Row& r : rows) {
        const DialogStart got = dialogStart(r.document, r.last, "/home/u", r.extension, r.untitled);
        EXPECT_EQ(got, r.want) << r.name << ": got " << got.folder << " | " << got.name << ", want " << r.want.folder
                               << " | " << r.want.name;
    }
}

}  // namespace
}  // namespace tavolin::document
