// SPDX-License-Identifier: MIT
// One song played on the caller's thread: built, placed (the whole song or a
// passage, by the one recipe of Passage.h) and rendered block by block. The
// page's AudioWorklet drives it, and so can tests and benchmarks: nothing
// here starts a thread, waits or takes a lock.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "output/BankTapRing.h"
#include "output/SongBuilder.h"
#include "output/SongMap.h"
#include "session/Checkpoints.h"
#include "session/Passage.h"
#include "synth/BankMask.h"

namespace tavolin::session {

class SongStream {
public:
    // Builds `inputs` as Play does; `loop` is Loop (a passage loops by its own flag).
    // Check ok() after: a failed build has told `host` why, and `result`
    // (when given) holds the compile outcome.
    // `checkpoints`, when given, are where its seeks (the passage's start, a
    // swap's place) may start from; they must outlive the stream.
    SongStream(output::BuildInputs inputs, bool loop, std::optional<LivePassage> passage, output::BuildHost& host,
               CompileResult* result = nullptr, const CheckpointShelf* checkpoints = nullptr);

    bool ok() const noexcept { return m_song != nullptr; }
    // Renders `frames` frames (interleaved stereo) into the stream's buffer
    // and returns them; the buffer grows only when a call asks for more than
    // any before. After the song's end, and without a song, silence.
    std::span<const int16_t> next(uint32_t frames);
    // Moves to `frame` frames after the stream's start (rebuilding when it goes back).
    void seek(uint64_t frame);
    // Composing while it plays: the stream goes on with the song of `inputs`
    // (the texts edited, the same arithmetic, rate and bank mode) at the same
    // place in the music, as the desktop's live swap does: the note heard
    // next found again in the new song (placeSwap), a looping passage
    // following its notes, and the first frames crossfading from the old
    // song as the player crossfades them. Builds and seeks here, on the
    // caller's thread. False, and the old song plays on, when nothing plays,
    // the settings differ or the new song does not build (`host` was told,
    // `result` holds the compile outcome).
    bool swap(const output::BuildInputs& inputs, output::BuildHost& host, CompileResult* result = nullptr);
    // The inputs of the song playing (after a swap, the new song's, without a cursor).
    const output::BuildInputs& inputs() const noexcept { return m_inputs; }
    // The passage playing (after a swap, where its notes went), if any.
    const std::optional<LivePassage>& passage() const noexcept { return m_passage; }
    // The frame of the song's timeline that next() renders first.
    uint64_t songFrame() const noexcept;
    void setAudible(BankMask mask);
    // The banks' own output for their scopes, as the desktop's stream taps
    // it: from now on each next() also writes every bank's samples (heard
    // or muted: a left-out bank still runs) to its ring, numbered by frame()
    // when turned on before the first next() (a seek is not followed).
    // The taps follow the new song from a swap's first frame on, without
    // the 5 ms crossfade the mix gets.
    void tapBanks();
    const output::BankTapRings* bankRings() const noexcept { return m_rings.get(); }
    uint64_t frame() const noexcept { return m_frame; }
    bool finished() const noexcept { return !m_song || m_song->IsFinished(); }

private:
    std::shared_ptr<output::GeneratorWrapper> build(output::BuildHost& host, CompileResult* result);

    output::BuildInputs m_inputs;
    const CheckpointShelf* m_shelf = nullptr;
    bool m_loop = false;
    std::optional<LivePassage> m_passage;
    BankMask m_audible = kAllBanks;
    std::shared_ptr<output::GeneratorWrapper> m_song;
    std::shared_ptr<const output::SongMap> m_map;  // of m_inputs, made at the first swap
    std::vector<int16_t> m_buffer;
    uint64_t m_frame = 0;
    uint64_t m_own = 0;               // the song's own frame at m_frame (its timeline's, unwrapped)
    std::vector<int16_t> m_fadeFrom;  // after a swap: the old song's samples the new one fades in over
    size_t m_faded = 0;               // samples of m_fadeFrom already used
    std::unique_ptr<output::BankTapRings> m_rings;  // when tapped
    std::array<std::vector<int16_t>, 5> m_bankBuffers;
};

}  // namespace tavolin::session
