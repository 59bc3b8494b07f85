// SPDX-License-Identifier: MIT
// What an export that could not create or write its file tells the user.
#include <cerrno>

#include <gtest/gtest.h>

#include "window/ExportSteps.h"

namespace tavolin::window {
namespace {

// The reasons' own wording is the document commands' (tested there).
TEST(ExportFailure, NamesTheFileAndTheSystemsReason) {
    struct Row {
        bool opening;
        int code;
        const char* want;
    };
    const Row rows[] = {
        {true, ENOENT, "「/m/x.wav」を作成できませんでした。\nファイルまたはフォルダが見つかりません。"},
        {true, EISDIR, "「/m/x.wav」を作成できませんでした。\nファイルではありません（フォルダなど）。"},
        {false, ENOSPC, "「/m/x.wav」に書き込めませんでした。\nディスクの空き容量が足りません。"},
        {false, 0, "「/m/x.wav」に書き込めませんでした。"},
    };
    for (const Row& r : rows) EXPECT_EQ(exportFailureMessage({r.opening, "/m/x.wav", r.code}), r.want) << r.code;
}

}  // namespace
}  // namespace tavolin::window
