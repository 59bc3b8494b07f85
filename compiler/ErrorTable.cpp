// SPDX-License-Identifier: MIT
// The message table for compile error codes (UTF-8; converted to CP932 where stored).
#include "compiler/ErrorTable.h"

#include <array>

#include "compiler/UiText.h"

namespace tavolin {
namespace {

// Indexed by code - 0x80000000. Texts are kept exactly as users have always
// seen them, including their spelling.
constexpr std::array<std::string_view, 0x2C> kMessages = {
    TAVOLIN_TR_NOOP("Texts", "不明なコマンド"),                                          // 00
    TAVOLIN_TR_NOOP("Texts", "スラーのあとに続けれるコマンドではない"),                  // 01
    TAVOLIN_TR_NOOP("Texts", "値が不正"),                                                // 02
    TAVOLIN_TR_NOOP("Texts", "テンポの値が不正"),                                        // 03
    TAVOLIN_TR_NOOP("Texts", "長さの指定が不正"),                                        // 04
    TAVOLIN_TR_NOOP("Texts", "エンベロープコマンドの書式が間違っている"),                // 05
    TAVOLIN_TR_NOOP("Texts", "パラメータの値が範囲外"),                                  // 06
    TAVOLIN_TR_NOOP("Texts", "スラーが繋がってないまま終わってる"),                      // 07
    TAVOLIN_TR_NOOP("Texts", "音程が低すぎる"),                                          // 08
    TAVOLIN_TR_NOOP("Texts", "音程が高すぎる"),                                          // 09
    TAVOLIN_TR_NOOP("Texts", "音色番号が範囲外"),                                        // 0A
    TAVOLIN_TR_NOOP("Texts", "使えない音色番号"),                                        // 0B
    TAVOLIN_TR_NOOP("Texts", "使えない波形種別"),                                        // 0C
    TAVOLIN_TR_NOOP("Texts", "周波数変動範囲外"),                                        // 0D
    TAVOLIN_TR_NOOP("Texts", "レベルノイズランダム範囲外"),                              // 0E
    TAVOLIN_TR_NOOP("Texts", "Duty切り替えタイミング範囲外"),                            // 0F
    TAVOLIN_TR_NOOP("Texts", "Duty比範囲外"),                                            // 10
    TAVOLIN_TR_NOOP("Texts", "デューティー比指定がない"),                                // 11
    TAVOLIN_TR_NOOP("Texts", "ーティー比指定が多すぎる"),                                // 12
    TAVOLIN_TR_NOOP("Texts", "パン値が範囲外"),                                          // 13
    TAVOLIN_TR_NOOP("Texts", "ボリューム値が範囲外"),                                    // 14
    TAVOLIN_TR_NOOP("Texts", "数値が入るところなのに数値じゃない"),                      // 15
    TAVOLIN_TR_NOOP("Texts", "連符中は単純な音符系とオクターブ変更のみ可能"),            // 16
    TAVOLIN_TR_NOOP("Texts", "連符個数が多すぎる"),                                      // 17
    TAVOLIN_TR_NOOP("Texts", "連符開始していないのに連符終了が来た"),                    // 18 (the old table had none)
    TAVOLIN_TR_NOOP("Texts", "連符内に音符がない"),                                      // 19
    TAVOLIN_TR_NOOP("Texts", "連符内で連符を始めようとした"),                            // 1A (reported as 19)
    TAVOLIN_TR_NOOP("Texts", "連符内でループコマンドが出現した"),                        // 1B
    TAVOLIN_TR_NOOP("Texts", "ループ開始していないのにループ終了が来た"),                // 1C
    TAVOLIN_TR_NOOP("Texts", "ループネスト数が限界を超えた"),                            // 1D
    TAVOLIN_TR_NOOP("Texts", "不正なループ回数指定"),                                    // 1E
    TAVOLIN_TR_NOOP("Texts", "存在しないLFOタイプ"),                                     // 1F
    TAVOLIN_TR_NOOP("Texts", "LFOの書式が間違っている"),                                 // 20
    TAVOLIN_TR_NOOP("Texts", "LFOの開始位置がその前の開始位置より大きくないといけない"), // 21
    TAVOLIN_TR_NOOP("Texts", "連符の最中にマクロ記録を始めることはできません"),          // 22 (reported as 16)
    TAVOLIN_TR_NOOP("Texts", "ループの最中にマクロ記録を始めることはできません"),        // 23
    TAVOLIN_TR_NOOP("Texts", "マクロのの最中にマクロ記録を始めることはできません"),      // 24
    TAVOLIN_TR_NOOP("Texts", "連符の最中にマクロ記録を終えることはできません"),          // 25 (reported as 16)
    TAVOLIN_TR_NOOP("Texts", "ループの最中にマクロ記録を終えることはできません"),        // 26
    TAVOLIN_TR_NOOP("Texts", "連符中にマクロを呼び出すことはできません"),                // 27 (reported as 16)
    TAVOLIN_TR_NOOP("Texts", "マクロの文字が不正です"),                                  // 28
    TAVOLIN_TR_NOOP("Texts", "現在位置が無限ループよりあとにある"),                      // 29
    TAVOLIN_TR_NOOP("Texts", "ループ内に音がなるコマンドがない"),                        // 2A
    TAVOLIN_TR_NOOP("Texts", "曲のイベント数が多すぎる"),                                // 2B (new: list size ceiling)
};

}  // namespace

std::string_view errorMessage(int32_t code) noexcept {
    if (code == 0) return "success";
    const uint32_t n = static_cast<uint32_t>(code) - 0x80000000u;
    if (n < kMessages.size()) return kMessages[n];
    return {};
}

}  // namespace tavolin
