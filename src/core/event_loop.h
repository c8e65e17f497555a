#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "core/main_loop.h"

namespace kov {

// The headless main loop: a queue of posted tasks and a set of periodic timers, all run on the
// thread that calls Run.
class EventLoop : public MainLoop {
public:
    using Clock = std::chrono::steady_clock;

    EventLoop() = default;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    void Post(std::function<void()> task) override;
    void PostAfter(std::chrono::milliseconds delay, std::function<void()> task) override;
    void StartTimer(int id, std::chrono::milliseconds period, std::function<void()> tick) override;
    void StopTimer(int id) override;
    bool Alive() const override;

    // Runs tasks and timers until Quit. Returns at once when Quit came before.
    void Run();
    // Runs tasks and due timers until Quit or until the time has passed.
    void RunFor(std::chrono::milliseconds time);
    // Runs the tasks posted so far (and those they post) and the timers that are due.
    void RunPending();
    // Makes Run return after the task that is running; any thread. Alive() is false afterwards.
    void Quit();

private:
    struct Timer {
        std::chrono::milliseconds period;
        Clock::time_point due;
        std::function<void()> tick;
        unsigned generation;  // tells a restarted timer from the one that was running
    };

    // Runs the first posted task; false when there was none.
    bool RunTask();
    // The time of the next timer or delayed task; under m_lock.
    Clock::time_point NextDue() const;
    // Moves the delayed tasks whose time has come behind the posted ones; under m_lock.
    void QueueDelayedDue(Clock::time_point now);

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    std::map<int, Timer> m_timers;
    std::multimap<Clock::time_point, std::function<void()>> m_delayed;
    unsigned m_generation = 0;
    bool m_quit = false;
};

}  // namespace kov
