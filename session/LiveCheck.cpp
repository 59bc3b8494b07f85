// SPDX-License-Identifier: MIT
// The live checker: the debounced compile on a worker thread.
#include "session/LiveCheck.h"


namespace tavolin::session {

LiveCheck::LiveCheck(Compile compile, Clock::duration debounce)
    : m_compile(std::move(compile)), m_debounce(debounce), m_worker([this] { work(); }) {}

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

std::optional<LiveCheck::Clock::time_point> LiveCheck::poll(Clock::time_point now) {
    if (!m_pending) return std::nullopt;
    if (now - m_lastEdit < m_debounce) return m_lastEdit + m_debounce;
    {
        std::lock_guard lock(m_mutex);
        // A request still waiting is older than this one: replace it.
        m_request.emplace(m_edits, std::move(*m_pending));
    }
    m_pending.reset();
    m_wake.notify_all();
    return std::nullopt;
}

std::shared_ptr<const output::SongMap> LiveCheck::takeResult() {
    std::lock_guard lock(m_mutex);
    if (!m_result) return nullptr;
    auto [generation, map] = std::move(*m_result);
    m_result.reset();
    return generation == m_edits ? map : nullptr;
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
        std::shared_ptr<const output::SongMap> map = m_compile(inputs);
        lock.lock();
        m_busy = false;
        m_result.emplace(generation, std::move(map));
        m_wake.notify_all();
    }
}

}  // namespace tavolin::session
