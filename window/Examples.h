// SPDX-License-Identifier: MIT
// The example songs File → "サンプル曲" lists (and the page's File menu), with a line on what each
// shows; each opens as an untitled copy, so the shipped file stays as it is.
#pragma once

#include <array>

#include "compiler/UiText.h"

namespace tavolin::window {

struct ExampleSong {
    const char* file;   // in examples/ of the sources, PREFIX/share/tavolin/examples when installed
    const char* title;  // the menu entry (a text to translate)
    const char* about;  // what it shows (a text to translate)
};

// Every song of examples/ (a test holds the folder to this list), the fullest first.
inline constexpr std::array<ExampleSong, 5> kExamples = {{
    {"demo.mml", TAVOLIN_TR_NOOP("Texts", "デモ曲"),
     TAVOLIN_TR_NOOP("Texts", "5つのバンクの曲: デューティ切り替えのリード、ビブラート、ベース、パッド、マクロで組んだドラム")},
    {"tones.mml", TAVOLIN_TR_NOOP("Texts", "音色めぐり"), TAVOLIN_TR_NOOP("Texts", "音色ごとに音階を1つ: 矩形波、三角波、のこぎり波、正弦波、ノイズとエンベロープ")},
    {"lfo.mml", TAVOLIN_TR_NOOP("Texts", "LFOとポルタメント"), TAVOLIN_TR_NOOP("Texts", "ゆっくりと速いポルタメント、ビブラート、トレモロ、% で書く時刻")},
    {"drums.mml", TAVOLIN_TR_NOOP("Texts", "ノイズのドラム"), TAVOLIN_TR_NOOP("Texts", "ノイズの音色で組んだドラムセットの短いパターンとフィル")},
    {"canon.mml", TAVOLIN_TR_NOOP("Texts", "カノン"), TAVOLIN_TR_NOOP("Texts", "1つのマクロを3つの声部でずらして演奏する輪唱")},
}};

inline constexpr const char* kExamplesMenu = TAVOLIN_TR_NOOP("Texts", "サンプル曲");
inline constexpr const char* kExampleMissing = TAVOLIN_TR_NOOP("Texts", "サンプル曲「{file}」が見つかりませんでした。\n探した場所: {places}");

}  // namespace tavolin::window
