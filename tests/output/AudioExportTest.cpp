// SPDX-License-Identifier: MIT
// Audio export beyond plain WAV: loop counts and fades in every file type,
// FLAC's lossless round trip, and refusals and failures that leave nothing.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

#include "output/AudioFile.h"
#include "tests/output/OutputTestSupport.h"

namespace tavolin::testing {
namespace {

using output::AudioFileType;
using output::ExportOutcome;

constexpr AudioFileType kAllTypes[] = {AudioFileType::Wav, AudioFileType::Flac, AudioFileType::OggVorbis, AudioFileType::Opus};

output::ExportOptions loopsAndFade(int32_t loops, double fade) {
    output::ExportOptions o;
    o.loops = loops;
    o.fadeSeconds = fade;
    return o;
}

// Exports bank A's `mml` to `name` in `dir` and decodes what was written.
std::vector<int16_t> exportAndDecode(const TempDir& dir, const std::string& mml, const std::string& name,
                                     const output::ExportOptions& options) {
    RecordingHost host;
    host.savePath = (dir / name).string();
    EXPECT_EQ(output::OnWavExport(songInputs("", {mml}), host, options), ExportOutcome::Written) << name;
    auto decoded = output::decodeAudioFile(*host.savePath);
    EXPECT_TRUE(decoded) << name;
    if (!decoded) return {};
    EXPECT_EQ(std::make_pair(decoded->channels, decoded->sampleRateHz), std::make_pair(2, 48000u)) << name;
    return decoded->samples;
}

double rms(const std::vector<int16_t>& s, size_t fromFrame, size_t toFrame) {
    double sum = 0;
    for (size_t i = 2 * fromFrame; i < 2 * toFrame && i < s.size(); ++i) sum += static_cast<double>(s[i]) * s[i];
    return std::sqrt(sum / static_cast<double>(2 * (toFrame - fromFrame)));
}

TEST(AudioExport, LoopsAndFadesGiveTheirLengthsInEveryType) {
    struct Row {
        const char* mml;
        int32_t loops;
        double fade;
        size_t frames;
    };
    const Row rows[] = {
        {"V255C[D]E", 1, 0, 72000},
        {"V255C[D]E", 2, 0, 96000},
        {"V255C[D]E", 2, 1.0, 72000 + 48000},          // through the second pass, then a second of fade
        {"V255C[D:E]", 3, 0.5, 24000 + 6 * 24000 + 24000},  // passes are whole: the break is not taken
        {"V255CDE", 1, 1.0, 72000},                     // no endless loop: the last second fades
    };
    for (const AudioFileType type : kAllTypes) {
        for (const Row& r : rows) {
            TempDir dir;
            const std::string name = std::string("song.") + output::audioFileExtension(type);
            const auto samples = exportAndDecode(dir, r.mml, name, loopsAndFade(r.loops, r.fade));
            EXPECT_EQ(samples.size() / 2, r.frames) << name << " " << r.mml << " x" << r.loops << " fade " << r.fade;
            EXPECT_EQ(dir.entries(), std::vector<std::string>{name}) << "no temporary left";
        }
    }
}

// Lossless types hold exactly the render: up to the fade what the loop count
// alone gives, then the song looping on with the gain falling from 1 to 0.
TEST(AudioExport, FadeGainsAreExactInLosslessTypes) {
    struct Row {
        const char* mml;
        int32_t loops;
        uint64_t fadeStart;
        uint64_t frames;
    };
    const Row rows[] = {{"V255C[D]E", 2, 72000, 120000}, {"V255CDE", 1, 24000, 72000}};
    for (const AudioFileType type : {AudioFileType::Wav, AudioFileType::Flac}) {
        for (const Row& r : rows) {
            TempDir dir;
            const std::string ext = output::audioFileExtension(type);
            const auto faded = exportAndDecode(dir, r.mml, "faded." + ext, loopsAndFade(r.loops, 1.0));
            const auto plain = exportAndDecode(dir, r.mml, "plain." + ext, loopsAndFade(r.loops, 0));
            ASSERT_EQ(faded.size(), 2 * r.frames) << ext << " " << r.mml;
            // The unfaded reference: the song as it goes on looping.
            auto song = buildOrFail(songInputs("", {r.mml}));
            song->SetExportMode(r.fadeStart == 72000 ? output::kFadeLoopPasses : r.loops);
            const std::vector<int16_t> looping = song->Render(static_cast<int64_t>(r.frames));
            size_t wrong = 0;
            for (size_t i = 0; i < faded.size(); ++i) {
                const uint64_t frame = i / 2;
                if (frame < r.fadeStart && faded[i] != plain[i]) ++wrong;
                if (frame >= r.fadeStart) {
                    const double gain = static_cast<double>(r.frames - frame) / static_cast<double>(r.frames - r.fadeStart);
                    if (std::abs(faded[i] - looping[i] * gain) >= 1.0) ++wrong;
                }
            }
            EXPECT_EQ(wrong, 0u) << ext << " " << r.mml;
            EXPECT_GT(rms(faded, r.fadeStart, r.fadeStart + 4800), 5000) << "the fade starts at full level";
        }
    }
}

// Lossy types: the level still falls through the fade to near silence.
TEST(AudioExport, LossyTypesFadeOut) {
    for (const AudioFileType type : {AudioFileType::OggVorbis, AudioFileType::Opus}) {
        TempDir dir;
        const std::string name = std::string("song.") + output::audioFileExtension(type);
        const auto s = exportAndDecode(dir, "V255C[D]E", name, loopsAndFade(2, 1.0));
        ASSERT_EQ(s.size(), 2u * 120000) << name;
        const double start = rms(s, 72000, 76800);
        const double middle = rms(s, 93600, 98400);
        const double end = rms(s, 115200, 120000);
        EXPECT_GT(start, 5000) << name;
        EXPECT_LT(middle, start * 0.6) << name;
        EXPECT_LT(end, start * 0.1) << name;
    }
}

TEST(AudioExport, FlacDecodesToTheWavSamples) {
    const auto tabs = readDocument(TAVOLIN_SOURCE_DIR "/examples/tones.mml");
    for (int arith : {0, 1}) {
        output::BuildInputs in;
        for (size_t i = 0; i < 6; ++i) in.tabTexts[i] = tabs[i];
        in.arith = static_cast<Arith>(arith);
        TempDir dir;
        std::vector<std::vector<int16_t>> decoded;
        for (const char* name : {"song.wav", "song.flac"}) {
            RecordingHost host;
            host.savePath = (dir / name).string();
            ASSERT_EQ(output::OnWavExport(in, host), ExportOutcome::Written) << name;
            decoded.push_back(output::decodeAudioFile(*host.savePath).value_or(output::DecodedAudio{}).samples);
        }
        ASSERT_GT(decoded[0].size(), 48000u);
        EXPECT_EQ(decoded[1], decoded[0]) << firstDifference(decoded[1], decoded[0]);
        // And the WAV is still the byte-exact render.
        auto song = buildOrFail(in);
        EXPECT_EQ(decoded[0], renderToEnd(*song));
    }
}

// Refusals happen before any file is created; failures and cancels leave
// neither a file nor a temporary, and never touch the file already there.
TEST(AudioExport, RefusalsFailuresAndCancelsLeaveNothing) {
    struct Row {
        const char* name;
        const char* file;
        uint32_t rate;
        uint64_t maxDataBytes;
        uint64_t cancelAfterFrames;
        bool failCommit;
        ExportOutcome outcome;
        std::string message;
        int opens;
    };
    const std::string tooLong(output::kTooLargeForTypeMessage);
    const Row rows[] = {
        {"flac too long", "take.flac", 48000, 4000, UINT64_MAX, false, ExportOutcome::TooLarge, tooLong, 0},
        {"ogg too long", "take.ogg", 48000, 4000, UINT64_MAX, false, ExportOutcome::TooLarge, tooLong, 0},
        {"wav too long", "take.wav", 48000, 4000, UINT64_MAX, false, ExportOutcome::TooLarge, std::string(output::kTooLargeMessage), 0},
        {"opus at 44.1 kHz", "take.opus", 44100, 0, UINT64_MAX, false, ExportOutcome::BadRate, std::string(output::kOpusRateMessage), 0},
        {"flac cancelled", "take.flac", 48000, 0, 5000, false, ExportOutcome::Cancelled, "", 1},
        {"opus cancelled", "take.opus", 48000, 0, 5000, false, ExportOutcome::Cancelled, "", 1},
        {"ogg rename fails", "take.ogg", 48000, 0, UINT64_MAX, true, ExportOutcome::WriteFailed, "cannot write {file} (errno 0)", 1},
        {"flac rename fails", "take.flac", 48000, 0, UINT64_MAX, true, ExportOutcome::WriteFailed, "cannot write {file} (errno 0)", 1},
    };
    for (const Row& r : rows) {
        TempDir dir;
        writeFile(dir / r.file, "the only copy");
        RecordingHost host;
        host.savePath = (dir / r.file).string();
        host.cancelAfterFrames = r.cancelAfterFrames;
        int opens = 0;
        output::ExportOptions o = loopsAndFade(2, 1.0);
        o.maxDataBytes = r.maxDataBytes;
        o.openFile = [&opens, fail = r.failCommit](const std::string& path) -> std::unique_ptr<output::OutputFile> {
            ++opens;
            struct CommitFails : output::OutputFile {
                std::unique_ptr<output::OutputFile> f;
                bool write(std::span<const uint8_t> b) override { return f->write(b); }
                bool writeAtStart(std::span<const uint8_t> b) override { return f->writeAtStart(b); }
                bool commit() override { return false; }
                int descriptor() const noexcept override { return f->descriptor(); }
            };
            auto inner = output::openAtomicFile(path);
            if (!fail || !inner) return inner;
            auto c = std::make_unique<CommitFails>();
            c->f = std::move(inner);
            return c;
        };
        EXPECT_EQ(output::OnWavExport(songInputs("", {"V255C[D]E"}, 1, r.rate), host, o), r.outcome) << r.name;
        const std::string message = document::fillIn(r.message, "file", *host.savePath);
        EXPECT_EQ(host.messages, message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message}) << r.name;
        EXPECT_EQ(opens, r.opens) << r.name;
        EXPECT_EQ(readFile(dir / r.file), "the only copy") << r.name;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{r.file}) << r.name << ": no temporary left";
    }
}

TEST(AudioExport, TypeByExtension) {
    const std::pair<const char*, AudioFileType> rows[] = {
        {"a.flac", AudioFileType::Flac}, {"A.FLAC", AudioFileType::Flac}, {"a.ogg", AudioFileType::OggVorbis},
        {"a.oga", AudioFileType::OggVorbis}, {"a.opus", AudioFileType::Opus}, {"a.wav", AudioFileType::Wav},
        {"a.out", AudioFileType::Wav}, {"dir.flac/song", AudioFileType::Wav}, {"song", AudioFileType::Wav}};
    for (const auto& [path, type] : rows) EXPECT_EQ(output::audioFileTypeOf(path), type) << path;
}

// Stems with a fade add up (saturated) to the faded mix exactly, however each
// stem's own rounding falls; where the mix does not saturate, every stem stays
// within a step per stem written of that bank faded alone.
TEST(AudioExport, FadedStemsAddUpToTheFadedMix) {
    const std::string loud = "SMML@;MML@V255[C1]4,V255[C1]4,V255[E1]4,,;";
    const struct Row {
        std::string song;  // a file under examples/, or the document itself
        int arith;
        uint32_t rate;
        int32_t loops;
        double fade;
        BankMask audible;
        bool saturates;
    } rows[] = {
        {"canon.mml", 0, 48000, 2, 3, static_cast<BankMask>(kAllBanks & ~bankBit(2)), false},
        {"canon.mml", 1, 48000, 2, 3, kAllBanks, false},
        {"canon.mml", 2, 22050, 1, 0, kAllBanks, false},
        {"demo.mml", 2, 22050, 1, 1.5, kAllBanks, false},
        {"drums.mml", 0, 22050, 3, 2, static_cast<BankMask>(bankBit(0) | bankBit(1)), false},
        {loud, 0, 22050, 1, 2.5, kAllBanks, true},
        {loud, 1, 22050, 1, 2.5, static_cast<BankMask>(bankBit(0) | bankBit(2)), true},
    };
    for (const Row& r : rows) {
        const std::string name = (r.song.size() < 16 ? r.song : "loud") + " arith " + std::to_string(r.arith) + " fade " +
                                 std::to_string(r.fade) + " mask " + std::to_string(r.audible);
        SCOPED_TRACE(name);
        const document::TabTexts tabs = r.song.size() < 16 ? readDocument(std::string(TAVOLIN_SOURCE_DIR "/examples/") + r.song)
                                                         : document::readDocumentBytes(r.song);
        output::BuildInputs in = songInputs("", {}, r.arith, r.rate);
        for (size_t i = 0; i < 6; ++i) in.tabTexts[i] = tabs[i];
        in.forExport = true;
        TempDir dir;
        RecordingHost host;
        const output::ExportOptions options = loopsAndFade(r.loops, r.fade);
        // audible: the banks heard; returns the samples written to `file`.
        auto exportMix = [&](BankMask audible, const std::string& file) {
            output::WaveFormat format;
            auto song = buildOrFail(in, false, &format);
            song->setAudible(audible);
            EXPECT_EQ(output::writeSongToWav(*song, format, (dir / file).string(), host, options), ExportOutcome::Written);
            return samplesOf(readFile(dir / file).substr(44));
        };
        const std::vector<int16_t> mix = exportMix(r.audible, "mix.wav");
        output::WaveFormat format;
        auto song = buildOrFail(in, false, &format);
        song->setAudible(r.audible);
        std::array<std::string, kBankCount> paths;
        for (size_t b = 0; b < paths.size(); ++b) paths[b] = (dir / ("stem" + std::to_string(b) + ".wav")).string();
        std::vector<int> written;
        ASSERT_EQ(output::writeStems(*song, format, paths, host, options, &written), ExportOutcome::Written);
        ASSERT_GE(written.size(), 2u);
        std::vector<int32_t> sum(mix.size(), 0);
        for (int b : written) {
            const std::vector<int16_t> stem = samplesOf(readFile(paths[static_cast<size_t>(b)]).substr(44));
            ASSERT_EQ(stem.size(), mix.size()) << "bank " << b;
            for (size_t k = 0; k < sum.size(); ++k) sum[k] += stem[k];
            if (r.saturates) continue;
            const std::vector<int16_t> alone = exportMix(bankBit(b), "alone.wav");
            int32_t worst = 0;
            for (size_t k = 0; k < stem.size(); ++k) worst = std::max(worst, std::abs(int32_t{stem[k]} - alone[k]));
            EXPECT_LE(worst, static_cast<int32_t>(written.size())) << "bank " << b << " strays from its own fade";
        }
        std::vector<int16_t> saturated(sum.size());
        for (size_t k = 0; k < sum.size(); ++k) saturated[k] = static_cast<int16_t>(std::clamp(sum[k], -32768, 32767));
        EXPECT_EQ(firstDifference(saturated, mix), "equal");
    }
}

}  // namespace
}  // namespace tavolin::testing
