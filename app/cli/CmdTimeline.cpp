// SPDX-License-Identifier: MIT
// `tavolin-cli timeline`: every note of every bank with its exact frames and its place in the text.
#include <cinttypes>
#include <cstdio>
#include <iostream>

#include <nlohmann/json.hpp>

#include "app/cli/CliInput.h"
#include "app/cli/Commands.h"
#include "synth/Timeline.h"

namespace tavolin::cli {
namespace {

using json::addSourceFields;
using json::sourceText;

struct TimelineCliOptions {
    CompileOptions compile;
    uint32_t rateHz = 48000;
};

// "m:ss.mmm" of a frame count.
std::string clockText(uint64_t frames, uint32_t rate) {
    const uint64_t ms = rate ? frames * 1000 / rate : 0;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%" PRIu64 ":%02" PRIu64 ".%03" PRIu64, ms / 60000, ms / 1000 % 60, ms % 1000);
    return buf;
}

void printTable(const SongTimeline& t, const std::string& name, Arith arith) {
    std::cout << name << ": " << t.frames << " frames at " << t.sampleRate << " Hz (" << clockText(t.frames, t.sampleRate) << "), "
              << arithName(arith) << (t.truncated ? ", cut short: the song is too long to list whole" : "") << "\n";
    for (int b = 0; b < kBankCount; ++b) {
        const BankTimeline& bank = t.banks[static_cast<size_t>(b)];
        if (bank.notes.empty()) continue;
        std::cout << "bank " << bankLabel(b) << ": " << bank.notes.size() << " notes, ends at frame " << bank.endFrame << "\n";
        std::cout << "       start     frames       time   frequency  vol tone  pan  source\n";
        for (const TimelineNote& n : bank.notes) {
            char line[160];
            std::snprintf(line, sizeof line, "%12" PRIu64 " %10" PRIu32 " %10s %11.3f %4d %4d %4d%s  ", n.start, n.frames,
                          clockText(n.start, t.sampleRate).c_str(), json::shownFrequency(n.frequency, arith), n.volume, n.tone, n.pan, n.slurred ? "&" : " ");
            std::cout << line << sourceText(n.source.command, t.commonLength, b);
            if (n.source.call.valid()) std::cout << " via " << sourceText(n.source.call, t.commonLength, b);
            std::cout << "\n";
        }
    }
}

template <EngineNumType T>
int timeline(const TimelineCliOptions& o, const DocumentInput& doc) {
    std::array<EventList<T>, kBankCount> lists;
    std::array<SourceSpans, kBankCount> spans;
    const CompileResult r = compileDocument<T>(doc.tabs, CursorOption{}, lists, &spans);
    if (r.code != 0) {
        if (o.compile.json) std::cout << compileErrorJson(r) << "\n";
        else std::cout << describeCompileError(doc, r);
        return kExitCompileError;
    }
    TimelineOptions options;
    options.sampleRate = o.rateHz;
    const SongTimeline t = buildTimeline<T>(lists, &spans, doc.tabs[0].size(), options);
    if (o.compile.json) std::cout << json::timelineJson(t, arithOf<T>()).dump() << "\n";
    else printTable(t, doc.displayName, arithOf<T>());
    return kExitOk;
}

CommandRegistrar reg{[](CLI::App& app) {
    auto opts = std::make_shared<TimelineCliOptions>();
    CLI::App* cmd = app.add_subcommand("timeline", "List every note of every bank with its exact frames and source, as exported");
    cmd->add_option("FILE", opts->compile.file, "Document file (SMML@...;MML@...;), or - for standard input")->required();
    cmd->add_flag("--json", opts->compile.json,
                  "Print one JSON object {\"rate\":...,\"frames\":...,\"truncated\":...,\"banks\":[{\"bank\":\"A\",\"notes\":[...]}]}");
    cmd->add_option("--arith", opts->compile.arith, "Arithmetic: fix, float or double (default float)");
    cmd->add_option("--rate", opts->rateHz, "Sample rate in Hz (8000..192000)")
        ->check(CLI::Range(uint32_t{8000}, uint32_t{192000}))
        ->default_str("48000");
    cmd->callback([opts] {
        setExitStatus(runForArith(opts->compile, [&o = *opts]<EngineNumType T>(const DocumentInput& doc, const CursorOption&) {
            return timeline<T>(o, doc);
        }));
    });
}};

}  // namespace
}  // namespace tavolin::cli
