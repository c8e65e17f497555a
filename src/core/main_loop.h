#pragma once

#include <chrono>
#include <functional>

namespace kov {

// The main thread's loop. Other threads never touch lists, rows, the log or timers: they Post
// a task, and the loop runs posted tasks one at a time in posting order.
class MainLoop {
public:
    virtual ~MainLoop() = default;
    virtual void Post(std::function<void()> task) = 0;  // any thread
    // Starts or restarts the timer with this id (main thread).
    virtual void StartTimer(int id, std::chrono::milliseconds period,
                            std::function<void()> tick) = 0;
    virtual void StopTimer(int id) = 0;
    virtual bool Alive() const = 0;  // the main window (or headless loop) still exists
};

}  // namespace kov
