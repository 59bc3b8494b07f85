// SPDX-License-Identifier: MIT
// Constant tables every compilation shares: note frequencies and default tones.
#include "compiler/ParseMml.h"

#include "compiler/BitCast.h"

namespace tavolin {
namespace {

// Each frequency is written once and expanded twice, so the float table gets
// the decimal rounded straight to float (not through double) and the double
// table the decimal as written. Fix is derived from the double by truncation.
#define TAVOLIN_FREQS(F) \
    F(16.3515) F(17.324) F(18.354) F(19.4455) F(20.6015) F(21.827) F(23.1245) F(24.4995) F(25.9565) F(27.5) F(29.135) F(30.868) \
    F(32.703) F(34.648) F(36.708) F(38.891) F(41.203) F(43.654) F(46.249) F(48.999) F(51.913) F(55.0) F(58.27) F(61.735) \
    F(65.406) F(69.296) F(73.416) F(77.782) F(82.407) F(87.307) F(92.499) F(97.999) F(103.826) F(110.0) F(116.541) F(123.471) \
    F(130.813) F(138.591) F(146.832) F(155.563) F(164.814) F(174.614) F(184.997) F(195.998) F(207.652) F(220.0) F(233.082) F(246.942) \
    F(261.626) F(277.183) F(293.665) F(311.127) F(329.628) F(349.228) F(369.994) F(391.995) F(415.305) F(440.0) F(466.164) F(493.883) \
    F(523.251) F(554.365) F(587.33) F(622.254) F(659.255) F(698.456) F(739.989) F(783.991) F(830.609) F(880.0) F(932.328) F(987.767) \
    F(1046.502) F(1108.731) F(1174.659) F(1244.508) F(1318.51) F(1396.913) F(1479.978) F(1567.982) F(1661.219) F(1760.0) F(1864.655) F(1975.533) \
    F(2093.005) F(2217.461) F(2349.318) F(2489.016) F(2637.02) F(2793.826) F(2959.955) F(3135.963) F(3322.438) F(3520.0) F(3729.31) F(3951.066)

#define TAVOLIN_AS_DOUBLE(x) x,
#define TAVOLIN_AS_FLOAT(x) x##f,
constexpr double kFreqDouble[kNoteCount] = {TAVOLIN_FREQS(TAVOLIN_AS_DOUBLE)};
constexpr float kFreqFloat[kNoteCount] = {TAVOLIN_FREQS(TAVOLIN_AS_FLOAT)};
#undef TAVOLIN_AS_DOUBLE
#undef TAVOLIN_AS_FLOAT
#undef TAVOLIN_FREQS

// Scaling by 65536 is exact in double, so truncating the product truncates
// the exact binary value of the table entry.
constexpr std::array<int64_t, kNoteCount> makeFixTable() {
    std::array<int64_t, kNoteCount> t{};
    for (int i = 0; i < kNoteCount; ++i) t[static_cast<size_t>(i)] = static_cast<int64_t>(kFreqDouble[i] * 65536.0);
    return t;
}
constexpr std::array<int64_t, kNoteCount> kFreqFix = makeFixTable();
static_assert(kFreqFix[57] == 28835840);

std::array<ToneDefPayload, kToneSlots> makeDefaultTones() {
    auto tone = [](int slot, int wave, float duty, float freqNoise) {
        ToneDefPayload p{};
        p.tone = slot;
        p.wave = wave;
        p.dutyCount = 1;
        p.freqNoise = freqNoise;
        p.duties[0] = duty;
        return p;
    };
    std::array<ToneDefPayload, kToneSlots> t{};
    for (int s = 0; s < kToneSlots; ++s) t[static_cast<size_t>(s)] = tone(s, 0, 50.0f, 0.0f);
    t[1] = tone(1, 1, 50.0f, 0.0f);
    t[2] = tone(2, 2, 50.0f, 0.0f);
    t[3] = tone(3, 3, 50.0f, 0.0f);
    t[4] = tone(4, 4, 0.0f, 0.0f);
    t[5] = tone(5, 0, bitCast<float>(0x42055555u), 0.0f); // one third, as the float the tables have always held
    t[6] = tone(6, 0, 25.0f, 0.0f);
    t[7] = tone(7, 0, 12.5f, 0.0f);
    t[8] = tone(8, 0, 50.0f, 50.0f);
    t[9] = tone(9, 1, 50.0f, 50.0f);
    return t;
}

}  // namespace

template <EngineNumType T>
T noteFrequency(int index) noexcept {
    if (index < 0 || index >= kNoteCount) return Num<T>::zero();
    const auto i = static_cast<size_t>(index);
    if constexpr (std::is_same_v<T, Fix>) return Fix::fromRaw(kFreqFix[i]);
    else if constexpr (std::is_same_v<T, float>) return kFreqFloat[i];
    else return kFreqDouble[i];
}

template Fix noteFrequency<Fix>(int) noexcept;
template float noteFrequency<float>(int) noexcept;
template double noteFrequency<double>(int) noexcept;

const std::array<ToneDefPayload, kToneSlots>& defaultToneTable() noexcept {
    static const std::array<ToneDefPayload, kToneSlots> table = makeDefaultTones();
    return table;
}

}  // namespace tavolin
