// The window's texts about files, recovery and encodings (UTF-8), in one table so a
// translation replaces them in one place.
#pragma once

#include <string>
#include <string_view>

#include "editor/FileSystem.h"

namespace tavolin::editor {

namespace text {

// "{file}" stands for the file's path.
inline constexpr const char* kOpenFailed = "「{file}」を開けませんでした。";
inline constexpr const char* kSaveFailed = "「{file}」に保存できませんでした。";
inline constexpr const char* kSaveElsewhere = "別の場所を選んで保存してください。";

// The system's reasons.
inline constexpr const char* kReasonNotFound = "ファイルまたはフォルダが見つかりません。";
inline constexpr const char* kReasonAccessDenied = "アクセス権がありません。";
inline constexpr const char* kReasonNotPermitted = "この操作は許可されていません（変更できないファイルです）。";
inline constexpr const char* kReasonReadOnlyFs = "読み取り専用のファイルシステムです。";
inline constexpr const char* kReasonDiskFull = "ディスクの空き容量が足りません。";
inline constexpr const char* kReasonNotAFile = "ファイルではありません（フォルダなど）。";
inline constexpr const char* kReasonOther = "システムエラーが発生しました（エラー番号 {code}）。";

// UTF-8 documents.
inline constexpr const char* kUtf8Converted =
    "UTF-8 のファイルを変換して開きました。保存すると CP932 で書き込まれます。";
inline constexpr const char* kUtf8Unencodable =
    "「{file}」は UTF-8 で書かれていますが、CP932 で表せない文字があるため開きませんでした"
    "（ファイルは変更していません）:";
inline constexpr const char* kUtf8UnencodableLine = "{line} 行目: {char}";
inline constexpr const char* kUtf8UnencodableMore = "ほか {count} 文字";

// Recovery after a crash.
inline constexpr const char* kRecoveryTitle = "ドキュメントの復元";
inline constexpr const char* kRecoveryText =
    "保存されないまま終了したドキュメントが見つかりました。\n\n"
    "ファイル: {file}\n自動保存: {time}\n\n復元しますか？";
inline constexpr const char* kRecoveryOthers = "（ほかに {count} 件あります）";
inline constexpr const char* kRecoveryRestore = "復元する";
inline constexpr const char* kRecoveryDiscard = "破棄する";
inline constexpr const char* kRecoveryLater = "後で";
inline constexpr const char* kRecoveryWriteFailed = "自動保存できませんでした（{folder}）。";

// The File menu's list of recent files.
inline constexpr const char* kRecentMenu = "最近使ったファイル(&R)";
inline constexpr const char* kRecentEmpty = "（なし）";

}  // namespace text

// `pattern` with every "{key}" replaced by `value`.
std::string fillIn(std::string_view pattern, std::string_view key, std::string_view value);

// The reason of a failure as the window says it.
std::string failureReason(const FileFailure& failure);

// "「path」を開けませんでした。\n<reason>" for kOpenFailed / kSaveFailed.
std::string fileFailureMessage(const char* pattern, const std::string& path, const FileFailure& failure);

}  // namespace tavolin::editor
