// A scripted window and an in-memory disk for the document command tests.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "editor/DocumentCommands.h"
#include "tests/editor/DocumentTestSupport.h"

namespace tavolin::editor::test {

// Every call the commands make, in order, as one readable line each.
using CallLog = std::vector<std::string>;

class FakeHost : public DocumentHost {
public:
    FakeHost(const DocumentState& state, CallLog& log) : m_state(state), m_log(log) {}

    std::deque<PromptAnswer> answers;
    std::deque<std::optional<std::string>> openResults, saveResults;
    bool hasText = true;
    std::optional<std::string> clipboard;
    ImportControls controls;
    std::vector<FileDialogOptions> dialogOptions;

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

    const DocumentState& m_state;
    CallLog& m_log;
};

// Paths under /missing/ or listed in readOnly cannot be opened; writes to
// paths in fullDisk fail and leave the old content.
class FakeFileSystem : public FileSystem {
public:
    explicit FakeFileSystem(CallLog& log) : m_log(log) {}
    std::map<std::string, std::string> files;
    std::set<std::string> readOnly, fullDisk;

    std::optional<std::string> readFile(const std::string& path) override {
        auto it = files.find(path);
        if (it == files.end()) return std::nullopt;
        return it->second;
    }
    WriteOutcome replaceFile(const std::string& path, std::string_view bytes) override {
        WriteOutcome outcome = WriteOutcome::Written;
        if (path.starts_with("/missing/") || readOnly.contains(path)) outcome = WriteOutcome::CannotOpen;
        else if (fullDisk.contains(path)) outcome = WriteOutcome::WriteFailed;
        else files[path] = std::string(bytes);
        static const char* const names[] = {"written", "cannot-open", "write-failed"};
        m_log.push_back("write " + path + " " + names[static_cast<int>(outcome)]);
        return outcome;
    }

private:
    CallLog& m_log;
};

// The window's document with a fake host and disk around one DocumentCommands.
struct DocumentFixture {
    CallLog log;
    DocumentState state;
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

}  // namespace tavolin::editor::test
