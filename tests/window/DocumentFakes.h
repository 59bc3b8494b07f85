// SPDX-License-Identifier: MIT
// A scripted window and an in-memory disk for the document command tests.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "window/DocumentCommands.h"
#include "tests/document/DocumentTestSupport.h"

namespace tavolin::window::test {

// The document tests' comparisons, for the window's tests of the same files.
using document::test::bytesEqual;
using document::test::escapeBytes;
using document::test::tabsEqual;

// Every call the commands make, in order, as one readable line each.
using CallLog = std::vector<std::string>;

class FakeHost : public DocumentHost {
public:
    FakeHost(const document::DocumentState& state, CallLog& log) : m_state(state), m_log(log) {}

    std::deque<PromptAnswer> answers;
    std::deque<std::optional<std::string>> openResults, saveResults;
    bool hasText = true;
    std::optional<std::string> clipboard;
    ImportControls controls;
    std::vector<FileDialogOptions> dialogOptions;
    std::vector<std::string> used;  // fileUsed paths

    PromptAnswer askYesNoCancel(const std::string& text, const std::string& caption) override {
        m_log.push_back("ask " + text + " / " + caption);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected prompt";
            return PromptAnswer::Cancel;
        }
        PromptAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> showOpenDialog(const FileDialogOptions& o) override {
        return dialog("open-dialog", openResults, o);
    }
    std::optional<std::string> showSaveDialog(const FileDialogOptions& o) override {
        return dialog("save-dialog", saveResults, o);
    }
    void messageBox(const std::string& text) override { m_log.push_back("message " + text); }
    bool clipboardHasText() override { return hasText; }
    std::optional<std::string> readClipboardText() override { return clipboard; }
    void setEditorText(const std::string& text) override { m_log.push_back("editor " + escapeBytes(text)); }
    void updateTitle() override {
        m_log.push_back("title " + (m_state.filePath.empty() ? std::string("無題") : m_state.filePath) +
                        (m_state.modified ? " *" : " "));
    }
    void stopPlayback() override { m_log.push_back("stop"); }
    ImportControls importControls() override { return controls; }
    void showStatus(const std::string& text) override { m_log.push_back("status " + text); }
    void fileUsed(const std::string& path) override { used.push_back(path); }

private:
    std::optional<std::string> dialog(const char* what, std::deque<std::optional<std::string>>& results,
                                      const FileDialogOptions& o) {
        dialogOptions.push_back(o);
        std::optional<std::string> r;
        if (results.empty()) ADD_FAILURE() << "unexpected " << what;
        else {
            r = results.front();
            results.pop_front();
        }
        m_log.push_back(std::string(what) + " -> " + (r ? *r : "cancel"));
        return r;
    }

    const document::DocumentState& m_state;
    CallLog& m_log;
};

// Paths under /missing/ are not there; paths in readOnly refuse writes (access
// denied), in fullDisk fail mid-write (disk full) and leave the old content;
// writeErrors and readErrors fail with the reason given.
class FakeFileSystem : public document::FileSystem {
public:
    explicit FakeFileSystem(CallLog& log) : m_log(log) {}
    std::map<std::string, std::string> files;
    std::set<std::string> readOnly, fullDisk, folders;
    std::map<std::string, document::FileError> writeErrors, readErrors;

    document::ReadResult readFile(const std::string& path) override {
        document::ReadResult r;
        if (auto e = readErrors.find(path); e != readErrors.end()) r.failure = {e->second, 1};
        else if (auto it = files.find(path); it != files.end()) r.bytes = it->second;
        else r.failure = {document::FileError::NotFound, 2};
        return r;
    }
    document::WriteResult replaceFile(const std::string& path, std::string_view bytes) override {
        document::WriteResult r;
        if (path.starts_with("/missing/")) r = {document::WriteOutcome::CannotOpen, {document::FileError::NotFound, 2}};
        else if (readOnly.contains(path)) r = {document::WriteOutcome::CannotOpen, {document::FileError::AccessDenied, 13}};
        else if (fullDisk.contains(path)) r = {document::WriteOutcome::WriteFailed, {document::FileError::DiskFull, 28}};
        else if (auto e = writeErrors.find(path); e != writeErrors.end()) r = {document::WriteOutcome::CannotOpen, {e->second, 1}};
        else files[path] = std::string(bytes);
        static const char* const names[] = {"written", "cannot-open", "write-failed"};
        m_log.push_back("write " + path + " " + names[static_cast<int>(r.outcome)]);
        return r;
    }
    std::vector<std::string> listFolder(const std::string& folder) override {
        std::vector<std::string> names;
        const std::string prefix = folder + "/";
        for (const auto& [path, bytes] : files)
            if (path.starts_with(prefix) && path.find('/', prefix.size()) == std::string::npos)
                names.push_back(path.substr(prefix.size()));
        return names;
    }
    bool removeFile(const std::string& path) override {
        m_log.push_back("remove " + path);
        return files.erase(path) > 0;
    }
    bool renameFile(const std::string& from, const std::string& to) override {
        auto it = files.find(from);
        if (it == files.end()) return false;
        std::string bytes = std::move(it->second);
        files.erase(it);
        files[to] = std::move(bytes);
        return true;
    }
    document::FileFailure makeFolder(const std::string& folder) override {
        if (folder.starts_with("/missing/")) return {document::FileError::AccessDenied, 13};
        folders.insert(folder);
        return {};
    }

private:
    CallLog& m_log;
};

// The window's document with a fake host and disk around one DocumentCommands.
struct DocumentFixture {
    CallLog log;
    document::DocumentState state;
    FakeHost host{state, log};
    FakeFileSystem files{log};
    DocumentCommands commands{state, host, files};
};

inline ::testing::AssertionResult logEqual(const CallLog& actual, const CallLog& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "call log differs\n";
    std::size_t n = std::max(actual.size(), expected.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::string got = i < actual.size() ? actual[i] : "(none)";
        const std::string want = i < expected.size() ? expected[i] : "(none)";
        failure << (got == want ? "   " : "!! ") << got;
        if (got != want) failure << "   <- want: " << want;
        failure << "\n";
    }
    return failure;
}

}  // namespace tavolin::window::test
