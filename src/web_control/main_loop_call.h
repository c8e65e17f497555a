#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "web_control/api_message.h"

namespace kov {

class MainLoop;

// Runs the API's work on the main loop, which alone touches the lists, rows, session and log,
// and waits for the answer on the server's thread. A wait ends with 503 when the program shuts
// down (Close), when the server stops, when the loop is gone or when the main loop did not get
// to the work in time.
class MainLoopCall {
public:
    explicit MainLoopCall(MainLoop& loop,
                          std::chrono::milliseconds limit = std::chrono::seconds(10));
    ~MainLoopCall();
    MainLoopCall(const MainLoopCall&) = delete;
    MainLoopCall& operator=(const MainLoopCall&) = delete;

    // Any thread but the main loop's own. stopping (may be null): the server stops, give up.
    ApiResponse Run(std::function<ApiResponse()> work, const std::atomic<bool>* stopping = nullptr);
    // Main loop's thread: waiting calls answer 503 at once, work not yet run never runs.
    void Close();
    bool Closed() const;

private:
    struct Shared {
        std::mutex lock;
        std::condition_variable wake;
        bool closed = false;
    };

    MainLoop& m_loop;
    const std::chrono::milliseconds m_limit;
    const std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};

}  // namespace kov
