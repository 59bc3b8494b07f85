// SPDX-License-Identifier: MIT
// Names of event kinds and loop operations, for dumps and JSON.
#include "compiler/MmlEvent.h"

namespace tavolin {

const char* eventKindName(EventKind k) noexcept {
    switch (k) {
    case EventKind::Note: return "Note";
    case EventKind::Tempo: return "Tempo";
    case EventKind::Volume: return "Volume";
    case EventKind::Pan: return "Pan";
    case EventKind::ToneSelect: return "ToneSelect";
    case EventKind::Portamento: return "Portamento";
    case EventKind::EnvelopeDef: return "EnvelopeDef";
    case EventKind::EnvelopeSelect: return "EnvelopeSelect";
    case EventKind::ToneDef: return "ToneDef";
    case EventKind::LoopControl: return "LoopControl";
    case EventKind::LfoDef: return "LfoDef";
    case EventKind::EndMarker: return "EndMarker";
    }
    return "Unknown";
}

const char* loopOpName(LoopOp op) noexcept {
    switch (op) {
    case LoopOp::LoopStart: return "LoopStart";
    case LoopOp::LoopEnd: return "LoopEnd";
    case LoopOp::LoopBreak: return "LoopBreak";
    }
    return "Unknown";
}

}  // namespace tavolin
