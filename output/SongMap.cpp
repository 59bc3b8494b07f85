// SPDX-License-Identifier: MIT
// The window's song map: compile with sources, then the timeline and its caret index.
#include "output/SongMap.h"

namespace tavolin::output {
namespace {

// The banks after the first failing one, each compiled on its own with the
// common text in front, as Play would compile it.
template <EngineNumType T>
void findLaterErrors(const PlayTexts& texts, SongMap& map) {
    map.errors.push_back(map.result);
    if (map.result.bank < 0) return;
    const uint64_t bankStart = kInternalDefaultCode.size() + texts.common.size();
    std::string joined;
    for (int u = static_cast<int>(map.result.bank) + 1; u < kBankCount; ++u) {
        const std::string_view own = texts.banks[static_cast<size_t>(u)];
        joined.assign(kInternalDefaultCode).append(texts.common).append(own);
        uint64_t start = 0;
        if (u == texts.cursorBank)
            start = texts.cursorOffset > UINT64_MAX - 1 - bankStart ? UINT64_MAX - 1 : texts.cursorOffset + bankStart;
        EventList<T> list;
        uint64_t errorPosition = 0;
        int32_t code = 0;
        if (ParseMml<T>(kMaxLevel, joined, list, errorPosition, code, start)) continue;
        const ErrorLocation at = locateError(errorPosition, texts.common.size(), u);
        map.errors.push_back({code, at.bank, at.position});
    }
}

template <EngineNumType T>
void compileMap(const PlayTexts& texts, SongMap& map, const TimelineOptions& bounds) {
    std::array<EventList<T>, kBankCount> lists;
    std::array<SourceSpans, kBankCount> spans;
    map.result = CompileBanks<T>(texts.common, texts.banks, texts.cursorBank, texts.cursorOffset, lists, &spans);
    if (map.result.code != 0) {
        findLaterErrors<T>(texts, map);
        return;
    }
    TimelineOptions options = bounds;
    options.sampleRate = map.sampleRateHz;
    options.exportPasses = 1;
    map.timeline = buildTimeline<T>(lists, &spans, texts.common.size(), options);
    map.index = std::make_unique<TimelineIndex>(map.timeline);
}

}  // namespace

std::shared_ptr<const SongMap> buildSongMap(const BuildInputs& inputs, bool testMode, const TimelineOptions& bounds) {
    auto map = std::make_shared<SongMap>();
    map->sampleRateHz = inputs.sampleRateHz;
    PlayTexts texts;
    map->refusal = !selectPlayTexts(inputs, testMode, texts) ? Refusal::CommonOnly
                   : !validSampleRate(map->sampleRateHz)        ? Refusal::BadRate
                   : !isArith(inputs.arith)                     ? Refusal::NoArithmetic
                                                                : Refusal::None;
    if (map->refusal != Refusal::None) {
        map->result.bank = -3;
        return map;
    }
    withArith(inputs.arith, [&]<EngineNumType T>() { compileMap<T>(texts, *map, bounds); });
    return map;
}

}  // namespace tavolin::output
