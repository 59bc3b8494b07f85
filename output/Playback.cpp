// SPDX-License-Identifier: MIT
// The streaming player: worker, submission, device callback, start and stop.
#include "output/Playback.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <utility>

#include "output/DebugLog.h"

namespace tavolin::output {
namespace {

void refill(WaveOutParam& s) {
    std::lock_guard lock(s.refillLock);
    if (s.stopRequested.load() || s.drained.load()) return;
    while (s.submitted.load() - s.completed.load() < kDeviceRing) {
        // The blocks rendered before the song ended are still played; the
        // refill stops in front of the first block rendered after it.
        bool tail = false;
        for (bool waiting = true; waiting;) {
            while (s.readySize.load() == 0) {
                if (s.hWaveOut.load() == nullptr) return;
                std::this_thread::yield();
            }
            std::lock_guard readyLock(s.readyLock);
            // A swap may have taken the waiting blocks back since the size was read.
            waiting = s.ready.empty();
            if (!waiting) tail = s.ready.front()->afterEnd;
        }
        if (tail) {
            s.drained.store(true);
            return;
        }
        if (!SubmitNextBlock(s)) return;
    }
}

}  // namespace

void StreamPcmBufferOne::read(size_t first, std::span<int16_t> out) const noexcept {
    const BankMask mask = audible ? audible->load(std::memory_order_relaxed) : kAllBanks;
    if (mask == kAllBanks) {
        std::copy_n(samples.begin() + static_cast<ptrdiff_t>(first), out.size(), out.begin());
        return;
    }
    for (size_t k = 0; k < out.size(); ++k) {
        int32_t sum = 0;
        for (size_t b = 0; b < banks.size(); ++b)
            if (mask & bankBit(static_cast<int>(b))) sum += banks[b][first + k];
        out[k] = static_cast<int16_t>(std::clamp(sum, -32768, 32767));
    }
}

namespace {

void freeList(PendingSwap* p) {
    while (p) {
        PendingSwap* next = p->next;
        delete p;
        p = next;
    }
}

// Worker: a swap it is done with goes on the retired list (lock-free push).
void retire(WaveOutParam& s, PendingSwap* p) noexcept {
    p->next = s.retired.load(std::memory_order_relaxed);
    while (!s.retired.compare_exchange_weak(p->next, p, std::memory_order_release, std::memory_order_relaxed)) {
    }
}


// The worker's side of a stream: the render head and the swap in progress.
class StreamRenderer {
public:
    explicit StreamRenderer(WaveOutParam& s)
        : m_s(s), m_taps(s.taps.get()), m_fadeFrames(std::min(crossfadeFrames(s.sampleRateHz), kBlockFrames)) {}
    ~StreamRenderer() {
        if (m_pending) retire(m_s, m_pending);  // freed by the player, not here
    }

    void run() {
        // Every bank is rendered into the mix and into its own buffer: mute and
        // solo are left to the device, which mixes the banks heard as it plays.
        m_s.generator->setAudible(kAllBanks);
        while (m_s.hWaveOut.load() != nullptr) {
            if (!m_pending) m_pending = m_s.swapIn.exchange(nullptr, std::memory_order_acq_rel);
            if (m_pending && m_pending->swap.streamFrame <= m_frame) {
                switchSong();
                continue;
            }
            if (m_s.readySize.load() >= kReadyLimit) {
                m_s.spaceEvent.waitFor(kPollInterval);
                continue;
            }
            auto block = std::make_shared<StreamPcmBufferOne>();
            renderInto(*block);
            publish(std::move(block));
        }
    }

private:
    void renderInto(StreamPcmBufferOne& block) noexcept {
        GeneratorWrapper& song = *m_s.generator;
        block.audible = &m_s.mix->audible;
        block.afterEnd = song.IsFinished();
        block.silent = m_s.mix->paused.load();
        block.streamFrame = m_frame;
        block.swapSerial = m_serial;
        if (block.silent) {
            block.samples.fill(0);
            for (auto& b : block.banks) b.fill(0);
            m_fadeFrom = false;  // the swap lands in silence: nothing to fade from
            m_s.position.blockRendered(kBlockFrames, true, m_delta);
            return;
        }
        BankTaps bankTaps;
        for (size_t b = 0; b < bankTaps.banks.size(); ++b) bankTaps.banks[b] = block.banks[b];
        song.Render(std::span<int16_t>(block.samples), &bankTaps);
        if (m_fadeFrom) {
            const size_t n = size_t{m_fadeFrames} * 2;
            crossfade(std::span<int16_t>(block.samples).first(n), m_oldMix, 0, m_fadeFrames);
            for (size_t b = 0; b < block.banks.size(); ++b) crossfade(std::span<int16_t>(block.banks[b]).first(n), m_oldBanks[b], 0, m_fadeFrames);
            m_fadeFrom = false;
        }
        if (m_taps)
            for (size_t b = 0; b < block.banks.size(); ++b) m_taps->rings.banks[b].writeStereo(block.banks[b]);
        m_s.position.blockRendered(kBlockFrames, false, m_delta);
        m_frame += kBlockFrames;
    }

    void publish(std::shared_ptr<StreamPcmBufferOne> block) {
        {
            std::lock_guard lock(m_s.readyLock);
            m_s.ready.push_back(std::move(block));
            m_s.readySize.store(m_s.ready.size());
        }
        m_s.notifyProgress();
    }

    void switchSong() {
        PendingSwap* p = std::exchange(m_pending, nullptr);
        const uint64_t target = p->swap.streamFrame;
        // Take back the blocks not yet at the device from the target on.
        size_t taken = 0;
        {
            std::lock_guard lock(m_s.readyLock);
            while (!m_s.ready.empty() && m_s.ready.back()->streamFrame >= target && taken < m_taken.size()) {
                m_taken[taken++] = std::move(m_s.ready.back());
                m_s.ready.pop_back();
            }
            m_s.readySize.store(m_s.ready.size());
        }
        std::reverse(m_taken.begin(), m_taken.begin() + static_cast<ptrdiff_t>(taken));
        const uint64_t at = taken > 0 ? m_taken[0]->streamFrame : m_frame;

        // What the listener would have heard from there: the replaced block
        // (a fade of an earlier swap included), or the old song rendered on.
        const size_t n = size_t{m_fadeFrames} * 2;
        if (taken > 0) {
            std::copy_n(m_taken[0]->samples.begin(), n, m_oldMix.begin());
            for (size_t b = 0; b < m_oldBanks.size(); ++b) std::copy_n(m_taken[0]->banks[b].begin(), n, m_oldBanks[b].begin());
            m_fadeFrom = !m_taken[0]->silent;
        } else if (n > 0 && !m_s.mix->paused.load()) {
            // The old song rendered on; when it came in by a swap whose
            // crossfade is still to be rendered, that crossfade is what
            // would have been heard.
            BankTaps bankTaps;
            for (size_t b = 0; b < bankTaps.banks.size(); ++b) bankTaps.banks[b] = std::span<int16_t>(m_nextBanks[b]).first(n);
            m_s.generator->Render(std::span<int16_t>(m_nextMix).first(n), &bankTaps);
            if (m_fadeFrom) {
                crossfade(std::span<int16_t>(m_nextMix).first(n), m_oldMix, 0, m_fadeFrames);
                for (size_t b = 0; b < m_oldBanks.size(); ++b) crossfade(std::span<int16_t>(m_nextBanks[b]).first(n), m_oldBanks[b], 0, m_fadeFrames);
            }
            std::swap(m_oldMix, m_nextMix);
            std::swap(m_oldBanks, m_nextBanks);
            m_fadeFrom = true;
        } else {
            m_fadeFrom = false;
        }
        m_fadeFrom = m_fadeFrom && n > 0;

        GeneratorWrapper& song = *p->swap.song;
        song.setAudible(kAllBanks);
        if (at > target) song.advance(at - target);
        m_delta = p->swap.songFrame - static_cast<int64_t>(target);
        m_s.generator.swap(p->swap.song);  // p now holds the old song, freed off this thread
        retire(m_s, p);

        m_s.position.rewind(taken, at);
        if (m_taps)
            for (auto& ring : m_taps->rings.banks) ring.rewind(at);
        m_frame = at;
        ++m_serial;
        m_s.switchFrame.store(at);
        m_s.switchLate.store(at - target);
        m_s.switchSubmittedNs.store(0);
        m_s.switches.store(m_serial, std::memory_order_release);

        for (size_t i = 0; i < taken; ++i) {
            renderInto(*m_taken[i]);
            publish(std::move(m_taken[i]));
        }
    }

    WaveOutParam& m_s;
    StreamTaps* m_taps;
    const uint32_t m_fadeFrames;
    uint64_t m_frame = 0;     // stream frame of the next block rendered
    int64_t m_delta = 0;      // song frame minus stream frame of the song rendered
    uint64_t m_serial = 0;    // swaps made
    PendingSwap* m_pending = nullptr;
    std::array<std::shared_ptr<StreamPcmBufferOne>, kReadyLimit> m_taken{};
    bool m_fadeFrom = false;  // the next block rendered starts with the crossfade
    std::array<int16_t, kBlockSamples> m_oldMix{};
    std::array<std::array<int16_t, kBlockSamples>, 5> m_oldBanks{};
    std::array<int16_t, kBlockSamples> m_nextMix{};
    std::array<std::array<int16_t, kBlockSamples>, 5> m_nextBanks{};
};

}  // namespace

WaveOutParam::~WaveOutParam() {
    delete swapIn.exchange(nullptr);
    freeList(retired.exchange(nullptr));
}

std::optional<uint64_t> swapFrameOf(const WaveOutParam& s) noexcept {
    if (s.hWaveOut.load() == nullptr || s.stopRequested.load() || s.drained.load()) return std::nullopt;
    return s.submittedFrame.load();
}

bool postSwap(WaveOutParam& s, SongSwap swap) {
    freeList(s.retired.exchange(nullptr, std::memory_order_acquire));
    if (!swap.song || !swap.song->hasSong() || !swapFrameOf(s)) return false;
    auto* p = new PendingSwap{std::move(swap)};
    delete s.swapIn.exchange(p, std::memory_order_acq_rel);  // one the worker had not taken yet
    s.spaceEvent.set();
    return true;
}

SwitchReport switchReport(const WaveOutParam& s) noexcept {
    SwitchReport r;
    r.count = s.switches.load(std::memory_order_acquire);
    r.streamFrame = s.switchFrame.load();
    r.lateFrames = s.switchLate.load();
    const int64_t ns = s.switchSubmittedNs.load();
    if (ns != 0) r.firstBlockSubmitted = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns));
    return r;
}

void StreamWorker(std::shared_ptr<WaveOutParam> state) {
    // The renderer's scratch (two blocks of each bank) lives on the heap,
    // made once per stream, not on the worker's stack.
    auto renderer = std::make_unique<StreamRenderer>(*state);
    renderer->run();
}

bool SubmitNextBlock(WaveOutParam& s) {
    const uint32_t slot = s.submitted.load() % kDeviceRing;
    WaveHeader& header = s.headers[slot];
    header.clear();
    for (bool waiting = true; waiting;) {
        while (s.readySize.load() == 0) {
            if (s.hWaveOut.load() == nullptr) return false;
            std::this_thread::yield();
        }
        std::lock_guard lock(s.readyLock);
        // The size was read without the lock: a swap may have taken the
        // waiting blocks back since (the worker renders them again).
        waiting = s.ready.empty();
        if (waiting) continue;
        s.inFlight[slot] = std::move(s.ready.front());
        s.ready.pop_front();
        s.readySize.store(s.ready.size());
    }
    s.spaceEvent.set();
    const StreamPcmBufferOne& block = *s.inFlight[slot];
    header.data = block.samples.data();
    header.bufferLength = kBlockBytes;
    header.source = &block;
    s.submittedFrame.store(block.streamFrame + (block.silent ? 0 : kBlockFrames));
    if (block.swapSerial != s.submittedSerial.load(std::memory_order_relaxed)) {
        // The first block of the song a swap brought in.
        s.submittedSerial.store(block.swapSerial, std::memory_order_relaxed);
        s.switchSubmittedNs.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count());
    }
    s.submitted.fetch_add(1);
    AudioDevice* device = s.hWaveOut.load();
    if (device == nullptr) return false;
    if (!device->prepareHeader(header)) debugLog("failed waveOutPrepareHeader.");
    if (!device->write(header)) debugLog("failed waveOutWrite.");
    return true;
}

void WaveOutProc(AudioDevice& device, DeviceMessage message, const std::weak_ptr<WaveOutParam>& stream) {
    std::shared_ptr<WaveOutParam> state = stream.lock();
    if (!state) return;
    WaveOutParam& s = *state;
    switch (message) {
    case DeviceMessage::Done: {
        const uint32_t slot = s.completed.load() % kDeviceRing;
        if (!device.unprepareHeader(s.headers[slot])) debugLog("failed waveOutUnprepareHeader.");
        s.position.blockReturned(PlayPosition::Clock::now());
        s.completed.fetch_add(1);
        refill(s);
        s.notifyProgress();
        break;
    }
    case DeviceMessage::Close:
        for (WaveHeader& h : s.headers) (void)device.unprepareHeader(h);
        s.hWaveOut.store(nullptr);
        s.spaceEvent.set();
        s.notifyProgress();
        break;
    case DeviceMessage::Open:
        break;
    }
}

Player::Player(AudioDeviceFactory makeDevice, PlayerOptions options)
    : m_makeDevice(std::move(makeDevice)), m_options(std::move(options)) {
    if (!m_options.startThread) {
        m_options.startThread = [](std::function<void()> body) { return std::thread(std::move(body)); };
    }
    // A failure here is told at the first Play, which tries again.
    if (m_options.keepDevice && !openDevice(*m_options.keepDevice, true)) debugLog("cannot open the sound device to keep");
}

Player::~Player() {
    StopPlayback();
    if (m_device) {
        // The kept device: no stream is left to hear its close.
        m_device->pause();
        if (!m_device->close()) debugLog("failed waveOutClose.");
        m_device.reset();
    }
}

void Player::routeTo(const std::shared_ptr<WaveOutParam>& stream) {
    std::lock_guard lock(m_route->mutex);
    m_route->stream = stream;
}

bool Player::openDevice(const WaveFormat& format, bool running) {
    m_device = m_makeDevice ? m_makeDevice() : nullptr;
    // The notifications find the current stream through the route, and only
    // through a weak reference, so a late one never touches another stream.
    std::shared_ptr<DeviceRoute> route = m_route;
    auto callback = [route](AudioDevice& device, DeviceMessage message) {
        std::weak_ptr<WaveOutParam> stream;
        {
            std::lock_guard lock(route->mutex);
            stream = route->stream;
        }
        WaveOutProc(device, message, stream);
    };
    if (!m_device || !m_device->open(format, std::move(callback))) {
        m_device.reset();
        return false;
    }
    m_deviceFormat = format;
    // A kept device runs from here on, silent while nothing is queued, so the
    // first blocks of a song are taken by its next period. (A device opened
    // for a Play starts only once the song's first blocks are queued.)
    if (running && !m_device->restart()) debugLog("failed waveOutRestart.");
    return true;
}

std::optional<PlayPosition::Clock::time_point> Player::idleCloseDue(PlayPosition::Clock::time_point now) {
    if (!m_options.keepDevice || !m_device || (m_stream && !songHeard())) {
        m_idleSince.reset();
        return std::nullopt;
    }
    if (!m_idleSince) m_idleSince = now;
    return *m_idleSince + m_options.idleClose;
}

bool Player::closeIdleDevice(PlayPosition::Clock::time_point now) {
    const auto due = idleCloseDue(now);
    if (!due || now < *due) return false;
    StopPlayback();  // a song heard to its end lets go of the device first
    m_device->pause();
    if (!m_device->close()) debugLog("failed waveOutClose.");
    m_device.reset();
    m_idleSince.reset();
    return true;
}

bool Player::songHeard() const noexcept {
    if (!m_stream) return false;
    return m_stream->drained.load() && m_stream->completed.load() == m_stream->submitted.load();
}

std::shared_ptr<const BankTapRings> Player::bankRings() const noexcept {
    if (!m_stream || !m_stream->taps) return nullptr;
    // Shares the stream's taps: the rings live as long as the reader holds them.
    return std::shared_ptr<const BankTapRings>(m_stream->taps, &m_stream->taps->rings);
}

uint32_t Player::blocksHeard() const noexcept { return m_stream ? m_stream->completed.load() : 0; }

std::optional<uint64_t> Player::heardFrame(PlayPosition::Clock::time_point now) const noexcept {
    if (!m_stream || songHeard() || m_stream->hWaveOut.load() == nullptr) return std::nullopt;
    return m_stream->position.heardFrame(now, m_stream->sampleRateHz);
}

std::optional<uint64_t> Player::heardSongFrame(PlayPosition::Clock::time_point now) const noexcept {
    if (!m_stream || songHeard() || m_stream->hWaveOut.load() == nullptr) return std::nullopt;
    return m_stream->position.heardSongFrame(now, m_stream->sampleRateHz);
}

std::optional<uint64_t> Player::swapFrame() const noexcept {
    if (!m_stream) return std::nullopt;
    return swapFrameOf(*m_stream);
}

bool Player::swapSong(SongSwap swap) { return m_stream && postSwap(*m_stream, std::move(swap)); }

SwitchReport Player::lastSwitch() const noexcept { return m_stream ? switchReport(*m_stream) : SwitchReport{}; }

bool Player::waitFor(WaveOutParam& s, std::chrono::milliseconds limit, const std::function<bool()>& done) {
    // The 100 ms poll of the design, woken early by the worker and the callback.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(s.progressMutex);
    while (!done()) {
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        s.progress.wait_for(lock, std::min<std::chrono::steady_clock::duration>(kPollInterval, deadline - now));
    }
    return true;
}

bool Player::StartPlayback(const BuildInputs& inputs, bool testMode, bool loop, BuildHost& host) {
    StopPlayback();
    WaveFormat format;
    std::shared_ptr<GeneratorWrapper> song = MakeGenerator(inputs, testMode, host, format);
    if (!song) return false;
    song->SetLoop(loop);
    return StartPlayback(std::move(song), format, host);
}

bool Player::StartPlayback(std::shared_ptr<GeneratorWrapper> song, const WaveFormat& format, BuildHost& host) {
    StopPlayback();
    if (!song) return false;
    auto state = std::make_shared<WaveOutParam>(std::move(song));
    state->mix = m_mix;
    if (m_taps) {
        state->taps = std::make_shared<StreamTaps>();
        state->taps->rings.sampleRateHz = state->sampleRateHz;
    }
    m_stream = state;
    routeTo(state);

    if (m_device && !(m_options.keepDevice && m_deviceFormat == format)) {
        // A kept device of another rate (a device opened per Play is gone by now).
        m_device->pause();
        m_device->close();
        m_device.reset();
    }
    if (!m_device && !openDevice(format, false)) {
        host.messageBox(uiText(kDeviceOpenFailed));
        return false;  // the unopened state stays until the next Stop or Play
    }
    state->hWaveOut.store(m_device.get());

    try {
        m_worker = m_options.startThread([state] { StreamWorker(state); });
    } catch (const std::system_error& e) {
        debugLog(std::string("cannot start the stream worker: ") + e.what());
        if (m_options.keepDevice) detachDevice(*state);
        else closeDevice(*state);
        routeTo(nullptr);
        m_stream.reset();
        host.messageBox(uiText(kWorkerStartFailed));
        return false;
    }

    // Wait until four blocks are rendered (the worker never stops producing
    // while the device is open, so this ends), then prime the device.
    while (!waitFor(*state, kPollInterval, [&] { return state->readySize.load() >= kDeviceRing; })) {
    }
    {
        std::lock_guard lock(state->refillLock);
        for (uint32_t i = 0; i < kDeviceRing; ++i) SubmitNextBlock(*state);
    }
    // A device opened for this song waits halted: the first frames it outputs
    // are the song's. A kept one is running already and takes them next.
    if (!m_device->restart()) debugLog("failed waveOutRestart.");
    state->position.deviceStarted(PlayPosition::Clock::now());
    return true;
}

void Player::closeDevice(WaveOutParam& s) {
    if (m_device) {
        m_device->pause();
        if (!m_device->close()) debugLog("failed waveOutClose.");
        if (!waitFor(s, m_options.closeTimeout, [&] { return s.hWaveOut.load() == nullptr; })) {
            debugLog("the sound device did not report its close in time; releasing it.");
            s.hWaveOut.store(nullptr);
        }
    }
    s.hWaveOut.store(nullptr);
    s.spaceEvent.set();
    if (m_worker.joinable()) m_worker.join();
    // Destroying the device joins its notification thread; a notification
    // still arriving finds the stream through a weak reference only.
    m_device.reset();
}

void Player::detachDevice(WaveOutParam& s) {
    s.hWaveOut.store(nullptr);
    s.spaceEvent.set();
    if (m_worker.joinable()) m_worker.join();
}

void Player::StopPlayback() {
    std::shared_ptr<WaveOutParam> state = m_stream;
    if (!state) return;
    WaveOutParam& s = *state;
    if (s.hWaveOut.load() != nullptr) {
        {
            std::lock_guard lock(s.refillLock);
            s.stopRequested.store(true);
        }
        // The blocks already at the device play to their end; after them a
        // kept device plays silence, so nothing of the song follows the Stop.
        if (waitFor(s, m_options.drainTimeout, [&] { return s.completed.load() == s.submitted.load(); })) {
            if (m_options.keepDevice) detachDevice(s);
            else closeDevice(s);
        } else {
            // Blocks still queued would reach the next song: this device goes.
            debugLog("blocks did not come back from the sound device in time; closing it anyway.");
            closeDevice(s);
        }
    }
    routeTo(nullptr);
    m_stream.reset();
}

}  // namespace tavolin::output
