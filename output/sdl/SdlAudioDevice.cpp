// SPDX-License-Identifier: MIT
// SDL2 implementation of the sound-device layer.
#include "output/sdl/SdlAudioDevice.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include <SDL.h>

#include "output/DebugLog.h"

namespace tavolin::output {
namespace {

class SdlAudioDevice final : public AudioDevice {
public:
    SdlAudioDevice() = default;
    ~SdlAudioDevice() override {
        stopSdl();
        {
            std::lock_guard lock(m_mutex);
            m_stopThread = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }

    bool open(const WaveFormat& format, DeviceCallback callback) override {
        if (m_device != 0 || m_thread.joinable()) return false;
        // Audio brings up SDL's event subsystem, which would otherwise turn
        // SIGINT and SIGTERM into a quit event that nobody here reads: the
        // program's own handlers (or the default action) must see them.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            debugLog(std::string("SDL audio init failed: ") + SDL_GetError());
            return false;
        }
        m_subsystemUp = true;
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(format.samplesPerSec);
        want.format = AUDIO_S16SYS;
        want.channels = static_cast<Uint8>(format.channels);
        want.samples = 1024;
        want.callback = &SdlAudioDevice::audioCallback;
        want.userdata = this;
        SDL_AudioSpec have{};
        m_callback = std::move(callback);
        // No format changes allowed: SDL converts to whatever the hardware
        // wants, so the bytes we hand over stay 16-bit stereo at our rate.
        m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (m_device == 0) {
            debugLog(std::string("SDL_OpenAudioDevice failed: ") + SDL_GetError());
            m_callback = nullptr;
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            m_subsystemUp = false;
            return false;
        }
        // SDL opens every device paused, and a paused device still runs: each
        // period SDL hands the driver silence (the disk driver writes it to its
        // file). SDL starts its audio thread inside SDL_OpenAudioDevice and
        // returns the id that unpausing (or locking) needs only afterwards, so
        // nothing outside SDL can make sure that thread's first period comes
        // after the unpause.
        // Unpausing as the very next call leaves it only the moment from its
        // creation to here; from then on the callback holds back until
        // restart(), so the first frames handed over are the first block
        // written.
        SDL_PauseAudioDevice(m_device, 0);
        m_thread = std::thread([this] { notifyLoop(); });
        return true;
    }

    bool restart() override {
        if (m_device == 0) return false;
        releaseHold();
        SDL_PauseAudioDevice(m_device, 0);
        return true;
    }

    bool prepareHeader(WaveHeader& header) override {
        header.flags.fetch_or(kHeaderPrepared);
        return true;
    }

    bool write(WaveHeader& header) override {
        if (!(header.flags.load() & kHeaderPrepared) || !header.data) return false;
        std::lock_guard lock(m_mutex);
        if (m_closing) return false;
        header.flags.fetch_and(~kHeaderDone);
        header.flags.fetch_or(kHeaderInQueue);
        m_playing.push_back(&header);
        return true;
    }

    bool unprepareHeader(WaveHeader& header) override {
        if (header.flags.load() & kHeaderInQueue) return false;
        header.flags.fetch_and(~kHeaderPrepared);
        return true;
    }

    bool pause() override {
        if (m_device == 0) return false;
        releaseHold();  // SDL takes the callback's lock to pause
        SDL_PauseAudioDevice(m_device, 1);
        return true;
    }

    bool close() override {
        if (m_device == 0) return false;
        // SDL_CloseAudioDevice waits for the audio callback to return, so after
        // it no block is copied out any more; the Close notification follows
        // the Done notifications of the blocks that finished before.
        stopSdl();
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_cv.notify_all();
        return true;
    }

private:
    void releaseHold() {
        {
            std::lock_guard lock(m_mutex);
            m_holding = false;
        }
        m_cv.notify_all();
    }

    void stopSdl() {
        releaseHold();  // closing waits for the callback to return
        if (m_device != 0) {
            SDL_CloseAudioDevice(m_device);
            m_device = 0;
        }
        if (m_subsystemUp) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            m_subsystemUp = false;
        }
    }

    static void SDLCALL audioCallback(void* userdata, Uint8* stream, int len) {
        static_cast<SdlAudioDevice*>(userdata)->fill(stream, static_cast<size_t>(len));
    }

    // SDL's audio thread: copy queued blocks, silence when none is queued.
    void fill(Uint8* stream, size_t len) {
        bool finishedOne = false;
        {
            std::unique_lock lock(m_mutex);
            // Until restart() nothing is handed over, not even silence: a
            // period returned early would be heard before the song. Every way
            // out of the hold (restart, pause, close, the destructor) clears
            // it before it asks SDL for the device lock this thread holds.
            m_cv.wait(lock, [this] { return !m_holding; });
            while (len > 0 && !m_playing.empty()) {
                WaveHeader* h = m_playing.front();
                size_t left = h->bufferLength - m_offset;
                size_t n = std::min(left, len);
                // Both are whole samples: blocks and periods are whole frames.
                h->copyOut(m_offset / 2, reinterpret_cast<int16_t*>(stream), n / 2);
                stream += n;
                len -= n;
                m_offset += n;
                if (m_offset == h->bufferLength) {
                    m_playing.pop_front();
                    m_offset = 0;
                    h->flags.fetch_and(~kHeaderInQueue);
                    h->flags.fetch_or(kHeaderDone);
                    ++m_doneCount;
                    finishedOne = true;
                }
            }
        }
        if (len > 0) std::memset(stream, 0, len);
        if (finishedOne) m_cv.notify_all();
    }

    // The notification thread: Open, then Done per finished block, then Close.
    void notifyLoop() {
        m_callback(*this, DeviceMessage::Open);
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_cv.wait(lock, [this] { return m_doneCount > 0 || m_closing || m_stopThread; });
            if (m_stopThread) return;
            if (m_doneCount > 0) {
                --m_doneCount;
                lock.unlock();
                m_callback(*this, DeviceMessage::Done);
                lock.lock();
                continue;
            }
            if (m_closing) break;
        }
        for (WaveHeader* h : m_playing) {
            h->flags.fetch_and(~kHeaderInQueue);
            h->flags.fetch_or(kHeaderDone);
        }
        m_playing.clear();
        lock.unlock();
        m_callback(*this, DeviceMessage::Close);
    }

    SDL_AudioDeviceID m_device = 0;
    bool m_subsystemUp = false;
    DeviceCallback m_callback;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<WaveHeader*> m_playing;
    size_t m_offset = 0;         // bytes of the front block already copied
    uint64_t m_doneCount = 0;    // finished blocks not yet notified
    bool m_closing = false;
    bool m_stopThread = false;
    bool m_holding = true;       // the callback waits: opened, not yet restarted
    std::thread m_thread;
};

}  // namespace

std::unique_ptr<AudioDevice> makeSdlAudioDevice() { return std::make_unique<SdlAudioDevice>(); }

AudioDeviceFactory sdlAudioDeviceFactory() {
    return [] { return makeSdlAudioDevice(); };
}

}  // namespace tavolin::output
