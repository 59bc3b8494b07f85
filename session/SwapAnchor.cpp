// SPDX-License-Identifier: MIT
// The swap anchor: an old note, mapped through the edits, looked up in the new
// song; and the rebuilt song put there.
#include "session/SwapAnchor.h"

#include <algorithm>
#include <optional>

#include "output/SongBuilder.h"

namespace tavolin::session {
namespace {

// A command's place in its own tab after the edits; tab -2 is the internal
// code, which nobody edits.
struct Place {
    int tab = -2;
    uint64_t offset = 0;
    bool valid = false;
    friend bool operator==(const Place&, const Place&) = default;
};

Place placeOf(const SongTimeline& song, TextSpan span, int bank) {
    if (!span.valid()) return {};
    const TabSpan t = song.tabSpan(span, bank);
    return {t.tab, t.offset, true};
}

std::optional<Place> mapped(const TabEdits& edits, Place p) {
    if (!p.valid || p.tab < -1) return p;
    const auto& list = edits[static_cast<size_t>(p.tab + 1)];
    const std::optional<uint64_t> offset = mapOffset(list, p.offset);
    if (!offset) return std::nullopt;
    p.offset = *offset;
    return p;
}

uint64_t scaled(uint64_t frames, uint32_t from, uint32_t to) {
    if (from == to || from == 0) return frames;
    return frames / from * to + frames % from * to / from;  // no overflow for any song length
}

}  // namespace

SwapAnchor chooseSwapFrame(const SongTimeline& oldSong, uint64_t swapFrame, const TabEdits& edits,
                           const SongTimeline& newSong) {
    const auto sounding = notesSoundingAt(oldSong, swapFrame);
    for (int bank = 0; bank < kBankCount; ++bank) {
        const auto& at = sounding[static_cast<size_t>(bank)];
        if (!at) continue;
        const auto& oldNotes = oldSong.banks[static_cast<size_t>(bank)].notes;
        const TimelineNote& note = oldNotes[*at];
        const std::optional<Place> command = mapped(edits, placeOf(oldSong, note.source.command, bank));
        const std::optional<Place> call = mapped(edits, placeOf(oldSong, note.source.call, bank));
        if (!command || !command->valid || !call) continue;
        size_t pass = 0;  // earlier soundings of the same record in this bank
        for (size_t i = 0; i < *at; ++i)
            if (oldNotes[i].source == note.source) ++pass;
        for (const TimelineNote& candidate : newSong.banks[static_cast<size_t>(bank)].notes) {
            if (placeOf(newSong, candidate.source.command, bank) != *command ||
                placeOf(newSong, candidate.source.call, bank) != *call)
                continue;
            if (pass-- != 0) continue;
            uint64_t into = scaled(swapFrame - note.start, oldSong.sampleRate, newSong.sampleRate);
            if (candidate.frames == 0) into = 0;
            else if (into >= candidate.frames) into = candidate.frames - 1;
            return {candidate.start + into, bank};
        }
    }
    return {scaled(swapFrame, oldSong.sampleRate, newSong.sampleRate), -1};
}

uint64_t wrapOwnFrame(uint64_t own, bool loop, const std::optional<LivePassage>& passage, uint64_t frames) noexcept {
    if (passage && passage->to > passage->from && own >= passage->from) {
        const uint64_t length = passage->to - passage->from;
        if (passage->loop) return passage->from + (own - passage->from) % length;
        return std::min(own, passage->to);
    }
    if (loop && frames > 0) return own % frames;
    return own;
}

SwapPlace placeSwap(const SongTimeline& oldLine, uint64_t oldFrame, const TabEdits& edits, const SongTimeline& newLine,
                    const std::optional<LivePassage>& oldPassage, std::optional<LivePassage> given) {
    SwapPlace place{chooseSwapFrame(oldLine, oldFrame, edits, newLine), std::move(given)};
    if (!place.passage && oldPassage) {
        // The passage's ends follow their notes.
        const LivePassage p = *oldPassage;
        const uint64_t from = chooseSwapFrame(oldLine, p.from, edits, newLine).frame;
        const uint64_t last = chooseSwapFrame(oldLine, p.to > p.from ? p.to - 1 : p.from, edits, newLine).frame;
        place.passage = LivePassage{from, std::max(last + 1, from + 1), p.loop};
    }
    if (place.passage && (place.anchor.frame < place.passage->from || place.anchor.frame >= place.passage->to))
        place.anchor.frame = place.passage->from;
    return place;
}

output::BuildInputs swapInputs(output::BuildInputs inputs) {
    inputs.startFromCursor = false;
    inputs.caret = 0;
    inputs.forExport = false;
    return inputs;
}

bool sameSwapSettings(const output::BuildInputs& a, const output::BuildInputs& b) noexcept {
    return a.arith == b.arith && a.sampleRateHz == b.sampleRateHz &&
           a.currentBankMode == b.currentBankMode && (!a.currentBankMode || a.bankIndex == b.bankIndex);
}

void enterSwap(output::GeneratorWrapper& song, const SwapPlace& place, bool loop, const SkipTo& skip) {
    setPlayMode(song, loop, place.passage.has_value());
    if (place.passage) {
        enterPassage(song, *place.passage, skip);
        song.advance(place.anchor.frame - place.passage->from);
    } else {
        skipSong(song, place.anchor.frame, skip);
    }
}

}  // namespace tavolin::session
