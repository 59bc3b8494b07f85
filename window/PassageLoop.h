// SPDX-License-Identifier: MIT
// Looping a passage of the song in the window: its messages and status line.
// Which stretch a selection or a ruler drag names is session/Passage.h.
#pragma once

#include <cstdint>
#include <string>

#include "compiler/UiText.h"
#include "session/Passage.h"

namespace tavolin::window {

using session::LoopPick;
using session::LoopSpan;
using session::loopSpanOf;

inline constexpr const char* kMsgLoopNoNote =
    TAVOLIN_TR_NOOP("Texts", "選択範囲に音符がないため、ループ再生できません");
inline constexpr const char* kMsgLoopPlaying = TAVOLIN_TR_NOOP("Texts", "ループ再生中: {from} – {to}");

// The status line shown while a passage loops ("ループ再生中: 0:01.000 – 0:03.000").
std::string loopStatusText(const LoopSpan& span, uint32_t rate);

}  // namespace tavolin::window
