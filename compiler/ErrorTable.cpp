// The message table for compile error codes (UTF-8; converted to CP932 where stored).
#include "compiler/ErrorTable.h"

#include <array>

namespace tavolin {
namespace {

// Indexed by code - 0x80000000. Texts are kept exactly as users have always
// seen them, including their spelling.
constexpr std::array<std::string_view, 0x2C> kMessages = {
    "不明なコマンド",                                          // 00
    "スラーのあとに続けれるコマンドではない",                  // 01
    "値が不正",                                                // 02
    "テンポの値が不正",                                        // 03
    "長さの指定が不正",                                        // 04
    "エンベロープコマンドの書式が間違っている",                // 05
    "パラメータの値が範囲外",                                  // 06
    "スラーが繋がってないまま終わってる",                      // 07
    "音程が低すぎる",                                          // 08
    "音程が高すぎる",                                          // 09
    "音色番号が範囲外",                                        // 0A
    "使えない音色番号",                                        // 0B
    "使えない波形種別",                                        // 0C
    "周波数変動範囲外",                                        // 0D
    "レベルノイズランダム範囲外",                              // 0E
    "Duty切り替えタイミング範囲外",                            // 0F
    "Duty比範囲外",                                            // 10
    "デューティー比指定がない",                                // 11
    "ーティー比指定が多すぎる",                                // 12
    "パン値が範囲外",                                          // 13
    "ボリューム値が範囲外",                                    // 14
    "数値が入るところなのに数値じゃない",                      // 15
    "連符中は単純な音符系とオクターブ変更のみ可能",            // 16
    "連符個数が多すぎる",                                      // 17
    "連符開始していないのに連符終了が来た",                    // 18 (the old table had none)
    "連符内に音符がない",                                      // 19
    "連符内で連符を始めようとした",                            // 1A (reported as 19)
    "連符内でループコマンドが出現した",                        // 1B
    "ループ開始していないのにループ終了が来た",                // 1C
    "ループネスト数が限界を超えた",                            // 1D
    "不正なループ回数指定",                                    // 1E
    "存在しないLFOタイプ",                                     // 1F
    "LFOの書式が間違っている",                                 // 20
    "LFOの開始位置がその前の開始位置より大きくないといけない", // 21
    "連符の最中にマクロ記録を始めることはできません",          // 22 (reported as 16)
    "ループの最中にマクロ記録を始めることはできません",        // 23
    "マクロのの最中にマクロ記録を始めることはできません",      // 24
    "連符の最中にマクロ記録を終えることはできません",          // 25 (reported as 16)
    "ループの最中にマクロ記録を終えることはできません",        // 26
    "連符中にマクロを呼び出すことはできません",                // 27 (reported as 16)
    "マクロの文字が不正です",                                  // 28
    "現在位置が無限ループよりあとにある",                      // 29
    "ループ内に音がなるコマンドがない",                        // 2A
    "曲のイベント数が多すぎる",                                // 2B (new: list size ceiling)
};

}  // namespace

std::string_view errorMessage(int32_t code) noexcept {
    if (code == 0) return "success";
    const uint32_t n = static_cast<uint32_t>(code) - 0x80000000u;
    if (n < kMessages.size()) return kMessages[n];
    return {};
}

}  // namespace tavolin
