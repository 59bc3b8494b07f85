// SPDX-License-Identifier: MIT
// The first steps a newcomer is shown once (the window on its first start, the page on a first
// visit): hear the song, change it while it plays, loop a passage, change a tone, export.
#pragma once

#include <array>

#include "compiler/UiText.h"

namespace tavolin::window {

struct FirstStep {
    const char* title;  // a few words (a text to translate)
    const char* how;    // what to do, naming the keys and captions of both front ends
};

inline constexpr const char* kFirstStepsTitle = TAVOLIN_TR_NOOP("Texts", "はじめの一歩");

inline constexpr std::array<FirstStep, 5> kFirstSteps = {{
    {TAVOLIN_TR_NOOP("Texts", "聴く"), TAVOLIN_TR_NOOP("Texts", "「Play(F5)」か F5 キーで曲を再生し、「Stop(F6)」か F6 で止めます。")},
    {TAVOLIN_TR_NOOP("Texts", "再生したまま直す"),
     TAVOLIN_TR_NOOP("Texts", "再生中に音符を1つ書き換えてみましょう（C を E にするなど）。同じ場所から、すぐに新しい曲が聞こえます。")},
    {TAVOLIN_TR_NOOP("Texts", "一部分をループ再生"),
     TAVOLIN_TR_NOOP("Texts", "何小節かを選んで Ctrl+L を押すと、その部分だけを繰り返し再生します。")},
    {TAVOLIN_TR_NOOP("Texts", "音色を変える"),
     TAVOLIN_TR_NOOP("Texts", "@1 などの音色の番号を書き換えるか、「音色定義サポート」で音色を作ってみましょう。")},
    {TAVOLIN_TR_NOOP("Texts", "書き出す"), TAVOLIN_TR_NOOP("Texts", "「Wav出力」で WAV、FLAC、Ogg、Opus のファイルに書き出せます。")},
}};

// Where to learn on from there.
inline constexpr const char* kFirstStepsMore =
    TAVOLIN_TR_NOOP("Texts", "コマンドの一覧は「MMLリファレンス」に、例は「サンプル曲」にあります。");

}  // namespace tavolin::window
