#include "core/event_loop.h"

namespace kov {

void EventLoop::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void EventLoop::PostAfter(std::chrono::milliseconds delay, std::function<void()> task) {
    if (delay.count() <= 0) {
        Post(std::move(task));
        return;
    }
    bool sooner = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto due = Clock::now() + delay;
        // A loop asleep until a later time must wake to set a shorter wait; one that will wake
        // before this is due anyway is left asleep.
        sooner = due < NextDue();
        m_delayed.emplace(due, std::move(task));
    }
    if (sooner) m_wake.notify_one();
}

void EventLoop::StartTimer(int id, std::chrono::milliseconds period, std::function<void()> tick) {
    if (period.count() <= 0) period = std::chrono::milliseconds(1);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_timers[id] = Timer{period, Clock::now() + period, std::move(tick), ++m_generation};
    }
    m_wake.notify_one();
}

void EventLoop::StopTimer(int id) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_timers.erase(id);
}

bool EventLoop::Alive() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return !m_quit;
}

void EventLoop::Quit() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
}

EventLoop::Clock::time_point EventLoop::NextDue() const {
    auto next = Clock::time_point::max();
    for (const auto& [id, timer] : m_timers)
        next = std::min(next, timer.due);
    if (!m_delayed.empty()) next = std::min(next, m_delayed.begin()->first);
    return next;
}

void EventLoop::QueueDelayedDue(Clock::time_point now) {
    while (!m_delayed.empty() && m_delayed.begin()->first <= now) {
        m_tasks.push_back(std::move(m_delayed.begin()->second));
        m_delayed.erase(m_delayed.begin());
    }
}

bool EventLoop::RunTask() {
    std::function<void()> task;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_quit || m_tasks.empty()) return false;
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
    }
    task();
    return true;
}

void EventLoop::RunPending() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        QueueDelayedDue(Clock::now());
    }
    while (RunTask()) {
    }
    // Each due timer ticks once per round, so a tick slower than its period cannot starve the
    // tasks.
    std::vector<std::pair<int, unsigned>> due;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto now = Clock::now();
        for (const auto& [id, timer] : m_timers) {
            if (timer.due <= now) due.emplace_back(id, timer.generation);
        }
    }
    for (const auto& [id, generation] : due) {
        std::function<void()> tick;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            auto it = m_timers.find(id);
            // An earlier tick of this round may have stopped or restarted this timer.
            if (m_quit || it == m_timers.end() || it->second.generation != generation) continue;
            it->second.due = Clock::now() + it->second.period;
            tick = it->second.tick;  // a copy: the tick may stop or restart its own timer
        }
        tick();
        while (RunTask()) {
        }
    }
}

void EventLoop::Run() {
    RunFor(std::chrono::milliseconds::max());
}

void EventLoop::RunFor(std::chrono::milliseconds time) {
    const auto start = Clock::now();
    const auto end =
        time == std::chrono::milliseconds::max() ? Clock::time_point::max() : start + time;
    for (;;) {
        RunPending();
        std::unique_lock<std::mutex> guard(m_lock);
        if (m_quit || Clock::now() >= end) return;
        if (!m_tasks.empty()) continue;
        const auto until = std::min(end, NextDue());
        if (until == Clock::time_point::max()) {
            m_wake.wait(guard, [this] {
                return m_quit || !m_tasks.empty() || NextDue() != Clock::time_point::max();
            });
        } else {
            m_wake.wait_until(guard, until, [this, until] {
                return m_quit || !m_tasks.empty() || NextDue() < until;
            });
        }
    }
}

}  // namespace kov
