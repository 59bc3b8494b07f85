// SPDX-License-Identifier: MIT
// The test device keeps the device contract the player relies on: messages in
// order, writes from inside Done, header states, halted open, pause and close.
#include <chrono>
#include <condition_variable>
#include <thread>

#include <gtest/gtest.h>

#include "output/VirtualAudioDevice.h"

namespace tavolin::testing {
namespace {

using namespace std::chrono_literals;
using output::DeviceMessage;

struct Recorder {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<DeviceMessage> messages;
    void add(DeviceMessage m) {
        {
            std::lock_guard lock(mutex);
            messages.push_back(m);
        }
        cv.notify_all();
    }
    bool waitFor(size_t count) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, 5s, [&] { return messages.size() >= count; });
    }
};

TEST(VirtualDevice, MessagesInOrderAndWritesFromInsideDone) {
    // Everything the callback touches is declared before the device, so the
    // device (which joins its thread) goes first.
    auto log = std::make_shared<output::VirtualDeviceLog>();
    Recorder rec;
    std::array<int16_t, 8> a{1, 2, 3, 4, 5, 6, 7, 8}, b{9, 10, 11, 12, 13, 14, 15, 16};
    output::WaveHeader ha, hb;
    ha.data = a.data();
    ha.bufferLength = 16;
    hb.data = b.data();
    hb.bufferLength = 16;
    bool chained = false;
    output::VirtualAudioDevice device({}, log);
    ASSERT_TRUE(device.open(output::makeWaveFormat(48000), [&](output::AudioDevice& d, DeviceMessage m) {
        rec.add(m);
        if (m == DeviceMessage::Done && !chained) {
            chained = true;  // the player refills from here
            EXPECT_TRUE(d.unprepareHeader(ha));
            EXPECT_TRUE(d.prepareHeader(hb));
            EXPECT_TRUE(d.write(hb));
        }
    }));
    ASSERT_TRUE(device.prepareHeader(ha));
    ASSERT_TRUE(device.write(ha));
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(log->heardCopy().empty()) << "an opened device is halted until restart";
    ASSERT_TRUE(device.restart());
    ASSERT_TRUE(rec.waitFor(3));
    ASSERT_TRUE(device.close());
    ASSERT_TRUE(rec.waitFor(4));
    EXPECT_EQ(rec.messages, (std::vector<DeviceMessage>{DeviceMessage::Open, DeviceMessage::Done, DeviceMessage::Done,
                                                        DeviceMessage::Close}));
    std::vector<int16_t> expected(a.begin(), a.end());
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(log->heardCopy(), expected);
    EXPECT_TRUE(hb.flags.load() & output::kHeaderDone);
}

TEST(VirtualDevice, PausedBlocksStayQueuedAndCannotBeUnprepared) {
    auto log = std::make_shared<output::VirtualDeviceLog>();
    Recorder rec;
    output::VirtualAudioDevice device({}, log);
    ASSERT_TRUE(device.open(output::makeWaveFormat(8000), [&](output::AudioDevice&, DeviceMessage m) { rec.add(m); }));
    ASSERT_TRUE(device.pause());
    std::array<int16_t, 4> s{1, 1, 1, 1};
    output::WaveHeader h;
    h.data = s.data();
    h.bufferLength = 8;
    ASSERT_TRUE(device.prepareHeader(h));
    ASSERT_TRUE(device.write(h));
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(device.unprepareHeader(h)) << "still queued";
    EXPECT_TRUE(log->heardCopy().empty()) << "nothing plays while paused";
    ASSERT_TRUE(device.close());
    ASSERT_TRUE(rec.waitFor(2));
    EXPECT_EQ(rec.messages.back(), DeviceMessage::Close);
    EXPECT_EQ(log->blocksDropped, 1u);
    EXPECT_FALSE(device.write(h)) << "a closed device takes nothing";
    EXPECT_TRUE(log->writeWhileClosed);
}

TEST(VirtualDevice, FailedOpenSendsNothing) {
    output::VirtualAudioDevice device({.failOpen = true}, nullptr);
    bool called = false;
    EXPECT_FALSE(device.open(output::makeWaveFormat(48000), [&](output::AudioDevice&, DeviceMessage) { called = true; }));
    EXPECT_FALSE(called);
}

}  // namespace
}  // namespace tavolin::testing
