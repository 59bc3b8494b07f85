// The window's song map: compile with sources, then the timeline and its caret index.
#include "output/SongMap.h"

namespace tavolin::output {
namespace {

template <EngineNumType T>
void compileMap(const PlayTexts& texts, SongMap& map, const TimelineOptions& bounds) {
    std::array<EventList<T>, kBankCount> lists;
    std::array<SourceSpans, kBankCount> spans;
    map.result = CompileBanks<T>(texts.common, texts.banks, texts.cursorBank, texts.cursorOffset, lists, &spans);
    if (map.result.code != 0) return;
    TimelineOptions options = bounds;
    options.sampleRate = map.sampleRateHz;
    options.exportPasses = 1;
    map.timeline = buildTimeline<T>(lists, &spans, texts.common.size(), options);
    map.index = std::make_unique<TimelineIndex>(map.timeline);
}

}  // namespace

std::shared_ptr<const SongMap> buildSongMap(const BuildInputs& inputs, bool testMode, const TimelineOptions& bounds) {
    auto map = std::make_shared<SongMap>();
    map->sampleRateHz = parseRateText(inputs.rateText);
    PlayTexts texts;
    if (!selectPlayTexts(inputs, testMode, texts) || map->sampleRateHz < kMinSampleRate || map->sampleRateHz > kMaxSampleRate) {
        map->result.bank = -3;
        return map;
    }
    switch (inputs.arithIndex) {
    case 0: compileMap<Fix>(texts, *map, bounds); break;
    case 1: compileMap<float>(texts, *map, bounds); break;
    case 2: compileMap<double>(texts, *map, bounds); break;
    default: map->result.bank = -3; break;
    }
    return map;
}

}  // namespace tavolin::output
