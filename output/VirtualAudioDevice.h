// SPDX-License-Identifier: MIT
// A sound device without hardware, for tests: plays blocks on its own thread
// in real time or as fast as possible and records every byte it "heard".
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "output/AudioDevice.h"

namespace tavolin::output {

struct VirtualDeviceOptions {
    bool realTime = false;          // each block takes its duration to play
    bool failOpen = false;          // open() fails
    bool neverReportClose = false;  // close() succeeds but Close never arrives
    bool failPrepare = false;       // prepareHeader() fails (the block is still accepted)
    uint32_t playDelayMicros = 0;   // extra time per block (slow-device simulation)
    // While running with nothing queued, play a block of silence (kept in
    // `heard`), as a sound card does: a block written late is heard late.
    bool silenceWhenEmpty = false;
};

// What the device heard and did; shared with the test, outlives the device.
struct VirtualDeviceLog {
    std::mutex mutex;
    std::vector<int16_t> heard;     // every sample played, in order
    uint64_t blocksPlayed = 0;      // written blocks played (silence not counted)
    uint64_t blocksDropped = 0;     // queued but never played (closed while queued)
    size_t maxQueued = 0;           // most blocks queued at once
    int opens = 0;
    int closes = 0;                 // Close notifications sent
    bool writeWhileClosed = false;  // a write after close() (a fault in the caller)

    std::vector<int16_t> heardCopy() {
        std::lock_guard lock(mutex);
        return heard;
    }
};

class VirtualAudioDevice final : public AudioDevice {
public:
    VirtualAudioDevice(VirtualDeviceOptions options, std::shared_ptr<VirtualDeviceLog> log);
    ~VirtualAudioDevice() override;

    bool open(const WaveFormat& format, DeviceCallback callback) override;
    bool prepareHeader(WaveHeader& header) override;
    bool write(WaveHeader& header) override;
    bool unprepareHeader(WaveHeader& header) override;
    bool pause() override;
    bool restart() override;
    bool close() override;

    // A factory for the player that makes devices sharing one log.
    static AudioDeviceFactory factory(VirtualDeviceOptions options, std::shared_ptr<VirtualDeviceLog> log);

private:
    void run();

    VirtualDeviceOptions m_options;
    std::shared_ptr<VirtualDeviceLog> m_log;
    WaveFormat m_format{};
    DeviceCallback m_callback;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<WaveHeader*> m_queue;
    bool m_paused = true;  // halted from open() until restart()
    bool m_closing = false;
    bool m_stopThread = false;
    std::thread m_thread;
};

}  // namespace tavolin::output
