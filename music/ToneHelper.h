// SPDX-License-Identifier: MIT
// The tone-definition helper: composes "@W" commands from the tone group's settings.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/UiText.h"

namespace tavolin::music {

inline constexpr const char* kMsgNoDuty = TAVOLIN_TR_NOOP("Texts", "Duty比が未設定");
inline constexpr const char* kMsgNoiseRange = TAVOLIN_TR_NOOP("Texts", "ノイズ範囲が範囲外（0～100%）");
inline constexpr const char* kMsgTestPhraseUnencodable = TAVOLIN_TR_NOOP("Texts", "テストフレーズにCP932で表せない文字があります");
inline constexpr const char* kMsgDutyRange = TAVOLIN_TR_NOOP("Texts", "Duty比が不正です(0～99)");

// The wave types the helper's first list offers, in the order of their index.
inline constexpr std::array<const char*, 5> kToneWaveTypes = {
    TAVOLIN_TR_NOOP("Texts", "矩形"), TAVOLIN_TR_NOOP("Texts", "三角"), TAVOLIN_TR_NOOP("Texts", "のこぎり"), "Sin",
    TAVOLIN_TR_NOOP("Texts", "ノイズ")};
// The tone numbers the helper offers: 0 to this.
inline constexpr int kToneNumberMax = 31;

// What the window shows when the helper refuses or warns (UTF-8, OK box).
using MessageSink = std::function<void(const std::string&)>;

// The helper's own state; the window owns one (its `waveType`, `toneSwitchMs`,
// `freqNoisePercent` and `dutyList`).
class ToneHelper {
public:
    int waveType() const noexcept { return m_waveType; }
    float toneSwitchMs() const noexcept { return m_toneSwitchMs; }
    float freqNoisePercent() const noexcept { return m_freqNoisePercent; }
    const std::vector<float>& dutyList() const noexcept { return m_dutyList; }

    void setWaveType(int index) noexcept { m_waveType = index; }
    // Field 1007 / 1008 changed: the text read as a decimal integer.
    void setFreqNoiseText(std::string_view text) noexcept;
    void setSwitchText(std::string_view text) noexcept;

    // Add: the duty combo's text read as a number, appended; also takes the wave
    // type. A text that is no plain number from 0 to 99 (the compiler's range)
    // is refused: the message to show is returned and nothing changes. Empty
    // when the duty was added.
    std::string addDuty(std::string_view dutyText, int waveTypeIndex);
    // Del: removes entry `selected` when it names one; -1 (nothing selected) does nothing.
    void deleteDuty(int selected);

    // The list box lines, one per duty, as the number was typed ("50", "12.5").
    std::vector<std::string> listLines() const;

    // The command text for tone number `tone` and the level-noise field's text.
    // Shows "Duty比が未設定" and goes on when the list is empty; shows the noise-range
    // message and returns "" when the frequency noise is outside 0..100.
    std::string buildToneCommand(int tone, std::string_view levelNoiseText, const MessageSink& message) const;

private:
    int m_waveType = 0;
    float m_toneSwitchMs = 0.0f;
    float m_freqNoisePercent = 0.0f;
    std::vector<float> m_dutyList;
    // Each duty as typed, in compact form: the list and the command show 33.3,
    // not the float's 33.299999.
    std::vector<std::string> m_dutyTexts;
};

}  // namespace tavolin::music
