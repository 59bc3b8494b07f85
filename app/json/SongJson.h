// SPDX-License-Identifier: MIT
// The JSON and text shapes of songs that tavolin-cli prints and the web
// engine hands to the page: compile errors, record sources, the timeline.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "compiler/EngineNum.h"
#include "compiler/ParseMml.h"
#include "compiler/SourceMap.h"
#include "music/MidiImport.h"
#include "music/MmlReference.h"
#include "synth/Timeline.h"

namespace tavolin::json {

// "A".."E" for banks 0..4, "common" for -1, "internal" for -2.
std::string bankLabel(int64_t bank);

// "0x80000015": an error code as the CLI and the page show it.
std::string compileErrorCode(int32_t code);

// {"ok":false,"code":"0x80000015","bank":0,"position":12,"message":"..."} as one line.
std::string compileErrorJson(const CompileResult& result);

// "default" (the internal default code), "common", or "A".."E".
std::string sourceTabName(int tab);

// {"tab":"A","offset":5,"length":2}, or null for a span that no command wrote.
nlohmann::ordered_json sourceJson(TextSpan span, uint64_t commonLength, int bank);

// "A:5+2" (tab, byte offset, length), "-" for no span.
std::string sourceText(TextSpan span, uint64_t commonLength, int bank);

// Adds "source" (always, null when none) and "call" (only for records a
// macro call replayed) to a record's object.
void addSourceFields(nlohmann::ordered_json& j, const RecordSource& src, uint64_t commonLength, int bank);

// A Float song's frequencies are floats: shown by their shortest decimal
// form (261.626, not 261.6260070800781), which reads back as the same float.
double shownFrequency(double hz, Arith arith);

// {"rate":...,"frames":...,"truncated":...,"banks":[{"bank":"A","notes":[...]}]}
nlohmann::ordered_json timelineJson(const SongTimeline& t, Arith arith);

// import-midi's report as `--json` prints it and the page receives it.
nlohmann::ordered_json midiReportJson(const music::MidiImportReport& report);

// The MML reference (music/MmlReference) in the display language: an array of
// {group, heads, syntax, what, example}.
nlohmann::ordered_json referenceJson();

}  // namespace tavolin::json
