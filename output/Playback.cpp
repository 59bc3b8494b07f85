// The streaming player: worker, submission, device callback, start and stop.
#include "output/Playback.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "output/DebugLog.h"

namespace tavolin::output {
namespace {

void refill(WaveOutParam& s) {
    std::lock_guard lock(s.refillLock);
    if (s.stopRequested.load() || s.drained.load()) return;
    while (s.submitted.load() - s.completed.load() < kDeviceRing) {
        // The blocks rendered before the song ended are still played; the
        // refill stops in front of the first block rendered after it.
        while (s.readySize.load() == 0) {
            if (s.hWaveOut.load() == nullptr) return;
            std::this_thread::yield();
        }
        bool tail;
        {
            std::lock_guard readyLock(s.readyLock);
            tail = s.ready.front()->afterEnd;
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

void StreamWorker(std::shared_ptr<WaveOutParam> state) {
    WaveOutParam& s = *state;
    StreamTaps* taps = s.taps.get();
    // Every bank is rendered into the mix and into its own buffer: mute and
    // solo are left to the device, which mixes the banks heard as it plays.
    s.generator->setAudible(kAllBanks);
    while (s.hWaveOut.load() != nullptr) {
        if (s.readySize.load() >= kReadyLimit) {
            s.spaceEvent.waitFor(kPollInterval);
            continue;
        }
        auto block = std::make_shared<StreamPcmBufferOne>();
        block->audible = &s.mix->audible;
        block->afterEnd = s.generator->IsFinished();
        const bool silent = s.mix->paused.load();
        if (!silent) {
            BankTaps bankTaps;
            for (size_t b = 0; b < bankTaps.banks.size(); ++b) bankTaps.banks[b] = block->banks[b];
            s.generator->Render(std::span<int16_t>(block->samples), &bankTaps);
            if (taps)
                for (size_t b = 0; b < bankTaps.banks.size(); ++b) taps->rings.banks[b].writeStereo(bankTaps.banks[b]);
        }
        s.position.blockRendered(kBlockFrames, silent);
        {
            std::lock_guard lock(s.readyLock);
            s.ready.push_back(std::move(block));
            s.readySize.store(s.ready.size());
        }
        s.notifyProgress();
    }
}

bool SubmitNextBlock(WaveOutParam& s) {
    const uint32_t slot = s.submitted.load() % kDeviceRing;
    WaveHeader& header = s.headers[slot];
    header.clear();
    while (s.readySize.load() == 0) {
        if (s.hWaveOut.load() == nullptr) return false;
        std::this_thread::yield();
    }
    {
        std::lock_guard lock(s.readyLock);
        s.inFlight[slot] = std::move(s.ready.front());
        s.ready.pop_front();
        s.readySize.store(s.ready.size());
    }
    s.spaceEvent.set();
    header.data = s.inFlight[slot]->samples.data();
    header.bufferLength = kBlockBytes;
    header.source = s.inFlight[slot].get();
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
    if (m_options.keepDevice && !openDevice(*m_options.keepDevice)) debugLog("cannot open the sound device to keep");
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

bool Player::openDevice(const WaveFormat& format) {
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
    // per Play starts only once the song's first blocks are queued.)
    if (m_options.keepDevice && !m_device->restart()) debugLog("failed waveOutRestart.");
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
    return m_stream->position.heardFrame(now, m_stream->generator->sampleRateHz);
}

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
        state->taps->rings.sampleRateHz = state->generator->sampleRateHz;
    }
    m_stream = state;
    routeTo(state);

    if (m_device && !(m_options.keepDevice && m_deviceFormat == format)) {
        // A kept device of another rate (a device opened per Play is gone by now).
        m_device->pause();
        m_device->close();
        m_device.reset();
    }
    if (!m_device && !openDevice(format)) {
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
