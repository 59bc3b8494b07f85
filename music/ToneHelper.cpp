// SPDX-License-Identifier: MIT
// The tone helper's state changes and its command text.
#include "music/ToneHelper.h"

#include "compiler/UiText.h"
#include "music/NumberText.h"

namespace tavolin::music {

void ToneHelper::setFreqNoiseText(std::string_view text) noexcept {
    m_freqNoisePercent = static_cast<float>(atoiLike(text));
}

void ToneHelper::setSwitchText(std::string_view text) noexcept {
    m_toneSwitchMs = static_cast<float>(atoiLike(text));
}

std::string ToneHelper::addDuty(std::string_view dutyText, int waveTypeIndex) {
    // Refused here, as the envelope helper refuses its fields: an inserted
    // "@W0:0:507@0" would only come back later as a compile error.
    const auto duty = plainDecimal(dutyText);
    if (!duty || *duty > 99.0) return uiText(kMsgDutyRange);
    m_dutyList.push_back(static_cast<float>(*duty));
    m_dutyTexts.push_back(compactNumber(*duty));
    m_waveType = waveTypeIndex;
    return {};
}

void ToneHelper::deleteDuty(int selected) {
    if (selected < 0 || static_cast<size_t>(selected) >= m_dutyList.size()) return;
    m_dutyList.erase(m_dutyList.begin() + selected);
    m_dutyTexts.erase(m_dutyTexts.begin() + selected);
}

std::vector<std::string> ToneHelper::listLines() const {
    return m_dutyTexts;
}

std::string ToneHelper::buildToneCommand(int tone, std::string_view levelNoiseText,
                                         const MessageSink& message) const {
    if (m_dutyList.empty() && message) message(uiText(kMsgNoDuty));
    if (m_freqNoisePercent < 0.0f || m_freqNoisePercent > 100.0f) {
        if (message) message(uiText(kMsgNoiseRange));
        return {};
    }
    const float levelNoise = static_cast<float>(atofLike(levelNoiseText));

    // Appended piece by piece: GCC 12 warns falsely on "literal" + std::string.
    std::string text = "@W";
    text += std::to_string(tone);
    text += ':';
    text += std::to_string(m_waveType);
    auto part = [&text](char letter, float value) {
        text += letter;
        text += compactNumber(value);
    };
    if (m_freqNoisePercent != 0.0f) part('R', m_freqNoisePercent);
    if (levelNoise != 0.0f) part('N', levelNoise);
    if (m_toneSwitchMs != 0.0f) part('C', m_toneSwitchMs);
    for (const std::string& d : m_dutyTexts) {
        text += ':';
        text += d;
    }
    text += '@';
    text += std::to_string(tone);
    return text;
}

}  // namespace tavolin::music
