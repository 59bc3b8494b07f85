// SPDX-License-Identifier: MIT
// An auto-reset event: set() wakes one wait and the event resets itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tavolin::output {

class AutoResetEvent {
public:
    explicit AutoResetEvent(bool initiallySet) : m_set(initiallySet) {}

    void set() {
        {
            std::lock_guard lock(m_mutex);
            m_set = true;
        }
        m_cv.notify_one();
    }

    // True when the event was set (and is now reset), false on time-out.
    bool waitFor(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, timeout, [this] { return m_set; })) return false;
        m_set = false;
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set;
};

}  // namespace tavolin::output
