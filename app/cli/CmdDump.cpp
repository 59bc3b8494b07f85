// SPDX-License-Identifier: MIT
// `tavolin-cli dump`: every bank's compiled event list as the player holds it, as text or JSON.
#include <iostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/cli/CliInput.h"
#include "app/cli/Commands.h"

namespace tavolin::cli {
namespace {

using json::addSourceFields;
using json::sourceText;

using Json = nlohmann::ordered_json;

using DumpOptions = CompileOptions;

// The exact value of an engine number (Fix: raw / 65536, exact in a double).
template <EngineNumType T>
double exact(T v) {
    return Num<T>::toDouble(v);
}

// One record with each payload field under its model name.
template <EngineNumType T>
Json eventJson(const MmlEvent<T>& e, size_t index) {
    Json j;
    j["index"] = index;
    j["kind"] = eventKindName(e.kind);
    j["startMarker"] = e.startMarker;
    switch (e.kind) {
    case EventKind::Note:
        j["frequency"] = exact(e.note.frequency);
        j["length"] = exact(e.note.length);
        j["groupLength"] = exact(e.note.groupLength);
        j["slurTarget"] = e.note.slurTarget;
        break;
    case EventKind::Tempo: j["tempo"] = e.tempo; break;
    case EventKind::Volume: j["volume"] = e.volume; break;
    case EventKind::Pan: j["pan"] = e.pan; break;
    case EventKind::ToneSelect: j["tone"] = e.tone; break;
    case EventKind::Portamento: j["ratio"] = exact(e.ratio); break;
    case EventKind::EnvelopeDef:
        j["attackMs"] = exact(e.envelopeDef.attackMs);
        j["decayMs"] = exact(e.envelopeDef.decayMs);
        j["releaseMs"] = exact(e.envelopeDef.releaseMs);
        j["attackLevel"] = e.envelopeDef.attackLevel;
        j["sustainLevel"] = e.envelopeDef.sustainLevel;
        j["envelope"] = e.envelopeDef.envelope;
        break;
    case EventKind::EnvelopeSelect: j["envelope"] = e.envelope; break;
    case EventKind::ToneDef: {
        const auto& d = e.toneDef;
        j["tone"] = d.tone;
        j["wave"] = d.wave;
        j["dutyCount"] = d.dutyCount;
        j["freqNoise"] = static_cast<double>(d.freqNoise);
        j["levelNoise"] = static_cast<double>(d.levelNoise);
        j["dutySwitchMs"] = static_cast<double>(d.dutySwitchMs);
        Json duties = Json::array();
        for (int i = 0; i < d.dutyCount && i < kMaxDuties; ++i) duties.push_back(static_cast<double>(d.duties[static_cast<size_t>(i)]));
        j["duties"] = duties;
        break;
    }
    case EventKind::LoopControl:
        j["op"] = loopOpName(e.loop.op);
        j["count"] = e.loop.count;
        j["partner"] = e.loop.partner;
        j["level"] = e.loop.level;
        break;
    case EventKind::LfoDef: {
        j["mode"] = e.lfo.mode;
        j["pointCount"] = e.lfo.pointCount;
        Json points = Json::array();
        for (int i = 0; i < e.lfo.pointCount && i < kMaxLfoPoints; ++i) {
            const auto& p = e.lfo.points[static_cast<size_t>(i)];
            Json q;
            q["time"] = static_cast<double>(p.time);
            q["interpolate"] = p.interpolate;
            q["periodMs"] = static_cast<double>(p.periodMs);
            q["depth"] = static_cast<double>(p.depth);
            points.push_back(q);
        }
        j["points"] = points;
        break;
    }
    case EventKind::EndMarker: break;
    }
    return j;
}

// The text form: "  12 Note frequency=440 length=64 ... @A:5+2" with a * on
// the marker; a macro replay adds "via A:9+2" (its call).
std::string eventLine(const Json& j, const RecordSource& src, uint64_t commonLength, int bank) {
    std::ostringstream s;
    s.width(6);
    s << j["index"].get<size_t>();
    s << (j["startMarker"].get<int>() ? " * " : "   ") << j["kind"].get<std::string>();
    for (auto it = j.begin(); it != j.end(); ++it) {
        if (it.key() == "index" || it.key() == "kind" || it.key() == "startMarker" || it.key() == "source" || it.key() == "call")
            continue;
        s << " " << it.key() << "=" << it.value().dump();
    }
    if (src.command.valid()) s << " @" << sourceText(src.command, commonLength, bank);
    if (src.call.valid()) s << " via " << sourceText(src.call, commonLength, bank);
    return s.str();
}

template <EngineNumType T>
int dump(const DumpOptions& o, const DocumentInput& doc, const CursorOption& cursor) {
    std::array<EventList<T>, kBankCount> lists;
    std::array<SourceSpans, kBankCount> spans;
    const CompileResult r = compileDocument<T>(doc.tabs, cursor, lists, &spans);
    if (r.code != 0) {
        if (o.json) std::cout << compileErrorJson(r) << "\n";
        else std::cout << describeCompileError(doc, r);
        return kExitCompileError;
    }
    const uint64_t commonLength = doc.tabs[0].size();
    Json banks = Json::array();
    for (int b = 0; b < kBankCount; ++b) {
        Json bank;
        bank["bank"] = bankLabel(b);
        Json events = Json::array();
        const auto& list = lists[static_cast<size_t>(b)];
        const auto& sources = spans[static_cast<size_t>(b)];
        for (size_t i = 0; i < list.size(); ++i) {
            Json e = eventJson(list[i], i);
            addSourceFields(e, sources[i], commonLength, b);
            events.push_back(std::move(e));
        }
        bank["events"] = events;
        banks.push_back(bank);
    }
    if (o.json) {
        Json root;
        root["arith"] = arithName(arithOf<T>());
        root["banks"] = banks;
        std::cout << root.dump() << "\n";
        return kExitOk;
    }
    for (int b = 0; b < kBankCount; ++b) {
        const auto& events = banks[static_cast<size_t>(b)]["events"];
        std::cout << "bank " << bankLabel(b) << ": ";
        if (events.empty()) {
            std::cout << "silent (no note)\n";
            continue;
        }
        std::cout << events.size() << " events\n";
        for (size_t i = 0; i < events.size(); ++i)
            std::cout << eventLine(events[i], spans[static_cast<size_t>(b)][i], commonLength, b) << "\n";
    }
    return kExitOk;
}

int runDump(const DumpOptions& o) {
    return runForArith(o, [&o]<EngineNumType T>(const DocumentInput& doc, const CursorOption& cursor) {
        return dump<T>(o, doc, cursor);
    });
}

CommandRegistrar reg{[](CLI::App& app) {
    auto opts = std::make_shared<DumpOptions>();
    CLI::App* cmd = app.add_subcommand("dump", "Print each bank's compiled event list (empty when it holds no note)");
    addCompileOptions(*cmd, *opts, "Print one JSON object {\"arith\":...,\"banks\":[{\"bank\":\"A\",\"events\":[...]}...]}");
    cmd->callback([opts] { setExitStatus(runDump(*opts)); });
}};

}  // namespace
}  // namespace tavolin::cli
