// SPDX-License-Identifier: MIT
// Saving to disk: replace-by-rename keeps the old file when a write fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "window/DocumentCommands.h"
#include "document/FileSystem.h"
#include "tests/window/DocumentFakes.h"

namespace tavolin::window {
namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        std::random_device rd;
        m_path = fs::temp_directory_path() / ("tavolin-doc-test-" + std::to_string(rd()) + std::to_string(::getpid()));
        fs::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    const fs::path& path() const { return m_path; }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(m_path)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    fs::path m_path;
};

void writeRaw(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string readRaw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Stores half the bytes and then reports failure, as a disk that fills up mid-write.
class FullDiskFileSystem : public document::RealFileSystem {
protected:
    bool writeBytes(std::FILE* file, std::string_view bytes) override {
        document::RealFileSystem::writeBytes(file, bytes.substr(0, bytes.size() / 2));
        return false;
    }
};

TEST(DocumentFileSystem, ReplaceOutcomes) {
    TempFolder dir;
    writeRaw(dir.file("old.mml"), "SMML@OLD;MML@,,,,;");
    fs::create_directory(dir.path() / "sub");
    document::RealFileSystem disk;
    struct Row { const char* name; std::string path; document::WriteOutcome expected; document::FileError reason; };
    const std::vector<Row> rows = {
        {"new file", dir.file("new.mml"), document::WriteOutcome::Written, document::FileError::None},
        {"existing file", dir.file("old.mml"), document::WriteOutcome::Written, document::FileError::None},
        {"missing folder", dir.file("nowhere/x.mml"), document::WriteOutcome::CannotOpen, document::FileError::NotFound},
        {"a folder", dir.file("sub"), document::WriteOutcome::CannotOpen, document::FileError::NotAFile},
        {"empty path", "", document::WriteOutcome::CannotOpen, document::FileError::NotFound},
        {"folder name with a slash", dir.file("gone/"), document::WriteOutcome::CannotOpen, document::FileError::NotAFile},
    };
    for (const auto& r : rows) {
        const document::WriteResult w = disk.replaceFile(r.path, "SMML@NEW;MML@,,,,;");
        EXPECT_EQ(w.outcome, r.expected) << r.name;
        EXPECT_EQ(w.failure.error, r.reason) << r.name;
        if (r.expected == document::WriteOutcome::Written) {
            EXPECT_EQ(readRaw(r.path), "SMML@NEW;MML@,,,,;") << r.name;
        }
    }
    // No temporary file is left behind.
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"new.mml", "old.mml", "sub"}));
}

TEST(DocumentFileSystem, FailedWriteKeepsThePreviousFile) {
    TempFolder dir;
    const std::string path = dir.file("song.mml");
    writeRaw(path, "SMML@OLD;MML@C,,,,;");
    FullDiskFileSystem full;
    const document::WriteResult w = full.replaceFile(path, std::string(4096, 'C'));
    EXPECT_EQ(w.outcome, document::WriteOutcome::WriteFailed);
    EXPECT_EQ(w.failure.error, document::FileError::DiskFull);
    EXPECT_EQ(readRaw(path), "SMML@OLD;MML@C,,,,;");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"song.mml"});
    // A new file that fails leaves nothing at all.
    EXPECT_EQ(full.replaceFile(dir.file("fresh.mml"), "SMML@;MML@,,,,;").outcome, document::WriteOutcome::WriteFailed);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"song.mml"});
}

TEST(DocumentFileSystem, KeepsPermissionsAndFollowsLinks) {
    TempFolder dir;
    const std::string real = dir.file("real.mml"), link = dir.file("link.mml");
    writeRaw(real, "old");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, link);
    document::RealFileSystem disk;
    ASSERT_EQ(disk.replaceFile(link, "new").outcome, document::WriteOutcome::Written);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_EQ(readRaw(real), "new");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(DocumentFileSystem, ReadOnlyTargetCannotBeOpened) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only files; the fake disk covers this path";
    TempFolder dir;
    const std::string path = dir.file("ro.mml");
    writeRaw(path, "old");
    fs::permissions(path, fs::perms::owner_read);
    document::RealFileSystem disk;
    const document::WriteResult w = disk.replaceFile(path, "new");
    EXPECT_EQ(w.outcome, document::WriteOutcome::CannotOpen);
    EXPECT_EQ(w.failure.error, document::FileError::AccessDenied);
    EXPECT_EQ(readRaw(path), "old");
}

TEST(DocumentFileSystem, ReadFile) {
    TempFolder dir;
    writeRaw(dir.file("a.mml"), std::string("A\r\r\n\0B", 6));
    document::RealFileSystem disk;
    EXPECT_EQ(disk.readFile(dir.file("a.mml")).bytes, std::string("A\r\r\n\0B", 6));
    EXPECT_TRUE(disk.readFile(dir.file("a.mml")).ok());
    EXPECT_EQ(disk.readFile(dir.file("missing.mml")).failure.error, document::FileError::NotFound);
    EXPECT_EQ(disk.readFile(dir.file("a.mml/x")).failure.error, document::FileError::NotFound);
    EXPECT_EQ(disk.readFile(dir.path().string()).failure.error, document::FileError::NotAFile);
}

// A folder that refuses new files (as a read-only folder does to its non-root owner).
class LockedFolderFileSystem : public document::RealFileSystem {
public:
    bool fullDisk = false;

protected:
    std::FILE* createTemporary(const fs::path&) override {
        errno = EACCES;
        return nullptr;
    }
    bool writeBytes(std::FILE* file, std::string_view bytes) override {
        if (!fullDisk) return document::RealFileSystem::writeBytes(file, bytes);
        errno = ENOSPC;
        return false;
    }
};

TEST(DocumentFileSystem, LockedFolderSavesAWritableFileInPlace) {
    TempFolder dir;
    const std::string path = dir.file("song.mml");
    LockedFolderFileSystem locked;
    struct Row { const char* name; std::string old, bytes; bool full; document::WriteOutcome outcome; document::FileError reason; std::string after; };
    const std::vector<Row> rows = {
        {"longer content", "SMML@;MML@C,,,,;", "SMML@;MML@CDEFGAB,,,,;", false, document::WriteOutcome::Written, document::FileError::None,
         "SMML@;MML@CDEFGAB,,,,;"},
        {"shorter content is cut to its length", "SMML@;MML@CDEFGAB,,,,;", "SMML@;MML@,,,,;", false,
         document::WriteOutcome::Written, document::FileError::None, "SMML@;MML@,,,,;"},
        {"a failing write reports its reason", "SMML@;MML@C,,,,;", "SMML@;MML@D,,,,;", true, document::WriteOutcome::WriteFailed,
         document::FileError::DiskFull, "SMML@;MML@C,,,,;"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        writeRaw(path, r.old);
        locked.fullDisk = r.full;
        const document::WriteResult w = locked.replaceFile(path, r.bytes);
        EXPECT_EQ(w.outcome, r.outcome);
        EXPECT_EQ(w.failure.error, r.reason);
        EXPECT_EQ(readRaw(path), r.after);
    }
    // A new file cannot be made in such a folder: the folder's reason.
    const document::WriteResult fresh = locked.replaceFile(dir.file("new.mml"), "x");
    EXPECT_EQ(fresh.outcome, document::WriteOutcome::CannotOpen);
    EXPECT_EQ(fresh.failure.error, document::FileError::AccessDenied);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"song.mml"});
}

TEST(DocumentFileSystem, FolderOperations) {
    TempFolder dir;
    document::RealFileSystem disk;
    const std::string state = dir.file("state/tavolin");
    EXPECT_EQ(disk.makeFolder(state).error, document::FileError::None);
    EXPECT_EQ(fs::status(state).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(disk.makeFolder(state).error, document::FileError::None);  // already there
    writeRaw(state + "/a", "1");
    writeRaw(state + "/b", "2");
    auto names = disk.listFolder(state);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(disk.listFolder(dir.file("none")).empty());
    EXPECT_TRUE(disk.removeFile(state + "/a"));
    EXPECT_FALSE(disk.removeFile(state + "/a"));
    EXPECT_EQ(disk.listFolder(state), std::vector<std::string>{"b"});
    writeRaw(dir.file("plain"), "");
    EXPECT_EQ(disk.makeFolder(dir.file("plain/sub")).error, document::FileError::NotFound);
}

TEST(DocumentFileSystem, SaveThenOpenOnDisk) {
    TempFolder dir;
    document::RealFileSystem disk;
    test::CallLog log;
    document::DocumentState state;
    test::FakeHost host(state, log);
    DocumentCommands commands(state, host, disk);
    const document::TabTexts doc{"T150\r\n*\x83\x54*", "C\r\nD", "E", "", "F\r", "G"};
    state.tabTexts = doc;
    state.modified = true;
    const std::string path = dir.file("song.mml");
    host.saveResults = {path};
    ASSERT_TRUE(commands.saveDocument());
    EXPECT_EQ(readRaw(path), "SMML@T150\r\r\n*\x83\x54*;MML@C\r\r\nD,E,,F\r,G;");
    host.openResults = {path};
    ASSERT_TRUE(commands.openDocument());
    EXPECT_TRUE(test::tabsEqual(state.tabTexts, doc));
    EXPECT_EQ(state.filePath, path);
    EXPECT_FALSE(state.modified);
}

}  // namespace
}  // namespace tavolin::window

namespace tavolin::window {
namespace {

TEST(DocumentFileSystem, PathsAreAbsoluteWhateverTheCurrentFolder) {
    struct Row { const char* path; const char* current; const char* want; };
    const std::vector<Row> rows = {
        {"s1/rel.mml", "/home/u", "/home/u/s1/rel.mml"},
        {"./a//b.mml", "/home/u/", "/home/u/a/b.mml"},
        {"../up.mml", "/home/u/songs", "/home/u/up.mml"},
        {"/abs/./x/../song.mml", "/elsewhere", "/abs/song.mml"},
        {"", "/home/u", ""},
    };
    for (const auto& r : rows) EXPECT_EQ(document::absolutePathIn(r.path, r.current), r.want) << r.path << " in " << r.current;

    // On disk: from the current folder, folder links resolved, the file's own name kept.
    TempFolder dir;
    const fs::path real = fs::canonical(dir.path());
    fs::create_directory(real / "real");
    fs::create_directory_symlink(real / "real", real / "link");
    writeRaw((real / "real" / "song.mml").string(), "MML@C;");
    fs::create_symlink(real / "real" / "song.mml", real / "real" / "alias.mml");
    const fs::path before = fs::current_path();
    fs::current_path(real / "real");
    document::RealFileSystem disk;
    const std::vector<std::pair<std::string, fs::path>> onDisk = {
        {"song.mml", real / "real" / "song.mml"},
        {"../link/song.mml", real / "real" / "song.mml"},
        {"../link/alias.mml", real / "real" / "alias.mml"},
        {(real / "link" / "new.mml").string(), real / "real" / "new.mml"},  // not there yet
    };
    for (const auto& [path, want] : onDisk) EXPECT_EQ(disk.absolutePath(path), want.string()) << path;
    fs::current_path(before);
}

TEST(DocumentFileSystem, ASaveRemovesTemporariesLeftByKilledSaves) {
    TempFolder dir;
    for (const char* name : {".doc.mml.saving-3", ".doc.mml.saving-7", ".doc.mml.saving-x", ".other.mml.saving-1"})
        writeRaw(dir.file(name), "half a save");
    // A save in progress holds its temporary file locked: it stays.
    const int busy = ::open(dir.file(".doc.mml.saving-7").c_str(), O_RDONLY);
    ASSERT_GE(busy, 0);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);
    document::RealFileSystem disk;
    EXPECT_EQ(disk.replaceFile(dir.file("doc.mml"), "SMML@;MML@,,,,;").outcome, document::WriteOutcome::Written);
    ::close(busy);
    EXPECT_EQ(dir.names(),
              (std::vector<std::string>{".doc.mml.saving-7", ".doc.mml.saving-x", ".other.mml.saving-1", "doc.mml"}));
    EXPECT_EQ(readRaw(dir.file("doc.mml")), "SMML@;MML@,,,,;");
}

}  // namespace
}  // namespace tavolin::window
