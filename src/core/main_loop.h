#pragma once

#include <chrono>
#include <functional>
#include <utility>

namespace kov {

// The main thread's loop. Other threads never touch lists, rows, the log or timers: they Post
// a task, and the loop runs posted tasks one at a time in posting order.
class MainLoop {
public:
    virtual ~MainLoop() = default;
    virtual void Post(std::function<void()> task) = 0;  // any thread
    // Runs the task no sooner than the delay from now, for work that gains from waiting a
    // little, such as taking several events in one turn (any thread). A loop without timers of
    // its own for this runs it as soon as a posted task.
    virtual void PostAfter(std::chrono::milliseconds delay, std::function<void()> task) {
        (void)delay;
        Post(std::move(task));
    }
    // Starts or restarts the timer with this id (main thread).
    virtual void StartTimer(int id, std::chrono::milliseconds period,
                            std::function<void()> tick) = 0;
    virtual void StopTimer(int id) = 0;
    virtual bool Alive() const = 0;  // the main window (or headless loop) still exists
};

}  // namespace kov
