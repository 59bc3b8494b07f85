// SPDX-License-Identifier: MIT
// NoiseMemo: owed noise-filter steps paid from the furthest filter state a
// payment before this one remembered.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "synth/NoiseSteps.h"
#include "synth/RandomSource.h"

namespace tavolin {
namespace {

// States are kept at whole multiples of this many steps into a run, so that
// payments that stop at different places share them; and at each run's end.
constexpr int64_t kPiece = int64_t{1} << 20;
constexpr size_t kMaxRuns = size_t{1} << 14;     // keys, then everything is forgotten
constexpr size_t kMaxPerRun = 4096;              // states kept for one key

// What fixes every step of a run: the filter before it, the coefficients,
// the generator state before its first draw and how many draws follow each
// white one. Compared and hashed as bytes (zeroed first, so
// padding is equal): equal bytes step on equally.
template <EngineNumType T>
struct RunKey {
    NoiseFilter<T> start;
    NoiseCoefficients<T> coefficients;
    uint32_t fromState;
    uint32_t skip;

    RunKey(const NoiseFilter<T>& filter, const NoiseRun<T>& run) noexcept {
        std::memset(static_cast<void*>(this), 0, sizeof *this);
        start = filter;
        coefficients = run.coefficients;
        fromState = run.fromState;
        skip = run.skip;
    }
};

template <typename K>
struct BytesHash {
    size_t operator()(const K& k) const noexcept {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&k);
        uint64_t h = 0xCBF29CE484222325u;
        for (size_t i = 0; i < sizeof k; ++i) h = (h ^ bytes[i]) * 0x100000001B3u;
        return static_cast<size_t>(h);
    }
};
template <typename K>
struct BytesEqual {
    bool operator()(const K& a, const K& b) const noexcept { return std::memcmp(&a, &b, sizeof a) == 0; }
};

template <EngineNumType T>
struct Checkpoint {
    int64_t steps;  // into the run
    NoiseFilter<T> filter;
};

template <EngineNumType T>
using Memory = std::unordered_map<RunKey<T>, std::vector<Checkpoint<T>>, BytesHash<RunKey<T>>, BytesEqual<RunKey<T>>>;

std::mutex& memoryLock() {
    static std::mutex lock;
    return lock;
}
template <EngineNumType T>
Memory<T>& memory() {
    static Memory<T> m;
    return m;
}

template <EngineNumType T>
uint32_t stateAfter(const NoiseRun<T>& run, int64_t steps) noexcept {
    RandomSource random;
    random.reset(run.fromState);
    random.discard(static_cast<uint64_t>(steps) * (uint64_t{run.skip} + 1));
    return random.state();
}

// The furthest state kept for `key` at most `steps` into the run (steps 0
// and `filter` when there is none).
template <EngineNumType T>
Checkpoint<T> recall(const RunKey<T>& key, int64_t steps) {
    std::lock_guard guard(memoryLock());
    const auto found = memory<T>().find(key);
    if (found == memory<T>().end()) return {0, key.start};
    const auto& kept = found->second;
    auto after = std::upper_bound(kept.begin(), kept.end(), steps,
                                  [](int64_t s, const Checkpoint<T>& c) { return s < c.steps; });
    if (after == kept.begin()) return {0, key.start};
    return *std::prev(after);
}

template <EngineNumType T>
void keep(const RunKey<T>& key, const std::vector<Checkpoint<T>>& fresh) {
    std::lock_guard guard(memoryLock());
    Memory<T>& m = memory<T>();
    if (m.size() >= kMaxRuns && m.find(key) == m.end()) m.clear();
    auto& kept = m[key];
    for (const Checkpoint<T>& c : fresh) {
        if (kept.size() >= kMaxPerRun) break;
        auto at = std::lower_bound(kept.begin(), kept.end(), c.steps,
                                   [](const Checkpoint<T>& k, int64_t s) { return k.steps < s; });
        if (at == kept.end() || at->steps != c.steps) kept.insert(at, c);
    }
}

void addStats(NoiseStepStats& into, const NoiseStepStats& s) noexcept {
    into.chains = std::max(into.chains, s.chains);
    into.missedGuesses += s.missedGuesses;
    into.retraced += s.retraced;
}

template <EngineNumType T>
NoiseFilter<T> payRemembered(NoiseFilter<T> start, std::span<const NoiseRun<T>> runs, NoiseStepStats& stats) {
    std::vector<Checkpoint<T>> fresh;
    for (size_t i = 0; i < runs.size(); ++i) {
        const NoiseRun<T>& run = runs[i];
        if (run.samples <= 0) continue;
        if (run.samples < kShortNoiseRun) {
            // paid together, side by side, and not kept: a key each would
            // flood the memory, and a payment each would go in order
            size_t j = i + 1;
            while (j < runs.size() && runs[j].samples < kShortNoiseRun) ++j;
            NoiseStepStats s;
            start = runNoiseSteps<T>(start, runs.subspan(i, j - i), &s);
            addStats(stats, s);
            i = j - 1;
            continue;
        }
        const RunKey<T> key(start, run);
        const Checkpoint<T> from = recall(key, run.samples);
        int64_t at = from.steps;
        NoiseFilter<T> filter = from.filter;
        stats.recalled += at;
        fresh.clear();
        while (at < run.samples) {
            const int64_t next = std::min(run.samples, (at / kPiece + 1) * kPiece);
            NoiseRun<T> piece = run;
            piece.fromState = stateAfter(run, at);
            piece.toState = stateAfter(run, next);
            piece.samples = next - at;
            NoiseStepStats s;
            filter = runNoiseSteps<T>(filter, std::span(&piece, 1), &s);
            addStats(stats, s);
            at = next;
            fresh.push_back({at, filter});
        }
        if (!fresh.empty()) keep(key, fresh);
        start = filter;
    }
    return start;
}

}  // namespace

template <EngineNumType T>
NoiseFilter<T> runNoiseStepsRemembered(NoiseFilter<T> start, std::span<const NoiseRun<T>> runs,
                                       NoiseStepStats* stats) noexcept {
    NoiseStepStats s;
    s.chains = 1;
    try {
        const NoiseFilter<T> end = payRemembered(start, runs, s);
        if (stats) *stats = s;
        return end;
    } catch (...) {
        // out of memory, or the lock failed: pay it all without the memory
        return runNoiseSteps<T>(start, runs, stats);
    }
}

void forgetNoiseSteps() noexcept {
    std::lock_guard guard(memoryLock());
    memory<Fix>().clear();
    memory<float>().clear();
    memory<double>().clear();
}

#define TAVOLIN_INSTANTIATE(T) \
    template NoiseFilter<T> runNoiseStepsRemembered<T>(NoiseFilter<T>, std::span<const NoiseRun<T>>, NoiseStepStats*) noexcept;
TAVOLIN_INSTANTIATE(Fix)
TAVOLIN_INSTANTIATE(float)
TAVOLIN_INSTANTIATE(double)
#undef TAVOLIN_INSTANTIATE

}  // namespace tavolin
