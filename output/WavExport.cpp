// The WAV exporter.
#include "output/WavExport.h"

#include <vector>

namespace tavolin::output {

ExportOutcome writeSongToWav(GeneratorWrapper& song, const WaveFormat& format, const std::string& path,
                             ExportHost& host, const ExportOptions& options) {
    std::unique_ptr<OutputFile> file = options.openFile ? options.openFile(path) : nullptr;
    if (!file) {
        host.messageBox(std::string(kOpenFailedMessage));
        return ExportOutcome::OpenFailed;
    }
    song.SetLoop(false);
    song.SetExportMode();

    auto failWrite = [&] {
        host.messageBox(std::string(kWriteFailedMessage));
        return ExportOutcome::WriteFailed;  // `file` is dropped uncommitted: nothing is left
    };
    // Room for the header; its sizes are known only at the end.
    std::array<uint8_t, kWavHeaderBytes> placeholder{};
    if (!file->write(placeholder)) return failWrite();

    const uint32_t blockFrames = options.framesPerBlock > 0 ? options.framesPerBlock : 4096;
    const uint64_t maxFrames = options.maxDataBytes / kBytesPerFrame;
    std::vector<int16_t> samples(size_t{blockFrames} * 2);
    std::string bytes;
    bytes.reserve(size_t{blockFrames} * kBytesPerFrame);
    const double rate = format.samplesPerSec > 0 ? format.samplesPerSec : 1.0;
    uint64_t frames = 0;
    bool finished = song.IsFinished();
    while (!finished) {
        if (frames >= maxFrames) {
            host.messageBox(std::string(kTooLargeMessage));
            return ExportOutcome::TooLarge;
        }
        const size_t want = static_cast<size_t>(std::min<uint64_t>(blockFrames, maxFrames - frames));
        // Frame by frame with a finish test after each, so the data ends
        // exactly at the first frame after which the song is finished.
        const size_t n = song.RenderUntilFinished(std::span<int16_t>(samples.data(), want * 2));
        finished = song.IsFinished();
        if (!finished && frames + n >= maxFrames) {
            host.messageBox(std::string(kTooLargeMessage));
            return ExportOutcome::TooLarge;
        }
        bytes.clear();
        appendSamplesLe(std::span<const int16_t>(samples.data(), size_t{n} * 2), bytes);
        if (!file->write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())))
            return failWrite();
        frames += n;
        if (!host.exportProgress(frames, static_cast<double>(frames) / rate)) return ExportOutcome::Cancelled;
    }
    const auto header = wavHeader(format, static_cast<uint32_t>(frames * kBytesPerFrame));
    if (!file->writeAtStart(header) || !file->commit()) return failWrite();
    return ExportOutcome::Written;
}

ExportOutcome OnWavExport(const BuildInputs& inputs, ExportHost& host, const ExportOptions& options) {
    WaveFormat format;
    BuildInputs exportInputs = inputs;
    exportInputs.forExport = true;
    std::shared_ptr<GeneratorWrapper> song = MakeGenerator(exportInputs, false, host, format);
    if (!song) return ExportOutcome::NotBuilt;
    std::optional<std::string> path = host.askSavePath(SaveDialogRequest{});
    if (!path) return ExportOutcome::Cancelled;
    return writeSongToWav(*song, format, *path, host, options);
}

}  // namespace tavolin::output
