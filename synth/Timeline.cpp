// SPDX-License-Identifier: MIT
// The song's timeline: the player's event walk with whole notes as single steps.
#include "synth/Timeline.h"

#include <algorithm>
#include <limits>
#include <span>

#include "synth/LoopRules.h"
#include "synth/SynthMath.h"
#include "synth/TimingLedger.h"

namespace tavolin {
namespace {

// One bank's walk. It follows the player call for call: a call either plays
// a note (the timeline takes the whole note at once) or spends one silent
// frame (the end of the list reached, or the walk between two notes grown
// past its cap), exactly where the player would.
template <EngineNumType T>
class BankWalk {
public:
    BankWalk(const EventList<T>& events, const SourceSpans* spans, const TimelineOptions& options)
        : m_events(events.data(), std::min<size_t>(events.size(), INT32_MAX)),
          m_spans(spans && spans->size() >= m_events.size() ? spans : nullptr), m_options(options) {
        const auto& tones = defaultToneTable();
        for (size_t i = 0; i < kToneSlots; ++i) m_waves[i] = tones[i].wave;
        m_endlessPasses.fill(-1);
    }

    BankTimeline out;
    bool cut = false;  // a bound was reached at frame `m_frame`
    uint64_t cutFrame() const noexcept { return m_frame; }

    void run() {
        const int32_t count = static_cast<int32_t>(m_events.size());
        if (count == 0) return;
        const int64_t trackAfter = cycleTrackAfter(count);
        const int64_t cap = silentFrameCap(count);
        for (;;) {
            // Each pass is one call of the player between notes.
            if (m_index >= count) {
                out.endFrame = m_frame;  // the last note ended the list
                return;
            }
            int64_t applied = 0;
            for (;;) {
                if (m_index >= count) {
                    m_guard.reset();
                    out.endFrame = ++m_frame;  // the call that ran off the end is a frame of silence
                    return;
                }
                if (++m_steps > m_options.maxSteps) return stop();
                const MmlEvent<T>& ev = m_events[static_cast<size_t>(m_index)];
                if (ev.kind == EventKind::Note) {
                    if (m_noteCount >= m_options.maxNotes) return stop();
                    const int32_t length = m_ledger.addNote(m_tempo, ev.note.length, m_options.sampleRate);
                    addNote(ev, length > 0 ? static_cast<uint32_t>(length) : 0);
                    ++m_index;
                    if (length > 0) {
                        m_guard.reset();
                        m_frame += static_cast<uint64_t>(length);
                        break;
                    }
                    // a note too short to reach a sample takes no time: the walk goes on in this call
                } else {
                    apply(ev);
                }
                ++applied;
                if (applied > trackAfter || m_guard.tracking()) {
                    if (m_guard.repeats(WalkControlState<T>{m_index, m_tempo, m_counters, m_ledger})) {
                        // Nothing audible can follow: the player ends the bank's pass here.
                        m_guard.reset();
                        out.endFrame = ++m_frame;
                        return;
                    }
                    if (applied > cap) {
                        ++m_frame;  // this call gives up its frame as silence
                        break;
                    }
                }
            }
        }
    }

private:
    void stop() noexcept {
        cut = true;
        out.endFrame = m_frame;
    }

    void addNote(const MmlEvent<T>& ev, uint32_t frames) {
        ++m_noteCount;
        if (!m_options.keepNotes) return;
        TimelineNote n;
        n.start = m_frame;
        n.frames = frames;
        n.frequency = Num<T>::toDouble(ev.note.frequency);
        n.volume = m_volume;
        n.tone = m_tone;
        n.pan = m_pan;
        n.eventIndex = m_index;
        n.tempo = m_tempo;
        n.wave = m_waves[static_cast<size_t>(m_tone)];
        n.noteIndex = noteIndexOf(ev.note.frequency);
        n.unitStart = m_units;
        n.units = Num<T>::toDouble(ev.note.length);
        m_units += n.units;
        const int32_t target = ev.note.slurTarget;
        n.slurred = target >= 0 && target < static_cast<int32_t>(m_events.size()) &&
                    m_events[static_cast<size_t>(target)].kind == EventKind::Note &&
                    !isZero(m_events[static_cast<size_t>(target)].note.frequency);
        if (m_spans) n.source = (*m_spans)[static_cast<size_t>(m_index)];
        out.notes.push_back(n);
    }

    // What the player does with a record that is not a note, as far as the
    // timeline needs it (the next index, tempo, and the note's settings).
    void apply(const MmlEvent<T>& ev) noexcept {
        switch (ev.kind) {
        case EventKind::Tempo: m_tempo = ev.tempo; break;
        case EventKind::Volume: m_volume = ev.volume; break;
        case EventKind::Pan: m_pan = ev.pan; break;
        case EventKind::ToneSelect:
            if (ev.tone < kToneSlots) m_tone = ev.tone;
            break;
        case EventKind::ToneDef:
            if (ev.toneDef.tone >= 0 && ev.toneDef.tone < kToneSlots) m_waves[static_cast<size_t>(ev.toneDef.tone)] = ev.toneDef.wave;
            break;
        case EventKind::LoopControl:
            countEndlessPass(ev.loop);
            m_index = applyLoopRule<T>(ev.loop, m_index, m_events, m_counters, m_options.exportPasses);
            return;
        default: break;
        }
        ++m_index;
    }

    // Counts the passes of endless loops to find where the marked one ends.
    void countEndlessPass(const LoopControlPayload& loop) noexcept {
        if (loop.level < 0 || loop.level >= kMaxLoopLevels) return;
        int32_t& passes = m_endlessPasses[static_cast<size_t>(loop.level)];
        if (loop.op == LoopOp::LoopStart) {
            passes = loop.count < 0 ? 0 : -1;
            if (loop.count < 0 && !out.endlessEntry) out.endlessEntry = m_frame;
            m_passStarts[static_cast<size_t>(loop.level)] = m_frame;
        } else if (loop.op == LoopOp::LoopEnd && passes >= 0) {
            if (passes == 0 && !out.repeatStart) {
                out.repeatStart = m_passStarts[static_cast<size_t>(loop.level)];
                out.repeatEnd = m_frame;
            }
            if (++passes == m_options.markPasses && !out.endlessPassEnd) out.endlessPassEnd = m_frame;
        }
    }

    // The note table's index of a frequency that is exactly one of its entries.
    static int32_t noteIndexOf(T frequency) noexcept {
        int lo = 0;
        int hi = kNoteCount - 1;
        while (lo <= hi) {
            const int mid = (lo + hi) / 2;
            const T f = noteFrequency<T>(mid);
            if (f == frequency) return mid;
            if (f < frequency) lo = mid + 1;
            else hi = mid - 1;
        }
        return -1;
    }

    std::span<const MmlEvent<T>> m_events;
    const SourceSpans* m_spans;
    const TimelineOptions& m_options;
    int32_t m_index = 0;
    int32_t m_tempo = 0;
    int32_t m_volume = 0;
    int32_t m_pan = 0;
    int32_t m_tone = 0;
    double m_units = 0;
    std::array<int32_t, kToneSlots> m_waves{};
    std::array<int32_t, kMaxLoopLevels> m_endlessPasses{};
    std::array<uint64_t, kMaxLoopLevels> m_passStarts{};
    std::array<int32_t, kMaxLoopLevels> m_counters{};
    TimingLedger<T> m_ledger{};
    NoSampleCycleGuard<T> m_guard{};
    uint64_t m_frame = 0;
    uint64_t m_steps = 0;
    size_t m_noteCount = 0;
};

}  // namespace

template <EngineNumType T>
SongTimeline buildTimeline(const std::array<EventList<T>, kBankCount>& lists, const std::array<SourceSpans, kBankCount>* spans,
                           uint64_t commonLength, const TimelineOptions& options) {
    SongTimeline timeline;
    timeline.sampleRate = options.sampleRate;
    timeline.commonLength = commonLength;
    uint64_t cutAt = std::numeric_limits<uint64_t>::max();
    for (size_t b = 0; b < kBankCount; ++b) {
        BankWalk<T> walk(lists[b], spans ? &(*spans)[b] : nullptr, options);
        walk.run();
        if (walk.cut) cutAt = std::min(cutAt, walk.cutFrame());
        timeline.banks[b] = std::move(walk.out);
    }
    if (cutAt != std::numeric_limits<uint64_t>::max()) {
        // Every bank stops where the first bound fell, so that what is listed
        // is the whole song up to that frame.
        timeline.truncated = true;
        for (auto& bank : timeline.banks) {
            auto& notes = bank.notes;
            notes.erase(std::lower_bound(notes.begin(), notes.end(), cutAt,
                                         [](const TimelineNote& n, uint64_t f) { return n.start < f; }),
                        notes.end());
            bank.endFrame = std::min(bank.endFrame, cutAt);
        }
    }
    for (const auto& bank : timeline.banks) timeline.frames = std::max(timeline.frames, bank.endFrame);
    return timeline;
}

template SongTimeline buildTimeline<Fix>(const std::array<EventList<Fix>, kBankCount>&, const std::array<SourceSpans, kBankCount>*, uint64_t, const TimelineOptions&);
template SongTimeline buildTimeline<float>(const std::array<EventList<float>, kBankCount>&, const std::array<SourceSpans, kBankCount>*, uint64_t, const TimelineOptions&);
template SongTimeline buildTimeline<double>(const std::array<EventList<double>, kBankCount>&, const std::array<SourceSpans, kBankCount>*, uint64_t, const TimelineOptions&);

std::array<std::optional<size_t>, kBankCount> notesSoundingAt(const SongTimeline& timeline, uint64_t frame) noexcept {
    std::array<std::optional<size_t>, kBankCount> sounding{};
    for (size_t b = 0; b < kBankCount; ++b) {
        const auto& notes = timeline.banks[b].notes;
        // The last note starting at or before the frame; notes of no length
        // that share its start come before it.
        auto it = std::upper_bound(notes.begin(), notes.end(), frame,
                                   [](uint64_t f, const TimelineNote& n) { return f < n.start; });
        if (it == notes.begin()) continue;
        --it;
        if (frame - it->start < it->frames) sounding[b] = static_cast<size_t>(it - notes.begin());
    }
    return sounding;
}

bool repeatsEndlessly(const SongTimeline& timeline) noexcept {
    return std::any_of(timeline.banks.begin(), timeline.banks.end(),
                       [](const BankTimeline& b) { return b.repeatStart && b.repeatEnd > *b.repeatStart; });
}

BankFrames playbackFrames(const SongTimeline& timeline, uint64_t played, bool loopSong) noexcept {
    // A bank that repeats never finishes, and the song starts over only when all have.
    if (loopSong && timeline.frames > 0 && !repeatsEndlessly(timeline)) played %= timeline.frames;
    BankFrames frames;
    for (size_t b = 0; b < kBankCount; ++b) {
        const BankTimeline& bank = timeline.banks[b];
        frames[b] = played;
        if (!bank.repeatStart || played < *bank.repeatStart) continue;
        const uint64_t start = *bank.repeatStart;
        if (bank.repeatEnd <= start) frames[b] = std::nullopt;  // the player ends such a bank's pass at once
        else frames[b] = start + (played - start) % (bank.repeatEnd - start);
    }
    return frames;
}

std::array<std::optional<size_t>, kBankCount> notesSoundingAt(const SongTimeline& timeline, const BankFrames& frames) noexcept {
    std::array<std::optional<size_t>, kBankCount> sounding{};
    for (size_t b = 0; b < kBankCount; ++b)
        if (frames[b]) sounding[b] = notesSoundingAt(timeline, *frames[b])[b];
    return sounding;
}

std::pair<size_t, size_t> notesStartingIn(const BankTimeline& bank, uint64_t fromFrame, uint64_t toFrame) noexcept {
    const auto startsBefore = [](const TimelineNote& n, uint64_t f) { return n.start < f; };
    const auto first = std::lower_bound(bank.notes.begin(), bank.notes.end(), fromFrame, startsBefore);
    const auto last = std::lower_bound(first, bank.notes.end(), std::max(fromFrame, toFrame), startsBefore);
    return {static_cast<size_t>(first - bank.notes.begin()), static_cast<size_t>(last - bank.notes.begin())};
}

TimelineIndex::TimelineIndex(const SongTimeline& timeline) : m_timeline(&timeline) {
    for (size_t b = 0; b < kBankCount; ++b) {
        const auto& notes = timeline.banks[b].notes;
        auto& entries = m_entries[b];
        entries.reserve(notes.size() * 2);
        for (size_t i = 0; i < notes.size() && i < UINT32_MAX; ++i) {
            for (const TextSpan span : {notes[i].source.command, notes[i].source.call})
                if (span.valid()) entries.push_back(Entry{span.begin, span.length, static_cast<uint32_t>(i)});
        }
        // One entry per span, naming the first note it produced. Spans of
        // different commands never overlap, so sorting by the first byte
        // orders them along the text.
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& x, const Entry& y) { return x.begin != y.begin ? x.begin < y.begin : x.note < y.note; });
        entries.erase(std::unique(entries.begin(), entries.end(), [](const Entry& x, const Entry& y) { return x.begin == y.begin; }),
                      entries.end());
    }
}

std::optional<TimelineRef> TimelineIndex::noteAt(int tab, uint64_t offset) const { return find(tab, offset, false); }

std::optional<TimelineRef> TimelineIndex::noteAtOrAfter(int tab, uint64_t offset) const { return find(tab, offset, true); }

std::optional<TimelineRef> TimelineIndex::find(int tab, uint64_t offset, bool orAfter) const {
    if (tab < -1 || tab >= kBankCount) return std::nullopt;
    const uint64_t joined = joinedOffsetOf(tab, offset, m_timeline->commonLength);
    // The best hit, and the best of the commands after the offset: the nearest
    // one, then the earliest to sound, then the lower bank.
    std::optional<TimelineRef> hit;
    std::optional<TimelineRef> next;
    uint64_t nextBegin = 0;
    const auto startOf = [this](const TimelineRef& r) { return m_timeline->banks[static_cast<size_t>(r.bank)].notes[r.note].start; };
    const int first = tab < 0 ? 0 : tab;
    const int last = tab < 0 ? kBankCount - 1 : tab;
    for (int b = first; b <= last; ++b) {
        const auto& entries = m_entries[static_cast<size_t>(b)];
        auto it = std::upper_bound(entries.begin(), entries.end(), joined, [](uint64_t j, const Entry& e) { return j < e.begin; });
        if (it != entries.begin()) {
            const Entry& e = *(it - 1);
            if (joined - e.begin < e.length) {
                const TimelineRef r{b, e.note};
                if (!hit || startOf(r) < startOf(*hit)) hit = r;
                continue;
            }
        }
        if (orAfter && it != entries.end()) {
            const TimelineRef r{b, it->note};
            if (!next || it->begin < nextBegin || (it->begin == nextBegin && startOf(r) < startOf(*next))) {
                next = r;
                nextBegin = it->begin;
            }
        }
    }
    return hit ? hit : next;
}

}  // namespace tavolin
