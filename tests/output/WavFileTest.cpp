// SPDX-License-Identifier: MIT
// WAV header bytes, the temporary-file writer, and the SHA-256 used by the golden test.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "output/WavFile.h"
#include "tests/output/OutputTestSupport.h"
#include "tests/output/Sha256.h"

namespace tavolin::testing {
namespace {

std::string hexBytes(const uint8_t* p, size_t n) {
    static const char* hex = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        if (i) s += ' ';
        s += hex[p[i] >> 4];
        s += hex[p[i] & 15];
    }
    return s;
}

TEST(WavHeader, LayoutForEveryRateAndSize) {
    struct Row {
        const char* name;
        uint32_t rate;
        uint32_t dataBytes;
        const char* expected;  // all 44 bytes
    };
    const Row rows[] = {
        {"empty song at 48 kHz", 48000, 0,
         "52 49 46 46 24 00 00 00 57 41 56 45 66 6d 74 20 10 00 00 00 01 00 02 00 80 bb 00 00 00 ee 02 00 "
         "04 00 10 00 64 61 74 61 00 00 00 00"},
        {"one frame at 8 kHz", 8000, 4,
         "52 49 46 46 28 00 00 00 57 41 56 45 66 6d 74 20 10 00 00 00 01 00 02 00 40 1f 00 00 00 7d 00 00 "
         "04 00 10 00 64 61 74 61 04 00 00 00"},
        {"largest data at 192 kHz", 192000, 0xFFFFFFDBu - 3,
         "52 49 46 46 fc ff ff ff 57 41 56 45 66 6d 74 20 10 00 00 00 01 00 02 00 00 ee 02 00 00 b8 0b 00 "
         "04 00 10 00 64 61 74 61 d8 ff ff ff"},
    };
    for (const Row& r : rows) {
        auto h = output::wavHeader(output::makeWaveFormat(r.rate), r.dataBytes);
        EXPECT_EQ(hexBytes(h.data(), h.size()), r.expected) << r.name;
    }
    EXPECT_EQ(output::kMaxWavDataBytes + 36, 0xFFFFFFFFull - 3) << "the limit keeps RIFF size in 32 bits";
}

TEST(WavHeader, WaveFormatRecordFields) {
    auto f = output::makeWaveFormat(44100);
    EXPECT_EQ(f, (output::WaveFormat{1, 2, 44100, 176400, 4, 16, 0}));
}

TEST(WavHeader, SamplesAreLittleEndian) {
    std::string out = "x";
    const int16_t s[] = {0, 1, -1, 32767, -32768, 0x1234};
    output::appendSamplesLe(s, out);
    EXPECT_EQ(hexBytes(reinterpret_cast<const uint8_t*>(out.data()), out.size()),
              "78 00 00 01 00 ff ff ff 7f 00 80 34 12");
}

TEST(AtomicFile, CommitPutsTheFileInPlaceAndLeavesNoTemporary) {
    TempDir dir;
    auto target = dir / "song.wav";
    writeFile(target, "old contents");
    {
        auto file = output::openAtomicFile(target.string());
        ASSERT_TRUE(file);
        const uint8_t a[] = {'h', 'e', 'l', 'l', 'o'};
        ASSERT_TRUE(file->write(a));
        EXPECT_EQ(readFile(target), "old contents") << "nothing appears before commit";
        const uint8_t j[] = {'j'};
        ASSERT_TRUE(file->writeAtStart(j));
        ASSERT_TRUE(file->commit());
    }
    EXPECT_EQ(readFile(target), "jello");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"song.wav"});
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0444, 0u) << "the file is readable like any other new file";
}

TEST(AtomicFile, AbandonedFileLeavesTheOldOneIntact) {
    TempDir dir;
    auto target = dir / "song.wav";
    writeFile(target, "precious take");
    {
        auto file = output::openAtomicFile(target.string());
        ASSERT_TRUE(file);
        const uint8_t a[] = {1, 2, 3};
        ASSERT_TRUE(file->write(a));
    }  // destroyed without commit, as after a failure or a cancel
    EXPECT_EQ(readFile(target), "precious take");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"song.wav"});
}

TEST(AtomicFile, RefusesPathsThatCannotTakeAFile) {
    TempDir dir;
    writeFile(dir / "plain", "x");
    std::filesystem::create_directory(dir / "folder");
    struct Row {
        const char* name;
        std::string path;
    };
    const Row rows[] = {
        {"missing folder", (dir / "no-such-folder" / "a.wav").string()},
        {"parent is a file", (dir / "plain" / "a.wav").string()},
        {"path is a folder", (dir / "folder").string()},
        {"empty path", ""},
        {"trailing slash", (dir.path().string() + "/")},
    };
    for (const Row& r : rows) EXPECT_EQ(output::openAtomicFile(r.path), nullptr) << r.name;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"folder", "plain"}));
}

TEST(AtomicFile, UnwritableFolderIsRefused) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    TempDir dir;
    std::filesystem::create_directory(dir / "ro");
    ::chmod((dir / "ro").c_str(), 0555);
    EXPECT_EQ(output::openAtomicFile((dir / "ro" / "a.wav").string()), nullptr);
    ::chmod((dir / "ro").c_str(), 0755);
}

TEST(Sha256, KnownDigests) {
    struct Row {
        const char* name;
        std::string input;
        const char* expected;
    };
    const Row rows[] = {
        {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"million a", std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Row& r : rows) EXPECT_EQ(Sha256::of(r.input), r.expected) << r.name;
    Sha256 pieces;
    pieces.update("ab");
    pieces.update("c");
    EXPECT_EQ(pieces.hexDigest(), rows[1].expected) << "fed in pieces";
}

}  // namespace
}  // namespace tavolin::testing
