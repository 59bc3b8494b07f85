// The swap anchor: an old note, mapped through the edits, looked up in the new song.
#include "session/SwapAnchor.h"

#include <optional>

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

}  // namespace tavolin::session
