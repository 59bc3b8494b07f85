// SPDX-License-Identifier: MIT
// The thread that takes a song's checkpoints in idle time (the desktop's;
// the page steps its shelf from its worker).
#include <chrono>

#include "output/SongMap.h"
#include "session/Checkpoints.h"
#include "session/SwapAnchor.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace tavolin::session {
namespace {

// Idle time: the checkpoints never compete with the sound or the editor.
void lowerThisThreadsPriority() {
#if defined(__linux__)
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
}

constexpr std::chrono::milliseconds kSettle{250};

}  // namespace

CheckpointKeeper::CheckpointKeeper() : m_thread([this] { work(); }) {}

CheckpointKeeper::~CheckpointKeeper() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        ++m_serial;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CheckpointKeeper::compiled(const output::BuildInputs& inputs, CheckpointMode mode) {
    {
        std::lock_guard lock(m_mutex);
        const auto same = [&](const std::optional<Job>& j) { return j && j->mode == mode && sameSong(j->inputs, swapInputs(inputs)); };
        if (same(m_job) || (!m_job && same(m_current))) return;
        m_job = Job{swapInputs(inputs), mode};
        ++m_serial;
    }
    m_wake.notify_all();
}

void CheckpointKeeper::clear() {
    {
        std::lock_guard lock(m_mutex);
        m_job = Job{};  // no texts: nothing builds, and the shelf is emptied
        ++m_serial;
    }
    m_wake.notify_all();
}

void CheckpointKeeper::waitIdle() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_job && !m_busy; });
}

void CheckpointKeeper::work() {
    lowerThisThreadsPriority();
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || m_job; });
        if (m_quit) return;
        // Idle time: typing settles first, and the swap of its last compile
        // has the processor to itself meanwhile.
        const uint64_t waiting = m_serial.load();
        if (m_wake.wait_for(lock, kSettle, [&] { return m_quit || m_serial.load() != waiting; })) continue;
        Job job = std::move(*m_job);
        m_job.reset();
        m_current = job;
        m_busy = true;
        const uint64_t serial = m_serial;
        lock.unlock();
        // The song's length in its timeline: where the checkpoints end.
        const std::shared_ptr<const output::SongMap> map = output::buildSongMap(job.inputs, false);
        const uint64_t frames = map && map->ok() ? map->timeline.frames : 0;
        if (m_shelf.begin(job.inputs, job.mode, frames)) {
            // A second of song time per step: a newer compile is taken up soon.
            const uint64_t budget = std::max<uint64_t>(job.inputs.sampleRateHz, 1);
            while (m_serial.load() == serial && m_shelf.step(budget)) {
            }
        }
        lock.lock();
        m_busy = false;
        if (!m_job) m_idle.notify_all();
    }
}

}  // namespace tavolin::session
