// SPDX-License-Identifier: MIT
// The window loops a passage by the session's rule, in the session's words
// (session/Passage.h).
#pragma once

#include "session/Passage.h"

namespace tavolin::window {

using session::kMsgLoopNoNote;
using session::LoopPick;
using session::LoopSpan;
using session::loopSpanOf;
using session::loopStatusText;

}  // namespace tavolin::window
