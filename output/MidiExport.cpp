// SPDX-License-Identifier: MIT
// The MIDI exporter.
#include "output/MidiExport.h"

#include <algorithm>
#include <cerrno>

#include "output/MidiFile.h"
#include "output/SongLoop.h"

namespace tavolin::output {

ExportOutcome writeSongToMidi(const GeneratorWrapper& song, const std::string& path, ExportHost& host,
                              const ExportOptions& options) {
    // A song with a loop is written to the loop's end, each bank's endless
    // loop played as often as that takes, and the loop marked.
    std::optional<MidiSong> midi;
    const LoopAnalysis analysis = songLoopOf(song);
    if (analysis.loop && song.skippedFrames == 0) {
        const SongLoop& loop = *analysis.loop;
        int64_t passes = 1;
        for (const BankTimeline& bank : lengthOf(song, 1, 1).banks)
            if (bank.repeatStart && bank.repeatEnd > *bank.repeatStart && loop.start + loop.length > *bank.repeatStart)
                passes = std::max<int64_t>(passes, static_cast<int64_t>((loop.start + loop.length - *bank.repeatStart) /
                                                                        (bank.repeatEnd - *bank.repeatStart)) + 2);
        midi = midiFromTimeline(timelineOf(song, static_cast<int32_t>(std::min<int64_t>(passes, 1 << 20))),
                                MidiLoop{loop.start, loop.start + loop.length});
    } else {
        midi = midiFromTimeline(timelineOf(song));
    }
    if (!midi) {
        host.messageBox(uiText(kMidiTooLongMessage));
        return ExportOutcome::TooLarge;
    }
    errno = 0;
    std::unique_ptr<OutputFile> file = options.openFile ? options.openFile(path) : nullptr;
    if (!file) {
        host.exportFileFailed({true, path, errno});
        return ExportOutcome::OpenFailed;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(midi->bytes.data());
    if (!file->write(std::span<const uint8_t>(bytes, midi->bytes.size())) || !file->commit()) {
        host.exportFileFailed({false, path, file->systemError()});
        return ExportOutcome::WriteFailed;
    }
    for (const std::string& w : midi->warnings) host.exportWarning(w);
    return ExportOutcome::Written;
}

ExportOutcome OnMidiExport(const BuildInputs& inputs, ExportHost& host, const ExportOptions& options) {
    BuildInputs whole = inputs;
    whole.startFromCursor = false;  // a MIDI file holds the song from its start
    WaveFormat format;
    std::shared_ptr<GeneratorWrapper> song = MakeGenerator(whole, false, host, format);
    if (!song) return ExportOutcome::NotBuilt;
    std::optional<std::string> path = host.askSavePath(midiSaveRequest());
    if (!path) return ExportOutcome::Cancelled;
    return writeSongToMidi(*song, *path, host, options);
}

}  // namespace tavolin::output
