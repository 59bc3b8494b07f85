// Looping a passage: a selection or a ruler drag to frames of the song.
#include "editor/PassageLoop.h"

#include <algorithm>
#include <cmath>

#include "editor/UserTexts.h"
#include "output/Passage.h"

namespace tavolin::editor {
namespace {

bool touches(const SongTimeline& t, TextSpan span, int bank, const LoopPick& pick) {
    if (!span.valid()) return false;
    const TabSpan at = t.tabSpan(span, bank);
    if (at.tab != pick.tab - 1 || at.length == 0) return false;
    if (pick.fromByte == pick.toByte) return pick.fromByte >= at.offset && pick.fromByte - at.offset < at.length;
    return at.offset < pick.toByte && pick.fromByte < at.offset + at.length;
}

}  // namespace

std::optional<LoopSpan> loopSpanOf(const SongTimeline& timeline, const LoopPick& pick) {
    if (pick.frames) {
        const double end = static_cast<double>(timeline.frames);
        const double a = std::clamp(std::min(pick.frames->first, pick.frames->second), 0.0, end);
        const double b = std::clamp(std::max(pick.frames->first, pick.frames->second), 0.0, end);
        const LoopSpan span{static_cast<uint64_t>(std::llround(a)), static_cast<uint64_t>(std::llround(b))};
        if (span.to <= span.from) return std::nullopt;
        return span;
    }
    std::optional<LoopSpan> span;
    bool sounding = false;
    for (int b = 0; b < kBankCount; ++b) {
        for (const TimelineNote& n : timeline.banks[static_cast<size_t>(b)].notes) {
            if (n.frames == 0) continue;
            if (!touches(timeline, n.source.command, b, pick) && !touches(timeline, n.source.call, b, pick))
                continue;
            sounding = sounding || n.frequency > 0;
            const uint64_t end = n.start + n.frames;
            if (!span) span = LoopSpan{n.start, end};
            span->from = std::min(span->from, n.start);
            span->to = std::max(span->to, end);
        }
    }
    if (!sounding) return std::nullopt;
    span->to = std::min(span->to, timeline.frames);
    if (span->to <= span->from) return std::nullopt;
    return span;
}

std::string loopStatusText(const LoopSpan& span, uint32_t rate) {
    return fillIn(fillIn(uiText(kMsgLoopPlaying), "from", output::songTimeText(span.from, rate)), "to",
                  output::songTimeText(span.to, rate));
}

}  // namespace tavolin::editor
