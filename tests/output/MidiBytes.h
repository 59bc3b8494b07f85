// Hand-made Standard MIDI Files for the reader and import tests.
#pragma once

#include <initializer_list>
#include <string>

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

}  // namespace tavolin::testing
