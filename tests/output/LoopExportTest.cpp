// SPDX-License-Identifier: MIT
// Loop points for games: the song's loop from its banks, the marks read back
// from every file type with parsers of this test's own, the loop region that
// repeats as the song plays on, and refusals that leave nothing.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>

#include <gtest/gtest.h>

#include "output/AudioFile.h"
#include "output/SongLoop.h"
#include "tests/output/OutputTestSupport.h"

namespace tavolin::testing {
namespace {

using output::AudioFileType;
using output::ExportOutcome;
using output::LoopRefusal;

uint32_t le32(std::string_view s, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= uint32_t{static_cast<uint8_t>(s[at + i])} << (8 * i);
    return v;
}

// What a game engine reads of a file: its loop and its PCM frames.
struct ReadLoop {
    uint64_t start = 0;
    uint64_t length = 0;
    bool found = false;
};

// RIFF chunks by id; the smpl chunk's first loop (its end is inclusive).
ReadLoop wavLoop(std::string_view file, uint64_t* dataFrames) {
    ReadLoop loop;
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(file, 4), file.size() - 8) << "RIFF size covers every chunk";
    for (size_t at = 12; at + 8 <= file.size();) {
        const std::string_view id = file.substr(at, 4);
        const uint32_t size = le32(file, at + 4);
        if (id == "data") *dataFrames = size / 4;
        if (id == "smpl" && size >= 60) {
            EXPECT_EQ(le32(file, at + 8 + 28), 1u) << "one sample loop";
            EXPECT_EQ(le32(file, at + 8 + 36 + 4), 0u) << "forward loop";
            loop.start = le32(file, at + 8 + 36 + 8);
            loop.length = le32(file, at + 8 + 36 + 12) - loop.start + 1;
            loop.found = true;
        }
        at += 8 + size + (size & 1);
    }
    return loop;
}

// A Vorbis comment list (vendor, count, "NAME=value" strings) as a map.
std::map<std::string, std::string> commentList(std::string_view s) {
    std::map<std::string, std::string> out;
    size_t at = 4 + le32(s, 0);
    const uint32_t count = le32(s, at);
    at += 4;
    for (uint32_t i = 0; i < count && at + 4 <= s.size(); ++i) {
        const uint32_t n = le32(s, at);
        const std::string c(s.substr(at + 4, n));
        const size_t eq = c.find('=');
        if (eq != std::string::npos) out[c.substr(0, eq)] = c.substr(eq + 1);
        at += 4 + n;
    }
    return out;
}

// FLAC: the VORBIS_COMMENT metadata block.
std::map<std::string, std::string> flacComments(std::string_view file) {
    EXPECT_EQ(file.substr(0, 4), "fLaC");
    for (size_t at = 4; at + 4 <= file.size();) {
        const auto head = static_cast<uint8_t>(file[at]);
        const size_t n = (size_t{static_cast<uint8_t>(file[at + 1])} << 16) | (size_t{static_cast<uint8_t>(file[at + 2])} << 8) |
                         static_cast<uint8_t>(file[at + 3]);
        if ((head & 0x7F) == 4) return commentList(file.substr(at + 4, n));
        if (head & 0x80) break;
        at += 4 + n;
    }
    return {};
}

// Ogg: pages joined into packets by their lacing values; the second packet
// is the comment header ("\x03vorbis" or "OpusTags" before the list).
std::map<std::string, std::string> oggComments(std::string_view file) {
    std::vector<std::string> packets(1);
    for (size_t at = 0; at + 27 <= file.size() && packets.size() < 3;) {
        EXPECT_EQ(file.substr(at, 4), "OggS");
        const size_t segments = static_cast<uint8_t>(file[at + 26]);
        size_t body = at + 27 + segments;
        for (size_t i = 0; i < segments; ++i) {
            const size_t lace = static_cast<uint8_t>(file[at + 27 + i]);
            packets.back().append(file.substr(body, lace));
            body += lace;
            if (lace < 255) packets.emplace_back();
        }
        at = body;
    }
    if (packets.size() < 2) return {};
    const std::string& tags = packets[1];
    const size_t magic = tags.rfind("OpusTags", 0) == 0 ? 8 : 7;
    return commentList(std::string_view(tags).substr(magic));
}

ReadLoop commentLoop(const std::map<std::string, std::string>& c) {
    ReadLoop loop;
    if (!c.count("LOOPSTART") || !c.count("LOOPLENGTH")) return loop;
    loop.start = std::stoull(c.at("LOOPSTART"));
    loop.length = std::stoull(c.at("LOOPLENGTH"));
    loop.found = true;
    return loop;
}

ReadLoop readLoop(AudioFileType type, const std::string& bytes, uint64_t* wavFrames) {
    switch (type) {
    case AudioFileType::Wav: return wavLoop(bytes, wavFrames);
    case AudioFileType::Flac: return commentLoop(flacComments(bytes));
    default: return commentLoop(oggComments(bytes));
    }
}

double rms(const std::vector<int16_t>& s, size_t fromFrame, size_t toFrame) {
    double sum = 0;
    for (size_t i = 2 * fromFrame; i < 2 * toFrame && i < s.size(); ++i) sum += static_cast<double>(s[i]) * s[i];
    return std::sqrt(sum / static_cast<double>(2 * (toFrame - fromFrame)));
}

output::LoopAnalysis analyse(const std::vector<std::string>& banks, uint32_t rate = 48000) {
    auto song = buildOrFail(songInputs("", banks, 1, rate));
    return song ? output::songLoopOf(*song) : output::LoopAnalysis{};
}

// A quarter note at the default tempo 120 lasts 24000 frames at 48 kHz.
TEST(SongLoop, LatestEntryAndCommonPassOfTheBanks) {
    struct Row {
        const char* name;
        std::vector<std::string> banks;
        LoopRefusal refusal;
        uint64_t start;
        uint64_t length;
    };
    const Row rows[] = {
        {"intro then loop", {"C[DE]"}, LoopRefusal::None, 24000, 48000},
        {"loop from the start", {"[CDE]"}, LoopRefusal::None, 0, 72000},
        {"latest entry, lcm of passes", {"C[D]", "CDE[FG]", "[EFG]"}, LoopRefusal::None, 72000, 144000},
        {"a bank without loop plays out first", {"[C]", "CDEFG"}, LoopRefusal::None, 120000, 24000},
        {"a loop counted, then endless", {"[C]2[DE]"}, LoopRefusal::None, 48000, 48000},
        // The first pass is D at T100 and E at T150, every later one at T150.
        {"tempo set inside the loop", {"T100 C [D T150 E]"}, LoopRefusal::None, 28800 + 48000, 38400},
        // T97: a quarter is 29690.72 frames; the ledger gives 29690 or 29691.
        {"fractional pass rounded", {"T97[C]"}, LoopRefusal::None, 0, 29691},
        // T132: a bar is 87272.7 frames, half a bar 43636.4: one bar, not the
        // multiple of two rounded lengths.
        {"fractional passes that divide", {"T132 L8 CEGE [EG>CE< DFA>D<]", "T132 L4 CG [CGFG]", "T132 R1 [L8 CCRC]"},
         LoopRefusal::None, 87272, 87273},
        // 97 quarters at T97 and 120 at T120 both last a minute.
        {"tempos 97 and 120 meet after a minute", {"[C]", "T97[C]"}, LoopRefusal::None, 0, 2880000},
        {"no endless loop", {"CDE"}, LoopRefusal::NoEndlessLoop, 0, 0},
        {"counted loops only", {"[CD]3"}, LoopRefusal::NoEndlessLoop, 0, 0},
        {"break ends the loop", {"C[D:E]F"}, LoopRefusal::EndedByBreak, 0, 0},
        {"break in one bank of two", {"[C]", "[D:E]"}, LoopRefusal::EndedByBreak, 0, 0},
        // 7 quarters at T97 and 11 at T89 meet only after 4620 seconds.
        {"common length past ten minutes", {"T97[C1C2.]", "T89[C1C1C2.]"}, LoopRefusal::TooLong, 0, 0},
        {"one pass past ten minutes", {"T2[C1C1C1C1C1C1]"}, LoopRefusal::TooLong, 0, 0},
    };
    for (const Row& r : rows) {
        const output::LoopAnalysis a = analyse(r.banks);
        EXPECT_EQ(a.refusal, r.refusal) << r.name;
        EXPECT_EQ(a.loop.has_value(), r.refusal == LoopRefusal::None) << r.name;
        if (a.loop) {
            EXPECT_EQ(*a.loop, (output::SongLoop{r.start, r.length})) << r.name;
        }
    }
}

// Every type holds the intro and one loop region, marked where a game reads
// it; Opus counts at 48 kHz whatever the rate. --split-loop writes the same
// frames as two files.
TEST(LoopExport, EveryTypeMarksTheLoopItHolds) {
    struct Row {
        AudioFileType type;
        uint32_t rate;
        uint64_t markScale;  // file counts per frame
    };
    const Row rows[] = {
        {AudioFileType::Wav, 48000, 1},       {AudioFileType::Wav, 22050, 1},       {AudioFileType::Flac, 44100, 1},
        {AudioFileType::OggVorbis, 48000, 1}, {AudioFileType::Opus, 48000, 1},      {AudioFileType::Opus, 24000, 2},
    };
    for (const Row& r : rows) {
        const std::vector<std::string> banks = {"V200C[DE]", "V100[@1EFG]"};
        const auto expected = analyse(banks, r.rate).loop;
        ASSERT_TRUE(expected);
        const std::string ext = output::audioFileExtension(r.type);
        const std::string label = ext + " " + std::to_string(r.rate);
        for (const bool split : {false, true}) {
            TempDir dir;
            const std::string path = (dir / ("song." + ext)).string();
            output::WaveFormat format;
            auto song = buildOrFail(songInputs("", banks, 1, r.rate), false, &format);
            RecordingHost host;
            ASSERT_EQ(output::writeSongWithLoop(*song, format, path, host, split), ExportOutcome::Written) << label;
            if (split) {
                EXPECT_EQ(dir.entries(), (std::vector<std::string>{"song_intro." + ext, "song_loop." + ext})) << label;
                const auto intro = output::decodeAudioFile((dir / ("song_intro." + ext)).string());
                const auto loop = output::decodeAudioFile((dir / ("song_loop." + ext)).string());
                ASSERT_TRUE(intro && loop) << label;
                EXPECT_EQ(intro->samples.size() / 2, expected->start) << label;
                EXPECT_EQ(loop->samples.size() / 2, expected->length) << label;
                continue;
            }
            EXPECT_EQ(dir.entries(), std::vector<std::string>{"song." + ext}) << label << ": no temporary left";
            uint64_t wavFrames = 0;
            const ReadLoop read = readLoop(r.type, readFile(path), &wavFrames);
            EXPECT_TRUE(read.found) << label;
            EXPECT_EQ(read.start, expected->start * r.markScale) << label;
            EXPECT_EQ(read.length, expected->length * r.markScale) << label;
            const auto decoded = output::decodeAudioFile(path);
            ASSERT_TRUE(decoded) << label << ": the tagged file still decodes";
            EXPECT_EQ(decoded->samples.size() / 2, expected->start + expected->length) << label;
            if (r.type == AudioFileType::Wav) {
                EXPECT_EQ(wavFrames, expected->start + expected->length) << label;
            }
        }
    }
}

std::vector<int16_t> exportWav(const std::vector<std::string>& banks, const TempDir& dir, const std::string& name,
                               const output::ExportOptions& options, bool loopPoints) {
    output::WaveFormat format;
    auto song = buildOrFail(songInputs("", banks), false, &format);
    RecordingHost host;
    const std::string path = (dir / name).string();
    const ExportOutcome outcome = loopPoints ? output::writeSongWithLoop(*song, format, path, host, false, options)
                                             : output::writeSongToFile(*song, format, path, host, options);
    EXPECT_EQ(outcome, ExportOutcome::Written) << name;
    const auto decoded = output::decodeAudioFile(path);
    return decoded ? decoded->samples : std::vector<int16_t>{};
}

// A game plays the intro and then the loop region for ever. Without noise
// that is, sample for sample, the song with its loops played k + 1 times,
// over the frames both hold while every bank of that render is still in its
// loop. The rows end their intros on a rest or a note
// that ends with the intro, and include tails of the loop's end that ring
// into its start (the release of a note cut by the loop's end).
TEST(LoopExport, IntroAndLoopRegionRepeatedAreTheSongPlayingOn) {
    const std::vector<std::vector<std::string>> songs = {
        {"V255C[DE]"},
        {"@ED1:5:50:200:255:120 @E1 V200 R4 [C8D8E4]", "[@2 G4 R8 A8]"},
        {"@ED1:2:20:400:255:200 @E1 V255 C R R R [L16 CDEFGAB>C<]", "L4 R R [@3 E G]2 [@1 F A]"},
        {"T150 V180 C4.[D8 E8 F8 G8 A8 B8]", "T150 V120 @5 [C2 G2 E2]"},
    };
    for (size_t s = 0; s < songs.size(); ++s) {
        const auto loop = analyse(songs[s]).loop;
        ASSERT_TRUE(loop) << s;
        TempDir dir;
        const std::vector<int16_t> file = exportWav(songs[s], dir, "loop.wav", {}, true);
        ASSERT_EQ(file.size() / 2, loop->start + loop->length) << s;
        const std::vector<int16_t> intro(file.begin(), file.begin() + static_cast<ptrdiff_t>(2 * loop->start));
        const std::vector<int16_t> region(file.begin() + static_cast<ptrdiff_t>(2 * loop->start), file.end());
        for (int32_t k = 1; k <= 3; ++k) {
            output::ExportOptions o;
            o.loops = k + 1;
            std::vector<int16_t> song = exportWav(songs[s], dir, "song.wav", o, false);
            std::vector<int16_t> played = intro;
            for (int32_t i = 0; i < k; ++i) played.insert(played.end(), region.begin(), region.end());
            // Where the first bank of the render has played its k + 1 passes
            // and goes on past its loop (a bank whose pass is half the loop's
            // leaves it halfway through the k-th repeat).
            auto built = buildOrFail(songInputs("", songs[s]));
            uint64_t inLoop = UINT64_MAX;
            for (const BankTimeline& bank : output::lengthOf(*built, k + 1, k + 1).banks)
                if (bank.endlessPassEnd) inLoop = std::min(inLoop, *bank.endlessPassEnd);
            const size_t n = static_cast<size_t>(std::min<uint64_t>({played.size(), song.size(), 2 * inLoop}));
            ASSERT_GT(n, 2 * (loop->start + loop->length / 2)) << s << " x" << k << ": compares some of the loop";
            played.resize(n);
            song.resize(n);
            EXPECT_EQ(firstDifference(played, song), "equal") << "song " << s << ", loop played " << k << " times";
        }
    }
}

// With noise no two passes are alike: the wrap from the region's end to its
// start steps no further than the song steps at any of its own pass
// boundaries (or inside its passes), and the region's start carries the
// loop's own tail, not the intro's silence.
TEST(LoopExport, NoiseWrapsAsSmoothlyAsAPassBoundary) {
    const std::vector<std::vector<std::string>> songs = {
        {"@ED1:1:30:300:255:180 @E1 @4 V255 R2 [C4 C8 C8]"},
        {"@4 V200 C [C2]", "@ED1:1:10:500:255:255 @E1 @9 V160 [E4 G4]"},
    };
    for (size_t s = 0; s < songs.size(); ++s) {
        const auto loop = analyse(songs[s]).loop;
        ASSERT_TRUE(loop) << s;
        TempDir dir;
        const std::vector<int16_t> file = exportWav(songs[s], dir, "loop.wav", {}, true);
        output::ExportOptions o;
        o.loops = 6;
        const std::vector<int16_t> song = exportWav(songs[s], dir, "song.wav", o, false);
        ASSERT_EQ(file.size() / 2, loop->start + loop->length) << s;
        const auto step = [](const std::vector<int16_t>& x, size_t a, size_t b) {
            return std::max(std::abs(x[2 * a] - x[2 * b]), std::abs(x[2 * a + 1] - x[2 * b + 1]));
        };
        int largest = 0;  // the song's own steps, from its loop's start on
        for (size_t f = loop->start; f + 1 < song.size() / 2 && f < loop->start + 5 * loop->length; ++f)
            largest = std::max(largest, step(song, f, f + 1));
        const size_t first = loop->start;
        const size_t last = loop->start + loop->length - 1;
        EXPECT_LE(step(file, last, first), largest) << "song " << s;
        // The tail: the region starts as loud as the song's later pass starts do.
        const double tail = rms(file, first, first + 64);
        const double later = rms(song, first + loop->length, first + loop->length + 64);
        EXPECT_NEAR(tail, later, later * 0.5 + 1) << "song " << s;
    }
}

// A loop too long, no loop, a break, an output that cannot be written: a
// message naming the reason, and not a file left, not even half the split.
TEST(LoopExport, RefusalsLeaveNothing) {
    struct Row {
        const char* name;
        std::vector<std::string> banks;
        bool split;
        bool unwritableLoopFile;
        ExportOutcome outcome;
        std::string_view message;
    };
    const Row rows[] = {
        {"no loop", {"CDE"}, false, false, ExportOutcome::NoLoop, output::kNoLoopMessage},
        {"no loop, split", {"CDE"}, true, false, ExportOutcome::NoLoop, output::kNoLoopMessage},
        {"break", {"[C:D]"}, false, false, ExportOutcome::NoLoop, output::kLoopBreakMessage},
        {"too long", {"T97[C1C2.]", "T89[C1C1C2.]"}, true, false, ExportOutcome::NoLoop, output::kLoopTooLongMessage},
        {"loop file cannot be created", {"C[D]"}, true, true, ExportOutcome::OpenFailed, ""},
    };
    for (const Row& r : rows) {
        TempDir dir;
        output::WaveFormat format;
        auto song = buildOrFail(songInputs("", r.banks), false, &format);
        RecordingHost host;
        output::ExportOptions o;
        if (r.unwritableLoopFile) {
            // The intro's file opens, the loop's does not.
            o.openFile = [](const std::string& path) -> std::unique_ptr<output::OutputFile> {
                if (path.find("_loop") != std::string::npos) {
                    errno = EACCES;
                    return nullptr;
                }
                return output::openAtomicFile(path);
            };
        }
        EXPECT_EQ(output::writeSongWithLoop(*song, format, (dir / "song.wav").string(), host, r.split, o), r.outcome) << r.name;
        ASSERT_EQ(host.messages.size(), 1u) << r.name;
        if (!r.message.empty()) EXPECT_EQ(host.messages[0], r.message) << r.name;
        else EXPECT_NE(host.messages[0].find("song_loop.wav"), std::string::npos) << r.name << ": " << host.messages[0];
        EXPECT_TRUE(dir.entries().empty()) << r.name;
    }
}

}  // namespace
}  // namespace tavolin::testing
