// SPDX-License-Identifier: MIT
// The sound-device layer the streaming player drives: open with a format and a
// callback, prepare / write / unprepare blocks, restart, pause, close.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "output/WaveFormat.h"

namespace tavolin::output {

enum class DeviceMessage { Open, Done, Close };

// Header flags, as the device reports them.
inline constexpr uint32_t kHeaderPrepared = 1u;
inline constexpr uint32_t kHeaderDone = 2u;
inline constexpr uint32_t kHeaderInQueue = 4u;

// A block whose samples are settled only as the device takes them (the
// banks heard by then). Called on the device's playing thread, possibly in
// pieces: it must not lock, wait or allocate.
class BlockSource {
public:
    // The samples [first, first + out.size()) of the block, interleaved.
    virtual void read(size_t first, std::span<int16_t> out) const noexcept = 0;

protected:
    ~BlockSource() = default;
};

// One block handed to the device. The caller keeps the header and the
// samples alive from write() until the Done notification for it.
struct WaveHeader {
    const int16_t* data = nullptr;
    uint32_t bufferLength = 0;          // bytes
    // When set, the device takes the samples from here instead of `data`.
    const BlockSource* source = nullptr;
    std::atomic<uint32_t> flags{0};     // written by the device thread too

    void clear() noexcept {
        data = nullptr;
        bufferLength = 0;
        source = nullptr;
        flags.store(0);
    }
    // Copies `samples` samples from `first` on into `out`, through the source when there is one.
    void copyOut(size_t first, int16_t* out, size_t samples) const noexcept {
        if (source) source->read(first, std::span<int16_t>(out, samples));
        else std::copy_n(data + first, samples, out);
    }
};

class AudioDevice;

// Called on the device's notification thread, one message at a time and in
// order: Open first, then one Done per written block in writing order, and
// Close last, after the device has stopped. The callback may call
// prepareHeader / write / unprepareHeader on the device (never open, restart,
// pause, close or the destructor).
using DeviceCallback = std::function<void(AudioDevice&, DeviceMessage)>;

// Threads: open, restart, pause, close and the destructor belong to the thread that
// owns the device (the user-interface thread); prepareHeader, write and
// unprepareHeader may be called from that thread and from inside the callback.
class AudioDevice {
public:
    virtual ~AudioDevice() = default;  // stops the device; no notification follows

    // Opens the device for 16-bit stereo PCM in `format`, halted: nothing is
    // played (not even silence) until restart(), so the blocks written before
    // it are the first frames the device outputs. False on failure (no
    // notification is ever sent then).
    virtual bool open(const WaveFormat& format, DeviceCallback callback) = 0;
    virtual bool prepareHeader(WaveHeader& header) = 0;
    // Queues a prepared block behind those already written.
    virtual bool write(WaveHeader& header) = 0;
    // Fails while the block is still queued.
    virtual bool unprepareHeader(WaveHeader& header) = 0;
    // Halts output; blocks not yet played stay queued.
    virtual bool pause() = 0;
    // Starts output after open(), or resumes it after pause().
    virtual bool restart() = 0;
    // Starts the close; the Close notification follows once the device has stopped.
    virtual bool close() = 0;
};

using AudioDeviceFactory = std::function<std::unique_ptr<AudioDevice>()>;

}  // namespace tavolin::output
