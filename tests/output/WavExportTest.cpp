// SPDX-License-Identifier: MIT
// WAV export: file layout, what is rendered, and the failures a musician must
// never pay for (lost files, truncated files, silent write errors).
#include <cerrno>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/output/OutputTestSupport.h"

namespace tavolin::testing {
namespace {

using output::ExportOutcome;

// The bytes the whole-buffer method writes: header, then every sample.
std::string wholeBufferFile(const output::BuildInputs& in) {
    output::WaveFormat f;
    auto song = buildOrFail(in, false, &f);
    if (!song) return {};
    std::vector<int16_t> samples = renderToEnd(*song);
    auto h = output::wavHeader(f, static_cast<uint32_t>(samples.size() * 2));
    std::string bytes(h.begin(), h.end());
    output::appendSamplesLe(samples, bytes);
    return bytes;
}

uint32_t le32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + static_cast<size_t>(i)]);
    return v;
}

// An output file that fails once a number of bytes has gone through, like a
// disk that fills up; or whose commit fails, like a rename across a lost mount.
class FailingFile : public output::OutputFile {
public:
    FailingFile(std::unique_ptr<output::OutputFile> inner, uint64_t failAfterBytes, bool failCommit)
        : m_inner(std::move(inner)), m_left(failAfterBytes), m_failCommit(failCommit) {}
    bool write(std::span<const uint8_t> bytes) override {
        if (bytes.size() > m_left) {
            (void)m_inner->write(bytes.first(static_cast<size_t>(m_left)));
            m_left = 0;
            m_error = ENOSPC;
            return false;
        }
        m_left -= bytes.size();
        return m_inner->write(bytes);
    }
    bool writeAtStart(std::span<const uint8_t> bytes) override { return m_inner->writeAtStart(bytes); }
    bool commit() override {
        if (!m_failCommit) return m_inner->commit();
        m_error = EXDEV;
        return false;
    }
    int systemError() const noexcept override { return m_error; }

private:
    std::unique_ptr<output::OutputFile> m_inner;
    uint64_t m_left;
    bool m_failCommit;
    int m_error = 0;
};

output::ExportOptions failingAfter(uint64_t bytes, bool failCommit = false) {
    output::ExportOptions o;
    o.openFile = [bytes, failCommit](const std::string& path) -> std::unique_ptr<output::OutputFile> {
        auto inner = output::openAtomicFile(path);
        if (!inner) return nullptr;
        return std::make_unique<FailingFile>(std::move(inner), bytes, failCommit);
    };
    return o;
}

TEST(WavExport, AsksForThePathWithTheDialogParameters) {
    TempDir dir;
    RecordingHost host;
    host.savePath = (dir / "a.wav").string();
    ASSERT_EQ(output::OnWavExport(songInputs("", {"C"}), host), ExportOutcome::Written);
    ASSERT_TRUE(host.lastRequest);
    EXPECT_EQ(host.lastRequest->defaultExtension, "wav");
    EXPECT_EQ(host.lastRequest->initialFileName, "output.wav");
    EXPECT_EQ(host.lastRequest->filter, "Wave File(*.wav)|*.wav||");
    EXPECT_TRUE(host.lastRequest->hideReadOnly);
    EXPECT_TRUE(host.lastRequest->overwritePrompt);
    EXPECT_TRUE(host.messages.empty()) << "no message after a successful export";
}

TEST(WavExport, StreamedFileEqualsTheWholeBufferMethod) {
    struct Row {
        const char* name;
        output::BuildInputs in;
        uint32_t framesPerBlock;
    };
    auto cursor = songInputs("L16", {"CDEFG", "EFGAB"}, 0);
    cursor.bankIndex = 2;
    cursor.tabTexts[3] = "L16GGGGGG";
    cursor.caret = 6;
    cursor.startFromCursor = true;
    auto currentB = songInputs("L16", {"CDEF", "GAB"}, 1);
    currentB.currentBankMode = true;
    currentB.bankIndex = 1;
    const Row rows[] = {
        {"two banks, Fix, block of one frame", songInputs("T150L16", {"CDE", "O3C"}, 0), 1},
        {"two banks, Float, odd block", songInputs("T150L16", {"CDE", "O3C"}, 1), 7},
        {"Double at 8 kHz", songInputs("L8", {"@1CEG"}, 2, 8000), 4096},
        {"cursor inside bank C", cursor, 4096},
        {"current bank B", currentB, 333},
        {"endless loop", songInputs("L16", {"[CD]EF"}, 1), 4096},
        {"no notes", songInputs("T100", {"V10"}, 1), 4096},
    };
    for (const Row& r : rows) {
        TempDir dir;
        RecordingHost host;
        host.savePath = (dir / "x.wav").string();
        output::ExportOptions options;
        options.framesPerBlock = r.framesPerBlock;
        ASSERT_EQ(output::OnWavExport(r.in, host, options), ExportOutcome::Written) << r.name;
        std::string file = readFile(*host.savePath);
        std::string expected = wholeBufferFile(r.in);
        EXPECT_EQ(file.size(), expected.size()) << r.name;
        EXPECT_TRUE(file == expected) << r.name;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"x.wav"}) << r.name;
    }
}

TEST(WavExport, FileLayout) {
    struct Row {
        const char* name;
        output::BuildInputs in;
        uint32_t rate;
        bool empty;
    };
    const Row rows[] = {
        {"no notes: header alone", songInputs("T100", {"", "V1"}), 48000, true},
        {"one note at 22,050", songInputs("", {"C"}, 1, 22050), 22050, false},
        {"one note at 192,000", songInputs("", {"C"}, 0, 192000), 192000, false},
    };
    for (const Row& r : rows) {
        TempDir dir;
        RecordingHost host;
        host.savePath = (dir / "x.wav").string();
        ASSERT_EQ(output::OnWavExport(r.in, host), ExportOutcome::Written) << r.name;
        std::string b = readFile(*host.savePath);
        ASSERT_GE(b.size(), 44u) << r.name;
        EXPECT_EQ(b.substr(0, 4), "RIFF");
        EXPECT_EQ(le32(b, 4), b.size() - 8) << r.name;
        EXPECT_EQ(b.substr(8, 8), "WAVEfmt ");
        EXPECT_EQ(le32(b, 16), 16u);
        std::string fmt = b.substr(20, 16);
        std::string expectedFmt("\x01\x00\x02\x00", 4);
        for (uint32_t v : {r.rate, r.rate * 4}) for (int i = 0; i < 4; ++i) expectedFmt += static_cast<char>(v >> (8 * i));
        expectedFmt += std::string("\x04\x00\x10\x00", 4);
        EXPECT_EQ(fmt, expectedFmt) << r.name << ": bytes 20..35";
        EXPECT_EQ(b.substr(36, 4), "data");
        EXPECT_EQ(le32(b, 40), b.size() - 44) << r.name;
        EXPECT_EQ(b.size() == 44, r.empty) << r.name;
        if (r.empty) {
            EXPECT_EQ(le32(b, 4), 36u);
        }
    }
}

TEST(WavExport, LoopIsIgnoredAndEndlessLoopsPlayOnce) {
    auto in = songInputs("L16", {"[CD]E", "[G]"});
    auto song = buildOrFail(in);
    ASSERT_TRUE(song);
    song->SetLoop(true);  // as if "Loop" were checked
    TempDir dir;
    RecordingHost host;
    ASSERT_EQ(output::writeSongToWav(*song, output::makeWaveFormat(48000), (dir / "x.wav").string(), host),
              ExportOutcome::Written);
    std::string b = readFile(dir / "x.wav");
    std::string once = wholeBufferFile(songInputs("L16", {"CDE", "G"}));
    EXPECT_TRUE(b == once) << "sizes " << b.size() << " vs " << once.size();
}

// An export from the cursor plays every endless loop once, exactly as an
// export from the start does: its data is the start's data from the cursor's
// song time on, in every type. The first row was a one-second song that ran
// into the 4 GB guard.
TEST(WavExport, FromTheCursorEndlessLoopsPlayOnce) {
    struct Row { const char* name; std::vector<std::string> banks; int bank; uint64_t caret; size_t skipFrames; };
    const Row rows[] = {
        {"another bank's loop ended during the seek", {"[C8 D8]", "E4 F4"}, 1, 3, 24000},
        {"another bank's loop passed twice during the seek", {"[C16]", "E4 F4"}, 1, 3, 24000},
        {"cursor inside the loop's body", {"[C8 D8 E8] F4", "G2"}, 0, 4, 12000},
        {"cursor after a loop left by its break", {"[C8:D8] E4", "G2"}, 0, 9, 12000},
    };
    for (int arith : {0, 1, 2}) {
        for (const auto& r : rows) {
            auto in = songInputs("", r.banks, arith);
            const std::string whole = wholeBufferFile(in);
            in.bankIndex = r.bank;
            in.caret = r.caret;
            in.startFromCursor = true;
            TempDir dir;
            RecordingHost host;
            host.savePath = (dir / "x.wav").string();
            ASSERT_EQ(output::OnWavExport(in, host), ExportOutcome::Written) << r.name;
            const std::string got = readFile(dir / "x.wav");
            const size_t skip = 44 + r.skipFrames * output::kBytesPerFrame;
            ASSERT_GT(whole.size(), skip) << r.name;
            const std::vector<int16_t> fromCursor = samplesOf(std::string_view(got).substr(44));
            const std::vector<int16_t> expected = samplesOf(std::string_view(whole).substr(skip));
            EXPECT_TRUE(fromCursor == expected) << r.name << " arith " << arith << ": " << firstDifference(fromCursor, expected);
        }
    }
}

TEST(WavExport, CancelledDialogWritesNothing) {
    TempDir dir;
    RecordingHost host;  // savePath empty: the user cancels
    EXPECT_EQ(output::OnWavExport(songInputs("", {"C"}), host), ExportOutcome::Cancelled);
    EXPECT_EQ(host.calls, std::vector<std::string>{"save"});
}

TEST(WavExport, CompileErrorShowsNoDialog) {
    RecordingHost host;
    host.savePath = "/tmp/never-written.wav";
    EXPECT_EQ(output::OnWavExport(songInputs("", {"CQ"}), host), ExportOutcome::NotBuilt);
    for (const auto& c : host.calls) EXPECT_NE(c, "save");
}

TEST(WavExport, FailuresNeverLeaveAFileOrDamageTheOldOne) {
    struct Row {
        const char* name;
        output::ExportOptions options;
        uint64_t cancelAfterFrames;
        ExportOutcome outcome;
        std::string message;
    };
    output::ExportOptions tooLarge;
    tooLarge.maxDataBytes = 4000;  // 1,000 frames
    const Row rows[] = {
        {"disk full in the header", failingAfter(10), UINT64_MAX, ExportOutcome::WriteFailed, "cannot write {file} (errno 28)"},
        {"disk full mid-song", failingAfter(30000), UINT64_MAX, ExportOutcome::WriteFailed, "cannot write {file} (errno 28)"},
        {"rename fails", failingAfter(UINT64_MAX, true), UINT64_MAX, ExportOutcome::WriteFailed, "cannot write {file} (errno 18)"},
        {"too long for 32-bit sizes", tooLarge, UINT64_MAX, ExportOutcome::TooLarge, std::string(output::kTooLargeMessage)},
        {"cancelled from the progress", {}, 5000, ExportOutcome::Cancelled, ""},
    };
    for (const Row& r : rows) {
        TempDir dir;
        writeFile(dir / "take.wav", "the only copy of yesterday's take");
        RecordingHost host;
        host.savePath = (dir / "take.wav").string();
        host.cancelAfterFrames = r.cancelAfterFrames;
        EXPECT_EQ(output::OnWavExport(songInputs("L4", {"CDEFG"}), host, r.options), r.outcome) << r.name;
        const std::string message = document::fillIn(r.message, "file", *host.savePath);
        EXPECT_EQ(host.messages, message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message})
            << r.name;
        EXPECT_EQ(readFile(dir / "take.wav"), "the only copy of yesterday's take") << r.name;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"take.wav"}) << r.name << ": no temporary left";
    }
}

TEST(WavExport, UnopenablePathsAreReported) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder");
    writeFile(dir / "plain", "x");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    // The real system's reasons, each naming the path the user chose. A pipe
    // or a device is not replaced by a plain file.
    const std::pair<std::string, int> rows[] = {
        {(dir / "missing" / "a.wav").string(), ENOENT},
        {(dir / "folder").string(), EISDIR},
        {(dir / "plain" / "a.wav").string(), ENOTDIR},
        {(dir / "pipe").string(), EISDIR},
    };
    for (const auto& [path, code] : rows) {
        RecordingHost host;
        host.savePath = path;
        EXPECT_EQ(output::OnWavExport(songInputs("", {"C"}), host), ExportOutcome::OpenFailed) << path;
        EXPECT_EQ(host.messages, std::vector<std::string>{RecordingHost::failureNote(true, path, code)});
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"folder", "pipe", "plain"}));
    EXPECT_FALSE(std::filesystem::is_regular_file(dir / "pipe"));
}

TEST(WavExport, ProgressIsReportedInSongTime) {
    TempDir dir;
    RecordingHost host;
    host.savePath = (dir / "x.wav").string();
    ASSERT_EQ(output::OnWavExport(songInputs("", {"CDEF"}), host), ExportOutcome::Written);
    // Four quarter notes at tempo 120: two seconds, reported every 4,096 frames.
    EXPECT_GE(host.progressCalls, 96000 / 4096);
    EXPECT_LE(host.progressCalls, 96000 / 4096 + 2);
}

TEST(WavExport, ExportLeavesARunningSongAlone) {
    // Export builds its own generator: a song being rendered elsewhere keeps its place.
    auto playing = buildOrFail(songInputs("", {"CDEFGAB"}));
    ASSERT_TRUE(playing);
    auto twin = buildOrFail(songInputs("", {"CDEFGAB"}));
    (void)playing->Render(int64_t{5000});
    (void)twin->Render(int64_t{5000});
    TempDir dir;
    RecordingHost host;
    host.savePath = (dir / "x.wav").string();
    ASSERT_EQ(output::OnWavExport(songInputs("", {"CDEFGAB"}), host), ExportOutcome::Written);
    EXPECT_EQ(playing->Render(int64_t{3000}), twin->Render(int64_t{3000}));
    EXPECT_FALSE(playing->IsFinished());
}

}  // namespace
}  // namespace tavolin::testing
