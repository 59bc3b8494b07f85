// SPDX-License-Identifier: MIT
// libFuzzer target: arbitrary bytes through ParseMml and CompileBanks in all three arithmetic types,
// with the song's map (record sources and timeline) built from every successful compile.
//
// Input layout: byte 0 picks the start position mode and the cursor bank,
// bytes 1..2 a start offset; the rest is the text. For CompileBanks the text
// is split at ';' into common, A, B, C, D, E. Every successful list must keep
// the model's guarantees (eventListViolations), its sources must lie in the
// text, and the timeline (under tight bounds) must be ordered and consistent;
// any violation aborts.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "compiler/ErrorTable.h"
#include "compiler/EventListCheck.h"
#include "compiler/ParseMml.h"
#include "synth/Timeline.h"

namespace {

using namespace tavolin;

[[noreturn]] void broken(const char* what, const std::string& why) {
    std::fprintf(stderr, "%s: %s\n", what, why.c_str());
    std::abort();
}

template <EngineNumType T>
void parseOne(std::string_view text, uint64_t start) {
    EventList<T> list;
    SourceSpans spans;
    uint64_t position = 0;
    int32_t code = 0;
    if (ParseMml<T>(kMaxLevel, text, list, position, code, start, &spans)) {
        const std::string why = eventListViolations(list, start != UINT64_MAX);
        if (!why.empty()) broken("ParseMml", why);
        if (spans.size() != list.size()) broken("ParseMml", "sources and records differ in number");
        for (const RecordSource& s : spans) {
            if (s.command.valid() && uint64_t{s.command.begin} + s.command.length > text.size()) broken("ParseMml", "source outside the text");
            if (s.call.valid() && uint64_t{s.call.begin} + s.call.length > text.size()) broken("ParseMml", "call outside the text");
        }
        return;
    }
    const size_t end = text.find('\0') == std::string_view::npos ? text.size() : text.find('\0');
    if (position == 0 || position > end) broken("ParseMml", "error position outside the text");
    if (errorMessage(code).empty()) broken("ParseMml", "error code without a message");
    if (!list.empty()) broken("ParseMml", "failed parse changed the list");
}

// Both walks (export mode and endless playback) stay inside their bounds and
// list notes in sounding order; the song's length is its longest bank's.
template <EngineNumType T>
void checkTimeline(const std::array<EventList<T>, kBankCount>& lists, const std::array<SourceSpans, kBankCount>& spans,
                   uint64_t commonLength) {
    for (const bool exportMode : {true, false}) {
        TimelineOptions o;
        o.sampleRate = 8000;
        o.exportPasses = exportMode ? 1 : 0;
        o.maxNotes = 2048;
        o.maxSteps = uint64_t{1} << 16;
        const SongTimeline t = buildTimeline<T>(lists, &spans, commonLength, o);
        uint64_t longest = 0;
        for (size_t b = 0; b < kBankCount; ++b) {
            const auto& notes = t.banks[b].notes;
            if (notes.size() > o.maxNotes) broken("Timeline", "more notes than the bound");
            for (size_t i = 0; i < notes.size(); ++i) {
                const TimelineNote& n = notes[i];
                if (i > 0 && n.start < notes[i - 1].start + notes[i - 1].frames) broken("Timeline", "notes overlap or go back");
                if (n.eventIndex < 0 || static_cast<size_t>(n.eventIndex) >= lists[b].size() ||
                    lists[b][static_cast<size_t>(n.eventIndex)].kind != EventKind::Note)
                    broken("Timeline", "a note that is no Note record");
                if (!n.source.command.valid()) broken("Timeline", "a note without a source");
            }
            if (!notes.empty() && notes.back().start > t.banks[b].endFrame) broken("Timeline", "a note after its bank's end");
            longest = std::max(longest, t.banks[b].endFrame);
        }
        if (t.frames != longest) broken("Timeline", "song length is not the longest bank's");
        const TimelineIndex index(t);
        for (int tab = -1; tab < kBankCount; ++tab) {
            const auto hit = index.noteAtOrAfter(tab, 0);
            if (hit && hit->note >= t.banks[static_cast<size_t>(hit->bank)].notes.size()) broken("TimelineIndex", "no such note");
        }
        notesSoundingAt(t, t.frames / 2);
    }
}

template <EngineNumType T>
void compileSong(std::string_view text, int64_t cursorBank, uint64_t cursorOffset) {
    std::array<std::string_view, 6> parts{};
    size_t n = 0;
    while (n < 5) {
        const size_t semi = text.find(';');
        if (semi == std::string_view::npos) break;
        parts[n++] = text.substr(0, semi);
        text.remove_prefix(semi + 1);
    }
    parts[n] = text;
    const std::array<std::string_view, kBankCount> banks{parts[1], parts[2], parts[3], parts[4], parts[5]};
    std::array<EventList<T>, kBankCount> lists;
    std::array<SourceSpans, kBankCount> spans;
    const CompileResult r = CompileBanks<T>(parts[0], banks, cursorBank, cursorOffset, lists, &spans);
    if (r.code != 0) {
        if (r.bank < -2 || r.bank > 4 || r.position == 0) broken("CompileBanks", "error location");
        for (const auto& l : lists)
            if (!l.empty()) broken("CompileBanks", "lists left after an error");
        return;
    }
    for (const auto& l : lists) {
        if (l.empty()) continue;
        const std::string why = eventListViolations(l, true);
        if (!why.empty()) broken("CompileBanks", why);
    }
    checkTimeline<T>(lists, spans, parts[0].size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t mode = data[0];
    const uint64_t offset = static_cast<uint64_t>(data[1]) | static_cast<uint64_t>(data[2]) << 8;
    const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);
    const uint64_t start = (mode & 3) == 0 ? UINT64_MAX : (mode & 3) == 1 ? 0 : offset;
    parseOne<Fix>(text, start);
    parseOne<float>(text, start);
    parseOne<double>(text, start);
    const int64_t cursorBank = static_cast<int64_t>((mode >> 2) % 7) - 1; // -1 .. 5 (5: none)
    compileSong<Fix>(text, cursorBank, offset);
    compileSong<float>(text, cursorBank, offset);
    compileSong<double>(text, cursorBank, offset);
    return 0;
}
