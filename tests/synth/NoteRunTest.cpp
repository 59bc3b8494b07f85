// SPDX-License-Identifier: MIT
// The mixer's note runs (steady square stretches, per-wave loops, quiet LFOs
// stepped per run, pitch LFO updated only where it leaves a trace) against
// plain sample-by-sample rendering: same samples and same state at every
// block end.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "SynthTestUtil.h"

namespace tavolin::test {
namespace {

template <typename T>
class NoteRun : public ::testing::Test {};
TYPED_TEST_SUITE(NoteRun, EngineTypes);

template <EngineNumType T>
struct RunRow {
    const char* name;
    std::function<void(ListBuilder<T>&)> song;
};

// Everything a later sample can depend on, as text, so a failure prints the
// whole difference.
template <EngineNumType T>
std::string stateOf(const BankPlayer<T>& p) {
    std::ostringstream os;
    os.precision(17);
    const auto lfo = [&](const char* name, const LfoState<T>& l) {
        os << name << "{index " << l.pointIndex << " period " << toD(l.period) << " phase " << toD(l.phase) << " depth "
           << toD(l.depth) << "} ";
    };
    os << "event " << p.eventIndex() << " elapsed " << p.elapsedSamples() << "/" << p.noteLengthSamples() << " phase "
       << toD(p.oscillatorPhase()) << " half " << p.halfCycle() << ":" << toD(p.halfCycleLength()) << " duty "
       << p.dutyIndex() << " silent " << p.silent() << " ";
    lfo("pitch", p.pitchLfo());
    lfo("amp", p.ampLfo());
    return os.str();
}

TYPED_TEST(NoteRun, RunsMatchSampleBySampleRendering) {
    using T = TypeParam;
    const std::vector<RunRow<T>> rows = {
        {"steady square, long notes, quiet LFOs",
         [](ListBuilder<T>& b) { b.wave(Wave::Square, {30}).note(440, 128).note(97, 64).rest(32).note(3000, 64); }},
        {"vibrato fading in, held, every wave",
         [](ListBuilder<T>& b) {
             b.lfo(1, {{0, 0, 160, 0}, {300, 1, 160, 0.3f}});
             for (Wave w : {Wave::Square, Wave::Triangle, Wave::Sawtooth, Wave::Sine, Wave::Noise})
                 b.wave(w, {37.5f}).note(523.251, 64).note(392, 48);
         }},
        {"breakpoints at equal and close times, period changing",
         [](ListBuilder<T>& b) {
             b.lfo(1, {{0, 1, 90, 0.2f}, {0, 1, 45, 1}, {0.01f, 0, 33, 0.5f}, {250, 1, 70, 2}, {250, 0, 20, 0}, {600, 1, 50, 1}});
             b.wave(Wave::Triangle).note(330, 256).note(660, 64);
         }},
        {"percent time base over a slurred group, definition between the notes",
         [](ListBuilder<T>& b) {
             b.lfo(3, {{0, 0, 100, 0}, {60, 1, 40, 1.5f}, {100, 1, 120, 0.2f}});
             b.wave(Wave::Sawtooth).note(220, 64).slur().note(247, 64);
             b.lfo(1, {{10, 1, 25, 0.7f}});
             b.note(262, 64).slur().note(294, 32);
         }},
        {"tremolo and vibrato together, level noise, duty switching",
         [](ListBuilder<T>& b) {
             b.lfo(0, {{0, 0, 70, 0}, {200, 1, 70, 0.8f}});
             b.lfo(1, {{50, 1, 110, 0.4f}});
             b.wave(Wave::Square, {12.5f, 25, 50}, 40, 0, 30).note(440, 128);
             b.wave(Wave::Sine, {50}, 0, 0, 0).note(880, 64);
         }},
        {"frequency noise draws at boundaries",
         [](ListBuilder<T>& b) { b.lfo(1, {{0, 0, 80, 0.5f}}).wave(Wave::Triangle, {50}, 0, 60).note(500, 128); }},
        {"off-centre pans, a long release, a one-point LFO held steady, a glide",
         [](ListBuilder<T>& b) {
             b.pan(40).envelope(0, 5, 20, 400, 255, 200).lfo(1, {{0, 0, 500, 0.6f}});
             b.wave(Wave::Sine, {30}).note(300, 128).portamento(0.5).note(310, 64).slur().note(400, 64);
             b.pan(230).wave(Wave::Triangle).note(700, 96).rest(16).wave(Wave::Noise, {40}).note(900, 64);
         }},
        {"envelope stages across stretches, every wave, every pan side",
         [](ListBuilder<T>& b) {
             b.envelope(0, 40.01, 120.013, 150.017, 230, 120).lfo(1, {{0, 0, 90, 0}, {200, 1, 90, 0.4f}});
             int32_t pan = 0;
             for (Wave w : {Wave::Square, Wave::Triangle, Wave::Sawtooth, Wave::Sine, Wave::Noise}) {
                 b.pan(pan).wave(w, {30, 60}).note(261.6, 64).note(1046.5, 32).slur().note(1046.5, 32);
                 pan = (pan + 77) % 257;
             }
         }},
        {"envelope times of nothing and of under a sample",
         [](ListBuilder<T>& b) {
             b.envelope(0, 0, 0, 0, 255, 255).wave(Wave::Triangle).note(440, 32);
             b.envelope(0, 0.01, 0.013, 0.02, 255, 100).wave(Wave::Sawtooth).note(440, 32).note(880, 1);
             b.envelope(0, 0, 300, 0, 40, 250).wave(Wave::Sine).note(220, 64);
             b.envelope(0, 10, 0.073, 0, 255, 0).wave(Wave::Square).note(110, 16);  // a decay of 3.5 samples
         }},
        {"envelope times no song could reach (Fix wraps them)",
         [](ListBuilder<T>& b) {
             b.envelope(0, 4e10, 3e10, 5e10, 255, 200).wave(Wave::Triangle).note(440, 32);
             b.envelope(0, 1.4e14, 1.4e14, 1.4e14, 255, 200).wave(Wave::Sawtooth).note(440, 32);
         }},
        {"a cycle under one sample, and one far longer than the note",
         [](ListBuilder<T>& b) {
             b.lfo(1, {{0, 0, 50, 0}, {100, 1, 50, 0.2f}});
             for (Wave w : {Wave::Square, Wave::Triangle, Wave::Sawtooth, Wave::Sine, Wave::Noise})
                 b.wave(w).note(30000, 16).note(23999, 16).note(0.00002, 16).note(0.3, 16);
         }},
        {"duty 0 and 99: half-cycles of no length and of nearly the whole cycle",
         [](ListBuilder<T>& b) {
             for (Wave w : {Wave::Triangle, Wave::Sawtooth, Wave::Sine, Wave::Noise})
                 b.wave(w, {0, 99}).note(440, 32).slur().note(445, 16).wave(w, {99, 0}).note(97, 32);
         }},
        {"an unknown wave number is silent",
         [](ListBuilder<T>& b) { b.wave(static_cast<Wave>(9)).note(440, 64); }},
        {"vibrato whose period is under one sample",
         [](ListBuilder<T>& b) {
             b.lfo(1, {{0, 0, 0.01f, 0}, {100, 1, 0.013f, 0.5f}});
             b.wave(Wave::Triangle).note(440, 64).wave(Wave::Noise, {10}).note(2000, 64);
         }},
        {"LFO with a zero period and a fade to nothing",
         [](ListBuilder<T>& b) {
             b.lfo(1, {{0, 0, 0, 1}}).lfo(0, {{0, 0, 30, 0.5f}, {100, 1, 30, 0}});
             b.wave(Wave::Square).note(440, 96).note(450, 96);
         }},
    };
    for (const auto& row : rows) {
        ListBuilder<T> b;
        b.prologue().envelope(-1, 10, 80, 60, 255, 180).selectEnvelope(0);
        row.song(b);
        // The mixer takes its runs from a player inside a set; the reference
        // is an identical set stepped one frame at a time.
        BankSet<T> mixed;
        BankSet<T> stepped;
        for (BankSet<T>* set : {&mixed, &stepped}) {
            set->player(0).events() = b.list();
            set->player(0).prepare(48000);
        }
        int64_t frame = 0;
        bool same = true;
        for (int64_t n : {1, 700, 16, 4096, 255, 257, 20000, 33, 100000, 150000}) {
            const auto got = mixed.Render(n);
            for (int64_t f = 0; f < n && same; ++f) {
                const StereoSample s = stepped.player(0).renderFrame(stepped.player(0).hasEventsLeft());
                if (got[2 * static_cast<size_t>(f)] != s.left || got[2 * static_cast<size_t>(f) + 1] != s.right) {
                    ADD_FAILURE() << row.name << ": frame " << frame + f << " mixed " << got[2 * static_cast<size_t>(f)] << ","
                                  << got[2 * static_cast<size_t>(f) + 1] << " stepped " << s.left << "," << s.right;
                    same = false;
                }
            }
            if (!same) break;
            frame += n;
            const std::string a = stateOf(mixed.player(0));
            const std::string e = stateOf(stepped.player(0));
            if (a != e) {
                ADD_FAILURE() << row.name << ": after frame " << frame << "\n mixed   " << a << "\n stepped " << e;
                break;
            }
        }
        EXPECT_FALSE(stepped.player(0).hasEventsLeft()) << row.name << ": the song outlasts the comparison";
    }
}

}  // namespace
}  // namespace tavolin::test
