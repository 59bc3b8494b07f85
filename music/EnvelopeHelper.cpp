// SPDX-License-Identifier: MIT
// Envelope templates and the checks before an "@ED" command is inserted.
#include "music/EnvelopeHelper.h"

#include "compiler/UiText.h"
#include "music/NumberText.h"
#include "document/UserTexts.h"

namespace tavolin::music {

const std::array<EnvelopeTemplate, kEnvelopeTemplateCount> kEnvelopeTemplates = {{
    {TAVOLIN_TR_NOOP("Texts", "標準値"), 20.0f, 20.0f, 20.0f, 255, 204},
    {TAVOLIN_TR_NOOP("Texts", "なし"), 0.0f, 0.0f, 0.0f, 255, 255},
    {TAVOLIN_TR_NOOP("Texts", "めっちゃアタック"), 50.0f, 50.0f, 20.0f, 255, 127},
    {TAVOLIN_TR_NOOP("Texts", "めっちゃ２"), 20.0f, 80.0f, 20.0f, 255, 127},
    {TAVOLIN_TR_NOOP("Texts", "長いリリース"), 10.0f, 10.0f, 100.0f, 229, 204},
    {TAVOLIN_TR_NOOP("Texts", "長いリリース2"), 20.0f, 20.0f, 150.0f, 229, 204},
    {TAVOLIN_TR_NOOP("Texts", "長いリリース3"), 30.0f, 20.0f, 200.0f, 229, 204},
}};

std::array<std::string, 5> applyEnvelopeTemplate(int index) {
    const EnvelopeTemplate& t = kEnvelopeTemplates.at(static_cast<size_t>(index));
    return {compactNumber(t.attackMs), compactNumber(t.decayMs), compactNumber(t.releaseMs),
            std::to_string(t.attackLevel), std::to_string(t.sustainLevel)};
}

namespace {

std::string timeMessage(const char* what) {
    return document::fillIn(uiText(TAVOLIN_TR_NOOP("Texts", "{what}の時間が不正です(0ms～)")), "what", uiText(what));
}
std::string levelMessage(const char* what) {
    return document::fillIn(uiText(TAVOLIN_TR_NOOP("Texts", "{what}が不正です(0～255)")), "what", uiText(what));
}
bool inByteRange(int32_t v) noexcept { return v >= 0 && v <= 255; }

}  // namespace

EnvelopeCommand buildEnvelopeCommand(const EnvelopeFields& fields) {
    const float attackMs = static_cast<float>(atofLike(fields.attackTime));
    const float decayMs = static_cast<float>(atofLike(fields.decayTime));
    const float releaseMs = static_cast<float>(atofLike(fields.releaseTime));
    const int32_t attackLevel = atoiLike(fields.attackLevel);
    const int32_t sustainLevel = atoiLike(fields.sustainLevel);
    const int32_t number = atoiLike(fields.number);

    // "not at least 0" rather than "below 0" so that a NaN never reaches the text.
    if (!(attackMs >= 0.0f)) return {{}, timeMessage(TAVOLIN_TR_NOOP("Texts", "atack time"))};
    if (!(decayMs >= 0.0f)) return {{}, timeMessage("decay time")};
    if (!(releaseMs >= 0.0f)) return {{}, timeMessage("release time")};
    if (!inByteRange(attackLevel)) return {{}, levelMessage(TAVOLIN_TR_NOOP("Texts", "atack level"))};
    if (!inByteRange(sustainLevel)) return {{}, levelMessage("sustain level")};
    if (!inByteRange(number)) return {{}, levelMessage(TAVOLIN_TR_NOOP("Texts", "番号"))};

    std::string text = "@ED" + std::to_string(number) + ":" + compactNumber(attackMs) + ":" +
                       compactNumber(decayMs) + ":" + compactNumber(releaseMs) + ":" +
                       std::to_string(attackLevel) + ":" + std::to_string(sustainLevel);
    return {text, {}};
}

}  // namespace tavolin::music
