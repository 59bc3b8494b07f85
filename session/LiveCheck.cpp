// SPDX-License-Identifier: MIT
// The live checker: the debounced compile on a worker thread.
#include "session/LiveCheck.h"


namespace tavolin::session {

LiveCheck::LiveCheck(Compile compile, Clock::duration longest)
    : m_compile(std::move(compile)), m_pace(longest), m_worker([this] { work(); }) {}

LiveCheck::~LiveCheck() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_worker.join();
}

void LiveCheck::edited(output::BuildInputs inputs, Clock::time_point now) {
    ++m_edits;
    m_pending = std::move(inputs);
    m_lastEdit = now;
}

LiveCheck::Clock::duration LiveCheck::compileWait() {
    std::lock_guard lock(m_mutex);
    return m_pace.wait();
}

std::optional<LiveCheck::Clock::time_point> LiveCheck::poll(Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    if (!m_pending) {
        // An error waiting for its calm.
        if (m_result && m_result->first == m_edits && m_result->second && !m_result->second->ok())
            return m_pace.showAt(true, m_lastEdit);
        return std::nullopt;
    }
    const Clock::duration wait = m_pace.wait();
    if (now - m_lastEdit < wait) return m_lastEdit + wait;
    // A request still waiting is older than this one: replace it.
    m_request.emplace(m_edits, std::move(*m_pending));
    m_pending.reset();
    m_wake.notify_all();
    return std::nullopt;
}

std::shared_ptr<const output::SongMap> LiveCheck::takeResult(Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    if (!m_result) return nullptr;
    if (m_result->first != m_edits) {
        m_result.reset();
        return nullptr;
    }
    const bool error = m_result->second && !m_result->second->ok();
    if (now < m_pace.showAt(error, m_lastEdit)) return nullptr;
    auto map = std::move(m_result->second);
    m_result.reset();
    return map;
}

void LiveCheck::waitIdle() {
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return !m_busy && !m_request; });
}

void LiveCheck::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || m_request; });
        if (m_quit) return;
        auto [generation, inputs] = std::move(*m_request);
        m_request.reset();
        m_busy = true;
        lock.unlock();
        const auto started = Clock::now();
        std::shared_ptr<const output::SongMap> map = m_compile(inputs);
        const auto took = Clock::now() - started;
        lock.lock();
        m_pace.compiled(took);
        m_busy = false;
        m_result.emplace(generation, std::move(map));
        m_wake.notify_all();
    }
}

}  // namespace tavolin::session
