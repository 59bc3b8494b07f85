// SPDX-License-Identifier: MIT
// tavolin-cli render end to end: every example and test song, the exit codes,
// the messages, stems, and the golden hash of the fixed-point demo render.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "output/MidiExport.h"
#include "session/SongSettings.h"
#include "tests/output/OutputTestSupport.h"
#include "tests/output/Sha256.h"

namespace tavolin::testing {
namespace {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

CliRun runCli(const std::string& args, const TempDir& dir, const std::string& stdinPath = "/dev/null") {
    std::string cmd = std::string(TAVOLIN_CLI_PATH) + " " + args + " <" + stdinPath + " >" + (dir / "stdout").string() +
                      " 2>" + (dir / "stderr").string();
    int status = std::system(cmd.c_str());
    CliRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readFile(dir / "stdout");
    run.err = readFile(dir / "stderr");
    std::filesystem::remove(dir / "stdout");
    std::filesystem::remove(dir / "stderr");
    return run;
}

std::vector<std::filesystem::path> songFiles() {
    std::vector<std::filesystem::path> files;
    for (const char* folder : {TAVOLIN_SOURCE_DIR "/examples", TAVOLIN_TEST_DATA "/output"}) {
        if (!std::filesystem::exists(folder)) continue;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            if (e.path().extension() == ".mml") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The library's export of a document with the given settings, as bytes.
std::string libraryExport(const std::filesystem::path& doc, int arith, std::string rate) {
    output::BuildInputs in;
    document::TabTexts tabs = readDocument(doc);
    for (int i = 0; i < 6; ++i) in.tabTexts[static_cast<size_t>(i)] = tabs[static_cast<size_t>(i)];
    in.arith = static_cast<Arith>(arith);
    in.sampleRateHz = session::parseSampleRate(rate).value_or(0);
    TempDir dir;
    RecordingHost host;
    host.savePath = (dir / "lib.wav").string();
    EXPECT_EQ(output::OnWavExport(in, host), output::ExportOutcome::Written) << doc;
    return readFile(*host.savePath);
}

uint32_t le32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + static_cast<size_t>(i)]);
    return v;
}

TEST(CliRender, EverySongRendersWithAValidLayoutAndTheLibraryLength) {
    auto files = songFiles();
    ASSERT_GE(files.size(), 2u);
    for (const auto& file : files) {
        for (auto [arith, name, rate] : {std::tuple{1, "float", "48000"}, std::tuple{0, "fix", "22050"}}) {
            TempDir dir;
            CliRun run = runCli(std::string("render --arith ") + name + " --rate " + rate + " -o " +
                                    (dir / "x.wav").string() + " " + file.string(), dir);
            ASSERT_EQ(run.exitCode, 0) << file << " " << name << ": " << run.err;
            std::string b = readFile(dir / "x.wav");
            ASSERT_GE(b.size(), 44u) << file;
            EXPECT_EQ(b.substr(0, 4) + b.substr(8, 8) + b.substr(36, 4), "RIFFWAVEfmt data") << file;
            EXPECT_EQ(le32(b, 4), b.size() - 8) << file;
            EXPECT_EQ(le32(b, 24), static_cast<uint32_t>(std::stoul(rate))) << file;
            EXPECT_EQ(le32(b, 40), b.size() - 44) << file;
            EXPECT_GT(b.size(), 44u + 4 * 4800) << file << ": a song lasts longer than a tenth of a second";
            std::string lib = libraryExport(file, arith, rate);
            EXPECT_EQ(b.size(), lib.size()) << file << " " << name;
            EXPECT_TRUE(b == lib) << file << " " << name << ": the command writes what the exporter writes";
        }
    }
}

TEST(CliRender, ExitCodesAndMessages) {
    TempDir dir;
    writeFile(dir / "bad.mml", "SMML@L8;MML@CDQ,,,,;");
    writeFile(dir / "quiet.mml", "SMML@T100;MML@V20,,,,;");
    writeFile(dir / "big.mml", "SMML@;MML@" + std::string(document::kMaxDocumentBytes - 14, 'C') + ",,,,;");
    writeFile(dir / "loop.mml", "SMML@;MML@C[DE],[EFG],,,;");
    writeFile(dir / "break.mml", "SMML@;MML@C[D:E]F,,,,;");
    const std::string song = std::string(TAVOLIN_TEST_DATA) + "/output/short.mml";
    const std::string looped = (dir / "loop.mml").string();
    const std::string out = (dir / "o.wav").string();
    struct Row {
        const char* name;
        std::string args;
        int exitCode;
        std::string errContains;
        bool writesFile;
    };
    const Row rows[] = {
        {"plain render", "render -o " + out + " " + song, 0, "", true},
        {"double at 8 kHz", "render --arith double --rate 8000 -o " + out + " " + song, 0, "", true},
        {"current bank A", "render --current-bank a -o " + out + " " + song, 0, "", true},
        {"cursor", "render --cursor A:3 -o " + out + " " + song, 0, "", true},
        {"test mode", "render --test CEG --tone @W1:1:50@1 -o " + out + " " + song, 0, "", true},
        {"song without notes", "render -o " + out + " " + (dir / "quiet.mml").string(), 0, "", true},
        {"compile error", "render -o " + out + " " + (dir / "bad.mml").string(), 1,
         "error:バンクA\nMMLコード 3 文字目\n", false},
        {"compile error points into the file as check does", "render -o " + out + " " + (dir / "bad.mml").string(), 1,
         "bad.mml:1:15: error: ", false},
        {"play reports a compile error before any device", "play " + (dir / "bad.mml").string(), 1,
         "bad.mml:1:15: error: ", false},
        {"error in the test phrase", "render --test CQ --tone @1 -o " + out + " " + song, 1,
         "error:テストフレーズ\nMMLコード 2 文字目\n", false},
        {"current bank on common", "render --current-bank common -o " + out + " " + song, 1,
         "共通タブのみを再生することはできません", false},
        {"rate too low", "render --rate 7999 -o " + out + " " + song, 2, "", false},
        {"rate too high", "render --rate 192001 -o " + out + " " + song, 2, "", false},
        {"unknown arithmetic", "render --arith half -o " + out + " " + song, 2, "", false},
        {"missing input", "render -o " + out + " " + (dir / "none.mml").string(), 2, "cannot open", false},
        {"no output named", "render " + song, 2, "-o", false},
        {"bad cursor", "render --cursor X:1 -o " + out + " " + song, 2, "--cursor", false},
        {"test without tone", "render --test C -o " + out + " " + song, 2, "", false},
        {"unwritable output names the file and the reason", "render -o " + (dir / "missing" / "o.wav").string() + " " + song, 2,
         "「" + (dir / "missing" / "o.wav").string() + "」を作成できませんでした。\nファイルまたはフォルダが見つかりません。", false},
        {"a folder as output", "render -o " + dir.path().string() + " " + song, 2,
         "「" + dir.path().string() + "」を作成できませんでした。\nファイルではありません（フォルダなど）。", false},
        {"a document above the size limit", "render -o " + out + " " + (dir / "big.mml").string(), 2,
         "「" + (dir / "big.mml").string() + "」は大きすぎるため開けません（2.1 MB。開けるのは 2 MB までです）。", false},
        {"loops and fade", "render --loops 3 --fade 0.25 -o " + out + " " + song, 0, "", true},
        {"no loops at all", "render --loops 0 -o " + out + " " + song, 2, "--loops", false},
        {"negative fade", "render --fade -1 -o " + out + " " + song, 2, "--fade", false},
        {"mute and solo", "render --mute a,C --solo B,d -o " + out + " " + song, 0, "", true},
        {"mute an unknown bank", "render --mute F -o " + out + " " + song, 2,
         "--mute wants bank letters A to E separated by commas (such as A,C), not 'F'", false},
        {"solo with an empty item", "render --solo A,,B -o " + out + " " + song, 2, "--solo wants bank letters", false},
        {"solo with a word", "render --solo AB -o " + out + " " + song, 2, "not 'AB'", false},
        {"play checks the letters before any device", "play --mute 1 " + song, 2, "--mute wants bank letters", false},
        {"passage past the song's end", "render --to 99 -o " + out + " " + song, 2, "--to lies past the song's end", false},
        {"empty passage", "render --from 0.2 --to 0.1 -o " + out + " " + song, 2, "the passage is empty", false},
        {"unreadable passage point", "render --from 1:75 -o " + out + " " + song, 2, "--from wants a song time", false},
        {"caret in no tab", "render --to F:1 -o " + out + " " + song, 2, "--to wants a song time", false},
        {"passage and cursor", "render --cursor A:3 --from 0.1 -o " + out + " " + song, 2, "--cursor", false},
        {"passage and fade", "render --fade 1 --from 0.1 -o " + out + " " + song, 2, "--fade", false},
        {"play checks the passage before any device", "play --from 0.2 --to 0.1 " + song, 2, "the passage is empty", false},
        {"loop points", "render --loop-points -o " + out + " " + looped, 0, "", true},
        {"loop points of a song without loop name the file", "render --loop-points -o " + out + " " + song, 2,
         "'" + out + "': この曲には終わりのないループがない", false},
        {"split loop without loop", "render --split-loop -o " + out + " " + song, 2, "ループ情報を書き込めません", false},
        {"loop ended by a break", "render --loop-points -o " + out + " " + (dir / "break.mml").string(), 2, "「:」で抜けられる", false},
        {"loop points to an unwritable output", "render --loop-points -o " + (dir / "missing" / "o.wav").string() + " " + looped, 2,
         "「" + (dir / "missing" / "o.wav").string() + "」を作成できませんでした。", false},
        {"loop points and loops", "render --loop-points --loops 2 -o " + out + " " + looped, 2, "--loops", false},
        {"json without loop points", "render --json -o " + out + " " + looped, 2, "--json", false},
        {"opus refuses 44.1 kHz before writing", "render --rate 44100 -o " + (dir / "o.opus").string() + " " + song, 2,
         "Opusで書き出せる", false},
    };
    for (const Row& r : rows) {
        std::filesystem::remove(out);
        CliRun run = runCli(r.args, dir);
        EXPECT_EQ(run.exitCode, r.exitCode) << r.name << "\n" << run.err;
        EXPECT_NE(run.err.find(r.errContains), std::string::npos) << r.name << ": stderr was\n" << run.err;
        EXPECT_EQ(std::filesystem::exists(out), r.writesFile) << r.name;
    }
    // --json: the loop in frames; --split-loop: the two files beside the name.
    // Bank A enters at a quarter (24,000 frames) with two quarters a pass,
    // bank B at once with three: they meet after six quarters.
    CliRun json = runCli("render --split-loop --json --rate 48000 -o " + (dir / "g.ogg").string() + " " + looped, dir);
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out, "{\"loopStart\":24000,\"loopLength\":144000,\"rate\":48000}\n");
    EXPECT_TRUE(std::filesystem::exists(dir / "g_intro.ogg") && std::filesystem::exists(dir / "g_loop.ogg"));
    EXPECT_FALSE(std::filesystem::exists(dir / "g.ogg"));
}

// render --from --to writes exactly those frames of the whole render, in
// every arithmetic, across a counted loop and tempo changes. At 8 kHz and T120
// a quarter is 4,000 frames. Bank A: C 0, the loop's D and E up to 28,000,
// then at T60 F 28,000 and G 36,000 to 44,000; bank B at T90 ends before.
TEST(CliRender, PassageIsTheSameStretchOfTheWholeRender) {
    TempDir dir;
    writeFile(dir / "p.mml", "SMML@T120L4@W1:4:50;MML@C [D E]3 T60 F G,T90 O3 @1C2 C2 C2,,,;");
    const std::string doc = (dir / "p.mml").string();
    struct Row {
        const char* name;
        std::string range;
        uint64_t from, to;
    };
    const Row rows[] = {
        {"song times", "--from 0.5 --to 0:04.25", 4000, 34000},
        {"carets: the loop's first D to F", "--from A:3 --to A:13", 4000, 28000},
        {"a caret on a blank: the note after it", "--from 2 --to A:14", 16000, 36000},
        {"to the song's end", "--from 5", 40000, 44000},
    };
    for (const char* arith : {"fix", "float", "double"}) {
        const std::string common = std::string("render --rate 8000 --arith ") + arith + " -o ";
        CliRun whole = runCli(common + (dir / "w.wav").string() + " " + doc, dir);
        ASSERT_EQ(whole.exitCode, 0) << whole.err;
        const std::string all = readFile(dir / "w.wav").substr(44);
        ASSERT_EQ(all.size(), 44000u * 4) << arith;
        for (const Row& row : rows) {
            CliRun run = runCli(common + (dir / "p.wav").string() + " " + row.range + " " + doc, dir);
            ASSERT_EQ(run.exitCode, 0) << arith << " " << row.name << ": " << run.err;
            const std::string part = readFile(dir / "p.wav").substr(44);
            EXPECT_EQ(part.size() / 4, row.to - row.from) << arith << " " << row.name;
            EXPECT_TRUE(part == all.substr(row.from * 4, (row.to - row.from) * 4)) << arith << " " << row.name;
        }
    }
}

// --cursor at a loop's edges, end to end: what starts where (by the length
// written: a quarter note is 4,000 frames at 8 kHz) and what is refused.
TEST(CliRender, CursorAtTheEdgesOfALoop) {
    TempDir dir;
    struct Row {
        const char* name;
        std::string document;
        std::string cursor;
        int exitCode;
        uint64_t quarters;  // length written, 0 when nothing is
        std::string errContains;
    };
    const Row rows[] = {
        {"on the ] of an endless loop: the one pass left", "SMML@;MML@C[D]E,,,,;", "A:3", 0, 1, ""},
        {"on the ] of a counted loop: its second pass", "SMML@;MML@C[D]2E,,,,;", "A:3", 0, 2, ""},
        {"after the ] of an endless loop", "SMML@;MML@C[D]E,,,,;", "A:4", 1, 0,
         "error:バンクA\nMMLコード 4 文字目\n現在位置が無限ループよりあとにある"},
        {"endless loop recorded in the common text, never called", "SMML@@!A[C]!;MML@D,,,,;", "A:0", 0, 1, ""},
        {"the same loop played by a call before the caret", "SMML@@!A[C]!;MML@!A D,,,,;", "A:3", 1, 0,
         "error:バンクA\nMMLコード 2 文字目\n現在位置が無限ループよりあとにある"},
        {"on a part the break skips: from the next note", "SMML@;MML@[C:D]E,,,,;", "A:3", 0, 1, ""},
        {"on a skipped part, another bank plays on", "SMML@;MML@C[D:E],CDEF,,,;", "A:4", 0, 2, ""},
        {"on a skipped part with nothing after it", "SMML@;MML@[C:D],,,,;", "A:3", 1, 0,
         "カーソル位置より後に鳴る音がないため、カーソル位置から書き出せません"},
        {"after the song's last note", "SMML@;MML@CDE,,,,;", "A:3", 1, 0, "カーソル位置より後に鳴る音がない"},
    };
    const std::string out = (dir / "o.wav").string();
    for (const Row& r : rows) {
        writeFile(dir / "song.mml", r.document);
        std::filesystem::remove(out);
        CliRun run = runCli("render --rate 8000 --cursor " + r.cursor + " -o " + out + " " + (dir / "song.mml").string(), dir);
        EXPECT_EQ(run.exitCode, r.exitCode) << r.name << "\n" << run.err;
        EXPECT_NE(run.err.find(r.errContains), std::string::npos) << r.name << ": stderr was\n" << run.err;
        const std::string b = std::filesystem::exists(out) ? readFile(out) : std::string();
        EXPECT_EQ(b.size() < 44 ? 0 : (b.size() - 44) / 4, r.quarters * 4000) << r.name;
    }
}

// The same failure in English: the window's translation of the file and its reason.
TEST(CliRender, ExportFailureInEnglish) {
    TempDir dir;
    const std::string song = std::string(TAVOLIN_TEST_DATA) + "/output/short.mml";
    const std::string out = (dir / "missing" / "o.wav").string();
    const char* before = std::getenv("LC_ALL");
    const std::string saved = before ? before : "";
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    CliRun run = runCli("render -o " + out + " " + song, dir);
    if (before) ::setenv("LC_ALL", saved.c_str(), 1);
    else ::unsetenv("LC_ALL");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("Could not create \"" + out + "\".\nThe file or folder was not found."), std::string::npos) << run.err;
}

TEST(CliRender, ReadsTheDocumentFromStandardInput) {
    TempDir dir;
    const std::string song = std::string(TAVOLIN_TEST_DATA) + "/output/short.mml";
    CliRun run = runCli("render -o " + (dir / "a.wav").string() + " -", dir, song);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(readFile(dir / "a.wav") == libraryExport(song, 1, "48000"));
}

std::vector<int16_t> wavSamples(const std::string& bytes) {
    std::vector<int16_t> out(bytes.size() >= 44 ? (bytes.size() - 44) / 2 : 0);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[44 + 2 * i]) | static_cast<uint8_t>(bytes[45 + 2 * i]) << 8);
    return out;
}

// The stems of every song, from one pass: one file per sounding bank, each
// as long as the mix, adding up (saturated) to the full render; --solo is a
// stem and --mute the sum of the others, byte for byte.
TEST(CliRender, StemsAddUpToTheMixAndMatchSoloAndMute) {
    for (const auto& file : songFiles()) {
        for (auto [arith, rate] : {std::pair{"float", "48000"}, std::pair{"fix", "22050"}}) {
            SCOPED_TRACE(file.string() + " " + arith);
            TempDir dir;
            const std::string opts = std::string(" --arith ") + arith + " --rate " + rate + " ";
            CliRun full = runCli("render" + opts + "-o " + (dir / "mix.wav").string() + " " + file.string(), dir);
            ASSERT_EQ(full.exitCode, 0) << full.err;
            CliRun run = runCli("render" + opts + "--stems " + (dir / "stems").string() + " " + file.string(), dir);
            ASSERT_EQ(run.exitCode, 0) << run.err;
            const std::string mixBytes = readFile(dir / "mix.wav");
            const std::vector<int16_t> mix = wavSamples(mixBytes);
            std::array<std::vector<int16_t>, 5> stems;
            std::string written;
            for (int b = 0; b < 5; ++b) {
                const auto path = dir / "stems" / (std::string(1, static_cast<char>('A' + b)) + ".wav");
                if (!std::filesystem::exists(path)) continue;
                written += static_cast<char>('A' + b);
                const std::string bytes = readFile(path);
                EXPECT_EQ(bytes.substr(0, 44), mixBytes.substr(0, 44)) << "bank " << b << ": same header and length";
                stems[static_cast<size_t>(b)] = wavSamples(bytes);
            }
            ASSERT_FALSE(written.empty());
            EXPECT_EQ(run.out.size(), written.size() * ((dir / "stems" / "A.wav").string().size() + 1)) << run.out;
            const auto sumOf = [&](const std::string& banks) {
                std::vector<int16_t> out(mix.size());
                for (size_t k = 0; k < out.size(); ++k) {
                    int32_t sum = 0;
                    for (char c : banks) {
                        const auto& st = stems[static_cast<size_t>(c - 'A')];
                        if (!st.empty()) sum += st[k];
                    }
                    out[k] = static_cast<int16_t>(std::clamp(sum, -32768, 32767));
                }
                return out;
            };
            EXPECT_EQ(firstDifference(sumOf(written), mix), "equal") << "the stems do not add up to the mix";
            const char first = written[0];
            CliRun solo = runCli("render" + opts + "--solo " + std::string(1, first) + " -o " + (dir / "solo.wav").string() +
                                     " " + file.string(), dir);
            ASSERT_EQ(solo.exitCode, 0) << solo.err;
            EXPECT_TRUE(readFile(dir / "solo.wav") == readFile(dir / "stems" / (std::string(1, first) + ".wav")));
            CliRun mute = runCli("render" + opts + "--mute a,E -o " + (dir / "mute.wav").string() + " " + file.string(), dir);
            ASSERT_EQ(mute.exitCode, 0) << mute.err;
            EXPECT_EQ(firstDifference(wavSamples(readFile(dir / "mute.wav")), sumOf("BCD")), "equal");
        }
    }
}

// Every song exports to MIDI from the command line as the window's exporter
// writes it; a tempo that differs between banks is told on standard error.
TEST(CliExportMidi, EverySongExportsAsTheLibraryWritesIt) {
    for (const auto& file : songFiles()) {
        TempDir dir;
        CliRun run = runCli("export-midi -o " + (dir / "x.mid").string() + " " + file.string(), dir);
        ASSERT_EQ(run.exitCode, 0) << file << ": " << run.err;
        const std::string b = readFile(dir / "x.mid");
        ASSERT_GE(b.size(), 14u) << file;
        EXPECT_EQ(b.substr(0, 4), "MThd") << file;
        EXPECT_GE((static_cast<uint8_t>(b[10]) << 8) | static_cast<uint8_t>(b[11]), 2) << file << ": a tempo track and a bank";
        output::BuildInputs in;
        const document::TabTexts tabs = readDocument(file);
        for (size_t i = 0; i < 6; ++i) in.tabTexts[i] = tabs[i];
        RecordingHost host;
        host.savePath = (dir / "lib.mid").string();
        ASSERT_EQ(output::OnMidiExport(in, host), output::ExportOutcome::Written) << file;
        EXPECT_TRUE(b == readFile(dir / "lib.mid")) << file;
    }
    TempDir dir;
    writeFile(dir / "tempi.mml", "SMML@;MML@T150C,T100C,,,;");
    writeFile(dir / "bad.mml", "SMML@L8;MML@CDQ,,,,;");
    const std::string out = (dir / "o.mid").string();
    const struct {
        std::string args;
        int exitCode;
        std::string errContains;
    } rows[] = {
        {"export-midi -o " + out + " " + (dir / "tempi.mml").string(), 0, "warning: バンクごとのテンポ変化が異なる"},
        {"export-midi -o " + out + " " + (dir / "bad.mml").string(), 1, "bad.mml:1:15: error: "},
        {"export-midi " + (dir / "tempi.mml").string(), 2, "--output"},
        {"export-midi -o " + (dir / "missing" / "o.mid").string() + " " + (dir / "tempi.mml").string(), 2,
         "「" + (dir / "missing" / "o.mid").string() + "」を作成できませんでした。\nファイルまたはフォルダが見つかりません。"},
    };
    for (const auto& r : rows) {
        CliRun run = runCli(r.args, dir);
        EXPECT_EQ(run.exitCode, r.exitCode) << r.args << "\n" << run.err;
        EXPECT_NE(run.err.find(r.errContains), std::string::npos) << r.args << ": stderr was\n" << run.err;
    }
}

// The fixed-point engine is bit-exact: the hash of the Fix render of the demo
// at 48 kHz pins it. Regenerate only with scripts/regen-golden.
TEST(Golden, FixRenderOfTheDemo) {
    const std::filesystem::path demo = TAVOLIN_SOURCE_DIR "/examples/demo.mml";
    const std::filesystem::path hashFile = TAVOLIN_TEST_DATA "/output/demo-fix-48000.sha256";
    ASSERT_TRUE(std::filesystem::exists(demo)) << demo;
    ASSERT_TRUE(std::filesystem::exists(hashFile)) << "run scripts/regen-golden";
    std::string expected = readFile(hashFile).substr(0, 64);
    std::string wav = libraryExport(demo, 0, "48,000");
    EXPECT_EQ(Sha256::of(wav), expected) << "the Fix render of examples/demo.mml changed";
}

}  // namespace
}  // namespace tavolin::testing
