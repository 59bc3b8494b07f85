// SPDX-License-Identifier: MIT
// The audio exporter: the plan from the timeline, the refusals, then render, fade and write.
#include "output/WavExport.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "output/LoopTags.h"
#include "synth/Timeline.h"

namespace tavolin::output {
namespace {

// The song's timeline in its own arithmetic, from the lists its players hold.
template <EngineNumType T>
SongTimeline timelineOf(const BankSet<T>& set, const TimelineOptions& o) {
    std::array<EventList<T>, kBankCount> lists;
    for (int b = 0; b < kBankCount; ++b) lists[static_cast<size_t>(b)] = set.player(b).events();
    return buildTimeline<T>(lists, nullptr, 0, o);
}

SongTimeline timelineOf(const GeneratorWrapper& song, const TimelineOptions& o) {
    if (song.fixSlot) return timelineOf(*song.fixSlot, o);
    if (song.floatSlot) return timelineOf(*song.floatSlot, o);
    if (song.doubleSlot) return timelineOf(*song.doubleSlot, o);
    return {};
}

}  // namespace

SongTimeline lengthOf(const GeneratorWrapper& song, int32_t passes, int32_t markPasses) {
    TimelineOptions o;
    o.sampleRate = song.sampleRateHz;
    o.exportPasses = passes;
    o.markPasses = markPasses;
    o.keepNotes = false;
    o.maxNotes = size_t{1} << 28;
    o.maxSteps = uint64_t{1} << 28;
    return timelineOf(song, o);
}

SongTimeline timelineOf(const GeneratorWrapper& song, int32_t passes, int32_t markPasses) {
    TimelineOptions o;
    o.sampleRate = song.sampleRateHz;
    o.exportPasses = passes;
    o.markPasses = markPasses;
    return timelineOf(song, o);
}

namespace {

// Where the file goes: WAV behind its header, patched once the size is known.
class WavSink final : public SampleSink {
public:
    // `loop`: a `smpl` chunk after the data marks it.
    WavSink(OutputFile& file, const WaveFormat& format, std::optional<SongLoop> loop = std::nullopt)
        : m_file(file), m_format(format), m_loop(loop) {
        // Room for the header; its sizes are known only at the end.
        const std::array<uint8_t, kWavHeaderBytes> placeholder{};
        m_ok = m_file.write(placeholder);
    }
    bool write(std::span<const int16_t> interleaved) override {
        m_bytes.clear();
        appendSamplesLe(interleaved, m_bytes);
        m_ok = m_ok && m_file.write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(m_bytes.data()), m_bytes.size()));
        m_frames += interleaved.size() / 2;
        return m_ok;
    }
    bool finish() override {
        auto header = wavHeader(m_format, static_cast<uint32_t>(m_frames * kBytesPerFrame));
        if (m_loop) {
            const auto chunk = smplChunk(m_format.samplesPerSec, *m_loop);
            m_ok = m_ok && m_file.write(chunk);
            // The RIFF size covers the chunk too (the data size is even: no pad byte).
            const uint32_t riff = static_cast<uint32_t>(m_frames * kBytesPerFrame + 36 + kSmplChunkBytes);
            for (size_t i = 0; i < 4; ++i) header[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
        }
        return m_ok && m_file.writeAtStart(header) && m_file.commit();
    }
    bool ok() const noexcept { return m_ok; }

private:
    OutputFile& m_file;
    WaveFormat m_format;
    std::optional<SongLoop> m_loop;
    std::string m_bytes;
    uint64_t m_frames = 0;
    bool m_ok = true;
};

}  // namespace

ExportPlan planExport(const GeneratorWrapper& song, int32_t loops, double fadeSeconds) {
    ExportPlan plan;
    const int32_t n = std::max(loops, 1);
    const uint64_t fadeFrames =
        fadeSeconds > 0 ? static_cast<uint64_t>(std::llround(fadeSeconds * static_cast<double>(song.sampleRateHz))) : 0;
    const uint64_t skipped = song.skippedFrames;
    const auto fromCursor = [skipped](uint64_t frame) { return frame > skipped ? frame - skipped : 0; };
    plan.renderPasses = n;
    if (fadeFrames > 0) {
        // One pass more than asked, so that the asked passes are whole (a
        // break leaves a loop only in its last pass), with their end marked.
        const SongTimeline t = lengthOf(song, n + 1, n);
        std::optional<uint64_t> passEnd;
        for (const BankTimeline& bank : t.banks)
            if (bank.endlessPassEnd) passEnd = std::max(passEnd.value_or(0), *bank.endlessPassEnd);
        if (passEnd) {
            plan.renderPasses = kFadeLoopPasses;
            plan.fadeStart = fromCursor(*passEnd);
            plan.fadeFrames = fadeFrames;
            plan.frames = plan.fadeStart + fadeFrames;
            plan.lengthKnown = !t.truncated || *passEnd <= t.frames;
            return plan;
        }
    }
    const SongTimeline t = lengthOf(song, n, 0);
    plan.frames = fromCursor(t.frames);
    plan.lengthKnown = !t.truncated;
    plan.fadeFrames = std::min(fadeFrames, plan.frames);
    plan.fadeStart = plan.frames - plan.fadeFrames;
    return plan;
}

int16_t fadeSample(int16_t sample, uint64_t frame, uint64_t fadeStart, uint64_t fadeFrames) noexcept {
    if (fadeFrames == 0 || frame < fadeStart) return sample;
    const uint64_t left = frame - fadeStart >= fadeFrames ? 0 : fadeFrames - (frame - fadeStart);
    // |sample| * left fits easily: left is at most the fade's frames.
    return static_cast<int16_t>(int64_t{sample} * static_cast<int64_t>(left) / static_cast<int64_t>(fadeFrames));
}

namespace {

// One file of an export: the mix, or one bank's own output (a stem).
struct ExportTarget {
    std::string path;
    int bank = -1;  // -1: the mix; 0..4: that bank's stem
    std::unique_ptr<OutputFile> file;
    std::unique_ptr<SampleSink> sink;
    std::vector<int16_t> samples;  // a stem's block, filled by the mixer's tap
    // The rendered frames this file takes, as [from, to) ranges in order;
    // empty: all of them.
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    std::optional<SongLoop> marks;  // loop points written into the file
};

// Writes the part of a rendered block [first, first + n) that `t` takes.
bool writeRanges(ExportTarget& t, const std::vector<int16_t>& samples, uint64_t first, size_t n) {
    if (t.ranges.empty()) return t.sink->write(std::span<const int16_t>(samples.data(), size_t{n} * 2));
    for (const auto& [from, to] : t.ranges) {
        const uint64_t a = std::max(from, first);
        const uint64_t b = std::min(to, first + n);
        if (a >= b) continue;
        if (!t.sink->write(std::span<const int16_t>(samples.data() + (a - first) * 2, static_cast<size_t>(b - a) * 2))) return false;
    }
    return true;
}

void fadeBlock(std::vector<int16_t>& samples, size_t n, uint64_t firstFrame, const ExportPlan& plan) {
    for (size_t i = 0; i < n; ++i)
        for (size_t c = 0; c < 2; ++c)
            samples[2 * i + c] = fadeSample(samples[2 * i + c], firstFrame + i, plan.fadeStart, plan.fadeFrames);
}

// Fading every stem rounds each on its own, so their sum can miss the faded
// mix by a step or two (and by more where the mix saturates). The difference
// goes to the loudest stem of that sample, spilling over to the others in
// bank order where it would leave the 16-bit range, so that the stems summed
// with the mixer's saturation are the mix sample for sample, fade or not.
void matchStemsToMix(std::vector<ExportTarget>& targets, const std::vector<int16_t>& mix, size_t samples) {
    std::array<int16_t*, kBankCount> stems{};
    size_t count = 0;
    for (ExportTarget& t : targets)
        if (t.bank >= 0) stems[count++] = t.samples.data();
    if (count == 0) return;
    for (size_t k = 0; k < samples; ++k) {
        int32_t sum = 0;
        size_t loudest = 0;
        for (size_t i = 0; i < count; ++i) {
            sum += stems[i][k];
            if (std::abs(int32_t{stems[i][k]}) > std::abs(int32_t{stems[loudest][k]})) loudest = i;
        }
        if (std::clamp(sum, -32768, 32767) == mix[k]) continue;
        int32_t residue = int32_t{mix[k]} - sum;
        for (size_t j = 0; j <= count && residue != 0; ++j) {
            int16_t& s = stems[j == 0 ? loudest : j - 1][k];
            const int32_t room = residue > 0 ? 32767 - s : -32768 - s;
            const int32_t take = residue > 0 ? std::min(residue, room) : std::max(residue, room);
            s = static_cast<int16_t>(s + take);
            residue -= take;
        }
    }
}

// Refuses before any file exists, opens every target, then renders the song
// once (stems through the mixer's per-bank taps, every bank running) and
// writes each block to every target.
ExportOutcome writeTargets(GeneratorWrapper& song, const WaveFormat& format, std::vector<ExportTarget>& targets,
                           AudioFileType type, ExportHost& host, const ExportOptions& options) {
    if (!rateFitsType(type, format.samplesPerSec)) {
        host.messageBox(uiText(kOpusRateMessage));
        return ExportOutcome::BadRate;
    }
    uint64_t maxFrames = maxFramesOf(type);
    if (options.maxDataBytes > 0) maxFrames = std::min(maxFrames, options.maxDataBytes / kBytesPerFrame);
    const std::string_view tooLong = type == AudioFileType::Wav ? kTooLargeMessage : kTooLargeForTypeMessage;
    auto refuseTooLong = [&] {
        host.messageBox(uiText(tooLong));
        return ExportOutcome::TooLarge;
    };
    // The timeline knows the length: a song that cannot fit is refused before
    // a file exists, not after gigabytes were written.
    ExportPlan plan;
    if (options.loopPoints) {
        // The song plays on through its loop's second pass, which is the
        // loop region (see LoopExport); the first pass is rendered, not kept.
        const SongLoop& loop = options.loopPoints->loop;
        plan.renderPasses = kFadeLoopPasses;
        plan.frames = loop.start + 2 * loop.length;
        plan.fadeStart = plan.frames;
        // A song that can never end: the render stops where the region does.
        plan.fadeFrames = 0;
        if (loop.start + loop.length > maxFrames) return refuseTooLong();
    } else {
        plan = planExport(song, options.loops, options.fadeSeconds);
        if (plan.frames > maxFrames || (plan.fadeFrames > 0 && !plan.lengthKnown)) return refuseTooLong();
    }

    // `code`: errno right after the failing call, for a writer (libsndfile)
    // that writes past the file's own bookkeeping.
    auto failWrite = [&](const ExportTarget& t, int code) {
        const int own = t.file ? t.file->systemError() : 0;
        host.exportFileFailed({false, t.path, own != 0 ? own : code});
        return ExportOutcome::WriteFailed;  // the files are dropped uncommitted: nothing is left
    };
    const uint32_t blockFrames = options.framesPerBlock > 0 ? options.framesPerBlock : 4096;
    BankTaps taps;
    bool tapped = false;
    for (ExportTarget& t : targets) {
        errno = 0;
        t.file = options.openFile ? options.openFile(t.path) : nullptr;
        if (!t.file) {
            host.exportFileFailed({true, t.path, errno});
            return ExportOutcome::OpenFailed;
        }
        errno = 0;
        if (type == AudioFileType::Wav) {
            auto wav = std::make_unique<WavSink>(*t.file, format, t.marks);
            if (!wav->ok()) return failWrite(t, errno);
            t.sink = std::move(wav);
        } else {
            t.sink = openSndfileSink(*t.file, type, format.samplesPerSec,
                                     t.marks ? loopComments(type, format.samplesPerSec, *t.marks) : std::vector<std::string>{});
            if (!t.sink) return failWrite(t, errno);
        }
        if (t.bank >= 0) {
            t.samples.assign(size_t{blockFrames} * 2, 0);
            taps.banks[static_cast<size_t>(t.bank)] = t.samples;
            tapped = true;
        }
    }
    song.SetLoop(false);
    song.SetExportMode(plan.renderPasses);

    // A fade ends the file where it reaches silence; otherwise the song's end does.
    const uint64_t endFrame = plan.fadeFrames > 0 || options.loopPoints ? plan.frames : UINT64_MAX;
    std::vector<int16_t> mix(size_t{blockFrames} * 2);
    const double rate = format.samplesPerSec > 0 ? format.samplesPerSec : 1.0;
    uint64_t frames = 0;
    bool finished = song.IsFinished();
    // A loop export renders a pass more than it keeps: its file's size was
    // checked above, and its render ends at endFrame.
    const uint64_t renderMax = options.loopPoints ? endFrame : maxFrames;
    while (!finished && frames < endFrame) {
        // Still guarded while rendering: a song whose timeline was cut at its
        // bounds has no known length.
        if (frames >= renderMax) return refuseTooLong();
        const size_t want = static_cast<size_t>(std::min({uint64_t{blockFrames}, renderMax - frames, endFrame - frames}));
        // Frame by frame with a finish test after each near a possible end,
        // so the data ends exactly at the first frame after which the song is finished.
        const size_t n = song.RenderUntilFinished(std::span<int16_t>(mix.data(), want * 2), tapped ? &taps : nullptr);
        finished = song.IsFinished();
        if (!finished && frames + n >= renderMax && frames + n < endFrame) return refuseTooLong();
        if (plan.fadeFrames > 0) {
            fadeBlock(mix, n, frames, plan);
            for (ExportTarget& t : targets)
                if (t.bank >= 0) fadeBlock(t.samples, n, frames, plan);
            if (tapped && frames + n > plan.fadeStart) matchStemsToMix(targets, mix, 2 * n);
        }
        for (ExportTarget& t : targets) {
            const std::vector<int16_t>& samples = t.bank >= 0 ? t.samples : mix;
            errno = 0;
            if (!writeRanges(t, samples, frames, n)) return failWrite(t, errno);
        }
        frames += n;
        if (!host.exportProgress(frames, static_cast<double>(frames) / rate)) return ExportOutcome::Cancelled;
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        errno = 0;
        if (targets[i].sink->finish()) continue;
        const ExportOutcome failed = failWrite(targets[i], errno);
        // An intro without its loop is half an export: the loop's files go
        // together or not at all.
        if (options.loopPoints) {
            std::error_code ec;
            for (size_t j = 0; j < i; ++j) std::filesystem::remove(targets[j].path, ec);
        }
        return failed;
    }
    return ExportOutcome::Written;
}

}  // namespace

ExportOutcome writeSongToFile(GeneratorWrapper& song, const WaveFormat& format, const std::string& path,
                              ExportHost& host, const ExportOptions& options) {
    std::vector<ExportTarget> targets(1);
    targets[0].path = path;
    return writeTargets(song, format, targets, options.type.value_or(audioFileTypeOf(path)), host, options);
}

std::pair<std::string, std::string> splitLoopPaths(const std::string& path) {
    const std::filesystem::path p(path);
    const std::string stem = p.stem().string();
    const std::string ext = p.extension().string();
    return {(p.parent_path() / (stem + "_intro" + ext)).string(), (p.parent_path() / (stem + "_loop" + ext)).string()};
}

ExportOutcome writeSongWithLoop(GeneratorWrapper& song, const WaveFormat& format, const std::string& path,
                                ExportHost& host, bool split, const ExportOptions& options) {
    const LoopAnalysis analysis = songLoopOf(song);
    if (!analysis.loop) {
        host.messageBox(uiText(loopRefusalMessage(analysis.refusal)));
        return ExportOutcome::NoLoop;
    }
    const SongLoop loop = *analysis.loop;
    ExportOptions o = options;
    o.loopPoints = LoopExport{loop, split};
    const AudioFileType type = options.type.value_or(audioFileTypeOf(path));
    const uint64_t regionStart = loop.start + loop.length;
    const uint64_t regionEnd = loop.start + 2 * loop.length;
    std::vector<ExportTarget> targets;
    if (split) {
        const auto [intro, looped] = splitLoopPaths(path);
        targets.resize(2);
        targets[0].path = intro;
        targets[0].ranges = {{0, loop.start}};
        targets[1].path = looped;
        targets[1].ranges = {{regionStart, regionEnd}};
    } else {
        targets.resize(1);
        targets[0].path = path;
        targets[0].ranges = {{0, loop.start}, {regionStart, regionEnd}};
        targets[0].marks = loop;
    }
    return writeTargets(song, format, targets, type, host, o);
}

ExportOutcome writeStems(GeneratorWrapper& song, const WaveFormat& format, const std::array<std::string, kBankCount>& paths,
                         ExportHost& host, const ExportOptions& options, std::vector<int>* written) {
    std::vector<ExportTarget> targets;
    const BankMask audible = song.audible();
    for (int b = 0; b < kBankCount; ++b) {
        if (!song.bankSounds(b) || (audible & bankBit(b)) == 0) continue;
        ExportTarget t;
        t.path = paths[static_cast<size_t>(b)];
        t.bank = b;
        targets.push_back(std::move(t));
    }
    if (written) written->clear();
    if (targets.empty()) return ExportOutcome::Written;
    const AudioFileType type = options.type.value_or(audioFileTypeOf(targets[0].path));
    const ExportOutcome outcome = writeTargets(song, format, targets, type, host, options);
    if (outcome == ExportOutcome::Written && written)
        for (const ExportTarget& t : targets) written->push_back(t.bank);
    return outcome;
}

ExportOutcome writeSongToWav(GeneratorWrapper& song, const WaveFormat& format, const std::string& path,
                             ExportHost& host, const ExportOptions& options) {
    ExportOptions wav = options;
    wav.type = AudioFileType::Wav;
    return writeSongToFile(song, format, path, host, wav);
}

ExportOutcome OnWavExport(const BuildInputs& inputs, ExportHost& host, const ExportOptions& options) {
    WaveFormat format;
    BuildInputs exportInputs = inputs;
    exportInputs.forExport = true;
    std::shared_ptr<GeneratorWrapper> song = MakeGenerator(exportInputs, false, host, format);
    if (!song) return ExportOutcome::NotBuilt;
    std::optional<std::string> path = host.askSavePath(SaveDialogRequest{});
    if (!path) return ExportOutcome::Cancelled;
    return writeSongToFile(*song, format, *path, host, options);
}

}  // namespace tavolin::output
