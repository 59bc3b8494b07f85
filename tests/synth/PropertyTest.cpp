// SPDX-License-Identifier: MIT
// Whole-render properties: pitch accuracy, agreement of the three arithmetic
// types, and reproducibility.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "SynthTestUtil.h"

namespace tavolin::test {
namespace {

template <typename T>
class Property : public ::testing::Test {};
TYPED_TEST_SUITE(Property, EngineTypes);

// Frequency from the upward zero crossings of a signal.
double measuredFrequency(const std::vector<int16_t>& s, double rate) {
    std::vector<size_t> ups;
    for (size_t i = 1; i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0) ups.push_back(i);
    if (ups.size() < 2) return 0;
    return rate * static_cast<double>(ups.size() - 1) / static_cast<double>(ups.back() - ups.front());
}

TYPED_TEST(Property, A4RendersAt440InEveryPitchedWave) {
    using T = TypeParam;
    for (Wave w : {Wave::Square, Wave::Triangle, Wave::Sawtooth, Wave::Sine}) {
        for (float duty : {50.0f, 25.0f}) {
            ListBuilder<T> b;
            b.prologue().flatLeft().wave(w, {duty}).note(440, 512);
            auto p = makePlayer<T>(b.list());
            const double f = measuredFrequency(renderLeft(*p, 96000), 48000);
            EXPECT_NEAR(f, 440.0, 440.0 * 0.002) << "wave " << static_cast<int>(w) << " duty " << duty;
        }
    }
}

// A short song touching every feature: waves, duty lists with switching,
// frequency and level noise, an envelope, a faded-in vibrato, tremolo, a
// slur with portamento, rests, and a loop.
template <EngineNumType T>
EventList<T> featureSong() {
    ListBuilder<T> b;
    b.prologue().tempo(150).volume(200).pan(100).envelope(-1, 15, 40, 60, 255, 180).selectEnvelope(0);
    b.lfo(1, {{0, 0, 120, 0}, {300, 1, 120, 0.5f}});
    b.toneDef(1, Wave::Triangle, {50}).toneDef(2, Wave::Sawtooth, {30, 70}, 50);
    // A noise tone keeps one duty: switching its cutoff abruptly rings the filter
    // with a transient whose size depends on the random state at that sample,
    // which makes per-note energies of different types incomparable.
    b.toneDef(3, Wave::Sine, {50}).toneDef(4, Wave::Noise, {70});
    b.toneDef(5, Wave::Square, {12.5f, 25, 50}).toneDef(6, Wave::Square, {50}, 0, 30, 40);
    b.loopStart();
    b.tone(0).note(261.626, 32).tone(5).note(329.628, 32).tone(1).note(391.995, 32).rest(16);
    b.tone(2).note(523.251, 48).slur().note(659.255, 48);
    b.loopEnd(2);
    b.tone(3).note(440, 64).tone(4).note(1000, 64).tone(6).note(220, 64);
    b.lfo(0, {{0, 0, 80, 0.3f}});
    b.tone(0).note(349.228, 64).tone(4).note(60, 64);
    return b.list();
}

template <EngineNumType T>
std::vector<int16_t> renderSong(const EventList<T>& list, size_t frames) {
    auto set = std::make_unique<BankSet<T>>();
    auto& p = set->player(0);
    p.events() = list;
    p.prepare(48000);
    return set->Render(static_cast<int64_t>(frames));
}

// Note windows (frame ranges) of the feature song, taken from Double.
std::vector<std::pair<size_t, size_t>> noteWindows() {
    auto p = makePlayer<double>(featureSong<double>());
    std::vector<std::pair<size_t, size_t>> windows;
    size_t f = 0;
    while (p->hasEventsLeft()) {
        p->renderFrame(false);
        if (p->elapsedSamples() == 1) windows.push_back({f, f + static_cast<size_t>(p->noteLengthSamples())});
        ++f;
    }
    return windows;
}

TYPED_TEST(Property, NoteEnergiesAgreeWithDouble) {
    using T = TypeParam;
    const auto windows = noteWindows();
    ASSERT_GT(windows.size(), 10u);
    const size_t frames = windows.back().second + 10;
    const auto ref = renderSong(featureSong<double>(), frames);
    const auto got = renderSong(featureSong<T>(), frames);
    auto energy = [](const std::vector<int16_t>& s, std::pair<size_t, size_t> w) {
        double e = 0;
        for (size_t i = 2 * w.first; i < 2 * w.second; ++i) e += double(s[i]) * s[i];
        return e;
    };
    for (size_t i = 0; i < windows.size(); ++i) {
        const double er = energy(ref, windows[i]);
        const double eg = energy(got, windows[i]);
        if (er == 0) {
            EXPECT_EQ(eg, 0) << "note " << i << " (a rest)";
            continue;
        }
        EXPECT_NEAR(eg / er, 1.0, 0.02) << "note " << i << " frames " << windows[i].first << ".." << windows[i].second;
    }
}

TYPED_TEST(Property, RendersAreReproducible) {
    using T = TypeParam;
    const auto first = renderSong(featureSong<T>(), 200000);
    const auto second = renderSong(featureSong<T>(), 200000);
    EXPECT_TRUE(first == second);
    std::vector<int16_t> third;
    std::thread worker([&] { third = renderSong(featureSong<T>(), 200000); });
    worker.join();
    EXPECT_TRUE(first == third);
    // Blocks of any size give the same stream as one long render.
    auto set = std::make_unique<BankSet<T>>();
    set->player(0).events() = featureSong<T>();
    set->player(0).prepare(48000);
    std::vector<int16_t> pieces;
    for (int64_t n : {1, 1023, 1024, 7, 50000, 147945}) {
        const auto part = set->Render(n);
        pieces.insert(pieces.end(), part.begin(), part.end());
    }
    EXPECT_TRUE(pieces == first);
}

}  // namespace
}  // namespace tavolin::test
