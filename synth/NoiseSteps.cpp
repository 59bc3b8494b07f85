// SPDX-License-Identifier: MIT
// NoiseSteps: owed noise-filter steps paid in order, or in stretches side by side.
#include "synth/NoiseSteps.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <type_traits>

#include "synth/HotInline.h"
#include "synth/RandomSource.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TAVOLIN_WIDE_LANES 1
#else
#define TAVOLIN_WIDE_LANES 0
#endif

namespace tavolin {

namespace {

// The generator's step, as RandomSource::next takes it.
constexpr uint32_t kDrawMul = 214013u;
constexpr uint32_t kDrawAdd = 2531011u;

template <EngineNumType T>
bool sameState(const NoiseFilter<T>& a, const NoiseFilter<T>& b) noexcept {
    return std::memcmp(&a, &b, sizeof a) == 0;  // bit for bit: equal bits step on equally
}

// Stretches stepped side by side, at most this many. Float and Double step
// them as the lanes of 16-byte vectors (measured on x86-64 with SSE2:
// sixteen chains, or fewer for a shorter debt, see runNoiseSteps); Fix's step
// is mostly bound by its multiplications, so more than two gain it nothing.
template <EngineNumType T>
constexpr int kChains = kIsFix<T> ? 2 : 16;
// A guessed stretch keeps its state at this many evenly spaced steps, where
// a retrace from the true state can find that it has met the guess.
constexpr int kCheckpoints = 64;
// A guess is the filter run from rest over this many spacings.
constexpr int kWarmSpacings = 3;
// Below this a debt is paid in order: cutting it would cost more than it saves.
constexpr int64_t kMinSpacing = 4096;

// Where one chain stands in the runs: the run, the steps left in it and the
// generator state before the next draw.
template <EngineNumType T>
struct Cursor {
    const NoiseRun<T>* run = nullptr;
    int64_t left = 0;
    uint32_t state = 0;
    // The white draw and the run's skipped draws after it, as one map: the
    // state before the next white draw follows from this one's in one
    // multiplication, while the draw itself is taken beside it, so a chain
    // waits on one multiplication per step, not on one per draw.
    uint32_t nextMul = kDrawMul, nextAdd = kDrawAdd;

    void enter(const NoiseRun<T>* r, int64_t offset) noexcept {
        run = r;
        left = r->samples - offset;
        RandomSource random;
        random.reset(r->fromState);
        random.discard(static_cast<uint64_t>(offset) * (uint64_t{r->skip} + 1));
        state = random.state();
        uint32_t skipMul = 1, skipAdd = 0;
        RandomSource::stepsMap(r->skip, skipMul, skipAdd);
        nextMul = skipMul * kDrawMul;
        nextAdd = skipMul * kDrawAdd + skipAdd;
    }
    // Next run with samples; false past the last.
    bool advance(const NoiseRun<T>* end) noexcept {
        for (const NoiseRun<T>* r = run + 1; r < end; ++r)
            if (r->samples > 0) {
                enter(r, 0);
                return true;
            }
        return false;
    }
};

// The white value of every draw, looked up: in Float and Double the value
// is a division, which would otherwise compete with the filter's own for the
// divider; Fix's narrow form keeps the raw values. The table holds the very
// values whiteFromDraw gives.
template <typename V>
struct WhiteTable {
    std::array<V, RandomSource::kMax + 1> values;
    template <EngineNumType T>
    static WhiteTable make() noexcept {
        WhiteTable table;
        for (int r = 0; r <= RandomSource::kMax; ++r) {
            if constexpr (kIsFix<T>) table.values[static_cast<size_t>(r)] = whiteFromDraw<T>(r).raw();
            else table.values[static_cast<size_t>(r)] = whiteFromDraw<T>(r);
        }
        return table;
    }
};

template <EngineNumType T>
const auto* whiteTable() noexcept {
    using V = std::conditional_t<kIsFix<T>, int64_t, T>;
    static const WhiteTable<V> table = WhiteTable<V>::template make<T>();  // 128 or 256 KB, built once
    return table.values.data();
}

template <EngineNumType T, typename V>
TAVOLIN_HOT_INLINE void step(NoiseFilter<T>& f, Cursor<T>& at, const V* white) noexcept {
    const uint32_t draw = ((at.state * kDrawMul + kDrawAdd) >> 16) & 0x7FFFu;
    at.state = at.state * at.nextMul + at.nextAdd;
    if constexpr (kIsFix<T>) (void)noiseFilterStep(f, at.run->coefficients, Fix::fromRaw(white[draw]));
    else (void)noiseFilterStep(f, at.run->coefficients, white[draw]);
}

// Fix's filter step with 64-bit products: the same bits as the 128-bit ones
// while every factor stays narrow (coefficients below 2^20, filter values
// below 2^42), at a fraction of the cost. `wide` collects whether a value
// left that range; the products then wrap (unsigned, no undefined
// behaviour) and the caller takes the stretch again the exact way.
struct NarrowFix {
    int64_t b0, b1, a1, a2;
};

inline bool narrowCoefficients(const NoiseCoefficients<Fix>& c, NarrowFix& out) noexcept {
    constexpr int64_t kLimit = int64_t{1} << 20;
    for (const Fix v : {c.b0, c.b1, c.a1, c.a2})
        if (v.raw() <= -kLimit || v.raw() >= kLimit) return false;
    out = NarrowFix{c.b0.raw(), c.b1.raw(), c.a1.raw(), c.a2.raw()};
    return true;
}

// v + 2^42, below 2^43 exactly when -2^42 <= v < 2^42: OR-ed together over
// many values, the sum is below 2^43 exactly when every one of them is.
inline uint64_t narrowBias(int64_t v) noexcept {
    return static_cast<uint64_t>(v) + (uint64_t{1} << 42);
}
inline bool leftNarrow(uint64_t biases) noexcept { return (biases >> 43) != 0; }

inline int64_t narrowProduct(int64_t a, int64_t b) noexcept {
    return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b)) >> 16;
}

// Fix: a white value's products with b0 and with b1 (each below 2^20), for
// every draw, for one pair of coefficients: a step then reads two values
// instead of multiplying twice, and multiplications are what it waits on.
// A few tables (256 KB each) serve the whole process. A payment claims one
// with an atomic exchange and never waits (any thread may pay); when every
// table is held for other coefficients, it multiplies as before. A slot's
// word holds the coefficients it was filled for, whether the fill is done,
// and how many payments read it; only an unread slot is filled again.
class ProductTables {
public:
    static const int32_t* take(int64_t b0, int64_t b1, int& slot) noexcept {
        const uint64_t key = (static_cast<uint64_t>(b0 + kOffset) << 21) | static_cast<uint64_t>(b1 + kOffset);
        for (int i = 0; i < kSlots; ++i) {
            Slot& s = slots()[i];
            uint64_t w = s.word.load(std::memory_order_acquire);
            while ((w & kKeyMask) == key && (w & kReady) != 0)
                if (s.word.compare_exchange_weak(w, w + kReader, std::memory_order_acquire)) {
                    slot = i;
                    return s.products.data();
                }
        }
        for (int i = 0; i < kSlots; ++i) {
            Slot& s = slots()[i];
            uint64_t w = s.word.load(std::memory_order_relaxed);
            if (w >= kReader || !s.word.compare_exchange_strong(w, key | kReader, std::memory_order_acquire)) continue;
            const int64_t* white = whiteTable<Fix>();
            for (size_t d = 0; d <= RandomSource::kMax; ++d) {
                s.products[2 * d] = static_cast<int32_t>(narrowProduct(b0, white[d]));
                s.products[2 * d + 1] = static_cast<int32_t>(narrowProduct(b1, white[d]));
            }
            s.word.fetch_or(kReady, std::memory_order_release);
            slot = i;
            return s.products.data();
        }
        return nullptr;
    }
    static void give(int slot) noexcept { slots()[slot].word.fetch_sub(kReader, std::memory_order_release); }

private:
    static constexpr int kSlots = 4;
    static constexpr int64_t kOffset = int64_t{1} << 20;  // narrow coefficients lie in (-2^20, 2^20)
    static constexpr uint64_t kKeyMask = (uint64_t{1} << 42) - 1;
    static constexpr uint64_t kReady = uint64_t{1} << 42;
    static constexpr uint64_t kReader = uint64_t{1} << 43;
    struct Slot {
        std::atomic<uint64_t> word{0};
        std::array<int32_t, 2 * (RandomSource::kMax + 1)> products;
    };
    static Slot* slots() noexcept {
        static Slot s[kSlots];
        return s;
    }
};

// The product tables one payment holds, given back when it ends.
class HeldTables {
public:
    HeldTables() = default;
    HeldTables(const HeldTables&) = delete;
    HeldTables& operator=(const HeldTables&) = delete;
    ~HeldTables() {
        for (int i = 0; i < m_count; ++i)
            if (m_held[i].slot >= 0) ProductTables::give(m_held[i].slot);
    }
    // the table for these coefficients, or nullptr (none free: asked once)
    const int32_t* find(const NarrowFix& c) noexcept {
        for (int i = 0; i < m_count; ++i)
            if (m_held[i].b0 == c.b0 && m_held[i].b1 == c.b1) return m_held[i].table;
        if (m_count == kMost) return nullptr;
        Held& h = m_held[m_count++];
        h = Held{c.b0, c.b1, nullptr, -1};
        h.table = ProductTables::take(c.b0, c.b1, h.slot);
        return h.table;
    }

private:
    struct Held {
        int64_t b0, b1;
        const int32_t* table;
        int slot;
    };
    static constexpr int kMost = 8;
    std::array<Held, kMost> m_held{};
    int m_count = 0;
};

// The generator's step taken back: the state before `state * kDrawMul +
// kDrawAdd` (the multiplier is odd, so the step is a bijection).
constexpr uint32_t inverseOf(uint32_t a) noexcept {
    uint32_t x = a;  // Newton: each round doubles the correct low bits
    for (int i = 0; i < 5; ++i) x *= 2u - a * x;
    return x;
}
constexpr uint32_t kDrawInverse = inverseOf(kDrawMul);
static_assert(kDrawMul * kDrawInverse == 1u);
constexpr uint32_t stepBack(uint32_t state) noexcept { return (state - kDrawAdd) * kDrawInverse; }

// The whites of a chain's last two steps, drawn again from the generator's
// state after them, taken back: past the `skip` draws after the last white,
// and the `skip` + 1 before it.
inline void lastTwoWhites(uint32_t state, uint32_t skip, const int64_t* white, int64_t& x1, int64_t& x2) noexcept {
    for (uint32_t i = 0; i < skip; ++i) state = stepBack(state);
    x1 = white[(state >> 16) & 0x7FFFu];
    for (uint32_t i = 0; i <= skip; ++i) state = stepBack(state);
    x2 = white[(state >> 16) & 0x7FFFu];
}

// One chain in Fix's narrow form. A white value meets b0 twice (as the new
// sample and two steps later as x2) and b1 once (as x1): those products are
// taken (or read from a table) when the value is drawn and kept, summed
// ahead, so a step multiplies four times, or twice. Integer sums wrap the
// same in any order, so the bits are those of the filter's own sum. The
// inputs themselves are not carried (registers are what the loop runs short
// of): the last two are drawn again at the end from the generator's state,
// taken back.
struct NarrowChain {
    NarrowFix c;
    int64_t y1, y2;
    // the products of earlier inputs still to come into a sum: b1 x1 + b0 x2
    // for the next step, and b0 x1 for the one after
    int64_t carry, b0x1;
    uint32_t state, nextMul, nextAdd, skip;
    const int32_t* products;  // the run's product table, or none

    // false when the coefficients or the state are not narrow
    bool load(const NoiseFilter<Fix>& f, const Cursor<Fix>& at, uint64_t& wide) noexcept {
        if (!narrowCoefficients(at.run->coefficients, c)) return false;
        products = nullptr;
        const int64_t x1 = f.x1.raw(), x2 = f.x2.raw();
        y1 = f.y1.raw(), y2 = f.y2.raw();
        wide |= narrowBias(x1) | narrowBias(x2) | narrowBias(y1) | narrowBias(y2);
        carry = static_cast<int64_t>(static_cast<uint64_t>(narrowProduct(c.b1, x1)) + static_cast<uint64_t>(narrowProduct(c.b0, x2)));
        b0x1 = narrowProduct(c.b0, x1);
        state = at.state, nextMul = at.nextMul, nextAdd = at.nextAdd;
        skip = at.run->skip;
        return true;
    }
    // kSkip: 0 no chain skips draws, 1 every chain skips one, 2 mixed;
    // kTable: the products with b0 and b1 are read from `products`
    template <int kSkip, bool kTable>
    TAVOLIN_HOT_INLINE void step(const int64_t* white, uint64_t& wide) noexcept {
        const uint32_t drawn = state * kDrawMul + kDrawAdd;
        const uint32_t draw = (drawn >> 16) & 0x7FFFu;
        if constexpr (kSkip == 0) state = drawn;
        if constexpr (kSkip == 1) state = state * (kDrawMul * kDrawMul) + (kDrawMul * kDrawAdd + kDrawAdd);
        if constexpr (kSkip == 2) state = state * nextMul + nextAdd;
        int64_t b0w, b1w;
        if constexpr (kTable) {
            b0w = products[2 * draw], b1w = products[2 * draw + 1];
        } else {
            const int64_t w = white[draw];
            b0w = narrowProduct(c.b0, w), b1w = narrowProduct(c.b1, w);
        }
        const int64_t y = static_cast<int64_t>(static_cast<uint64_t>(carry) + static_cast<uint64_t>(b0w) -
                                               static_cast<uint64_t>(narrowProduct(c.a2, y2)) -
                                               static_cast<uint64_t>(narrowProduct(c.a1, y1)));
        wide |= narrowBias(y);
        carry = static_cast<int64_t>(static_cast<uint64_t>(b1w) + static_cast<uint64_t>(b0x1));
        b0x1 = b0w;
        y2 = y1, y1 = y;
    }
    // after at least two steps
    void store(NoiseFilter<Fix>& f, Cursor<Fix>& at, const int64_t* white) const noexcept {
        int64_t x1 = 0, x2 = 0;
        lastTwoWhites(state, skip, white, x1, x2);
        f = NoiseFilter<Fix>{Fix::fromRaw(x1), Fix::fromRaw(x2), Fix::fromRaw(y1), Fix::fromRaw(y2)};
        at.state = state;
    }
};

// `n` steps of K chains side by side (K = 1: one chain) in Fix's narrow
// form, none crossing a run's end; false, and nothing changed, when some
// chain's coefficients or values are not narrow.
template <size_t K>
bool narrowSteps(std::span<NoiseFilter<Fix>, K> f, std::span<Cursor<Fix>, K> at, int64_t n,
                 HeldTables* tables = nullptr) noexcept {
    if (n < 2) return false;  // the inputs are drawn again from the last two steps
    const int64_t* white = whiteTable<Fix>();
    std::array<NarrowChain, K> chains;
    uint64_t wide = 0;
    bool allTables = tables != nullptr;
    for (size_t k = 0; k < K; ++k) {
        if (!chains[k].load(f[k], at[k], wide)) return false;
        if (allTables) chains[k].products = tables->find(chains[k].c);
        allTables = allTables && chains[k].products != nullptr;
    }
    // the generator's steps after the white one are multiplications: leave them out where no chain skips
    bool anySkip = false, allSkipOne = true;
    for (const Cursor<Fix>& a : at) {
        anySkip = anySkip || a.run->skip != 0;
        allSkipOne = allSkipOne && a.run->skip == 1;
    }
    const auto run = [&]<int kSkip>() {
        if (allTables) {
            for (int64_t i = 0; i < n; ++i)
                for (NarrowChain& ch : chains) ch.step<kSkip, true>(white, wide);
        } else {
            for (int64_t i = 0; i < n; ++i)
                for (NarrowChain& ch : chains) ch.step<kSkip, false>(white, wide);
        }
    };
    if (!anySkip) run.template operator()<0>();
    else if (allSkipOne) run.template operator()<1>();
    else run.template operator()<2>();
    if (leftNarrow(wide)) return false;
    for (size_t k = 0; k < K; ++k) chains[k].store(f[k], at[k], white);
    return true;
}

// `n` plain filter steps of one run's coefficients, white values drawn from
// `random` (and `skip` draws after each).
template <EngineNumType T>
void plainSteps(NoiseFilter<T>& f, RandomSource& random, const NoiseCoefficients<T>& c, uint32_t skip, int64_t n) noexcept {
    for (int64_t i = 0; i < n; ++i) {
        (void)noiseFilterStep(f, c, whiteFromDraw<T>(random.next()));
        for (uint32_t j = 0; j < skip; ++j) (void)random.next();
    }
}

// `count` steps of one chain, crossing runs as needed.
template <EngineNumType T>
void stepOne(NoiseFilter<T>& f, Cursor<T>& at, const NoiseRun<T>* end, int64_t count) noexcept {
    while (count > 0) {
        if (at.left <= 0 && !at.advance(end)) return;
        const int64_t n = std::min(count, at.left);
        NoiseFilter<T> local = f;
        RandomSource random;
        random.reset(at.state);
        const NoiseCoefficients<T> c = at.run->coefficients;
        const uint32_t skip = at.run->skip;
        int64_t taken = 0;  // steps already taken the narrow way
        if constexpr (kIsFix<T>) {
            // in blocks, so that a value leaving the range costs one block again
            constexpr int64_t kBlock = 4096;
            Cursor<T> narrowAt = at;
            while (taken < n) {
                const int64_t m = std::min(kBlock, n - taken);
                if (!narrowSteps<1>(std::span<NoiseFilter<T>, 1>(&local, 1), std::span<Cursor<T>, 1>(&narrowAt, 1), m)) break;
                taken += m;
            }
            random.reset(narrowAt.state);
        }
        plainSteps(local, random, c, skip, n - taken);
        f = local;
        at.state = random.state();
        at.left -= n;
        count -= n;
    }
}

// Cursors at offsets into the runs, asked for in increasing order: each
// search goes on from where the last one stopped, so that the chains of a
// debt of many thousand runs find their starts in one pass.
template <EngineNumType T>
class RunFinder {
public:
    explicit RunFinder(std::span<const NoiseRun<T>> runs) noexcept : m_runs(runs) {}
    // The cursor `offset` steps into the runs (at least the last offset asked).
    Cursor<T> at(int64_t offset) noexcept {
        Cursor<T> at;
        for (; m_next < m_runs.size(); ++m_next) {
            const NoiseRun<T>& r = m_runs[m_next];
            if (r.samples <= 0) continue;
            if (offset - m_before < r.samples) {
                at.enter(&r, offset - m_before);
                return at;
            }
            m_before += r.samples;
        }
        at.enter(&m_runs.back(), 0);  // past the end: nothing left to step
        at.left = 0;
        return at;
    }

private:
    std::span<const NoiseRun<T>> m_runs;
    size_t m_next = 0;     // the first run not wholly before the last offset
    int64_t m_before = 0;  // the steps of the runs before it
};

// The cursor `offset` steps into the runs.
template <EngineNumType T>
Cursor<T> cursorAt(std::span<const NoiseRun<T>> runs, int64_t offset) noexcept {
    return RunFinder<T>(runs).at(offset);
}

template <EngineNumType T>
struct Chain {
    NoiseFilter<T> filter{};
    Cursor<T> at{};
    std::array<NoiseFilter<T>, kCheckpoints> checkpoints{};  // after (j+1) * spacing steps
};

// The steps every chain can take before one of them reaches its run's end,
// at most `count`; a chain whose run is done is first entered into the
// next with `enter`. 0 where a chain would pass the debt's end (which the
// lengths inside the runs never ask for).
template <typename T, size_t K, typename Enter>
TAVOLIN_HOT_INLINE int64_t nextBlock(std::array<Chain<T>, K>& chains, const std::array<int64_t, K>& left,
                                     const NoiseRun<T>* end, int64_t count, Enter& enter) noexcept {
    int64_t n = count;
    for (size_t k = 0; k < K; ++k) {
        if (left[k] <= 0) {
            chains[k].at.left = 0;
            if (!chains[k].at.advance(end)) return 0;
            enter(k);
        }
        n = std::min(n, left[k]);
    }
    return n;
}

// The chains' filters into the lanes of their vector groups (lane k % L of
// group k / L), and the lanes' filters and generators back into the chains.
template <size_t kLanes, typename Groups, typename T, size_t K>
TAVOLIN_HOT_INLINE void lanesFromChains(Groups& groups, const std::array<Chain<T>, K>& chains) noexcept {
    for (size_t k = 0; k < K; ++k) {
        auto& g = groups[k / kLanes];
        const size_t l = k % kLanes;
        const NoiseFilter<T>& f = chains[k].filter;
        g.x1[l] = f.x1, g.x2[l] = f.x2, g.y1[l] = f.y1, g.y2[l] = f.y2;
    }
}
template <size_t kLanes, typename Groups, typename States, typename T, size_t K>
TAVOLIN_HOT_INLINE void lanesToChains(const Groups& groups, const States& state, const std::array<int64_t, K>& left,
                                      std::array<Chain<T>, K>& chains) noexcept {
    for (size_t k = 0; k < K; ++k) {
        const auto& g = groups[k / kLanes];
        const size_t l = k % kLanes;
        chains[k].filter = NoiseFilter<T>{g.x1[l], g.x2[l], g.y1[l], g.y2[l]};
        chains[k].at.state = state[k];
        chains[k].at.left = left[k];
    }
}

// Float and Double: `count` steps of every chain as the lanes of 16-byte
// vectors (four floats or two doubles). Each lane takes the filter's own
// operations in the filter's own order, so its bits are those of the plain
// step; the vectors only let the divider and the multipliers work on
// several chains at once, and compilers without vectors split them into the
// same scalar operations. A lane whose run ends takes the next one's
// coefficients and generator state in place, the others keep theirs in
// registers: a debt cut into many short runs (another bank drawing between
// the noise wave's samples) pays little for its cuts.
template <EngineNumType T, size_t K>
void laneSteps(std::array<Chain<T>, K>& chains, const NoiseRun<T>* end, int64_t count, bool anySkip) noexcept {
    constexpr size_t kLanes = 16 / sizeof(T);
    static_assert(K % kLanes == 0);
    constexpr size_t kGroups = K / kLanes;
    typedef T V __attribute__((vector_size(16)));
    struct Group {
        V b0, b1, b2, a0, a1, a2, x1, x2, y1, y2;
    };
    std::array<Group, kGroups> groups;
    std::array<uint32_t, K> state, nextMul, nextAdd;
    std::array<int64_t, K> left;
    const auto enterRun = [&](size_t k) {
        Group& g = groups[k / kLanes];
        const size_t l = k % kLanes;
        const Cursor<T>& at = chains[k].at;
        const NoiseCoefficients<T>& c = at.run->coefficients;
        g.b0[l] = c.b0, g.b1[l] = c.b1, g.b2[l] = c.b2, g.a0[l] = c.a0, g.a1[l] = c.a1, g.a2[l] = c.a2;
        state[k] = at.state, nextMul[k] = at.nextMul, nextAdd[k] = at.nextAdd, left[k] = at.left;
    };
    lanesFromChains<kLanes>(groups, chains);
    for (size_t k = 0; k < K; ++k) {
        if (chains[k].at.left <= 0) (void)chains[k].at.advance(end);
        enterRun(k);
    }
    const T* white = whiteTable<T>();
    const auto run = [&]<bool kSkip>() {
        while (count > 0) {
            const int64_t n = nextBlock(chains, left, end, count, enterRun);
            if (n == 0) return;
            for (int64_t i = 0; i < n; ++i)
                for (size_t q = 0; q < kGroups; ++q) {
                    Group& g = groups[q];
                    V w;
                    for (size_t l = 0; l < kLanes; ++l) {
                        uint32_t& s = state[q * kLanes + l];
                        const uint32_t drawn = s * kDrawMul + kDrawAdd;
                        w[l] = white[(drawn >> 16) & 0x7FFFu];
                        s = kSkip ? s * nextMul[q * kLanes + l] + nextAdd[q * kLanes + l] : drawn;
                    }
                    const V y = (g.b0 * w + g.b1 * g.x1 + g.b2 * g.x2 - g.a1 * g.y1 - g.a2 * g.y2) / g.a0;
                    g.x2 = g.x1, g.x1 = w, g.y2 = g.y1, g.y1 = y;
                }
            for (int64_t& l : left) l -= n;
            count -= n;
        }
    };
    if (anySkip) run.template operator()<true>();
    else run.template operator()<false>();
    lanesToChains<kLanes>(groups, state, left, chains);
}

#if TAVOLIN_WIDE_LANES
// Float and Double: laneSteps for 16 chains in 512-bit vectors where the
// processor has them (AVX-512): sixteen floats or two groups of eight
// doubles, each lane taking the filter's own operations in its own order
// (IEEE arithmetic, no contraction), so its bits are the plain step's; the
// white values come in one gather, the generator's sixteen states in one
// vector.
template <EngineNumType T>
__attribute__((target("avx512f"))) void wideLaneSteps(std::array<Chain<T>, 16>& chains, const NoiseRun<T>* end, int64_t count,
                                                     bool anySkip) noexcept {
    constexpr size_t K = 16;
    constexpr size_t kLanes = 64 / sizeof(T);
    constexpr size_t kGroups = K / kLanes;
    typedef T V __attribute__((vector_size(64)));
    typedef uint32_t U16 __attribute__((vector_size(64)));
    typedef uint32_t U8 __attribute__((vector_size(32)));
    struct Group {
        V b0, b1, b2, a0, a1, a2, x1, x2, y1, y2;
    };
    std::array<Group, kGroups> groups{};
    U16 state{}, nextMul{}, nextAdd{};
    std::array<int64_t, K> left;
    // One lane of a vector set in registers (a masked blend): a lane written
    // through memory would stall the next full load of the vector, at every
    // run change. x - 0 is x, bit for bit, -0 included.
    typedef std::conditional_t<sizeof(T) == 4, int32_t, int64_t> I;
    typedef I IV __attribute__((vector_size(64)));
    typedef int32_t I16 __attribute__((vector_size(64)));
    IV laneOf;
    I16 stateLaneOf;
    for (size_t l = 0; l < kLanes; ++l) laneOf[l] = static_cast<I>(l);
    for (size_t k = 0; k < K; ++k) stateLaneOf[k] = static_cast<int32_t>(k);
    const auto put = [&](V& v, size_t l, T x) __attribute__((always_inline, target("avx512f"))) {
        v = laneOf == static_cast<I>(l) ? x - V{} : v;
    };
    const auto putState = [&](U16& v, size_t k, uint32_t x) __attribute__((always_inline, target("avx512f"))) {
        v = stateLaneOf == static_cast<int32_t>(k) ? x + U16{} : v;
    };
    std::array<const NoiseCoefficients<T>*, K> coefficients{};  // each lane's, as its vectors hold them
    // (not forced inline: nextBlock, of the default target, calls it)
    const auto enterRun = [&](size_t k) __attribute__((target("avx512f"))) {
        Group& g = groups[k / kLanes];
        const size_t l = k % kLanes;
        const Cursor<T>& at = chains[k].at;
        const NoiseCoefficients<T>& c = at.run->coefficients;
        if (coefficients[k] == nullptr || std::memcmp(coefficients[k], &c, sizeof c) != 0) {
            put(g.b0, l, c.b0), put(g.b1, l, c.b1), put(g.b2, l, c.b2), put(g.a0, l, c.a0), put(g.a1, l, c.a1), put(g.a2, l, c.a2);
            coefficients[k] = &c;
        }
        putState(state, k, at.state), putState(nextMul, k, at.nextMul), putState(nextAdd, k, at.nextAdd);
        left[k] = at.left;
    };
    lanesFromChains<kLanes>(groups, chains);
    for (size_t k = 0; k < K; ++k) {
        if (chains[k].at.left <= 0) (void)chains[k].at.advance(end);
        enterRun(k);
    }
    const T* white = whiteTable<T>();
    while (count > 0) {
        const int64_t n = nextBlock(chains, left, end, count, enterRun);
        if (n == 0) break;
        for (int64_t i = 0; i < n; ++i) {
            const U16 drawn = state * kDrawMul + kDrawAdd;
            const U16 draws = (drawn >> 16) & 0x7FFFu;
            state = anySkip ? state * nextMul + nextAdd : drawn;
            for (size_t q = 0; q < kGroups; ++q) {
                Group& g = groups[q];
                // (the masked forms: the plain ones start from an undefined register)
                V w;
                if constexpr (std::is_same_v<T, float>) {
                    w = reinterpret_cast<V>(_mm512_mask_i32gather_ps(_mm512_setzero_ps(), 0xFFFF, reinterpret_cast<__m512i>(draws), white, 4));
                } else {
                    const U8 half = q == 0 ? __builtin_shufflevector(draws, draws, 0, 1, 2, 3, 4, 5, 6, 7)
                                           : __builtin_shufflevector(draws, draws, 8, 9, 10, 11, 12, 13, 14, 15);
                    w = reinterpret_cast<V>(_mm512_mask_i32gather_pd(_mm512_setzero_pd(), 0xFF, reinterpret_cast<__m256i>(half), white, 8));
                }
                const V y = (g.b0 * w + g.b1 * g.x1 + g.b2 * g.x2 - g.a1 * g.y1 - g.a2 * g.y2) / g.a0;
                g.x2 = g.x1, g.x1 = w, g.y2 = g.y1, g.y1 = y;
            }
        }
        for (int64_t& l : left) l -= n;
        count -= n;
    }
    lanesToChains<kLanes>(groups, state, left, chains);
}
#endif

// One set of narrow coefficients for a whole Fix debt (a noise bank of one
// cutoff) and its product table: the case the wide lanes take.
struct OneCutoff {
    NarrowFix c;
    const int32_t* products = nullptr;
};

// Runs shorter than this on average leave the wide lanes stopping too often.
constexpr int64_t kWideMinRun = 16;

std::atomic<bool> g_wideLanes{true};

bool wideLanesAvailable() noexcept {
#if TAVOLIN_WIDE_LANES
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
    return has && g_wideLanes.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

// Whether every run with samples has the same narrow coefficients, the runs
// long enough on average for the wide lanes.
bool oneNarrowCutoff(std::span<const NoiseRun<Fix>> runs, int64_t total, NarrowFix& c) noexcept {
    const NoiseRun<Fix>* first = nullptr;
    int64_t count = 0;
    for (const NoiseRun<Fix>& r : runs) {
        if (r.samples <= 0) continue;
        ++count;
        if (first == nullptr) first = &r;
        else if (std::memcmp(&r.coefficients, &first->coefficients, sizeof r.coefficients) != 0) return false;
    }
    return first != nullptr && count * kWideMinRun <= total && narrowCoefficients(first->coefficients, c);
}

#if TAVOLIN_WIDE_LANES
// Fix's narrow form for 16 chains as the lanes of 512-bit vectors, where the
// processor has them (AVX-512): the same 64-bit integer operations lane by
// lane (products, arithmetic shifts, wrapping sums), so every lane's values
// are the scalar chain's, bit for bit, on any processor that runs it. The
// generator steps sixteen states at once, and the products of each draw
// with b0 and b1 come in one gather from the debt's one table. Every run has
// the same coefficients, so a lane whose run ends takes the next one's
// generator state and nothing else. False when some value leaves the narrow
// range: the chains are then left part-way, and the caller steps them again
// from its copy the scalar way.
__attribute__((target("avx512f,avx512dq"))) bool wideFixSteps(std::array<Chain<Fix>, 16>& chains, const NoiseRun<Fix>* end,
                                                             int64_t count, const OneCutoff& one) noexcept {
    constexpr size_t K = 16;
    typedef uint64_t V8 __attribute__((vector_size(64)));
    typedef int64_t S8 __attribute__((vector_size(64)));
    typedef uint32_t U16 __attribute__((vector_size(64)));
    typedef uint32_t U8 __attribute__((vector_size(32)));
    const int64_t* white = whiteTable<Fix>();
    std::array<uint32_t, K> entryState;
    std::array<int64_t, K> left, entryLeft, entryX1, entryX2;
    U16 state{}, nextMul{}, nextAdd{};
    V8 y1[2], y2[2], carry[2], b0x1[2], wide[2] = {};
    // the lane's two last inputs: those it entered with, or drawn again
    const auto inputsOf = [&](size_t k, int64_t& x1, int64_t& x2) {
        const int64_t steps = entryLeft[k] - left[k];
        if (steps >= 2) {
            lastTwoWhites(state[k], chains[k].at.run->skip, white, x1, x2);
        } else if (steps == 1) {
            x2 = entryX1[k];
            x1 = white[((entryState[k] * kDrawMul + kDrawAdd) >> 16) & 0x7FFFu];
        } else {
            x1 = entryX1[k], x2 = entryX2[k];
        }
    };
    // a lane set in registers, as in wideLaneSteps
    typedef int32_t I16 __attribute__((vector_size(64)));
    I16 laneOf;
    for (size_t k = 0; k < K; ++k) laneOf[k] = static_cast<int32_t>(k);
    const auto put = [&](U16& v, size_t k, uint32_t x) __attribute__((always_inline, target("avx512f,avx512dq"))) {
        v = laneOf == static_cast<int32_t>(k) ? x + U16{} : v;
    };
    const auto enter = [&](size_t k, int64_t x1, int64_t x2) __attribute__((always_inline, target("avx512f,avx512dq"))) {
        const Cursor<Fix>& at = chains[k].at;
        put(state, k, at.state), put(nextMul, k, at.nextMul), put(nextAdd, k, at.nextAdd);
        entryState[k] = at.state;
        left[k] = entryLeft[k] = at.left;
        entryX1[k] = x1, entryX2[k] = x2;
    };
    uint64_t loadWide = 0;
    for (size_t k = 0; k < K; ++k) {
        const NoiseFilter<Fix>& f = chains[k].filter;
        const int64_t x1 = f.x1.raw(), x2 = f.x2.raw();
        loadWide |= narrowBias(x1) | narrowBias(x2) | narrowBias(f.y1.raw()) | narrowBias(f.y2.raw());
        y1[k / 8][k % 8] = static_cast<uint64_t>(f.y1.raw()), y2[k / 8][k % 8] = static_cast<uint64_t>(f.y2.raw());
        carry[k / 8][k % 8] = static_cast<uint64_t>(narrowProduct(one.c.b1, x1)) + static_cast<uint64_t>(narrowProduct(one.c.b0, x2));
        b0x1[k / 8][k % 8] = static_cast<uint64_t>(narrowProduct(one.c.b0, x1));
        if (chains[k].at.left <= 0) (void)chains[k].at.advance(end);
        enter(k, x1, x2);
    }
    if (leftNarrow(loadWide)) return false;
    const V8 a1 = static_cast<uint64_t>(one.c.a1) - V8{}, a2 = static_cast<uint64_t>(one.c.a2) - V8{};
    const V8 bias = (uint64_t{1} << 42) - V8{};
    const auto* pairs = reinterpret_cast<const long long*>(one.products);
    while (count > 0) {
        int64_t n = count;
        for (size_t k = 0; k < K; ++k) {
            if (left[k] <= 0) {
                int64_t x1, x2;
                inputsOf(k, x1, x2);
                chains[k].at.left = 0;
                if (!chains[k].at.advance(end)) return false;  // cannot happen for lengths inside the runs
                enter(k, x1, x2);
            }
            n = std::min(n, left[k]);
        }
        for (int64_t i = 0; i < n; ++i) {
            const U16 drawn = state * kDrawMul + kDrawAdd;
            const U16 offsets = (drawn >> 15) & 0xFFFEu;  // 2 * draw: b0's product, then b1's
            state = state * nextMul + nextAdd;
            for (size_t g = 0; g < 2; ++g) {
                const U8 lanes = g == 0 ? __builtin_shufflevector(offsets, offsets, 0, 1, 2, 3, 4, 5, 6, 7)
                                        : __builtin_shufflevector(offsets, offsets, 8, 9, 10, 11, 12, 13, 14, 15);
                // (the masked form: the plain one starts from an undefined register)
                const S8 pair = reinterpret_cast<S8>(
                    _mm512_mask_i32gather_epi64(_mm512_setzero_si512(), 0xFF, reinterpret_cast<__m256i>(lanes), pairs, 4));
                const V8 b0w = reinterpret_cast<V8>((pair << 32) >> 32), b1w = reinterpret_cast<V8>(pair >> 32);
                const V8 p2 = reinterpret_cast<V8>(reinterpret_cast<S8>(a2 * y2[g]) >> 16);
                const V8 p1 = reinterpret_cast<V8>(reinterpret_cast<S8>(a1 * y1[g]) >> 16);
                const V8 y = carry[g] + b0w - p2 - p1;
                wide[g] |= y + bias;
                carry[g] = b1w + b0x1[g], b0x1[g] = b0w;
                y2[g] = y1[g], y1[g] = y;
            }
        }
        for (int64_t& l : left) l -= n;
        count -= n;
    }
    for (size_t k = 0; k < K; ++k)
        if (leftNarrow(wide[k / 8][k % 8])) return false;
    for (size_t k = 0; k < K; ++k) {
        int64_t x1, x2;
        inputsOf(k, x1, x2);
        chains[k].filter = NoiseFilter<Fix>{Fix::fromRaw(x1), Fix::fromRaw(x2), Fix::fromRaw(static_cast<int64_t>(y1[k / 8][k % 8])),
                                            Fix::fromRaw(static_cast<int64_t>(y2[k / 8][k % 8]))};
        chains[k].at.state = state[k];
        chains[k].at.left = left[k];
    }
    return true;
}
#endif

// Fix: the chains side by side in blocks that end where some chain's run
// ends, in the narrow form where the values allow it.
template <int K>
void narrowSideBySide(std::array<Chain<Fix>, K>& chains, const NoiseRun<Fix>* end, int64_t count) noexcept {
    using T = Fix;
    const auto* white = whiteTable<T>();
    HeldTables tables;
    while (count > 0) {
        int64_t n = count;
        for (Chain<T>& ch : chains) {
            if (ch.at.left <= 0) (void)ch.at.advance(end);
            n = std::min(n, ch.at.left);
        }
        if (n <= 0) return;  // cannot happen for lengths inside the runs
        std::array<NoiseFilter<T>, K> f;
        std::array<Cursor<T>, K> at;
        for (int k = 0; k < K; ++k) {
            f[static_cast<size_t>(k)] = chains[static_cast<size_t>(k)].filter;
            at[static_cast<size_t>(k)] = chains[static_cast<size_t>(k)].at;
        }
        if (!narrowSteps<K>(f, at, n, &tables))
            for (int64_t i = 0; i < n; ++i)
                for (int k = 0; k < K; ++k) step(f[static_cast<size_t>(k)], at[static_cast<size_t>(k)], white);
        for (int k = 0; k < K; ++k) {
            chains[static_cast<size_t>(k)].filter = f[static_cast<size_t>(k)];
            chains[static_cast<size_t>(k)].at = at[static_cast<size_t>(k)];
            chains[static_cast<size_t>(k)].at.left -= n;
        }
        count -= n;
    }
}

// `count` steps of every chain side by side: each chain's steps still depend
// on one another, but the processor overlaps the chains. `anySkip`: some
// run skips draws after its white ones.
template <EngineNumType T, int K>
void stepSideBySide(std::array<Chain<T>, K>& chains, const NoiseRun<T>* end, int64_t count, bool anySkip,
                    const OneCutoff* one) noexcept {
    if constexpr (!kIsFix<T>) {
#if TAVOLIN_WIDE_LANES
        if constexpr (K == 16)
            if (wideLanesAvailable()) return wideLaneSteps<T>(chains, end, count, anySkip);
#endif
        laneSteps<T, static_cast<size_t>(K)>(chains, end, count, anySkip);
    } else {
#if TAVOLIN_WIDE_LANES
        if constexpr (K == 16) {
            if (one != nullptr) {
                std::array<NoiseFilter<T>, K> filters;
                std::array<Cursor<T>, K> cursors;
                for (size_t k = 0; k < K; ++k) filters[k] = chains[k].filter, cursors[k] = chains[k].at;
                if (wideFixSteps(chains, end, count, *one)) return;
                for (size_t k = 0; k < K; ++k) chains[k].filter = filters[k], chains[k].at = cursors[k];
            }
        }
#endif
        narrowSideBySide<K>(chains, end, count);
    }
}

template <EngineNumType T, int K>
NoiseFilter<T> payInChains(NoiseFilter<T> start, std::span<const NoiseRun<T>> runs, int64_t total,
                           NoiseStepStats* stats, const OneCutoff* one = nullptr) noexcept {
    const NoiseRun<T>* end = runs.data() + runs.size();
    // Chain k >= 1 starts `warmUp` steps before the point where chain k-1
    // ends, from rest; chain 0 starts at the true state. All step `length`
    // (the last one fewer by the rounding).
    const int64_t spacing = std::max(kMinSpacing, (total + K * (kCheckpoints - 4) - 1) / (K * (kCheckpoints - 4)));
    const int64_t warmUp = kWarmSpacings * spacing;
    const int64_t length = (total + (K - 1) * warmUp + K - 1) / K;
    const int64_t stride = length - warmUp;
    std::array<Chain<T>, K> chains;
    RunFinder<T> starts(runs);
    for (int k = 0; k < K; ++k) {
        Chain<T>& ch = chains[static_cast<size_t>(k)];
        ch.filter = k == 0 ? start : NoiseFilter<T>{};
        ch.at = starts.at(k * stride);
    }
    const int64_t lastLength = total - (K - 1) * stride;  // <= length
    const bool anySkip = std::any_of(runs.begin(), runs.end(), [](const NoiseRun<T>& r) { return r.skip != 0; });
    int recorded = 0;
    for (int64_t done = 0; done < lastLength;) {
        const int64_t n = std::min(spacing, lastLength - done);
        stepSideBySide<T, K>(chains, end, n, anySkip, one);
        done += n;
        if (n == spacing && recorded < kCheckpoints) {
            for (Chain<T>& ch : chains) ch.checkpoints[static_cast<size_t>(recorded)] = ch.filter;
            ++recorded;
        }
    }
    for (int k = 0; k + 1 < K; ++k) stepOne(chains[static_cast<size_t>(k)].filter, chains[static_cast<size_t>(k)].at, end,
                                            length - lastLength);

    // Join: the true state where chain k-1 ends is where chain k's guess was
    // taken (the checkpoint after warmUp).
    NoiseFilter<T> truth = chains[0].filter;
    RunFinder<T> joins(runs);  // where the retraces start, in increasing order
    int missed = 0;
    int64_t retraced = 0;
    for (int k = 1; k < K; ++k) {
        const Chain<T>& ch = chains[static_cast<size_t>(k)];
        if (sameState(truth, ch.checkpoints[kWarmSpacings - 1])) {
            truth = ch.filter;
            continue;
        }
        ++missed;
        Cursor<T> at = joins.at(k * stride + warmUp);
        const int64_t chainLength = k + 1 == K ? lastLength : length;
        int64_t position = warmUp;
        bool met = false;
        for (int j = kWarmSpacings; j < recorded && !met; ++j) {
            stepOne(truth, at, end, spacing);
            position += spacing;
            retraced += spacing;
            met = sameState(truth, ch.checkpoints[static_cast<size_t>(j)]);
        }
        if (met) {
            truth = ch.filter;
        } else {
            stepOne(truth, at, end, chainLength - position);
            retraced += chainLength - position;
        }
    }
    if (stats) {
        stats->chains = K;
        stats->missedGuesses = missed;
        stats->retraced = retraced;
    }
    return truth;
}

}  // namespace

template <EngineNumType T>
NoiseFilter<T> runNoiseStepsInOrder(NoiseFilter<T> start, std::span<const NoiseRun<T>> runs) noexcept {
    for (const NoiseRun<T>& run : runs) {
        RandomSource random;
        random.reset(run.fromState);
        plainSteps(start, random, run.coefficients, run.skip, run.samples);
    }
    return start;
}

template <EngineNumType T>
NoiseFilter<T> runNoiseSteps(NoiseFilter<T> start, std::span<const NoiseRun<T>> runs, NoiseStepStats* stats) noexcept {
    int64_t total = 0;
    for (const NoiseRun<T>& run : runs) total += std::max<int64_t>(run.samples, 0);
    // as many chains as the debt has room for: each needs four spacings
    // (its own guess's warm-up, and room past it)
    constexpr int kMost = kChains<T>;
    if constexpr (kIsFix<T>) {
        // a noise bank of one cutoff, on a processor with the wide lanes
        OneCutoff one;
        HeldTables tables;
        if (total >= 4 * 16 * kMinSpacing && wideLanesAvailable() && oneNarrowCutoff(runs, total, one.c) &&
            (one.products = tables.find(one.c)) != nullptr)
            return payInChains<T, 16>(start, runs, total, stats, &one);
    }
    if (total >= 4 * kMost * kMinSpacing) return payInChains<T, kMost>(start, runs, total, stats);
    if constexpr (kMost >= 8)
        if (total >= 4 * 8 * kMinSpacing) return payInChains<T, 8>(start, runs, total, stats);
    if constexpr (kMost >= 4)
        if (total >= 4 * 4 * kMinSpacing) return payInChains<T, 4>(start, runs, total, stats);
    if (stats) *stats = NoiseStepStats{1, 0, 0};
    if (total == 0) return start;
    Cursor<T> at = cursorAt(runs, 0);
    stepOne(start, at, runs.data() + runs.size(), total);
    return start;
}

bool useWideLanes(bool on) noexcept {
    g_wideLanes.store(on, std::memory_order_relaxed);
    return wideLanesAvailable();
}

#define TAVOLIN_INSTANTIATE(T)                                                                                  \
    template NoiseFilter<T> runNoiseStepsInOrder<T>(NoiseFilter<T>, std::span<const NoiseRun<T>>) noexcept;   \
    template NoiseFilter<T> runNoiseSteps<T>(NoiseFilter<T>, std::span<const NoiseRun<T>>, NoiseStepStats*) noexcept;
TAVOLIN_INSTANTIATE(Fix)
TAVOLIN_INSTANTIATE(float)
TAVOLIN_INSTANTIATE(double)
#undef TAVOLIN_INSTANTIATE

}  // namespace tavolin
