// SPDX-License-Identifier: MIT
// Streaming playback: a worker renders blocks ahead into a ready queue and the
// device callback keeps four of them at the sound device.
//
//   UI thread              worker thread            device notification thread
//   StartPlayback ──open──► StreamWorker            WaveOutProc(Done)
//     wait ready >= 4        Render(1024) ─► ready ─► SubmitNextBlock ─► device
//     4 × SubmitNextBlock    (≤ 4 waiting)            (keeps 4 at the device)
//   StopPlayback: stopRequested, drain, pause, close ─► WaveOutProc(Close)
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

#include "compiler/UiText.h"
#include "output/AudioDevice.h"
#include "output/BankTapRing.h"
#include "output/AutoResetEvent.h"
#include "output/PlayPosition.h"
#include "output/SongBuilder.h"

namespace tavolin::output {

inline constexpr uint32_t kBlockFrames = 1024;
inline constexpr uint32_t kBlockSamples = kBlockFrames * 2;
inline constexpr uint32_t kBlockBytes = kBlockFrames * kBytesPerFrame;
inline constexpr uint32_t kDeviceRing = 4;      // blocks at the device, at most
inline constexpr size_t kReadyLimit = 4;        // rendered blocks waiting, at most
inline constexpr std::chrono::milliseconds kPollInterval{100};

inline constexpr std::string_view kDeviceOpenFailed = TAVOLIN_TR_NOOP("Texts", "Wav出力デバイスのオープンに失敗しました");
inline constexpr std::string_view kWorkerStartFailed = TAVOLIN_TR_NOOP("Texts", "再生スレッドを開始できませんでした");

// The mixer settings the window changes while a stream plays. `paused` is
// read by the worker once per block it renders; `audible` by the device as
// it takes each block, so mute and solo are heard within a block.
struct LiveMix {
    std::atomic<bool> paused{false};
    std::atomic<BankMask> audible{kAllBanks};
};

// The samples of one block, zero-filled at creation: the mix of every bank,
// and each bank's own output, from which the device takes the banks heard.
struct StreamPcmBufferOne final : BlockSource {
    std::array<int16_t, kBlockSamples> samples{};
    std::array<std::array<int16_t, kBlockSamples>, 5> banks{};
    // The banks to let through (null: all); outlives the block at the device.
    const std::atomic<BankMask>* audible = nullptr;
    // Rendered after the song had already finished: pure silence that nobody
    // needs to hear, so the refill stops in front of it.
    bool afterEnd = false;
    // Rendered while paused: silence that does not move the song on.
    bool silent = false;
    uint64_t streamFrame = 0;  // the stream frame the block starts at
    uint64_t swapSerial = 0;   // the number of swaps made before it was rendered

    // The mix of the banks heard now, saturated as the mixer does, so an
    // unchanged mask gives exactly `samples`. No lock, no allocation.
    void read(size_t first, std::span<int16_t> out) const noexcept override;
};

// The crossfade after a swap: for the first crossfadeFrames(rate) frames k
// the stream plays old + (new - old) * k / frames (integer, truncated toward
// zero) per channel, in the mix and in every bank; equal inputs give the
// same samples, so a swap to a song that sounds the same changes nothing.
inline constexpr uint32_t kCrossfadeMs = 5;
constexpr uint32_t crossfadeFrames(uint32_t rateHz) noexcept { return rateHz * kCrossfadeMs / 1000; }
// That crossfade over interleaved stereo `into` (the new song), fading from
// `from` (the old one's same frames): `into` starts `firstFrame` frames into
// a fade of `fadeFrames` frames, so a fade cut into pieces gives the same
// samples as in one. No allocation.
inline void crossfade(std::span<int16_t> into, std::span<const int16_t> from, uint32_t firstFrame, uint32_t fadeFrames) noexcept {
    const auto frames = static_cast<int32_t>(fadeFrames);
    for (size_t i = 0; i < into.size() && i < from.size(); ++i) {
        const int32_t o = from[i], n = into[i];
        into[i] = static_cast<int16_t>(o + (n - o) * static_cast<int32_t>(firstFrame + i / 2) / frames);
    }
}

// A song that takes over a running stream without stopping it. `song` has
// its loop flag or passage set and stands where it must go on once the old
// song has played to `streamFrame` (a block start, counted as heardFrame
// counts); `songFrame` is what heardSongFrame() reports at that frame.
struct SongSwap {
    std::shared_ptr<GeneratorWrapper> song;
    uint64_t streamFrame = 0;
    int64_t songFrame = 0;
};

// One swap on its way to the worker and, with the song it replaced, back.
struct PendingSwap {
    SongSwap swap;
    PendingSwap* next = nullptr;  // the list of retired ones
};

// The last switch the worker made.
struct SwitchReport {
    uint64_t count = 0;           // switches made in this stream
    uint64_t streamFrame = 0;     // where the last one took place
    uint64_t lateFrames = 0;      // how far past its streamFrame (the new song was advanced as much)
    // When the first block of the new song went to the device (unset until then).
    std::optional<std::chrono::steady_clock::time_point> firstBlockSubmitted;
};

// What the worker hands the window of each bank.
struct StreamTaps {
    BankTapRings rings;
};

// The state of one stream, shared by the player, the worker and (for one call
// at a time) the device callback.
struct WaveOutParam {
    explicit WaveOutParam(std::shared_ptr<GeneratorWrapper> song)
        : generator(std::move(song)), sampleRateHz(generator ? generator->sampleRateHz : 0) {}
    ~WaveOutParam();
    WaveOutParam(const WaveOutParam&) = delete;
    WaveOutParam& operator=(const WaveOutParam&) = delete;

    // The song being rendered; the worker's alone once it runs (a swap
    // replaces it there).
    std::shared_ptr<GeneratorWrapper> generator;
    const uint32_t sampleRateHz;
    // Mute, solo and pause; the blocks at the device read the mask from here.
    std::shared_ptr<const LiveMix> mix;
    std::atomic<AudioDevice*> hWaveOut{nullptr};    // empty before open and after Close
    std::atomic<uint32_t> submitted{0};
    std::atomic<uint32_t> completed{0};
    std::array<WaveHeader, kDeviceRing> headers;
    std::array<std::shared_ptr<StreamPcmBufferOne>, kDeviceRing> inFlight;
    std::deque<std::shared_ptr<StreamPcmBufferOne>> ready;
    std::mutex readyLock;                           // guards `ready`
    std::atomic<size_t> readySize{0};               // ready.size(), readable without the lock
    AutoResetEvent spaceEvent{true};
    std::atomic<bool> stopRequested{false};

    // Serialises every submission and the setting of stopRequested, so that a
    // refill that has passed its stop test has also submitted before Stop
    // starts counting returned blocks, and the priming calls never overlap a
    // refill from an early Done.
    std::mutex refillLock;
    // The refill met a block rendered after the song's end and stopped.
    std::atomic<bool> drained{false};

    // What the listener hears: block starts from the worker, returns from the device.
    PlayPosition position;

    // Each bank's output for the window (null: nobody watches this stream).
    std::shared_ptr<StreamTaps> taps;

    // Swaps. The single-slot mailbox to the worker (a newer swap replaces one
    // not yet taken, whose song the poster frees); the list of swaps the
    // worker is done with, each holding the song it replaced, freed by the
    // next poster or with the state, never on the worker or device thread.
    std::atomic<PendingSwap*> swapIn{nullptr};
    std::atomic<PendingSwap*> retired{nullptr};
    // Stream frame after the last block handed to the device: the first a swap can still replace.
    std::atomic<uint64_t> submittedFrame{0};
    std::atomic<uint64_t> switches{0};
    std::atomic<uint64_t> switchFrame{0};
    std::atomic<uint64_t> switchLate{0};
    std::atomic<int64_t> switchSubmittedNs{0};   // steady clock; 0: not yet
    std::atomic<uint64_t> submittedSerial{0};    // swapSerial of the last block submitted

    // Wakes the player's 100 ms polls as soon as something changes.
    std::mutex progressMutex;
    std::condition_variable progress;
    void notifyProgress() {
        { std::lock_guard lock(progressMutex); }
        progress.notify_all();
    }
};

// The first stream frame a swap can still replace: the start of the oldest
// block not yet at the device; nullopt once the stream has ended or is
// stopping. Any thread.
std::optional<uint64_t> swapFrameOf(const WaveOutParam& state) noexcept;
// Hands a swap to the worker (any thread but the worker and the device's;
// one poster at a time). False, and nothing happens, when the stream has
// ended or is stopping. Frees the songs the worker has handed back.
bool postSwap(WaveOutParam& state, SongSwap swap);
SwitchReport switchReport(const WaveOutParam& state) noexcept;

// Body of the worker thread; ends once hWaveOut is empty.
//
// A swap, as the worker takes it from the mailbox before each block:
//   - its streamFrame P lies ahead of the rendered blocks: the old song is
//     rendered on up to P and the new one starts there;
//   - otherwise the blocks waiting in `ready` from P on are taken back and
//     rendered again from the new song. When P has already gone to the device
//     (the build or the seek took longer than the blocks ahead), the switch
//     is at the oldest block still waiting, S, and the new song is first
//     advanced by S - P, so it stands where it would have stood had the
//     switch been at P.
// The first frames after the switch crossfade from what the replaced block
// held (or, with none, from the old song rendered on) to the new song.
void StreamWorker(std::shared_ptr<WaveOutParam> state);

// Moves the oldest ready block to the device. Caller holds state.refillLock.
// False when the device went away while waiting for a block.
bool SubmitNextBlock(WaveOutParam& state);

// The device callback; reaches the stream through a weak reference, so a
// late notification of a released device can never touch another stream.
void WaveOutProc(AudioDevice& device, DeviceMessage message, const std::weak_ptr<WaveOutParam>& stream);

// Where the device's notifications go: the current stream (none between songs).
struct DeviceRoute {
    std::mutex mutex;
    std::weak_ptr<WaveOutParam> stream;
};

struct PlayerOptions {
    // The window's player: a device for this format is opened with the player
    // and kept open, running and fed silence between songs, until the player
    // goes; Play only writes to it (a song at another rate gets a new one).
    // Unset: every Play opens a device and Stop closes it.
    std::optional<WaveFormat> keepDevice;
    // A kept device closes once no song has been heard for this long, so that
    // an idle window wakes nobody up; the next Play opens it again, halted
    // until the song's first blocks are queued.
    std::chrono::milliseconds idleClose{std::chrono::minutes(1)};
    // Longest wait for the blocks at the device to play out at Stop.
    std::chrono::milliseconds drainTimeout{5000};
    // Longest wait for the close notification before the device is released.
    std::chrono::milliseconds closeTimeout{2000};
    // Starts the worker; tests replace it to make thread creation fail.
    std::function<std::thread(std::function<void()>)> startThread;
};

// Owns the window's `stream` and the device. Every member function is for the
// user-interface thread only; destroying the player stops the stream and
// waits for the worker and the device thread, so nothing outlives it.
class Player {
public:
    explicit Player(AudioDeviceFactory makeDevice, PlayerOptions options = {});
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Play / Test: stops the running stream, builds from `inputs` and plays.
    // False when nothing plays (build failed, device or worker failure; the
    // user has been told through `host`).
    bool StartPlayback(const BuildInputs& inputs, bool testMode, bool loop, BuildHost& host);
    // Plays an already built song (loop flag set by the caller).
    bool StartPlayback(std::shared_ptr<GeneratorWrapper> song, const WaveFormat& format, BuildHost& host);
    // Stop: lets the blocks at the device play out, then closes it. Harmless
    // when nothing plays.
    void StopPlayback();

    void setPaused(bool on) noexcept { m_mix->paused.store(on); }
    bool paused() const noexcept { return m_mix->paused.load(); }
    // Mute and solo: the banks heard, from the next block the device takes
    // (the running stream and the next ones). Every bank keeps running.
    void setAudibleBanks(BankMask mask) noexcept { m_mix->audible.store(static_cast<BankMask>(mask & kAllBanks)); }
    BankMask audibleBanks() const noexcept { return m_mix->audible.load(); }
    // Streams started from now on hand each bank's output to the window
    // through rings (see StreamTaps); off by default.
    void setBankTaps(bool on) noexcept { m_taps = on; }
    // The running stream's rings; null when it has none.
    std::shared_ptr<const BankTapRings> bankRings() const noexcept;

    // A stream exists (playing, drained, or left unopened after a failure).
    bool isPlaying() const noexcept { return m_stream != nullptr; }
    // The song ended and every block of it has come back from the device.
    bool songHeard() const noexcept;
    // Blocks the device has played in the current stream.
    uint32_t blocksHeard() const noexcept;
    // The song frame the listener hears now, counted from where the stream
    // started (see PlayPosition); nullopt when nothing is heard: no stream,
    // paused, or the song has been heard to its end. The bank rings count
    // frames the same way, across swaps too.
    std::optional<uint64_t> heardFrame(PlayPosition::Clock::time_point now) const noexcept;
    // heardFrame shifted into the numbering of the song heard: the same until
    // the first swap, then the songFrame each swap gave, counted on.
    std::optional<uint64_t> heardSongFrame(PlayPosition::Clock::time_point now) const noexcept;

    // When the kept device should close if nothing plays until then: the
    // idle time is counted from the first question after the last song was
    // stopped or heard to its end. nullopt: no kept device is open, or a song
    // is being heard (paused included). The front end arms a one-shot timer
    // for it, so nothing polls while the window is idle.
    std::optional<PlayPosition::Clock::time_point> idleCloseDue(PlayPosition::Clock::time_point now);
    // Closes the kept device once idleCloseDue has passed; true when it did.
    bool closeIdleDevice(PlayPosition::Clock::time_point now);
    // The sound device is open (kept, or opened for the song playing).
    bool deviceOpen() const noexcept { return m_device != nullptr; }

    // Swaps (see StreamWorker): the frame a swap prepared now should name,
    // and the hand-over. Both false / nullopt with no stream or an ended one.
    std::optional<uint64_t> swapFrame() const noexcept;
    bool swapSong(SongSwap swap);
    SwitchReport lastSwitch() const noexcept;
    const std::shared_ptr<WaveOutParam>& stream() const noexcept { return m_stream; }

private:
    bool waitFor(WaveOutParam& s, std::chrono::milliseconds limit, const std::function<bool()>& done);
    // `running`: a kept device starts at once and plays silence until a
    // song comes; otherwise it waits halted for StartPlayback's restart.
    bool openDevice(const WaveFormat& format, bool running);
    void closeDevice(WaveOutParam& s);
    // Ends the stream's use of a kept device, which goes on with silence.
    void detachDevice(WaveOutParam& s);
    void routeTo(const std::shared_ptr<WaveOutParam>& stream);

    AudioDeviceFactory m_makeDevice;
    PlayerOptions m_options;
    std::shared_ptr<LiveMix> m_mix = std::make_shared<LiveMix>();
    bool m_taps = false;
    std::shared_ptr<WaveOutParam> m_stream;
    std::shared_ptr<DeviceRoute> m_route = std::make_shared<DeviceRoute>();
    std::unique_ptr<AudioDevice> m_device;
    WaveFormat m_deviceFormat{};
    std::optional<PlayPosition::Clock::time_point> m_idleSince;  // see idleCloseDue
    std::thread m_worker;
};

}  // namespace tavolin::output
