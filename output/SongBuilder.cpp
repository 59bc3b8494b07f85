// SPDX-License-Identifier: MIT
// Song build: play modes, compile driver, seek to the cursor, error report.
#include "output/SongBuilder.h"

#include <algorithm>
#include <limits>

#include "compiler/Cp932.h"
#include "compiler/ErrorTable.h"
#include "compiler/UiText.h"

namespace tavolin::output {

template <typename F>
decltype(auto) GeneratorWrapper::visit(F&& f) const {
    if (fixSlot) return f(*fixSlot);
    if (floatSlot) return f(*floatSlot);
    return f(*doubleSlot);
}

void GeneratorWrapper::SetLoop(bool on) noexcept {
    if (hasSong()) visit([on](auto& set) { set.SetLoop(on); });
}

void GeneratorWrapper::SetExportMode(int32_t passes) noexcept {
    const int32_t n = passes > 1 ? passes : 1;
    if (hasSong()) visit([n](auto& set) { set.SetExportMode(n); });
}

bool GeneratorWrapper::IsFinished() const noexcept {
    if (!hasSong()) return false;
    if (m_passageFrames > 0)
        return !m_passageLoop && m_passageLeft.load(std::memory_order_acquire) == 0;
    return visit([](const auto& set) { return set.IsFinished(); });
}

void GeneratorWrapper::Render(std::span<int16_t> interleaved) noexcept {
    if (!hasSong()) {
        std::fill(interleaved.begin(), interleaved.end(), int16_t{0});
        return;
    }
    if (m_passageFrames > 0) {
        renderPassage(interleaved, nullptr, [](auto& set, std::span<int16_t> part, const BankTaps*) { set.Render(part); });
        return;
    }
    visit([interleaved](auto& set) { set.Render(interleaved); });
}

void GeneratorWrapper::Render(std::span<int16_t> interleaved, const BankTaps* taps) noexcept {
    if (!hasSong()) {
        std::fill(interleaved.begin(), interleaved.end(), int16_t{0});
        return;
    }
    if (m_passageFrames > 0) {
        renderPassage(interleaved, taps,
                      [](auto& set, std::span<int16_t> part, const BankTaps* t) { set.Render(part, t); });
        return;
    }
    visit([interleaved, taps](auto& set) { set.Render(interleaved, taps); });
}

void GeneratorWrapper::setAudible(BankMask mask) noexcept {
    if (hasSong()) visit([mask](auto& set) { set.setAudible(mask); });
}

BankMask GeneratorWrapper::audible() const noexcept {
    if (!hasSong()) return kAllBanks;
    return visit([](const auto& set) { return set.audible(); });
}

namespace {

// The taps' stretch that goes with samples [offset, offset + count) of the mix.
BankTaps tapsAt(const BankTaps& taps, size_t offset, size_t count) noexcept {
    BankTaps part;
    for (size_t b = 0; b < part.banks.size(); ++b)
        if (!taps.banks[b].empty()) part.banks[b] = taps.banks[b].subspan(offset, count);
    return part;
}

}  // namespace

namespace {
template <typename Set>
struct NumOf;
template <EngineNumType T>
struct NumOf<BankSet<T>> {
    using type = T;
};
}  // namespace

template <typename R>
void GeneratorWrapper::renderPassage(std::span<int16_t> interleaved, const BankTaps* taps, R&& render) noexcept {
    visit([&](auto& set) {
        using Set = std::remove_reference_t<decltype(set)>;
        auto& start = passageStart<typename NumOf<Set>::type>();
        const size_t frames = interleaved.size() / 2;
        size_t done = 0;
        while (done < frames) {
            uint64_t left = m_passageLeft.load(std::memory_order_relaxed);
            if (left == 0) {
                if (!m_passageLoop || !start) {
                    // The passage is over: silence, in the taps as well.
                    std::fill(interleaved.begin() + static_cast<ptrdiff_t>(2 * done), interleaved.end(), int16_t{0});
                    if (taps) {
                        const BankTaps rest = tapsAt(*taps, 2 * done, 2 * (frames - done));
                        for (const auto& t : rest.banks) std::fill(t.begin(), t.end(), int16_t{0});
                    }
                    return;
                }
                set.copyStateFrom(*start);
                left = m_passageFrames;
            }
            const size_t n = static_cast<size_t>(std::min<uint64_t>(frames - done, left));
            if (taps) {
                const BankTaps part = tapsAt(*taps, 2 * done, 2 * n);
                render(set, interleaved.subspan(2 * done, 2 * n), &part);
            } else {
                render(set, interleaved.subspan(2 * done, 2 * n), nullptr);
            }
            done += n;
            m_passageLeft.store(left - n, std::memory_order_release);
        }
    });
}

void GeneratorWrapper::Skip(uint64_t frames) noexcept {
    // A building thread: the noise steps may come from an earlier skip's.
    if (hasSong()) visit([frames](auto& set) { set.Skip(frames, true); });
}

void GeneratorWrapper::advance(uint64_t frames) noexcept {
    if (m_passageFrames == 0) {
        if (hasSong()) visit([frames](auto& set) { set.Skip(frames); });  // maybe the audio worker: no lock
        return;
    }
    if (!hasSong()) return;
    visit([&](auto& set) {
        using Set = std::remove_reference_t<decltype(set)>;
        auto& start = passageStart<typename NumOf<Set>::type>();
        uint64_t left = m_passageLeft.load(std::memory_order_relaxed);
        while (frames > 0) {
            if (left == 0) {
                if (!m_passageLoop || !start) break;  // over: nothing moves any more
                set.copyStateFrom(*start);
                left = m_passageFrames;
                frames %= m_passageFrames;  // whole passes end where they began
                if (frames == 0) break;
            }
            const uint64_t n = std::min(frames, left);
            set.Skip(n);
            left -= n;
            frames -= n;
        }
        m_passageLeft.store(left, std::memory_order_release);
    });
}

bool GeneratorWrapper::adoptStateOf(const GeneratorWrapper& checkpoint) noexcept {
    if (this == &checkpoint || sampleRateHz != checkpoint.sampleRateHz || m_passageFrames != 0 ||
        checkpoint.m_passageFrames != 0)
        return false;
    if (fixSlot && checkpoint.fixSlot) return fixSlot->adoptStateOf(*checkpoint.fixSlot);
    if (floatSlot && checkpoint.floatSlot) return floatSlot->adoptStateOf(*checkpoint.floatSlot);
    if (doubleSlot && checkpoint.doubleSlot) return doubleSlot->adoptStateOf(*checkpoint.doubleSlot);
    return false;
}

void GeneratorWrapper::settleForCheckpoint() const noexcept {
    if (hasSong()) visit([](const auto& set) { set.settleForCheckpoint(); });
}

std::shared_ptr<GeneratorWrapper> GeneratorWrapper::snapshot() const {
    if (!hasSong()) return nullptr;
    auto copy = std::make_shared<GeneratorWrapper>();
    copy->sampleRateHz = sampleRateHz;
    copy->skippedFrames = skippedFrames;
    visit([&copy](const auto& set) {
        using Set = std::remove_cvref_t<decltype(set)>;
        auto& slot = copy->slot<typename NumOf<Set>::type>();
        slot = std::make_unique<Set>();
        slot->copyStateFrom(set);
        slot->setAudible(set.audible());
        slot->dropUnreadRecords();
    });
    return copy;
}

size_t GeneratorWrapper::stateBytes() const noexcept {
    if (!hasSong()) return 0;
    return visit([](const auto& set) {
        size_t bytes = sizeof(set);
        for (int b = 0; b < kBankCount; ++b) bytes += set.player(b).events().capacity() * sizeof(set.player(b).events()[0]);
        return bytes;
    });
}

void GeneratorWrapper::setPassage(uint64_t frames, bool loop) {
    m_passageFrames = std::max<uint64_t>(frames, 1);
    m_passageLoop = loop;
    m_passageLeft.store(m_passageFrames, std::memory_order_release);
    if (!hasSong()) return;
    visit([this](auto& set) {
        using Set = std::remove_reference_t<decltype(set)>;
        auto& start = passageStart<typename NumOf<Set>::type>();
        start = std::make_unique<Set>();
        start->copyStateFrom(set);
    });
}

size_t GeneratorWrapper::RenderUntilFinished(std::span<int16_t> interleaved, const BankTaps* taps) noexcept {
    if (!hasSong()) return 0;
    if (m_passageFrames > 0) {
        // The passage ends where its frames run out (a looping one never).
        const uint64_t left = m_passageLeft.load(std::memory_order_relaxed);
        const size_t n = m_passageLoop ? interleaved.size() / 2
                                       : static_cast<size_t>(std::min<uint64_t>(interleaved.size() / 2, left));
        if (taps) {
            const BankTaps part = tapsAt(*taps, 0, 2 * n);
            Render(interleaved.first(2 * n), &part);
        } else {
            Render(interleaved.first(2 * n), nullptr);
        }
        return n;
    }
    return visit([interleaved, taps](auto& set) {
        const auto render = [&](size_t offset, size_t count) {
            if (taps == nullptr) {
                set.Render(interleaved.subspan(offset, count));
            } else {
                const BankTaps part = tapsAt(*taps, offset, count);
                set.Render(interleaved.subspan(offset, count), &part);
            }
        };
        const size_t frames = interleaved.size() / 2;
        size_t n = 0;
        while (n < frames) {
            // A bank inside a note keeps its events until the note's last
            // sample, so the song cannot finish during the next (samples
            // left - 1) frames of the longest note in progress: that stretch
            // goes to the mixer in one call, which renders it much faster
            // than frame by frame. Near a possible end, one frame at a time
            // with a finish test after each.
            int64_t safe = 0;
            for (int b = 0; b < kBankCount; ++b) {
                const auto& p = set.player(b);
                if (p.loopSong()) safe = INT64_MAX;  // a looping song never finishes
                else if (p.eventsLeftLocal()) safe = std::max(safe, p.samplesLeftInNote() - 1);
            }
            const size_t run = static_cast<size_t>(std::min<int64_t>(safe, static_cast<int64_t>(frames - n)));
            if (run >= 2) {
                render(2 * n, 2 * run);
                n += run;
                continue;
            }
            render(2 * n, 2);
            ++n;
            if (set.IsFinished()) break;
        }
        return n;
    });
}

std::vector<int16_t> GeneratorWrapper::Render(int64_t frames) {
    if (frames <= 0 || !hasSong()) return {};
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    Render(std::span<int16_t>(out));
    return out;
}

bool GeneratorWrapper::bankSounds(int bank) const noexcept {
    if (!hasSong() || bank < 0 || bank >= kBankCount) return false;
    return visit([bank](auto& set) { return !set.player(bank).events().empty(); });
}

bool GeneratorWrapper::soundsAgain() const noexcept {
    if (!hasSong()) return false;
    return visit([](const auto& set) {
        for (int b = 0; b < kBankCount; ++b)
            if (set.player(b).mayPlayAgain()) return true;
        return false;
    });
}

bool GeneratorWrapper::SeekToCursor(uint64_t maxSamples) noexcept {
    if (!hasSong()) return true;
    bool cutShort = false;
    skippedFrames = visit([&](auto& set) { return seekToCursor(set, maxSamples, SeekMethod::Fast, &cutShort); });
    return !cutShort;
}

// The cursor bank first, to its marker, then every other bank in the order
// A to E by the same number of samples: that order fixes which bank gets
// which random draws.
template <EngineNumType T>
uint64_t seekToCursor(BankSet<T>& set, uint64_t maxSamples, SeekMethod method, bool* cutShort) noexcept {
    if (cutShort) *cutShort = false;
    if (set.cursorOffset == 0 || set.cursorBank < 0 || set.cursorBank >= kBankCount) return 0;
    const int cursor = static_cast<int>(set.cursorBank);
    BankPlayer<T>& marked = set.player(cursor);
    if (marked.events().empty()) return 0;
    uint64_t n = 0;
    bool reached = false;
    if (method == SeekMethod::Fast) {
        n = marked.fastSeek(maxSamples, true, reached);
    } else {
        while (n < maxSamples && !(reached = marked.seekStep())) ++n;
    }
    if (cutShort) *cutShort = !reached;
    for (int bank = 0; bank < kBankCount; ++bank) {
        if (bank == cursor) continue;
        BankPlayer<T>& p = set.player(bank);
        if (method == SeekMethod::Fast) (void)p.fastSeek(n, false, reached);
        else
            for (uint64_t i = 0; i < n; ++i) (void)p.renderFrame(false);
    }
    // A bank that plays on may need its noise filter in the first block: pay
    // the steps the fast seek owes now, on the building thread. A finished
    // bank needs them only if the song loops (SetLoop pays then).
    for (int bank = 0; bank < kBankCount; ++bank) set.player(bank).settleNoiseDebtRemembered();
    return n;
}

template <EngineNumType T>
CompileResult CompileSong(BankSet<T>& set, std::string_view common, const std::array<std::string_view, kBankCount>& banks,
                          uint32_t sampleRateHz, int64_t cursorBank, uint64_t cursorOffset) {
    std::array<EventList<T>, kBankCount> lists;
    CompileResult result = CompileBanks<T>(common, banks, cursorBank, cursorOffset, lists);
    if (result.code == 0) {
        const auto& tones = defaultToneTable();
        for (int u = 0; u < kBankCount; ++u) {
            BankPlayer<T>& p = set.player(u);
            p.loadToneTable(tones);
            p.events() = std::move(lists[static_cast<size_t>(u)]);
            if (!p.events().empty()) p.prepare(sampleRateHz);
        }
    }
    set.cursorBank = cursorBank;
    set.cursorOffset = cursorOffset;
    return result;
}

TextPlace errorTextPlace(std::string_view bytes, uint64_t position) noexcept {
    TextPlace place;
    const uint64_t at = std::min<uint64_t>(position == 0 ? 0 : position - 1, bytes.size());
    for (uint64_t i = 0; i < at;) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const bool hasNext = i + 1 < bytes.size();
        uint64_t unit = 1;
        if (c == '\r' && hasNext && bytes[i + 1] == '\n') unit = 2;
        else if (isCp932LeadByte(c) && hasNext && isCp932TrailByte(static_cast<unsigned char>(bytes[i + 1]))) unit = 2;
        if (c == '\r' || c == '\n') {
            ++place.line;
            place.column = 1;
            place.lineStart = i + unit;
        } else {
            ++place.column;
        }
        i += unit;
    }
    return place;
}

namespace {

std::string lineColumnText(const TextPlace& place) {
    std::string text = uiText(TAVOLIN_TR_NOOP("Texts", " ({line}行 {column}列)"));
    for (const auto& [key, value] : {std::pair<std::string_view, uint64_t>{"{line}", place.line}, {"{column}", place.column}})
        if (const size_t at = text.find(key); at != std::string::npos) text.replace(at, key.size(), std::to_string(value));
    return text;
}

}  // namespace

std::string buildErrorReport(const CompileResult& result, bool testMode, const BuildInputs* inputs) {
    std::string text = "error:";
    uint64_t position = result.position;
    std::string place;
    if (result.bank == -2) {
        text += uiText(TAVOLIN_TR_NOOP("Texts", "内部MMLコード "));
    } else if (result.bank == -1) {
        text += uiText(TAVOLIN_TR_NOOP("Texts", "共通MMLコード "));
    } else if (result.bank >= 0 && result.bank < kBankCount) {
        if (!testMode) {
            text += uiText(TAVOLIN_TR_NOOP("Texts", "バンク"));
            text += static_cast<char>('A' + result.bank);
        } else {
            // The musician typed the phrase, not the command the helper puts before it.
            const size_t toneLength = inputs ? inputs->toneCommand.size() : 0;
            if (result.position > toneLength) {
                text += uiText(TAVOLIN_TR_NOOP("Texts", "テストフレーズ"));
                position = result.position - toneLength;
            } else {
                text += uiText(TAVOLIN_TR_NOOP("Texts", "音色定義コマンド"));
            }
        }
        text += '\n';  // appended apart: GCC 12 warns falsely on "literal" + std::string
        text += uiText(TAVOLIN_TR_NOOP("Texts", "MMLコード "));
    }
    if (inputs && !testMode && result.bank >= -1 && result.bank < kBankCount)
        place = lineColumnText(errorTextPlace(inputs->tabTexts[static_cast<size_t>(result.bank + 1)], result.position));
    text += std::to_string(position);
    text += uiText(TAVOLIN_TR_NOOP("Texts", " 文字目"));
    text += place;
    text += '\n';
    text += uiText(errorMessage(result.code));
    return text;
}

CompileResult inTestPhrase(const CompileResult& result, size_t toneCommandLength) {
    // The musician typed the phrase, not the tone command the helper puts before it.
    CompileResult r = result;
    if (r.bank == 0 && r.position > toneCommandLength) r.position -= toneCommandLength;
    return r;
}

void reportCompileError(const CompileResult& result, bool testMode, BuildHost& host, const BuildInputs* inputs) {
    std::string report = buildErrorReport(result, testMode, inputs);
    if (!testMode && result.bank >= -1 && result.bank < kBankCount && result.position >= 1) {
        host.selectTab(static_cast<int>(result.bank + 1));
        host.selectText(result.position - 1, result.position);
    }
    host.messageBox(report);
}

bool selectPlayTexts(const BuildInputs& inputs, bool testMode, PlayTexts& t) {
    t.common = inputs.tabTexts[0];
    const int64_t bankIndex = inputs.bankIndex;
    const uint64_t caret = inputs.startFromCursor ? inputs.caret : 0;
    if (testMode) {
        t.testText = inputs.toneCommand + inputs.testPhrase;
        t.banks[0] = t.testText;
        t.cursorBank = 0;
        t.cursorOffset = 0;
        return true;
    }
    if (inputs.currentBankMode) {
        if (bankIndex < 0 || bankIndex >= kBankCount) return false;
        t.banks[static_cast<size_t>(bankIndex)] = inputs.tabTexts[static_cast<size_t>(bankIndex + 1)];
    } else {
        for (int u = 0; u < kBankCount; ++u) t.banks[static_cast<size_t>(u)] = inputs.tabTexts[static_cast<size_t>(u + 1)];
    }
    t.cursorBank = bankIndex;
    t.cursorOffset = caret;
    return true;
}

template <EngineNumType T>
BuildOutcome BuildSong(const BuildInputs& inputs, bool testMode, BuildHost& host) {
    BuildOutcome out;
    out.sampleRateHz = inputs.sampleRateHz;

    auto wrapper = std::make_shared<GeneratorWrapper>();
    wrapper->sampleRateHz = out.sampleRateHz;
    auto& slot = wrapper->slot<T>();
    slot = std::make_unique<BankSet<T>>();

    // Nothing to play, said with its message; bank -3 marks a refusal for the
    // callers that read only the CompileResult.
    const auto refuse = [&](std::string_view message, Refusal why) {
        host.messageBox(uiText(message));
        out.result.bank = -3;
        out.refusal = why;
        return out;
    };
    PlayTexts texts;
    if (!selectPlayTexts(inputs, testMode, texts)) return refuse(kCommonOnlyRefusal, Refusal::CommonOnly);
    out.result = CompileSong<T>(*slot, texts.common, texts.banks, out.sampleRateHz, texts.cursorBank, texts.cursorOffset);
    if (out.result.code == 0) {
        // An export plays endless loops once from the song's start on, so the
        // seek must already run in export mode to stand where it would.
        if (inputs.forExport) wrapper->SetExportMode();
        if (!wrapper->SeekToCursor(uint64_t{out.sampleRateHz} * kMaxSeekSeconds + 1))  // a caret at exactly the bound plays
            return refuse(kSeekTooFarMessage, Refusal::SeekTooFar);
        // Play may still loop back to the song's start; an export would be empty.
        if (inputs.forExport && wrapper->skippedFrames > 0 && !wrapper->soundsAgain())
            return refuse(kNothingAfterCaretMessage, Refusal::NothingAfterCaret);
        out.wrapper = std::move(wrapper);
        return out;
    }
    reportCompileError(out.result, testMode, host, &inputs);
    return out;
}

std::shared_ptr<GeneratorWrapper> MakeGenerator(const BuildInputs& inputs, bool testMode, BuildHost& host,
                                                WaveFormat& format, CompileResult* result) {
    if (!isArith(inputs.arith)) return nullptr;
    // A rate the engine cannot run at would divide by zero or overflow in the
    // note timing; refuse it before compiling.
    if (!validSampleRate(inputs.sampleRateHz)) {
        host.messageBox(uiText(kBadRateMessage));
        return nullptr;
    }
    const BuildOutcome outcome =
        withArith(inputs.arith, [&]<EngineNumType T>() { return BuildSong<T>(inputs, testMode, host); });
    if (result) *result = outcome.result;
    if (!outcome.wrapper || outcome.result.code != 0) return nullptr;
    format = makeWaveFormat(outcome.sampleRateHz);
    return outcome.wrapper;
}

#define TAVOLIN_INSTANTIATE(T)                                                                                 \
    template CompileResult CompileSong<T>(BankSet<T>&, std::string_view, const std::array<std::string_view, kBankCount>&, \
                                          uint32_t, int64_t, uint64_t);                                        \
    template BuildOutcome BuildSong<T>(const BuildInputs&, bool, BuildHost&);                                  \
    template uint64_t seekToCursor<T>(BankSet<T>&, uint64_t, SeekMethod, bool*) noexcept;
TAVOLIN_INSTANTIATE(Fix)
TAVOLIN_INSTANTIATE(float)
TAVOLIN_INSTANTIATE(double)
#undef TAVOLIN_INSTANTIATE

}  // namespace tavolin::output
