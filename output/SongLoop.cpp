// SPDX-License-Identifier: MIT
// The song's loop: the latest entry into an endless loop and the banks' common period.
#include "output/SongLoop.h"

#include <algorithm>
#include <cmath>

#include "output/SongBuilder.h"
#include "output/WavExport.h"

namespace tavolin::output {

std::optional<uint64_t> commonPassFrames(const std::vector<double>& meanPasses, int32_t measuredPasses, uint64_t maxFrames) {
    if (meanPasses.empty()) return std::nullopt;
    const double longest = *std::max_element(meanPasses.begin(), meanPasses.end());
    if (longest <= 0) return std::nullopt;
    const double n = std::max(measuredPasses, 1);
    // m stays below maxFrames / longest; the cap only bounds the search for
    // passes of a few frames.
    for (uint64_t m = 1; m < (uint64_t{1} << 24); ++m) {
        const double total = static_cast<double>(m) * longest;
        if (std::llround(total) > static_cast<long long>(maxFrames)) return std::nullopt;
        bool fits = true;
        for (const double pass : meanPasses) {
            const double k = std::round(total / pass);
            // A mean is off by less than 1/n frame per pass.
            const double slack = 1.0 + (static_cast<double>(m) + k) / n;
            if (k < 1 || std::abs(total - k * pass) > slack) {
                fits = false;
                break;
            }
        }
        if (fits) return static_cast<uint64_t>(std::llround(total));
    }
    return std::nullopt;
}

LoopAnalysis analyseLoop(const SongTimeline& timeline, int32_t measuredPasses) {
    LoopAnalysis out;
    uint64_t start = 0;
    std::vector<double> passes;
    for (const BankTimeline& bank : timeline.banks) {
        if (bank.endlessEntry && !bank.endlessPassEnd) {
            // Entered but never completed all its passes: a break leaves it
            // (in the last pass only once passes are counted), or the walk
            // was cut at its bounds before then.
            out.refusal = timeline.truncated ? LoopRefusal::TooLong : LoopRefusal::EndedByBreak;
            return out;
        }
        if (!bank.endlessEntry || !bank.repeatStart || bank.repeatEnd <= *bank.repeatStart) {
            // No repeating loop that takes time: the bank has gone quiet by
            // its end (playback ends a pass that takes no time at once).
            start = std::max(start, bank.repeatStart ? *bank.repeatStart : bank.endFrame);
            continue;
        }
        // The later passes' mean length. The first pass can differ: a tempo
        // set inside the loop holds from the loop's end into the next pass.
        // Such a bank repeats only from the end of its first pass.
        uint64_t entry = *bank.repeatStart;
        const double first = static_cast<double>(bank.repeatEnd - entry);
        const double later = measuredPasses > 1 ? static_cast<double>(*bank.endlessPassEnd - bank.repeatEnd) / (measuredPasses - 1) : first;
        if (std::abs(first - later) > 1.0) entry = bank.repeatEnd;
        start = std::max(start, entry);
        passes.push_back(later);
    }
    if (passes.empty()) {
        out.refusal = LoopRefusal::NoEndlessLoop;
        return out;
    }
    const std::optional<uint64_t> length = commonPassFrames(passes, measuredPasses, kMaxLoopSeconds * timeline.sampleRate);
    if (!length) {
        out.refusal = LoopRefusal::TooLong;
        return out;
    }
    out.loop = SongLoop{start, *length};
    out.refusal = LoopRefusal::None;
    return out;
}

LoopAnalysis songLoopOf(const GeneratorWrapper& song) {
    LoopAnalysis a = analyseLoop(lengthOf(song, kLoopMeasurePasses, kLoopMeasurePasses), kLoopMeasurePasses);
    if (a.loop) a.loop->start = a.loop->start > song.skippedFrames ? a.loop->start - song.skippedFrames : 0;
    return a;
}

std::string_view loopRefusalMessage(LoopRefusal refusal) noexcept {
    switch (refusal) {
    case LoopRefusal::None: return {};
    case LoopRefusal::NoEndlessLoop: return kNoLoopMessage;
    case LoopRefusal::EndedByBreak: return kLoopBreakMessage;
    case LoopRefusal::TooLong: return kLoopTooLongMessage;
    }
    return {};
}

}  // namespace tavolin::output
