// SPDX-License-Identifier: MIT
// The invariant check of compiled event lists.
#include "compiler/EventListCheck.h"

#include <vector>

namespace tavolin {

template <EngineNumType T>
std::string eventListViolations(const EventList<T>& list, bool expectMarker) {
    std::string why;
    auto bad = [&](size_t i, const char* what) {
        why.append("[").append(std::to_string(i)).append("] ").append(what).append("; ");
    };
    const int32_t size = static_cast<int32_t>(list.size());
    const EventKind prologue[] = {EventKind::Volume, EventKind::Tempo, EventKind::ToneSelect,
                                  EventKind::Portamento, EventKind::EnvelopeDef, EventKind::EnvelopeSelect,
                                  EventKind::Pan, EventKind::LfoDef, EventKind::LfoDef};
    for (size_t i = 0; i < 9; ++i)
        if (i >= list.size() || list[i].kind != prologue[i]) bad(i, "prologue");
    int markers = 0;
    std::vector<int32_t> open; // LoopStart indices, innermost last
    int32_t lastNote = -1;
    for (int32_t i = 0; i < size; ++i) {
        const auto& e = list[static_cast<size_t>(i)];
        const auto at = static_cast<size_t>(i);
        markers += e.startMarker;
        if (e.startMarker != 0 && e.startMarker != 1) bad(at, "marker value");
        switch (e.kind) {
        case EventKind::Note: {
            lastNote = i;
            const int32_t t = e.note.slurTarget;
            T expected = e.note.length;
            if (t != -1) {
                if (t <= i || t >= size || list[static_cast<size_t>(t)].kind != EventKind::Note ||
                    list[static_cast<size_t>(t)].note.frequency == Num<T>::zero())
                    bad(at, "slur target");
                else
                    expected += list[static_cast<size_t>(t)].note.groupLength;
            }
            if (!(e.note.groupLength == expected)) bad(at, "group length");
            break;
        }
        case EventKind::LoopControl: {
            const auto& l = e.loop;
            if (l.level < 0 || l.level >= kMaxLoopLevels) bad(at, "level range");
            if (l.op == LoopOp::LoopStart) {
                if (l.level != static_cast<int32_t>(open.size())) bad(at, "start level");
                open.push_back(i);
            } else if (open.empty()) {
                bad(at, "loop record outside a loop");
            } else if (l.op == LoopOp::LoopEnd) {
                const auto& s = list[static_cast<size_t>(open.back())].loop;
                if (l.partner != open.back() || s.partner != i || s.count != l.count || s.level != l.level)
                    bad(at, "end partner");
                if (l.count == 0 || l.count < -1) bad(at, "count");
                if (lastNote <= open.back()) bad(at, "loop without note");
                open.pop_back();
            } else {
                if (l.partner != open.back() || l.level != static_cast<int32_t>(open.size()) - 1) bad(at, "break partner");
            }
            break;
        }
        case EventKind::EndMarker:
            if (i != size - 1 || e.startMarker != 1) bad(at, "end marker");
            break;
        case EventKind::Tempo: if (e.tempo < 1) bad(at, "tempo"); break;
        case EventKind::Volume: if (e.volume < 0 || e.volume > 255) bad(at, "volume"); break;
        case EventKind::Pan: if (e.pan < 0 || e.pan > 256) bad(at, "pan"); break;
        case EventKind::ToneSelect: if (e.tone > 31) bad(at, "tone"); break;
        case EventKind::EnvelopeSelect: if (e.envelope < 0 || e.envelope > 255) bad(at, "envelope"); break;
        case EventKind::EnvelopeDef: {
            const auto& d = e.envelopeDef;
            if (d.envelope < -1 || d.envelope > 255 || d.attackLevel < 0 || d.attackLevel > 255 ||
                d.sustainLevel < 0 || d.sustainLevel > 255)
                bad(at, "envelope def");
            break;
        }
        case EventKind::ToneDef: {
            const auto& d = e.toneDef;
            if (d.tone < 0 || d.tone > 31 || d.wave < 0 || d.wave > 4 || d.dutyCount < 1 || d.dutyCount > 8) bad(at, "tone def");
            for (int k = 0; k < d.dutyCount; ++k)
                if (d.duties[static_cast<size_t>(k)] < 0 || d.duties[static_cast<size_t>(k)] > 99) bad(at, "duty");
            break;
        }
        case EventKind::LfoDef: {
            const auto& d = e.lfo;
            if (d.mode < 0 || d.mode > 3 || d.pointCount < 1 || d.pointCount > 6) bad(at, "lfo");
            for (int k = 1; k < d.pointCount; ++k)
                if (!(d.points[static_cast<size_t>(k)].time > d.points[static_cast<size_t>(k - 1)].time)) bad(at, "lfo order");
            break;
        }
        default: break;
        }
    }
    // Loops left open: counted once, and their partner leads past the text.
    for (int32_t s : open) {
        const auto& l = list[static_cast<size_t>(s)].loop;
        const int32_t lastOfText = list.back().kind == EventKind::EndMarker ? size - 2 : size - 1;
        if (l.count != 0 || l.partner != lastOfText) bad(static_cast<size_t>(s), "open loop");
    }
    if (expectMarker ? markers != 1 : markers != 0) why.append("markers=").append(std::to_string(markers)).append("; ");
    return why;
}

template std::string eventListViolations<Fix>(const EventList<Fix>&, bool);
template std::string eventListViolations<float>(const EventList<float>&, bool);
template std::string eventListViolations<double>(const EventList<double>&, bool);

}  // namespace tavolin
