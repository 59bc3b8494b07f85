// SPDX-License-Identifier: MIT
// The piano roll's model: lanes, note rectangles, grid, zoom, scroll and hit testing.
#include "window/PianoRoll.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "document/CaretMapping.h"

namespace tavolin::window {

namespace {

// A whole note, and a quarter, in the timeline's units.
constexpr double kBarUnits = 256;
constexpr double kBeatUnits = 64;
// Sums of tuplet lengths may miss a beat by a rounding step.
constexpr double kUnitSlack = 1e-6;
constexpr double kMinBarSpacing = 24;   // pixels between numbered bar lines
constexpr double kMinBeatSpacing = 8;   // pixels between beat lines
constexpr double kMinTickSpacing = 70;  // pixels between second labels
constexpr double kHitSlack = 3;         // pixels above and below a thin note
constexpr int kMinPitchRows = 12;

bool sounds(const TimelineNote& n) noexcept { return n.frequency > 0 && n.frames > 0; }

std::string clockLabel(double seconds, bool tenths) {
    const auto tenthsTotal = static_cast<int64_t>(std::llround(seconds * 10));
    char buf[32];
    if (tenths)
        std::snprintf(buf, sizeof buf, "%lld:%02lld.%lld", static_cast<long long>(tenthsTotal / 600),
                      static_cast<long long>(tenthsTotal / 10 % 60), static_cast<long long>(tenthsTotal % 10));
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", static_cast<long long>(tenthsTotal / 600),
                      static_cast<long long>(tenthsTotal / 10 % 60));
    return buf;
}

}  // namespace

std::optional<TimelineRef> caretNote(const output::SongMap& map, int tab, uint64_t byte, std::optional<TimelineRef> kept) {
    if (!map.ok() || !map.index || tab < 0 || tab > kBankCount) return std::nullopt;
    const SongTimeline& t = map.timeline;
    if (kept && kept->bank >= 0 && kept->bank < kBankCount && kept->note < t.banks[static_cast<size_t>(kept->bank)].notes.size()) {
        const TimelineNote& n = t.banks[static_cast<size_t>(kept->bank)].notes[kept->note];
        for (const TextSpan span : {n.source.command, n.source.call}) {
            if (!span.valid()) continue;
            const TabSpan at = t.tabSpan(span, kept->bank);
            if (at.tab == tab - 1 && byte >= at.offset && byte < at.offset + at.length) return kept;
        }
    }
    if (auto ref = map.index->noteAtOrAfter(tab - 1, byte)) return ref;
    if (byte > 0) return map.index->noteAt(tab - 1, byte - 1);
    return std::nullopt;
}

double PianoRoll::pitchOf(const TimelineNote& note) noexcept {
    if (note.noteIndex >= 0) return note.noteIndex;
    return note.frequency > 0 ? 57 + 12 * std::log2(note.frequency / 440.0) : 0;
}

void PianoRoll::setSong(std::shared_ptr<const output::SongMap> map) {
    if (!map || !map->ok()) {
        // Keep drawing the last song that compiled.
        m_stale = m_song != nullptr;
        if (!m_song) m_highlight.reset();
        return;
    }
    const bool same = map == m_song;
    m_stale = false;
    if (same) return;
    // A compile of the same text (a setting changed, the caret moved with play
    // from the cursor on) keeps the highlighted note: a clicked fourth pass
    // must not fall back to the first.
    const TimelineNote* old = m_highlight ? noteOf(*m_highlight) : nullptr;
    const std::optional<RecordSource> was = old ? std::optional(old->source) : std::nullopt;
    const auto kept = m_highlight;
    m_song = std::move(map);
    m_highlight.reset();
    if (const TimelineNote* now = was ? noteOf(*kept) : nullptr;
        now && now->source.command == was->command && now->source.call == was->call)
        m_highlight = kept;
    for (int b = 0; b < kBankCount; ++b) {
        double low = 1e9;
        double high = -1e9;
        for (const TimelineNote& n : m_song->timeline.banks[static_cast<size_t>(b)].notes) {
            if (!sounds(n)) continue;
            low = std::min(low, pitchOf(n));
            high = std::max(high, pitchOf(n));
        }
        Pitches p;
        if (low <= high) {
            p.low = std::floor(low);
            p.high = std::ceil(high);
            // At least an octave, centred on the notes: one note must not fill the lane.
            const double missing = kMinPitchRows - (p.high - p.low + 1);
            if (missing > 0) {
                p.low -= std::floor(missing / 2);
                p.high += std::ceil(missing / 2);
            }
        }
        m_pitches[static_cast<size_t>(b)] = p;
    }
    if (!m_userZoomed) fitSong();
    clampView();
}

void PianoRoll::resize(double width, double height) {
    m_width = std::max(0.0, width);
    m_height = std::max(0.0, height);
    if (!m_userZoomed) fitSong();
    clampView();
}

double PianoRoll::rate() const noexcept {
    return m_song && m_song->timeline.sampleRate ? static_cast<double>(m_song->timeline.sampleRate) : 48000.0;
}

double PianoRoll::songSeconds() const noexcept {
    return m_song ? static_cast<double>(m_song->timeline.frames) / rate() : 0;
}

double PianoRoll::plotWidth() const noexcept { return std::max(1.0, m_width - kHeaderWidth); }

double PianoRoll::scrollRangePixels() const noexcept {
    return std::max(0.0, songSeconds() * m_pixelsPerSecond - plotWidth());
}

void PianoRoll::clampView() {
    m_pixelsPerSecond = std::clamp(m_pixelsPerSecond, kMinPixelsPerSecond, kMaxPixelsPerSecond);
    const double last = std::max(0.0, songSeconds() - plotWidth() / m_pixelsPerSecond);
    m_viewStart = std::clamp(m_viewStart, 0.0, last);
}

void PianoRoll::fitSong() {
    m_userZoomed = false;
    const double seconds = songSeconds();
    m_pixelsPerSecond = seconds > 0 ? plotWidth() / seconds : 100;
    m_viewStart = 0;
    clampView();
}

void PianoRoll::zoomAt(double x, double factor) {
    if (!(factor > 0)) return;
    const double seconds = m_viewStart + (x - kHeaderWidth) / m_pixelsPerSecond;
    m_pixelsPerSecond = std::clamp(m_pixelsPerSecond * factor, kMinPixelsPerSecond, kMaxPixelsPerSecond);
    m_viewStart = seconds - (x - kHeaderWidth) / m_pixelsPerSecond;
    m_userZoomed = true;
    clampView();
}

void PianoRoll::scrollBy(double dxPixels) { setScrollPixels(scrollPixels() + dxPixels); }

void PianoRoll::setScrollPixels(double pixels) {
    m_viewStart = pixels / m_pixelsPerSecond;
    clampView();
}

double PianoRoll::xOfFrame(double frame) const noexcept {
    return kHeaderWidth + (frame / rate() - m_viewStart) * m_pixelsPerSecond;
}

double PianoRoll::frameAtX(double x) const noexcept {
    return (m_viewStart + (x - kHeaderWidth) / m_pixelsPerSecond) * rate();
}

RollRect PianoRoll::laneRect(int bank) const noexcept {
    // Banks with notes share what the silent ones leave.
    std::array<bool, kBankCount> full{};
    int fullCount = 0;
    for (int b = 0; b < kBankCount; ++b) {
        full[static_cast<size_t>(b)] = !m_song || !m_song->timeline.banks[static_cast<size_t>(b)].notes.empty();
        fullCount += full[static_cast<size_t>(b)] ? 1 : 0;
    }
    const double lanes = std::max(0.0, m_height - kRulerHeight);
    const double fullHeight =
        fullCount ? std::max(kSilentLaneHeight, (lanes - (kBankCount - fullCount) * kSilentLaneHeight) / fullCount) : 0;
    double y = kRulerHeight;
    for (int b = 0; b < bank; ++b) y += full[static_cast<size_t>(b)] ? fullHeight : kSilentLaneHeight;
    return {kHeaderWidth, y, plotWidth(), full[static_cast<size_t>(bank)] ? fullHeight : kSilentLaneHeight};
}

double PianoRoll::rowHeight(int bank) const noexcept {
    const Pitches& p = m_pitches[static_cast<size_t>(bank)];
    return std::max(0.0, laneRect(bank).height - 2 * kLanePad) / (p.high - p.low + 1);
}

double PianoRoll::yOfPitch(int bank, double pitch) const noexcept {
    return laneRect(bank).y + kLanePad + (m_pitches[static_cast<size_t>(bank)].high - pitch) * rowHeight(bank);
}

std::optional<TimelineRef> PianoRoll::step(Step how) const {
    if (!m_song) return std::nullopt;
    const auto& banks = m_song->timeline.banks;
    const auto isNote = [&](int bank, size_t i) { return banks[static_cast<size_t>(bank)].notes[i].frequency > 0; };
    std::optional<TimelineRef> from = m_highlight;
    if (!from || !noteOf(*from)) {
        // Nothing highlighted: the first note in view, top lane first.
        for (int b = 0; b < kBankCount; ++b) {
            const auto& notes = banks[static_cast<size_t>(b)].notes;
            for (size_t i = firstEndingAfter(b, frameAtX(plotLeft())); i < notes.size(); ++i)
                if (isNote(b, i)) return TimelineRef{b, i};
        }
        return std::nullopt;
    }
    const auto& notes = banks[static_cast<size_t>(from->bank)].notes;
    if (how == Step::Next || how == Step::Previous) {
        for (size_t i = from->note; how == Step::Next ? i + 1 < notes.size() : i > 0;) {
            i = how == Step::Next ? i + 1 : i - 1;
            if (isNote(from->bank, i)) return TimelineRef{from->bank, i};
        }
        return std::nullopt;
    }
    const uint64_t at = notes[from->note].start;
    for (int b = from->bank + (how == Step::BankBelow ? 1 : -1); b >= 0 && b < kBankCount; b += how == Step::BankBelow ? 1 : -1) {
        const auto& other = banks[static_cast<size_t>(b)].notes;
        std::optional<size_t> best;
        uint64_t bestDistance = 0;
        for (size_t i = firstEndingAfter(b, static_cast<double>(at)); i < other.size(); ++i) {
            if (!isNote(b, i)) continue;
            best = i;  // sounding at `at` or the next after it
            bestDistance = other[i].start > at ? other[i].start - at : 0;
            break;
        }
        // The last note before it may be nearer.
        for (size_t i = std::min(firstEndingAfter(b, static_cast<double>(at)), other.size()); i-- > 0;) {
            if (!isNote(b, i)) continue;
            const uint64_t end = other[i].start + other[i].frames;
            if (!best || at - std::min(at, end) < bestDistance) best = i;
            break;
        }
        if (best) return TimelineRef{b, *best};
    }
    return std::nullopt;
}

std::optional<PianoRoll::Stretch> PianoRoll::stepTo(Step how, bool extend) {
    const std::optional<TimelineRef> from = m_highlight;
    const std::optional<TimelineRef> to = step(how);
    if (!to) return std::nullopt;
    // A stretch goes on from where the last one stopped; a click or a plain step in between starts anew.
    const bool goesOn = extend && m_stretchAnchor && from && m_stretchLast == from && m_stretchAnchor->bank == to->bank;
    if (!goesOn) m_stretchAnchor = extend && from && from->bank == to->bank ? *from : *to;
    m_stretchLast = to;
    m_highlight = to;
    scrollToShow(*to);
    return Stretch{to->bank, std::min(m_stretchAnchor->note, to->note), std::max(m_stretchAnchor->note, to->note)};
}

std::optional<RollSelection> PianoRoll::selectionOf(const Stretch& stretch, const document::TabTexts& texts) const {
    auto first = selectionOf(TimelineRef{stretch.bank, stretch.first}, texts);
    if (!first || stretch.last == stretch.first) return first;
    if (const auto last = selectionOf(TimelineRef{stretch.bank, stretch.last}, texts); last && last->tab == first->tab) {
        first->range.start = std::min(first->range.start, last->range.start);
        first->range.end = std::max(first->range.end, last->range.end);
    }
    return first;
}

const TimelineNote* PianoRoll::noteOf(TimelineRef ref) const noexcept {
    if (!m_song || ref.bank < 0 || ref.bank >= kBankCount) return nullptr;
    const auto& notes = m_song->timeline.banks[static_cast<size_t>(ref.bank)].notes;
    return ref.note < notes.size() ? &notes[ref.note] : nullptr;
}

RollRect PianoRoll::noteRect(TimelineRef ref) const noexcept {
    const TimelineNote* n = noteOf(ref);
    if (!n) return {};
    const double x0 = xOfFrame(static_cast<double>(n->start));
    const double x1 = xOfFrame(static_cast<double>(n->start + n->frames));
    if (n->frequency <= 0) {
        const RollRect lane = laneRect(ref.bank);
        return {x0, lane.y, x1 - x0, lane.height};
    }
    return {x0, yOfPitch(ref.bank, pitchOf(*n)), x1 - x0, rowHeight(ref.bank)};
}

size_t PianoRoll::firstEndingAfter(int bank, double frame) const noexcept {
    const auto& notes = m_song->timeline.banks[static_cast<size_t>(bank)].notes;
    // Starts never decrease and a bank plays one note at a time, so ends never decrease either.
    return static_cast<size_t>(std::partition_point(notes.begin(), notes.end(),
                                                    [frame](const TimelineNote& n) {
                                                        return static_cast<double>(n.start + n.frames) <= frame;
                                                    }) -
                               notes.begin());
}

std::vector<RollNote> PianoRoll::visibleNotes(int bank) const {
    std::vector<RollNote> out;
    if (!m_song) return out;
    const auto& notes = m_song->timeline.banks[static_cast<size_t>(bank)].notes;
    const double last = frameAtX(kHeaderWidth + plotWidth());
    // Zoomed far out, many notes share a pixel column: each row of a column
    // is listed once, so a long song costs no more to draw than the plot has pixels.
    double column = -1;
    std::vector<double> rowsInColumn;
    for (size_t i = firstEndingAfter(bank, frameAtX(kHeaderWidth)); i < notes.size(); ++i) {
        const TimelineNote& n = notes[i];
        if (static_cast<double>(n.start) >= last) break;
        if (!sounds(n)) continue;
        const RollRect r = noteRect({bank, i});
        if (r.width < 1) {
            if (std::floor(r.x) != column) {
                column = std::floor(r.x);
                rowsInColumn.clear();
            }
            if (std::find(rowsInColumn.begin(), rowsInColumn.end(), r.y) != rowsInColumn.end()) continue;
            rowsInColumn.push_back(r.y);
        }
        out.push_back({{bank, i}, r, n.slurred});
    }
    return out;
}

std::vector<RollGridLine> PianoRoll::gridLines(int bank) const {
    std::vector<RollGridLine> out;
    if (!m_song) return out;
    const auto& notes = m_song->timeline.banks[static_cast<size_t>(bank)].notes;
    const double last = frameAtX(kHeaderWidth + plotWidth());
    // Every note and rest carries its musical start and length: a beat that
    // falls inside it lies at the same fraction of its frames, so the grid
    // follows every tempo change exactly.
    for (size_t i = firstEndingAfter(bank, frameAtX(kHeaderWidth)); i < notes.size(); ++i) {
        const TimelineNote& n = notes[i];
        if (static_cast<double>(n.start) >= last) break;
        if (n.units <= 0 || n.frames == 0) continue;
        const double pixelsPerUnit = static_cast<double>(n.frames) / n.units / rate() * m_pixelsPerSecond;
        const bool beats = pixelsPerUnit * kBeatUnits >= kMinBeatSpacing;
        // Bars every 1, 2, 4, ... so that numbered lines keep their distance.
        int64_t barStride = 1;
        while (pixelsPerUnit * kBarUnits * static_cast<double>(barStride) < kMinBarSpacing && barStride < (int64_t{1} << 40))
            barStride *= 2;
        const double end = n.unitStart + n.units;
        for (auto k = static_cast<int64_t>(std::ceil(n.unitStart / kBeatUnits - kUnitSlack));
             static_cast<double>(k) * kBeatUnits < end - kUnitSlack; ++k) {
            const bool barStart = k % 4 == 0;
            const int64_t bar = k / 4;
            if (barStart ? bar % barStride != 0 : !beats) continue;
            const double x = xOfFrame(static_cast<double>(n.start) +
                                      (static_cast<double>(k) * kBeatUnits - n.unitStart) / n.units * static_cast<double>(n.frames));
            out.push_back({x, barStart ? bar + 1 : 0});
        }
    }
    return out;
}

std::vector<RollTick> PianoRoll::secondTicks() const {
    std::vector<RollTick> out;
    static constexpr double kSteps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1800, 3600};
    double step = kSteps[std::size(kSteps) - 1];
    for (double s : kSteps)
        if (s * m_pixelsPerSecond >= kMinTickSpacing) {
            step = s;
            break;
        }
    const double end = m_viewStart + plotWidth() / m_pixelsPerSecond;
    for (double k = std::ceil(m_viewStart / step - 1e-9); k * step <= end; ++k) {
        const double seconds = k * step;
        out.push_back({kHeaderWidth + (seconds - m_viewStart) * m_pixelsPerSecond, clockLabel(seconds, step < 1)});
    }
    return out;
}

std::optional<TimelineRef> PianoRoll::noteAt(double x, double y) const {
    if (!m_song || x < kHeaderWidth) return std::nullopt;
    for (int b = 0; b < kBankCount; ++b) {
        const RollRect lane = laneRect(b);
        if (y < lane.y || y >= lane.y + lane.height) continue;
        const auto& notes = m_song->timeline.banks[static_cast<size_t>(b)].notes;
        const double frame = frameAtX(x);
        const size_t i = firstEndingAfter(b, frame);
        if (i >= notes.size() || static_cast<double>(notes[i].start) > frame || !sounds(notes[i])) return std::nullopt;
        const RollRect r = noteRect({b, i});
        if (y < r.y - kHitSlack || y >= r.y + r.height + kHitSlack) return std::nullopt;
        return TimelineRef{b, i};
    }
    return std::nullopt;
}

std::optional<RollSelection> PianoRoll::selectionOf(TimelineRef ref, const document::TabTexts& texts) const {
    const TimelineNote* n = noteOf(ref);
    if (!n || m_stale || !n->source.command.valid()) return std::nullopt;
    const TabSpan at = m_song->timeline.tabSpan(n->source.command, ref.bank);
    if (at.tab < -1) return std::nullopt;  // the internal default code: not in any tab
    const std::string& text = texts[static_cast<size_t>(at.tab + 1)];
    if (at.offset >= text.size()) return std::nullopt;
    return RollSelection{at.tab + 1, {document::byteOffsetToUnit(text, at.offset), document::byteOffsetToUnit(text, at.offset + at.length, true)}};
}

std::optional<RollSelection> PianoRoll::selectionAt(double x, double y, const document::TabTexts& texts) const {
    const auto ref = noteAt(x, y);
    return ref ? selectionOf(*ref, texts) : std::nullopt;
}

bool PianoRoll::setCaret(int tab, uint64_t byte) {
    const auto before = m_highlight;
    if (!m_song || m_stale || !m_song->index || tab < 0 || tab > kBankCount) {
        m_highlight.reset();
        return before.has_value();
    }
    m_highlight = caretNote(*m_song, tab, byte, m_highlight);
    if (m_highlight == before) return false;
    const bool moved = m_highlight && m_highlight != before && scrollToShow(*m_highlight);
    return moved || m_highlight != before;
}

bool PianoRoll::scrollToShow(TimelineRef ref) {
    const TimelineNote* n = noteOf(ref);
    if (!n) return false;
    const double x0 = xOfFrame(static_cast<double>(n->start));
    const double x1 = xOfFrame(static_cast<double>(n->start + n->frames));
    const double right = kHeaderWidth + plotWidth();
    if (x0 >= kHeaderWidth && (x1 <= right || x0 <= kHeaderWidth + plotWidth() / 4)) return false;
    const double before = m_viewStart;
    m_viewStart = static_cast<double>(n->start) / rate() - plotWidth() / 4 / m_pixelsPerSecond;
    clampView();
    return m_viewStart != before;
}

std::optional<double> PianoRoll::playheadX(uint64_t frame) const noexcept {
    const double x = xOfFrame(static_cast<double>(frame));
    if (x < kHeaderWidth || x > kHeaderWidth + plotWidth()) return std::nullopt;
    return x;
}

bool PianoRoll::follow(uint64_t frame) {
    const double x = xOfFrame(static_cast<double>(frame));
    // Turn the page a little before the edge; the playhead goes on from a tenth in.
    if (x >= kHeaderWidth && x <= kHeaderWidth + plotWidth() * 0.95) return false;
    const double before = m_viewStart;
    m_viewStart = static_cast<double>(frame) / rate() - plotWidth() * 0.1 / m_pixelsPerSecond;
    clampView();
    return m_viewStart != before;
}

std::optional<RollRect> PianoRoll::passageRect() const noexcept {
    if (!m_passage || !m_song) return std::nullopt;
    const double left = std::max(xOfFrame(static_cast<double>(m_passage->first)), kHeaderWidth);
    const double right = std::min(xOfFrame(static_cast<double>(m_passage->second)), kHeaderWidth + plotWidth());
    if (right <= left) return std::nullopt;
    return RollRect{left, 0, right - left, m_height};
}

}  // namespace tavolin::window
