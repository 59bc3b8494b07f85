// SPDX-License-Identifier: MIT
// Hand-made Standard MIDI Files for the reader and import tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

namespace tavolin::testing {

inline std::string b(std::initializer_list<int> bytes) {
    std::string s;
    for (int v : bytes) s.push_back(static_cast<char>(v));
    return s;
}
inline std::string be32(size_t v) { return b({static_cast<int>(v >> 24 & 0xFF), static_cast<int>(v >> 16 & 0xFF), static_cast<int>(v >> 8 & 0xFF), static_cast<int>(v & 0xFF)}); }
inline std::string header(int format, int tracks, int division = 96) {
    return "MThd" + be32(6) + b({0, format, tracks >> 8, tracks & 0xFF, division >> 8, division & 0xFF});
}
// A track chunk of `events` followed by end of track.
inline std::string track(const std::string& events) {
    const std::string body = events + b({0, 0xFF, 0x2F, 0});
    return "MTrk" + be32(body.size()) + body;
}

inline std::string vlq(uint32_t v) {
    std::string s(1, static_cast<char>(v & 0x7F));
    while ((v >>= 7) != 0) s.insert(s.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    return s;
}
inline std::string tempoMeta(uint32_t us) { return b({0xFF, 0x51, 3, static_cast<int>(us >> 16 & 0xFF), static_cast<int>(us >> 8 & 0xFF), static_cast<int>(us & 0xFF)}); }

// A note from tick `start` to tick `end` (velocity 100), and any other event at a tick.
struct TestNote {
    int channel;
    int key;
    uint32_t start;
    uint32_t end;
};
struct TestEvent {
    uint32_t tick;
    std::string bytes;  // status and data, or FF type length data
};
// The events in time order with their delta times; at one tick note-offs
// come first, then the other events, then note-ons.
inline std::string events(const std::vector<TestNote>& notes, const std::vector<TestEvent>& others = {}) {
    std::vector<std::tuple<uint32_t, int, std::string>> all;
    for (const TestEvent& e : others) all.emplace_back(e.tick, 1, e.bytes);
    for (const TestNote& n : notes) {
        all.emplace_back(n.start, 2, b({0x90 | n.channel, n.key, 100}));
        all.emplace_back(n.end, 0, b({0x80 | n.channel, n.key, 0}));
    }
    std::stable_sort(all.begin(), all.end(), [](const auto& x, const auto& y) {
        return std::get<0>(x) != std::get<0>(y) ? std::get<0>(x) < std::get<0>(y) : std::get<1>(x) < std::get<1>(y);
    });
    std::string s;
    uint32_t at = 0;
    for (const auto& [tick, order, bytes] : all) {
        s += vlq(tick - at) + bytes;
        at = tick;
    }
    return s;
}

}  // namespace tavolin::testing
