// SPDX-License-Identifier: MIT
// The status line of a looping passage.
#include "window/PassageLoop.h"

#include "document/UserTexts.h"
#include "output/Passage.h"

namespace tavolin::window {

std::string loopStatusText(const LoopSpan& span, uint32_t rate) {
    return document::fillIn(document::fillIn(uiText(kMsgLoopPlaying), "from", output::songTimeText(span.from, rate)), "to",
                  output::songTimeText(span.to, rate));
}

}  // namespace tavolin::window
