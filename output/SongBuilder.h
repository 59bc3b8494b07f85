// SPDX-License-Identifier: MIT
// The song builder: from the window's inputs to a playable GeneratorWrapper,
// with the compile-error report and the jump to the error.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/EngineNum.h"
#include "compiler/ParseMml.h"
#include "compiler/UiText.h"
#include "output/WaveFormat.h"
#include "synth/BankSet.h"

namespace tavolin::output {

inline constexpr int kTabCount = 6;  // 0 common, 1..5 banks A..E

// What one build reads: the settings, typed (each front end parses its own
// input form at its edge, see session/SongSettings.h), and the texts. None of
// it is cached.
struct BuildInputs {
    uint32_t sampleRateHz = 48000;        // refused outside kMinSampleRate..kMaxSampleRate
    Arith arith = Arith::Float;
    int bankIndex = -1;                   // selected tab - 1: -1 common, 0..4 banks A..E
    uint64_t caret = 0;                   // selection start in the selected tab's text (bytes)
    bool startFromCursor = false;         // "Start from current cursor"
    bool currentBankMode = false;         // "Current Bank Play"
    std::array<std::string, kTabCount> tabTexts;  // CP932 bytes as stored
    std::string testPhrase = "C";         // Test only, bytes
    std::string toneCommand;              // Test only: the tone helper's command text
    // Set by the WAV export (not a window control): every endless loop plays
    // once, in the seek to the cursor as much as after it.
    bool forExport = false;
};

// What the builder needs of the window. Called on the thread running the
// build (the user-interface thread). Texts are UTF-8.
class BuildHost {
public:
    virtual ~BuildHost() = default;
    virtual void messageBox(const std::string& utf8Text) = 0;
    virtual void selectTab(int tab) = 0;                    // 0 common, 1..5 A..E
    virtual void selectText(uint64_t fromByte, uint64_t toByte) = 0;
};

// A host that shows nothing: for builds whose errors were shown elsewhere (the
// live check's) or are reported as values.
class QuietHost final : public BuildHost {
public:
    void messageBox(const std::string&) override {}
    void selectTab(int) override {}
    void selectText(uint64_t, uint64_t) override {}
};

inline constexpr std::string_view kCommonOnlyRefusal = TAVOLIN_TR_NOOP("Texts", "共通タブのみを再生することはできません");
inline constexpr std::string_view kBadRateMessage = TAVOLIN_TR_NOOP("Texts", "サンプリングレートは8000から192000の間で指定してください");
// The seek to the cursor runs at most this much song time: a caret behind
// deeply nested counted loops could otherwise keep the build busy for hours.
inline constexpr uint64_t kMaxSeekSeconds = 3600;
inline constexpr std::string_view kSeekTooFarMessage =
    TAVOLIN_TR_NOOP("Texts", "再生開始位置が曲の先頭から1時間を超えるため、カーソル位置から再生できません");
// An export from a caret after which no bank sounds again (a caret after
// the song's last note, or on a part a break skips with nothing after it)
// would write an empty file; it is refused instead.
inline constexpr std::string_view kNothingAfterCaretMessage =
    TAVOLIN_TR_NOOP("Texts", "カーソル位置より後に鳴る音がないため、カーソル位置から書き出せません");
inline constexpr uint32_t kMinSampleRate = 8000;
inline constexpr uint32_t kMaxSampleRate = 192000;
// The one range check of a rate: the engine's note timing would divide by
// zero or overflow outside it.
constexpr bool validSampleRate(uint64_t hz) noexcept { return hz >= kMinSampleRate && hz <= kMaxSampleRate; }

// One compiled song in exactly one arithmetic type. Operations act on the
// first filled slot (Fix, Float, Double); with none filled they do nothing.
// Threads: one thread renders at a time; IsFinished may be called from
// another thread while it does.
class GeneratorWrapper {
public:
    std::unique_ptr<BankSet<Fix>> fixSlot;
    std::unique_ptr<BankSet<float>> floatSlot;
    std::unique_ptr<BankSet<double>> doubleSlot;
    uint32_t sampleRateHz = 0;  // the rate the song was compiled for
    uint64_t skippedFrames = 0; // frames SeekToCursor stepped over (0: the song starts at its beginning)

    void SetLoop(bool on) noexcept;
    // Every endless loop plays `passes` times (at least once).
    void SetExportMode(int32_t passes = 1) noexcept;
    bool IsFinished() const noexcept;
    // Renders interleaved.size()/2 frames into the caller's buffer; no allocation.
    void Render(std::span<int16_t> interleaved) noexcept;
    // The same with every bank's own samples in its tap (see BankTaps); a
    // tap of a bank without a song stays untouched when there is no song.
    void Render(std::span<int16_t> interleaved, const BankTaps* taps) noexcept;
    // The banks the mix lets through (mute and solo); every bank keeps
    // running. Rendering thread only, between Render calls.
    void setAudible(BankMask mask) noexcept;
    BankMask audible() const noexcept;
    // 2 * frames samples (empty for frames <= 0 or no slot).
    std::vector<int16_t> Render(int64_t frames);
    // Renders frame by frame into `interleaved` (up to size/2 frames), stopping
    // right after the first frame after which IsFinished() holds. Returns the
    // frames rendered; the same samples as Render(1) called in a loop with a
    // finish test after each call. No allocation.
    size_t RenderUntilFinished(std::span<int16_t> interleaved, const BankTaps* taps = nullptr) noexcept;
    // Moves all five banks to the start cursor; used by BuildSong only.
    // False when the cursor lies more than `maxSamples` into the song: the
    // banks then stand nowhere useful and the song must not be played.
    bool SeekToCursor(uint64_t maxSamples = UINT64_MAX) noexcept;

    // Advances the song by `frames` exactly as Render would, discarding the
    // samples (see BankSet::Skip): where a passage starts. The noise steps
    // it owes are paid from states an earlier skip or seek of a song with
    // the same noise bank remembered (it takes a lock): a building thread.
    void Skip(uint64_t frames) noexcept;
    // Takes the state of `checkpoint` (another build of the song, edited or
    // not, skipped somewhere and settled) when this song, built but not yet
    // played, would stand exactly there after playing as long: the same
    // type, rate and play settings, and in every bank the same records as
    // far as the checkpoint has read (see BankSet::adoptStateOf). Then a
    // Skip of the rest equals a Skip from the start. False leaves the song
    // untouched. A building thread; no allocation.
    bool adoptStateOf(const GeneratorWrapper& checkpoint) noexcept;
    // Pays the noise steps a skip left owed, so that the song can serve as
    // a checkpoint. A building thread.
    void settleForCheckpoint() const noexcept;
    // A copy of the song as it stands (its banks' state and the records
    // they have read, no passage), only to be adopted later (see
    // adoptStateOf); allocates, on a building thread. Null when there is no
    // song.
    std::shared_ptr<GeneratorWrapper> snapshot() const;
    // The bytes snapshot() holds on to: the banks and their lists.
    size_t stateBytes() const noexcept;
    // From here the song plays `frames` frames (at least 1) and then ends
    // (renders silence, IsFinished), or with `loop` starts that stretch
    // again from the state it has now, for ever, so every pass has the same
    // samples. Takes a checkpoint of the current state (allocates): on the
    // building thread, before the first Render.
    void setPassage(uint64_t frames, bool loop);
    // Advances by `frames` exactly as Render would, the passage's end and
    // restarts included (Skip ignores the passage): where a song that
    // replaces a playing one goes on. No allocation.
    void advance(uint64_t frames) noexcept;
    // Frames left in the current pass of the passage (0: none set).
    uint64_t passageFramesLeft() const noexcept { return m_passageLeft.load(std::memory_order_acquire); }

    bool hasSong() const noexcept { return fixSlot || floatSlot || doubleSlot; }
    // Some bank, as it stands, can still start or sound a note (true when in
    // doubt; see BankPlayer::mayPlayAgain).
    bool soundsAgain() const noexcept;
    // Bank 0..4 has a compiled list (its text and the common text hold a note).
    bool bankSounds(int bank) const noexcept;

    template <EngineNumType T>
    std::unique_ptr<BankSet<T>>& slot() noexcept {
        if constexpr (std::is_same_v<T, Fix>) return fixSlot;
        else if constexpr (std::is_same_v<T, float>) return floatSlot;
        else return doubleSlot;
    }

private:
    template <typename F>
    decltype(auto) visit(F&& f) const;
    // Renders with the passage's end and restarts applied; `render(offset,
    // count)` renders samples [offset, offset + count) of the caller's span.
    template <typename R>
    void renderPassage(std::span<int16_t> interleaved, const BankTaps* taps, R&& render) noexcept;

    // The passage: its length, the frames left of this pass, the checkpoint
    // of its start (the slot of the song's type).
    template <EngineNumType T>
    std::unique_ptr<BankSet<T>>& passageStart() noexcept {
        if constexpr (std::is_same_v<T, Fix>) return m_fixStart;
        else if constexpr (std::is_same_v<T, float>) return m_floatStart;
        else return m_doubleStart;
    }
    uint64_t m_passageFrames = 0;
    std::atomic<uint64_t> m_passageLeft{0};  // read by IsFinished on another thread
    bool m_passageLoop = false;
    std::unique_ptr<BankSet<Fix>> m_fixStart;
    std::unique_ptr<BankSet<float>> m_floatStart;
    std::unique_ptr<BankSet<double>> m_doubleStart;
};

// The compile driver: compiles the five banks into `set`, loads tone tables
// and lists, prepares the players and stores the cursor.
template <EngineNumType T>
CompileResult CompileSong(BankSet<T>& set, std::string_view common, const std::array<std::string_view, kBankCount>& banks,
                          uint32_t sampleRateHz, int64_t cursorBank, uint64_t cursorOffset);

// Why a build that compiled (or was never compiled) plays nothing. Such a
// build reports bank -3 in its CompileResult, whatever the reason; this says
// which one.
enum class Refusal { None, CommonOnly, BadRate, NoArithmetic, SeekTooFar, NothingAfterCaret };

struct BuildOutcome {
    std::shared_ptr<GeneratorWrapper> wrapper;  // empty when nothing can be played
    CompileResult result;
    Refusal refusal = Refusal::None;
    uint32_t sampleRateHz = 0;
};

// The texts one build compiles, chosen by the play mode: Test (the tone
// command and the phrase in bank A), current bank (that bank alone), or all
// banks; with the cursor bank and offset ("Start from current cursor").
// The views point into the inputs and into `testText`, so a PlayTexts is
// filled in place and never copied.
struct PlayTexts {
    PlayTexts() = default;
    PlayTexts(const PlayTexts&) = delete;
    PlayTexts& operator=(const PlayTexts&) = delete;

    std::string_view common;
    std::array<std::string_view, kBankCount> banks{};
    std::string testText;  // Test mode: the tone command and the phrase
    int64_t cursorBank = 0;
    uint64_t cursorOffset = 0;
};
// False for current-bank mode on the common tab, which plays nothing.
bool selectPlayTexts(const BuildInputs& inputs, bool testMode, PlayTexts& out);

// The build proper for one arithmetic type; shows the refusal or the error
// report through `host`.
template <EngineNumType T>
BuildOutcome BuildSong(const BuildInputs& inputs, bool testMode, BuildHost& host);

// Picks the arithmetic type and builds. Fills `format` only when it returns a
// wrapper; `result`, when given, receives the compile outcome (bank -3 for a
// refusal).
std::shared_ptr<GeneratorWrapper> MakeGenerator(const BuildInputs& inputs, bool testMode, BuildHost& host,
                                                WaveFormat& format, CompileResult* result = nullptr);

// Where a byte lies as the editor shows the text: 1-based line and column (a
// CR LF, a lone CR or a lone LF is one break, a CP932 double-byte character
// one column) and the offset where its line starts.
struct TextPlace {
    uint64_t line = 1;
    uint64_t column = 1;
    uint64_t lineStart = 0;
};
// The place of the last byte an error at `position` (bytes consumed) read.
TextPlace errorTextPlace(std::string_view bytes, uint64_t position) noexcept;

// The report text for a failed compile, UTF-8. With the build's inputs the
// report also names the line and column in the tab (as the status bar does),
// and a Test build's error names the part it lies in: the tone helper's
// command or the phrase, counted from the phrase's start. In Test mode
// `result` is the compile's own (counted from the tone command's start);
// without inputs the whole Test text counts as the phrase.
std::string buildErrorReport(const CompileResult& result, bool testMode, const BuildInputs* inputs = nullptr);

// A Test build's error with its position counted from the start of the phrase
// when it lies in the phrase (in the tone command it stays as it is).
CompileResult inTestPhrase(const CompileResult& result, size_t toneCommandLength);

// Tells the user about a failed compile: jumps to the error (not in Test
// mode, not for the internal code, only for a position of at least 1), then
// shows the report.
void reportCompileError(const CompileResult& result, bool testMode, BuildHost& host, const BuildInputs* inputs = nullptr);

// Steps the cursor bank to its start marker and every other bank by the same
// number of samples. Returns the number of samples skipped. A marker on a
// part that a break skips on every pass (`[C:D]E` with the caret on D) is
// never reached: the cursor bank then stops at the next record it does reach
// (E), or at the end of its list, the same in Play and in export. The seek always
// ends: the compiler refuses an endless loop that is never left before the
// cursor, and a bank at the end of its list stops there. `maxSamples` bounds
// it (the build to kMaxSeekSeconds); `cutShort`, when given, tells whether
// the bound stopped the cursor bank before its marker.
//
// Fast (the build's) reaches the same state as Stepping, which renders and
// discards every sample and is kept as the reference the fast one is tested
// against.
enum class SeekMethod { Fast, Stepping };
template <EngineNumType T>
uint64_t seekToCursor(BankSet<T>& set, uint64_t maxSamples = UINT64_MAX, SeekMethod method = SeekMethod::Fast,
                      bool* cutShort = nullptr) noexcept;

extern template CompileResult CompileSong<Fix>(BankSet<Fix>&, std::string_view, const std::array<std::string_view, kBankCount>&, uint32_t, int64_t, uint64_t);
extern template CompileResult CompileSong<float>(BankSet<float>&, std::string_view, const std::array<std::string_view, kBankCount>&, uint32_t, int64_t, uint64_t);
extern template CompileResult CompileSong<double>(BankSet<double>&, std::string_view, const std::array<std::string_view, kBankCount>&, uint32_t, int64_t, uint64_t);
extern template BuildOutcome BuildSong<Fix>(const BuildInputs&, bool, BuildHost&);
extern template BuildOutcome BuildSong<float>(const BuildInputs&, bool, BuildHost&);
extern template BuildOutcome BuildSong<double>(const BuildInputs&, bool, BuildHost&);
extern template uint64_t seekToCursor<Fix>(BankSet<Fix>&, uint64_t, SeekMethod, bool*) noexcept;
extern template uint64_t seekToCursor<float>(BankSet<float>&, uint64_t, SeekMethod, bool*) noexcept;
extern template uint64_t seekToCursor<double>(BankSet<double>&, uint64_t, SeekMethod, bool*) noexcept;

}  // namespace tavolin::output
