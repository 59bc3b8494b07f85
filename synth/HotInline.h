// SPDX-License-Identifier: MIT
// Inlining of the per-sample path: its helpers are folded into renderFrame,
// the mixer loop and the note runs, where a call would cost more than the
// few nanoseconds of a sample.
#pragma once

#define TAVOLIN_HOT_INLINE [[gnu::always_inline]] inline
#define TAVOLIN_HOT_INLINE_LAMBDA __attribute__((always_inline))
