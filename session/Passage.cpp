// SPDX-License-Identifier: MIT
// The passage rule: a selection or a ruler drag to frames of the song.
#include "session/Passage.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "document/UserTexts.h"
#include "output/Passage.h"
#include "output/SongBuilder.h"
#include "output/SongMap.h"

namespace tavolin::session {
namespace {

bool touches(const SongTimeline& t, TextSpan span, int bank, const LoopPick& pick) {
    if (!span.valid()) return false;
    const TabSpan at = t.tabSpan(span, bank);
    if (at.tab != pick.tab - 1 || at.length == 0) return false;
    if (pick.fromByte == pick.toByte) return pick.fromByte >= at.offset && pick.fromByte - at.offset < at.length;
    return at.offset < pick.toByte && pick.fromByte < at.offset + at.length;
}

std::optional<LoopSpan> dragSpan(const SongTimeline& timeline, std::pair<double, double> frames) {
    const double end = static_cast<double>(timeline.frames);
    const double a = std::clamp(std::min(frames.first, frames.second), 0.0, end);
    const double b = std::clamp(std::max(frames.first, frames.second), 0.0, end);
    const LoopSpan span{static_cast<uint64_t>(std::llround(a)), static_cast<uint64_t>(std::llround(b))};
    if (span.to <= span.from) return std::nullopt;
    return span;
}

}  // namespace

std::optional<LoopSpan> loopSpanOf(const SongTimeline& timeline, const LoopPick& pick, std::optional<uint64_t> playhead) {
    if (pick.frames) return dragSpan(timeline, *pick.frames);
    std::vector<LoopSpan> passes;  // pass k of every bank together
    bool sounding = false;
    std::vector<const TimelineNote*> touched;
    for (int b = 0; b < kBankCount; ++b) {
        touched.clear();
        int32_t last = -1;  // the touched record that stands last in the list
        for (const TimelineNote& n : timeline.banks[static_cast<size_t>(b)].notes) {
            if (n.frames == 0) continue;
            if (!touches(timeline, n.source.command, b, pick) && !touches(timeline, n.source.call, b, pick)) continue;
            touched.push_back(&n);
            last = std::max(last, n.eventIndex);
            sounding = sounding || n.frequency > 0;
        }
        size_t pass = 0;
        for (const TimelineNote* n : touched) {
            const LoopSpan note{n->start, n->start + n->frames};
            if (pass == passes.size()) {
                passes.push_back(note);
            } else {
                passes[pass].from = std::min(passes[pass].from, note.from);
                passes[pass].to = std::max(passes[pass].to, note.to);
            }
            if (n->eventIndex == last) ++pass;
        }
    }
    if (!sounding || passes.empty()) return std::nullopt;
    LoopSpan span = passes.front();
    if (playhead)
        for (const LoopSpan& p : passes)
            if (p.from <= *playhead && *playhead < p.to) {
                span = p;
                break;
            }
    span.to = std::min(span.to, timeline.frames);
    if (span.to <= span.from) return std::nullopt;
    return span;
}

PassageBetween passageBetween(const output::SongMap& map, const std::optional<output::PassagePoint>& from,
                              const std::optional<output::PassagePoint>& to) {
    const SongTimeline& t = map.timeline;
    PassageBetween p;
    p.songFrames = t.frames;
    p.rate = t.sampleRate;
    p.frames = {from ? output::passageFrame(map, *from) : 0, to ? output::passageFrame(map, *to) : t.frames};
    if (p.frames.to > t.frames) p.problem = PassageBetween::Problem::PastEnd;
    else if (p.frames.to <= p.frames.from) p.problem = PassageBetween::Problem::Empty;
    return p;
}

std::string loopStatusText(const LoopSpan& span, uint32_t rate) {
    return document::fillIn(document::fillIn(uiText(kMsgLoopPlaying), "from", output::songTimeText(span.from, rate)), "to",
                            output::songTimeText(span.to, rate));
}

std::string passageProblemText(const PassageBetween& passage, std::string_view fromName, std::string_view toName) {
    const auto time = [&](uint64_t frame) { return output::songTimeText(frame, passage.rate); };
    std::string text;
    switch (passage.problem) {
    case PassageBetween::Problem::None: break;
    case PassageBetween::Problem::PastEnd:
        text.append(toName).append(" lies past the song's end (" + time(passage.frames.to) + " > " + time(passage.songFrames) + ")");
        break;
    case PassageBetween::Problem::Empty:
        text.append("the passage is empty: ").append(toName).append(" (" + time(passage.frames.to) + ") must come after ");
        text.append(fromName).append(" (" + time(passage.frames.from) + ")");
        break;
    }
    return text;
}

TypedPoint passagePointNamed(std::string_view text, std::string_view name) {
    TypedPoint typed;
    typed.point = output::parsePassagePoint(text);
    if (!typed.point)
        typed.problem = std::string(name) + " wants a song time (1:23.5 or 83.5) or a caret TAB:OFFSET (A:120), not '" +
                        std::string(text) + "'";
    return typed;
}

NamedPassage passageNamed(const output::SongMap& map, std::string_view fromText, std::string_view toText,
                          std::string_view fromName, std::string_view toName) {
    NamedPassage named;
    std::optional<output::PassagePoint> points[2];
    const std::string_view texts[2] = {fromText, toText}, names[2] = {fromName, toName};
    for (size_t i = 0; i < 2; ++i) {
        if (texts[i].empty()) continue;
        TypedPoint typed = passagePointNamed(texts[i], names[i]);
        if (!typed.point) {
            named.problem = std::move(typed.problem);
            return named;
        }
        points[i] = typed.point;
    }
    const PassageBetween between = passageBetween(map, points[0], points[1]);
    named.span = between.span();
    named.problem = passageProblemText(between, fromName, toName);
    return named;
}

void setPlayMode(output::GeneratorWrapper& song, bool loop, bool passage) noexcept {
    if (passage) song.SetExportMode();
    else song.SetLoop(loop);
}

void enterPassage(output::GeneratorWrapper& song, const LivePassage& passage, const SkipTo& skip) {
    skipSong(song, passage.from, skip);
    song.setPassage(passage.to - passage.from, passage.loop);
}

void skipSong(output::GeneratorWrapper& song, uint64_t frame, const SkipTo& skip) {
    if (skip) skip(song, frame);
    else song.Skip(frame);
}

void placeSong(output::GeneratorWrapper& song, bool loop, const std::optional<LivePassage>& passage, const SkipTo& skip) {
    setPlayMode(song, loop, passage.has_value());
    if (passage) enterPassage(song, *passage, skip);
}

}  // namespace tavolin::session
