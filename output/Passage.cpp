// SPDX-License-Identifier: MIT
// Passage points: song times and carets to frames of the song's timeline.
#include "output/Passage.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

namespace tavolin::output {
namespace {

// Digits with at most one decimal point; nullopt for anything else.
std::optional<double> decimal(std::string_view text) {
    if (text.empty() || text.size() > 32) return std::nullopt;
    bool digits = false, point = false;
    for (char c : text) {
        if (c == '.') {
            if (point) return std::nullopt;
            point = true;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            digits = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    return std::stod(std::string(text));
}

}  // namespace

std::optional<PassagePoint> parsePassagePoint(std::string_view text) {
    const size_t colon = text.find(':');
    PassagePoint p;
    if (colon != std::string_view::npos && colon > 0 && std::isalpha(static_cast<unsigned char>(text[0]))) {
        std::string tab(text.substr(0, colon));
        for (char& c : tab) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (tab == "COMMON") p.tab = -1;
        else if (tab.size() == 1 && tab[0] >= 'A' && tab[0] <= 'E') p.tab = tab[0] - 'A';
        else return std::nullopt;
        const std::string_view digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 18) return std::nullopt;
        for (char c : digits)
            if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        p.caret = true;
        p.offset = std::stoull(std::string(digits));
        return p;
    }
    if (colon == std::string_view::npos) {
        const std::optional<double> s = decimal(text);
        if (!s) return std::nullopt;
        p.seconds = *s;
        return p;
    }
    const std::string_view minutes = text.substr(0, colon);
    if (minutes.find('.') != std::string_view::npos) return std::nullopt;
    const std::optional<double> m = decimal(minutes);
    const std::optional<double> s = decimal(text.substr(colon + 1));
    if (!m || !s || *s >= 60 || text[colon + 1] == '.') return std::nullopt;
    p.seconds = *m * 60 + *s;
    return p;
}

uint64_t passageFrame(const SongMap& map, const PassagePoint& point) {
    const SongTimeline& t = map.timeline;
    if (!point.caret) return static_cast<uint64_t>(std::llround(point.seconds * t.sampleRate));
    if (!map.index) return t.frames;
    const std::optional<TimelineRef> ref = map.index->noteAtOrAfter(point.tab, point.offset);
    if (!ref) return t.frames;
    return t.banks[static_cast<size_t>(ref->bank)].notes[ref->note].start;
}

std::string songTimeText(uint64_t frame, uint32_t rate) {
    const uint64_t ms = rate == 0 ? 0 : frame * 1000 / rate;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%llu:%02llu.%03llu", static_cast<unsigned long long>(ms / 60000),
                  static_cast<unsigned long long>(ms / 1000 % 60), static_cast<unsigned long long>(ms % 1000));
    return buf;
}

}  // namespace tavolin::output
