// SPDX-License-Identifier: MIT
// The recording test device.
#include "output/VirtualAudioDevice.h"

#include <algorithm>
#include <chrono>

namespace tavolin::output {

VirtualAudioDevice::VirtualAudioDevice(VirtualDeviceOptions options, std::shared_ptr<VirtualDeviceLog> log)
    : m_options(options), m_log(std::move(log)) {
    if (!m_log) m_log = std::make_shared<VirtualDeviceLog>();
}

VirtualAudioDevice::~VirtualAudioDevice() {
    {
        std::lock_guard lock(m_mutex);
        m_stopThread = true;
        m_closing = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

AudioDeviceFactory VirtualAudioDevice::factory(VirtualDeviceOptions options, std::shared_ptr<VirtualDeviceLog> log) {
    return [options, log]() -> std::unique_ptr<AudioDevice> {
        return std::make_unique<VirtualAudioDevice>(options, log);
    };
}

bool VirtualAudioDevice::open(const WaveFormat& format, DeviceCallback callback) {
    if (m_options.failOpen || m_thread.joinable() || format.samplesPerSec == 0) return false;
    m_format = format;
    m_callback = std::move(callback);
    {
        std::lock_guard lock(m_log->mutex);
        ++m_log->opens;
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

bool VirtualAudioDevice::prepareHeader(WaveHeader& header) {
    if (m_options.failPrepare) return false;
    header.flags.fetch_or(kHeaderPrepared);
    return true;
}

bool VirtualAudioDevice::write(WaveHeader& header) {
    // The header may be unprepared when prepareHeader was made to fail; a
    // real device would refuse such a block, but the player writes it anyway
    // and the test wants to hear it.
    if (!header.data || header.bufferLength % 4 != 0) return false;
    {
        std::lock_guard lock(m_mutex);
        if (m_closing) {
            std::lock_guard logLock(m_log->mutex);
            m_log->writeWhileClosed = true;
            return false;
        }
        header.flags.fetch_and(~kHeaderDone);
        header.flags.fetch_or(kHeaderInQueue);
        m_queue.push_back(&header);
        std::lock_guard logLock(m_log->mutex);
        m_log->maxQueued = std::max(m_log->maxQueued, m_queue.size());
    }
    m_cv.notify_all();
    return true;
}

bool VirtualAudioDevice::unprepareHeader(WaveHeader& header) {
    uint32_t f = header.flags.load();
    if (f & kHeaderInQueue) return false;
    header.flags.fetch_and(~kHeaderPrepared);
    return true;
}

bool VirtualAudioDevice::pause() {
    {
        std::lock_guard lock(m_mutex);
        m_paused = true;
    }
    m_cv.notify_all();
    return true;
}

bool VirtualAudioDevice::restart() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_thread.joinable() || m_closing) return false;
        m_paused = false;
    }
    m_cv.notify_all();
    return true;
}

bool VirtualAudioDevice::close() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_thread.joinable() || m_closing) return false;
        m_closing = true;
    }
    m_cv.notify_all();
    return true;
}

void VirtualAudioDevice::run() {
    m_callback(*this, DeviceMessage::Open);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return m_closing || (!m_paused && (!m_queue.empty() || m_options.silenceWhenEmpty)); });
        if (m_closing) break;
        if (m_queue.empty()) {
            // A block of silence (1,024 frames), taking its time.
            constexpr uint32_t kSilentFrames = 1024;
            const uint64_t micros = m_options.realTime ? uint64_t{kSilentFrames} * 1000000u / std::max(1u, m_format.samplesPerSec) : 1000;
            m_cv.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::microseconds(micros), [this] { return m_stopThread; });
            if (m_stopThread) break;
            std::lock_guard logLock(m_log->mutex);
            m_log->heard.insert(m_log->heard.end(), size_t{kSilentFrames} * 2, int16_t{0});
            continue;
        }
        WaveHeader* h = m_queue.front();
        // The samples are taken as the block starts to play, as a sound
        // card's callback would take them.
        std::vector<int16_t> samples(h->bufferLength / 2);
        h->copyOut(0, samples.data(), samples.size());
        uint64_t micros = m_options.playDelayMicros;
        if (m_options.realTime) micros += uint64_t{h->bufferLength} * 1000000u / std::max(1u, m_format.avgBytesPerSec);
        if (micros > 0) {
            // Playing takes time; a close or a stop of the thread cuts it short.
            auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(micros);
            m_cv.wait_until(lock, until, [this] { return m_stopThread; });
            if (m_stopThread) break;
        }
        {
            std::lock_guard logLock(m_log->mutex);
            m_log->heard.insert(m_log->heard.end(), samples.begin(), samples.end());
            ++m_log->blocksPlayed;
        }
        m_queue.pop_front();
        h->flags.fetch_and(~kHeaderInQueue);
        h->flags.fetch_or(kHeaderDone);
        lock.unlock();
        m_callback(*this, DeviceMessage::Done);
        lock.lock();
    }
    {
        std::lock_guard logLock(m_log->mutex);
        m_log->blocksDropped += m_queue.size();
    }
    for (WaveHeader* h : m_queue) {
        h->flags.fetch_and(~kHeaderInQueue);
        h->flags.fetch_or(kHeaderDone);
    }
    m_queue.clear();
    bool report = !m_options.neverReportClose && !m_stopThread;
    lock.unlock();
    if (report) {
        {
            std::lock_guard logLock(m_log->mutex);
            ++m_log->closes;
        }
        m_callback(*this, DeviceMessage::Close);
    }
}

}  // namespace tavolin::output
