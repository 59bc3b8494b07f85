// SPDX-License-Identifier: MIT
// The documentation pages the window's Help menu opens, and where a page is found on disk.
#pragma once

#include <array>
#include <string>

#include "compiler/UiText.h"

namespace tavolin::window {

struct HelpPage {
    const char* title;  // the menu entry (Japanese source); nullptr: a separator
    const char* file;   // a page of docs/ in the sources, of /usr/share/doc/tavolin when installed
};

// Every page of docs/ (a test holds the folder and README.md to this list): first the user's,
// then the two about building and translating.
inline constexpr std::array<HelpPage, 13> kHelpPages = {{
    {TAVOLIN_TR_NOOP("Texts", "ウィンドウの使い方"), "window.md"},
    {TAVOLIN_TR_NOOP("Texts", "MMLの詳しい説明"), "mml.md"},
    {TAVOLIN_TR_NOOP("Texts", "コマンドライン (tavolin-cli)"), "cli.md"},
    {TAVOLIN_TR_NOOP("Texts", "書き出しと読み込み"), "export.md"},
    {TAVOLIN_TR_NOOP("Texts", "MIDIファイルの読み込み"), "midi-import.md"},
    {TAVOLIN_TR_NOOP("Texts", "パッセージ (ループ再生の範囲)"), "passage.md"},
    {TAVOLIN_TR_NOOP("Texts", "曲の地図 (音符のタイムライン)"), "song-map.md"},
    {TAVOLIN_TR_NOOP("Texts", "ほかのエディタで書く"), "editors.md"},
    {TAVOLIN_TR_NOOP("Texts", "ブラウザ版"), "web.md"},
    {TAVOLIN_TR_NOOP("Texts", "キー・テーマ・拡大"), "keys.md"},
    {nullptr, nullptr},
    {TAVOLIN_TR_NOOP("Texts", "ビルドとインストール"), "install.md"},
    {TAVOLIN_TR_NOOP("Texts", "表示言語と翻訳"), "translations.md"},
}};

inline constexpr const char* kHelpPageMissing =
    TAVOLIN_TR_NOOP("Texts", "説明のページ「{file}」が見つかりませんでした。\n探した場所: {places}");
inline constexpr const char* kHelpPageNotOpened =
    TAVOLIN_TR_NOOP("Texts", "説明のページ「{file}」を開けませんでした。このファイルを開くプログラムがありません。");

// The places a page is looked for, in order, for a program in `programDir`: the installed
// documentation (PREFIX/bin → PREFIX/share/doc/tavolin/) and, for a program run from a build
// tree (build/PRESET/app/), the sources' docs/.
std::array<std::string, 2> helpPageFolders(const std::string& programDir);

// The first of those folders that holds `file` (its full path), or "" when none does.
std::string findHelpPage(const std::string& programDir, const char* file);

// The same for the example songs (window/Examples.h): PREFIX/share/tavolin/examples/ when
// installed, the sources' examples/ from a build tree.
std::array<std::string, 2> exampleFolders(const std::string& programDir);
std::string findExample(const std::string& programDir, const char* file);

}  // namespace tavolin::window
