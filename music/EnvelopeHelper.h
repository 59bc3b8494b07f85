// SPDX-License-Identifier: MIT
// The envelope helper: seven templates and the checked "@ED" command.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tavolin::music {

struct EnvelopeTemplate {
    const char* caption;  // the button's caption (UTF-8)
    float attackMs;
    float decayMs;
    float releaseMs;
    int attackLevel;
    int sustainLevel;
};

inline constexpr int kEnvelopeTemplateCount = 7;
extern const std::array<EnvelopeTemplate, kEnvelopeTemplateCount> kEnvelopeTemplates;

// The texts of the five fields, in the order attack, decay, release time,
// attack level, sustain level; plus the number field.
struct EnvelopeFields {
    std::string attackTime;
    std::string decayTime;
    std::string releaseTime;
    std::string attackLevel;
    std::string sustainLevel;
    std::string number;
};

// The five field texts a template sets (the number field is left alone).
std::array<std::string, 5> applyEnvelopeTemplate(int index);

// Either the command text or the message of the first failed check.
struct EnvelopeCommand {
    std::string text;     // "@ED..." when ok
    std::string message;  // non-empty when a check failed
    bool ok() const noexcept { return message.empty(); }
};

EnvelopeCommand buildEnvelopeCommand(const EnvelopeFields& fields);

}  // namespace tavolin::music
