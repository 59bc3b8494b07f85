// SPDX-License-Identifier: MIT
// MIDI export: build the song, map its timeline to a MIDI file, ask for a path, write it.
#pragma once

#include <string>

#include "compiler/UiText.h"
#include "output/WavExport.h"

namespace tavolin::output {

inline constexpr std::string_view kMidiTooLongMessage = TAVOLIN_TR_NOOP("Texts", "曲が長すぎるためMIDIファイルに書き出せません");

inline SaveDialogRequest midiSaveRequest() {
    SaveDialogRequest r;
    r.defaultExtension = "mid";
    r.initialFileName = "output.mid";
    r.filter = "MIDI File(*.mid)|*.mid||";
    return r;
}

// Writes the MIDI file of `song` (built; always the whole song with every
// endless loop once) to `path`, through a temporary file. Warnings go to
// host.exportWarning; a song whose ticks do not fit is refused before any
// file is created.
ExportOutcome writeSongToMidi(const GeneratorWrapper& song, const std::string& path, ExportHost& host,
                              const ExportOptions& options = {});

// "MIDI出力": build (the current play mode's banks, from the start), ask for
// the path, write.
ExportOutcome OnMidiExport(const BuildInputs& inputs, ExportHost& host, const ExportOptions& options = {});

}  // namespace tavolin::output
