// SPDX-License-Identifier: MIT
// The JSON and text shapes of songs shared by tavolin-cli and the web engine.
#include "app/json/SongJson.h"

#include <cstdio>
#include <cstdlib>

#include "compiler/DecimalText.h"
#include "compiler/ErrorTable.h"
#include "compiler/UiText.h"

namespace tavolin::json {

std::string bankLabel(int64_t bank) {
    if (bank == -2) return "internal";
    if (bank == -1) return "common";
    if (bank >= 0 && bank < kBankCount) return std::string(1, static_cast<char>('A' + bank));
    return "?";
}

std::string compileErrorCode(int32_t code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<uint32_t>(code));
    return buf;
}

std::string compileErrorJson(const CompileResult& result) {
    nlohmann::ordered_json j;
    j["ok"] = false;
    j["code"] = compileErrorCode(result.code);
    j["bank"] = result.bank;
    j["position"] = result.position;
    j["message"] = std::string(errorMessage(result.code));
    return j.dump();
}

std::string sourceTabName(int tab) { return tab == -2 ? "default" : bankLabel(tab); }

nlohmann::ordered_json sourceJson(TextSpan span, uint64_t commonLength, int bank) {
    if (!span.valid()) return nullptr;
    const TabSpan at = tabSpanOf(span, commonLength, bank);
    nlohmann::ordered_json j;
    j["tab"] = sourceTabName(at.tab);
    j["offset"] = at.offset;
    j["length"] = at.length;
    return j;
}

std::string sourceText(TextSpan span, uint64_t commonLength, int bank) {
    if (!span.valid()) return "-";
    const TabSpan at = tabSpanOf(span, commonLength, bank);
    return sourceTabName(at.tab) + ":" + std::to_string(at.offset) + "+" + std::to_string(at.length);
}

void addSourceFields(nlohmann::ordered_json& j, const RecordSource& src, uint64_t commonLength, int bank) {
    j["source"] = sourceJson(src.command, commonLength, bank);
    if (src.call.valid()) j["call"] = sourceJson(src.call, commonLength, bank);
}

double shownFrequency(double hz, Arith arith) {
    if (arith != Arith::Float) return hz;
    // The fewest significant digits that read back as the same float: the
    // correctly rounded form at each precision is the nearest candidate.
    // (Not to_chars: the WebAssembly C++ library has none for floats.) The
    // tool never sets a locale, so the point is always ".".
    const float f = static_cast<float>(hz);
    char buf[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, static_cast<double>(f));
        if (std::strtof(buf, nullptr) == f) break;
    }
    double shown = hz;
    decimalToDouble(buf, shown);
    return shown;
}

nlohmann::ordered_json timelineJson(const SongTimeline& t, Arith arith) {
    nlohmann::ordered_json root;
    root["rate"] = t.sampleRate;
    root["frames"] = t.frames;
    root["truncated"] = t.truncated;
    nlohmann::ordered_json banks = nlohmann::ordered_json::array();
    for (int b = 0; b < kBankCount; ++b) {
        const BankTimeline& bank = t.banks[static_cast<size_t>(b)];
        if (bank.notes.empty()) continue;
        nlohmann::ordered_json notes = nlohmann::ordered_json::array();
        for (const TimelineNote& n : bank.notes) {
            nlohmann::ordered_json j;
            j["start"] = n.start;
            j["frames"] = n.frames;
            j["frequency"] = shownFrequency(n.frequency, arith);
            j["volume"] = n.volume;
            j["tone"] = n.tone;
            j["pan"] = n.pan;
            j["slur"] = n.slurred;
            addSourceFields(j, n.source, t.commonLength, b);
            notes.push_back(std::move(j));
        }
        nlohmann::ordered_json entry;
        entry["bank"] = bankLabel(b);
        entry["notes"] = std::move(notes);
        banks.push_back(std::move(entry));
    }
    root["banks"] = std::move(banks);
    return root;
}

nlohmann::ordered_json midiReportJson(const music::MidiImportReport& r) {
    nlohmann::ordered_json lines = nlohmann::ordered_json::array();
    for (const auto& l : r.lines) {
        lines.push_back({{"track", l.ref.track},
                         {"line", l.ref.line},
                         {"name", l.trackName},
                         {"channel", l.channel},
                         {"drums", l.drums},
                         {"notes", l.notes},
                         {"soundingSteps", l.soundingSteps},
                         {"averageKey", l.averageKey},
                         {"bank", l.bank < 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(std::string(1, static_cast<char>('A' + l.bank)))}});
    }
    return {{"ok", true},
            {"format", r.format},
            {"grid", r.grid},
            {"lines", lines},
            {"maxTimingErrorMs", r.maxTimingErrorMs},
            {"tempoChanges", r.tempoChanges},
            {"dropped", {{"pitchBends", r.pitchBends}, {"controllers", r.controllers}, {"other", r.otherDropped}}},
            {"octaveMoved", r.octaveMoved},
            {"cutNotes", r.cutNotes}};
}

nlohmann::ordered_json referenceJson() {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const music::MmlReferenceEntry& e : music::mmlReference())
        list.push_back({{"group", uiText(e.group)}, {"heads", e.heads}, {"syntax", e.syntax}, {"what", uiText(e.what)},
                        {"example", e.example}});
    return list;
}

}  // namespace tavolin::json
