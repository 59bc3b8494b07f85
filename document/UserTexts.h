// SPDX-License-Identifier: MIT
// The window's texts about files, recovery and encodings (UTF-8, Japanese), in one
// table; uiText() gives them in the display language.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "compiler/UiText.h"
#include "document/FileSystem.h"

namespace tavolin::document {

namespace text {

// "{file}" stands for the file's path.
inline constexpr const char* kOpenFailed = TAVOLIN_TR_NOOP("Texts", "「{file}」を開けませんでした。");
inline constexpr const char* kSaveFailed = TAVOLIN_TR_NOOP("Texts", "「{file}」に保存できませんでした。");
inline constexpr const char* kExportCreateFailed = TAVOLIN_TR_NOOP("Texts", "「{file}」を作成できませんでした。");
inline constexpr const char* kExportWriteFailed = TAVOLIN_TR_NOOP("Texts", "「{file}」に書き込めませんでした。");
inline constexpr const char* kSaveElsewhere = TAVOLIN_TR_NOOP("Texts", "別の場所を選んで保存してください。");

// The system's reasons.
inline constexpr const char* kReasonNotFound = TAVOLIN_TR_NOOP("Texts", "ファイルまたはフォルダが見つかりません。");
inline constexpr const char* kReasonAccessDenied = TAVOLIN_TR_NOOP("Texts", "アクセス権がありません。");
inline constexpr const char* kReasonNotPermitted = TAVOLIN_TR_NOOP("Texts", "この操作は許可されていません（変更できないファイルです）。");
inline constexpr const char* kReasonReadOnlyFs = TAVOLIN_TR_NOOP("Texts", "読み取り専用のファイルシステムです。");
inline constexpr const char* kReasonDiskFull = TAVOLIN_TR_NOOP("Texts", "ディスクの空き容量が足りません。");
inline constexpr const char* kReasonNotAFile = TAVOLIN_TR_NOOP("Texts", "ファイルではありません（フォルダなど）。");
inline constexpr const char* kReasonOther = TAVOLIN_TR_NOOP("Texts", "システムエラーが発生しました（エラー番号 {code}）。");

// A document above the size limit.
inline constexpr const char* kDocumentTooLarge =
    TAVOLIN_TR_NOOP("Texts", "「{file}」は大きすぎるため開けません（{size} MB。開けるのは {limit} MB までです）。");

// UTF-8 documents.
inline constexpr const char* kUtf8Converted =
    TAVOLIN_TR_NOOP("Texts", "UTF-8 のファイルを変換して開きました。保存すると CP932 で書き込まれます。");
inline constexpr const char* kUtf8Unencodable =
    TAVOLIN_TR_NOOP("Texts", "「{file}」は UTF-8 で書かれていますが、CP932 で表せない文字があるため開きませんでした"
    "（ファイルは変更していません）:");
inline constexpr const char* kUtf8UnencodableLine = TAVOLIN_TR_NOOP("Texts", "{line} 行目: {char}");
inline constexpr const char* kUtf8UnencodableMore = TAVOLIN_TR_NOOP("Texts", "ほか {count} 行");

// Files that are not documents, or not wholly.
inline constexpr const char* kCheckRefused =
    TAVOLIN_TR_NOOP("Texts", "「{file}」はドキュメントとして読めないため、開きませんでした（ファイルは変更していません）。");
inline constexpr const char* kCheckLoses =
    TAVOLIN_TR_NOOP("Texts", "「{file}」には、開いて保存すると失われる部分があります。");
inline constexpr const char* kCheckNulByte =
    TAVOLIN_TR_NOOP("Texts", "{offset} バイト目に NUL バイトがあります（全部で {count} 個）。バイナリファイルのようです。");
inline constexpr const char* kCheckUndecodable =
    TAVOLIN_TR_NOOP("Texts", "CP932 の文字として読めないバイトが {offset} バイト目から {count} か所あります。");
inline constexpr const char* kCheckTextAfterEnd =
    TAVOLIN_TR_NOOP("Texts", "{offset} バイト目の Ctrl+Z（0x1A）でテキストが終わり、その後の {count} バイトは読み込まれません。");
inline constexpr const char* kCheckOutsideRecord =
    TAVOLIN_TR_NOOP("Texts", "ドキュメントの枠（SMML@…;MML@…;）の外にある {count} バイトは読み込まれません。");
inline constexpr const char* kCheckOpenAnyway =
    TAVOLIN_TR_NOOP("Texts", "このまま開きますか？（元のファイルは保存するまで変わりません）");

// Recovery after a crash.
inline constexpr const char* kRecoveryTitle = TAVOLIN_TR_NOOP("Texts", "ドキュメントの復元");
inline constexpr const char* kRecoveryText =
    TAVOLIN_TR_NOOP("Texts", "保存されないまま終了したドキュメントが見つかりました。\n\n"
    "ファイル: {file}\n自動保存: {time}\n\n復元しますか？");
inline constexpr const char* kRecoveryOthers = TAVOLIN_TR_NOOP("Texts", "（ほかに {count} 件あります）");
inline constexpr const char* kRecoveryRestore = TAVOLIN_TR_NOOP("Texts", "復元する");
inline constexpr const char* kRecoveryDiscard = TAVOLIN_TR_NOOP("Texts", "破棄する");
inline constexpr const char* kRecoveryLater = TAVOLIN_TR_NOOP("Texts", "後で");
inline constexpr const char* kRecoveryWriteFailed = TAVOLIN_TR_NOOP("Texts", "自動保存できませんでした（{folder}）。");

// The File menu's list of recent files.
inline constexpr const char* kRecentMenu = TAVOLIN_TR_NOOP("Texts", "最近使ったファイル(&R)");
inline constexpr const char* kRecentEmpty = TAVOLIN_TR_NOOP("Texts", "（なし）");

}  // namespace text

// `pattern` with every "{key}" replaced by `value`.
std::string fillIn(std::string_view pattern, std::string_view key, std::string_view value);

// The reason of a failure as the window says it.
std::string failureReason(const FileFailure& failure);

// kDocumentTooLarge for a file of `bytes` bytes, the sizes in MB (2^20 bytes)
// with one decimal.
std::string documentTooLargeMessage(const std::string& path, uint64_t bytes);

// "「path」を開けませんでした。\n<reason>" for kOpenFailed / kSaveFailed.
std::string fileFailureMessage(const char* pattern, const std::string& path, const FileFailure& failure);

// An editor refuses a character CP932 cannot hold with this (the character follows).
inline constexpr const char* kMsgUnencodable = TAVOLIN_TR_NOOP("Texts", "この文字はCP932で表せないため入力できません: ");

}  // namespace tavolin::document
