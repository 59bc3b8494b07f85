// Saving to disk: replace-by-rename keeps the old file when a write fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "editor/DocumentCommands.h"
#include "editor/FileSystem.h"
#include "tests/editor/DocumentFakes.h"

namespace tavolin::editor {
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
class FullDiskFileSystem : public RealFileSystem {
protected:
    bool writeBytes(std::FILE* file, std::string_view bytes) override {
        RealFileSystem::writeBytes(file, bytes.substr(0, bytes.size() / 2));
        return false;
    }
};

TEST(DocumentFileSystem, ReplaceOutcomes) {
    TempFolder dir;
    writeRaw(dir.file("old.mml"), "SMML@OLD;MML@,,,,;");
    fs::create_directory(dir.path() / "sub");
    RealFileSystem disk;
    struct Row { const char* name; std::string path; WriteOutcome expected; };
    const std::vector<Row> rows = {
        {"new file", dir.file("new.mml"), WriteOutcome::Written},
        {"existing file", dir.file("old.mml"), WriteOutcome::Written},
        {"missing folder", dir.file("nowhere/x.mml"), WriteOutcome::CannotOpen},
        {"a folder", dir.file("sub"), WriteOutcome::CannotOpen},
        {"empty path", "", WriteOutcome::CannotOpen},
        {"folder name with a slash", dir.file("gone/"), WriteOutcome::CannotOpen},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(disk.replaceFile(r.path, "SMML@NEW;MML@,,,,;"), r.expected) << r.name;
        if (r.expected == WriteOutcome::Written) {
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
    EXPECT_EQ(full.replaceFile(path, std::string(4096, 'C')), WriteOutcome::WriteFailed);
    EXPECT_EQ(readRaw(path), "SMML@OLD;MML@C,,,,;");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"song.mml"});
    // A new file that fails leaves nothing at all.
    EXPECT_EQ(full.replaceFile(dir.file("fresh.mml"), "SMML@;MML@,,,,;"), WriteOutcome::WriteFailed);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"song.mml"});
}

TEST(DocumentFileSystem, KeepsPermissionsAndFollowsLinks) {
    TempFolder dir;
    const std::string real = dir.file("real.mml"), link = dir.file("link.mml");
    writeRaw(real, "old");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, link);
    RealFileSystem disk;
    ASSERT_EQ(disk.replaceFile(link, "new"), WriteOutcome::Written);
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
    RealFileSystem disk;
    EXPECT_EQ(disk.replaceFile(path, "new"), WriteOutcome::CannotOpen);
    EXPECT_EQ(readRaw(path), "old");
}

TEST(DocumentFileSystem, ReadFile) {
    TempFolder dir;
    writeRaw(dir.file("a.mml"), std::string("A\r\r\n\0B", 6));
    RealFileSystem disk;
    EXPECT_EQ(disk.readFile(dir.file("a.mml")), std::string("A\r\r\n\0B", 6));
    EXPECT_EQ(disk.readFile(dir.file("missing.mml")), std::nullopt);
    EXPECT_EQ(disk.readFile(dir.path().string()), std::nullopt);
}

TEST(DocumentFileSystem, SaveThenOpenOnDisk) {
    TempFolder dir;
    RealFileSystem disk;
    test::CallLog log;
    DocumentState state;
    test::FakeHost host(state, log);
    DocumentCommands commands(state, host, disk);
    const TabTexts doc{"T150\r\n*\x83\x54*", "C\r\nD", "E", "", "F\r", "G"};
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
}  // namespace tavolin::editor
