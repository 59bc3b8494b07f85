// SPDX-License-Identifier: MIT
// Following the window's file when something else changes it on disk: what
// to do about each change the watcher reports. Toolkit-free; the window's
// view watches the file and the model asks, reloads or tells.
#pragma once

#include <optional>
#include <string>

#include "compiler/UiText.h"
#include "document/DocumentState.h"
#include "document/FileSystem.h"

namespace tavolin::session {

inline constexpr const char* kMsgFileChangedAsk = TAVOLIN_TR_NOOP(
    "Texts", "「{file}」が他のプログラムで変更されました。\nこのウィンドウには保存していない変更があります。どちらを残しますか？");
inline constexpr const char* kMsgFileKeepMine = TAVOLIN_TR_NOOP("Texts", "このウィンドウの内容を残す");
inline constexpr const char* kMsgFileReload = TAVOLIN_TR_NOOP("Texts", "ファイルを読み込み直す");
inline constexpr const char* kMsgFileReloaded = TAVOLIN_TR_NOOP("Texts", "「{file}」が変更されたため読み込み直しました");
inline constexpr const char* kMsgFileDeleted =
    TAVOLIN_TR_NOOP("Texts", "「{file}」が削除されました。内容はこのウィンドウに残っています（保存すると作り直します）");

// The window's file as it is on disk now.
struct DiskDocument {
    document::FileError error = document::FileError::None;  // NotFound: gone; another error: unreadable now
    std::optional<document::TabTexts> texts;      // read and taken for a document
};

// Reads and decodes `path` as Open does (CP932, or UTF-8 converted); a file
// Open would refuse or warn about gives no texts.
DiskDocument readDiskDocument(document::FileSystem& files, const std::string& path);

enum class DiskAction {
    None,         // nothing new: our own save, the same text again, an answered version, unreadable for now
    Reload,       // no unsaved edits (or the file holds them already): take the file's text
    Ask,          // unsaved edits: keep them or take the file's
    TellDeleted,  // the file went away (said once until it comes back)
};

class FileFollow {
public:
    // The watcher reported the file; `doc` is the window's document.
    DiskAction decide(const DiskDocument& disk, const document::DocumentState& doc);
    // "Keep mine" to the version `texts`: not asked about again.
    void kept(const document::TabTexts& texts) { m_answered = texts; }
    // Another document (opened, new, saved elsewhere): start afresh.
    void reset() {
        m_answered.reset();
        m_toldMissing = false;
    }

private:
    std::optional<document::TabTexts> m_answered;
    bool m_toldMissing = false;
};

}  // namespace tavolin::session
