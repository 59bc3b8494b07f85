// SPDX-License-Identifier: MIT
// The window's file changed on disk: reload, ask or tell.
#include "session/FileFollow.h"

#include "document/DocumentCheck.h"
#include "document/DocumentFormat.h"
#include "document/TextEncoding.h"

namespace tavolin::session {

DiskDocument readDiskDocument(document::FileSystem& files, const std::string& path) {
    DiskDocument disk;
    const document::ReadResult read = files.readFile(path);
    if (!read.ok()) {
        disk.error = read.failure.error;
        return disk;
    }
    const document::LoadedDocument loaded = document::loadDocumentFile(read.bytes);
    if (!loaded.ok() || loaded.check.losesText()) return disk;
    disk.texts = document::readDocumentBytes(loaded.decoded.bytes);
    return disk;
}

DiskAction FileFollow::decide(const DiskDocument& disk, const document::DocumentState& doc) {
    if (disk.error == document::FileError::NotFound) {
        if (m_toldMissing) return DiskAction::None;
        m_toldMissing = true;
        return DiskAction::TellDeleted;
    }
    if (!disk.texts) return DiskAction::None;  // half written, or not a document now: the next change tells
    m_toldMissing = false;
    // What the window last saved or opened: its own save, or nothing that matters.
    if (doc.cleanTexts && *disk.texts == *doc.cleanTexts) return DiskAction::None;
    if (m_answered && *disk.texts == *m_answered) return DiskAction::None;
    // The file holds what the window shows: taking it only marks the window clean.
    if (*disk.texts == doc.tabTexts) return DiskAction::Reload;
    return doc.modified ? DiskAction::Ask : DiskAction::Reload;
}

}  // namespace tavolin::session
